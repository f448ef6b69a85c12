#include "windows/mark_editor/mark_editor_model.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "app/routines.h"
#include "app/settings.h"
#include "core/files.h"
#include "core/numbers.h"
#include "core/strings.h"
#include "imaging/drawing.h"

namespace {

using I64 = std::int64_t;

// Numbers saturate here, far beyond every bound, so no step can overflow.
constexpr I64 kSaturated = I64{1} << 62;

template <class T>
T Fit(I64 v) {
  return static_cast<T>(std::clamp<I64>(v, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

// In the order ValidateOptions checks them, one per TNumberField.
constexpr TNumberRule kNumberRules[nfCount] = {
    {"edtXEX", -65537, 65537, 0, 0, nullptr},
    {"edtYEX", -65537, 65537, 0, 0, nullptr},
    {"edtEclosion", 0, 255, 0, 255, nullptr},
    {"edtRotate", 0, 65535, 0, 0, nullptr},
    {"edtMosaicX", 0, 255, 1, 255, nullptr},
    {"edtReSizeX", 1, 4096, 1, 4096, nullptr},
    {"edtReSizeY", 1, 4096, 1, 4096, nullptr},
    {"edtResizeSourceImageSizeX", 1, 65535, 0, 0, "1"},
    {"edtResizeSourceImageSizeY", 1, 65535, 0, 0, "1"},
    {"cbxResizeSourceImageOfScale", 1, 1000, 0, 0, "1"},
    {"edtSourceImageFrameX", 0, 65535, 0, 0, nullptr},
    {"edtSourceImageFrameY", 0, 65535, 0, 0, nullptr},
    {"edtSourceImageFrameBevelWidth", 0, 255, 0, 0, nullptr},
    {"edtSourceImageFrameColorContrast", 0, 255, 0, 0, nullptr},
    {"edtMosaicY", 0, 255, 1, 255, nullptr},
    {"edtMaskLeft", -65535, 65535, 0, 0, nullptr},
    {"edtMaskTop", -65535, 65535, 0, 0, nullptr},
    {"edtMaskWidth", 0, 65535, 0, 0, nullptr},
    {"edtMaskHeight", 0, 65535, 0, 0, nullptr},
};

constexpr std::array<TFlagBox, 13> kFlagBoxes = {{
    {"chkTilePic", mfTilePic},
    {"chkMosaic", mfMosaic},
    {"chkExposal", mfExposal},
    {"chkReSize", mfResize},
    {"chkResizeSourceImage", mfResizeSource},
    {"chkSourceImageBackgroundImage", mfSourceBackgroundPicture},
    {"chkEnableSourceImageBackgroupColor", mfSourceBackgroundColor},
    {"chkSourceImageFrame", mfSourceFrame},
    {"chkSourceImageFrameFile", mfSourceFramePicture},
    {"chkUseMask", mfUseMask},
    {"chkMaskTurn", mfMaskTurn},
    {"chkMix", mfMix},
    {"chkResizeSourceImageOfScale", mfResizeSourceByScale},
}};

std::string Text(I64 v) { return std::to_string(v); }

// A combo's stored index: kept in the combo when not above its item count;
// the count itself leaves the combo without a choice.
void ShowComboIndex(int stored, int count, int& shown) {
  if (stored > count) return;
  shown = stored == count ? -1 : stored;
}

}  // namespace

std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args) {
  std::string out;
  auto next = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
      if (next != args.end()) out += *next++;
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

const TNumberRule& NumberRule(TNumberField field) { return kNumberRules[static_cast<std::size_t>(field)]; }

const std::array<TFlagBox, 13>& FlagBoxes() { return kFlagBoxes; }

std::uint32_t EditorFlagBits() {
  std::uint32_t bits = 0;
  for (const TFlagBox& box : kFlagBoxes) bits |= box.Flag;
  return bits;
}

// ---------------------------------------------------------------------------
// Numbers

std::optional<I64> ParseInteger(std::string_view text) {
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) ++i;
  if (i >= text.size()) return std::nullopt;
  I64 value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value > kSaturated / 10 ? kSaturated : std::min(kSaturated, value * 10 + (c - '0'));
  }
  return negative ? -value : value;
}

std::optional<long double> ParseDecimal(std::string_view text) {
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) ++i;
  long double value = 0;
  long double scale = 1;
  bool digit = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      digit = true;
      if (point) {
        scale /= 10;
        value += (c - '0') * scale;
      } else {
        value = std::min<long double>(1e30L, value * 10 + (c - '0'));
      }
    } else {
      return std::nullopt;
    }
  }
  if (!digit) return std::nullopt;
  return negative ? -value : value;
}

std::string FloatText(float value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::int64_t NumberValue(const TMarkOptions& options, TNumberField field) {
  const TNumberRule& rule = NumberRule(field);
  const std::optional<I64> parsed = ParseInteger(options.Number(field));
  // A spin edit whose text is no number reads as its minimum, and reads
  // inside its own range.
  I64 v = parsed.value_or(rule.OwnMin);
  if (rule.OwnMin != rule.OwnMax) v = std::clamp(v, rule.OwnMin, rule.OwnMax);
  return v;
}

bool ValidateOptions(TMarkOptions& options) {
  for (int f = 0; f < nfCount; ++f) {
    const auto field = static_cast<TNumberField>(f);
    const TNumberRule& rule = NumberRule(field);
    std::string& text = options.Number(field);
    if (field == nfScale) {
      const std::optional<long double> scale = ParseDecimal(text);
      if (!scale) {
        text = rule.Reset;
        return false;
      }
      if (*scale < rule.Low) text = Text(rule.Low);
      if (*scale > rule.High) text = Text(rule.High);
      continue;
    }
    const std::optional<I64> value = ParseInteger(text);
    if (!value) {
      if (rule.Reset != nullptr) text = rule.Reset;
      return false;
    }
    const I64 kept = std::clamp(*value, rule.Min(), rule.Max());
    if (kept != *value) text = Text(kept);
  }
  return true;
}

// ---------------------------------------------------------------------------
// Record and controls

TMarkOptions CreationOptions() {
  TMarkOptions options;
  TMarkInfo record;
  InitMarkInfo(record);
  MarkToForm(record, options);
  options.Name.clear();
  options.Number(nfMosaicX) = "10";
  options.Number(nfMosaicY) = "10";
  return options;
}

void MarkToForm(const TMarkInfo& r, TMarkOptions& o) {
  o.Name = r.Name();
  o.TextMark = r.TextMark();
  if (o.TextMark) {
    o.Text = JoinMarkText(r);
    o.Font = TMarkFont{r.FontName(), r.FontSize(), r.FontStyle(), r.FontColor()};
    o.TextBackColor = r.TextBackColor();
  } else {
    o.PictureFile = r.PictureFile();
  }
  o.Number(nfXOffset) = Text(r.XOffset());
  o.Number(nfYOffset) = Text(r.YOffset());
  o.ColorKeyOn = r.ColorKeyOn();
  o.KeyColor = r.KeyColor();
  o.Transparency = std::min<int>(r.Transparency(), 100);
  o.AutoFit = r.EditorSwitch() == 0;
  o.Number(nfTolerance) = Text(r.KeyTolerance());
  o.Number(nfAngle) = Text(r.Angle());
  o.RotateBackColor = r.RotateBackColor();
  o.Number(nfMosaicX) = Text(r.MosaicWidth());
  o.Number(nfMosaicY) = Text(r.MosaicHeight());
  o.Number(nfResizeX) = Text(r.ResizeX() == 0 ? 100 : r.ResizeX());
  o.Number(nfResizeY) = Text(r.ResizeY() == 0 ? 100 : r.ResizeY());
  o.Position = r.Anchor() <= 8 ? r.Anchor() : 0;
  o.Number(nfScale) = FloatText(r.SourceScale());
  o.Number(nfSourceWidth) = Text(r.SourceWidth());
  o.Number(nfSourceHeight) = Text(r.SourceHeight());
  o.SourceBackColor = r.SourceBackColor();
  o.Number(nfFrameX) = Text(r.FrameWidthX());
  o.Number(nfFrameY) = Text(r.FrameWidthY());
  o.FrameColor = r.FrameColor();
  ShowComboIndex(r.BevelInner(), BevelItemCount, o.BevelInner);
  ShowComboIndex(r.BevelOuter(), BevelItemCount, o.BevelOuter);
  ShowComboIndex(r.FrameStyle(), FrameStyleItemCount, o.FrameStyle);
  o.Number(nfBevelWidth) = Text(r.BevelWidth());
  o.Number(nfContrast) = Text(r.ColorContrast());
  const TRect mask = r.MaskRect();
  o.Number(nfMaskLeft) = Text(mask.Left);
  o.Number(nfMaskTop) = Text(mask.Top);
  o.Number(nfMaskWidth) = Text(I64{mask.Right} - mask.Left);
  o.Number(nfMaskHeight) = Text(I64{mask.Bottom} - mask.Top);
  o.Flags = r.EffectFlags() & EditorFlagBits();
}

void FormToMark(const TMarkOptions& o, TMarkInfo& r) {
  InitMarkInfo(r);
  auto number = [&o](TNumberField field) { return NumberValue(o, field); };
  r.SetName(Trim(o.Name));
  r.SetTextMark(o.TextMark);
  if (o.TextMark) {
    SplitMarkText(o.Text, r);
    r.SetFontName(o.Font.Name);
    r.SetFontColor(o.Font.Color);
    r.SetFontSize(o.Font.Size);
    r.SetFontStyle(o.Font.Style);
    r.SetTextBackColor(o.TextBackColor);
  } else {
    r.SetPictureFile(o.PictureFile);
  }
  r.SetAnchor(static_cast<std::uint8_t>(std::clamp(o.Position, 0, 8)));
  r.SetXOffset(Fit<std::int32_t>(number(nfXOffset)));
  r.SetYOffset(Fit<std::int32_t>(number(nfYOffset)));
  r.SetColorKeyOn(o.ColorKeyOn);
  r.SetKeyColor(o.KeyColor);
  r.SetKeyTolerance(Fit<std::uint8_t>(number(nfTolerance)));
  r.SetAngle(Fit<std::uint16_t>(number(nfAngle)));
  r.SetRotateBackColor(o.RotateBackColor);
  r.SetTransparency(static_cast<std::uint8_t>(std::clamp(o.Transparency, 0, 100)));
  r.SetEditorSwitch(o.AutoFit ? 0 : 1);
  r.SetMosaicWidth(Fit<std::uint8_t>(number(nfMosaicX)));
  r.SetMosaicHeight(Fit<std::uint8_t>(number(nfMosaicY)));
  r.SetResizeX(Fit<std::uint16_t>(number(nfResizeX)));
  r.SetResizeY(Fit<std::uint16_t>(number(nfResizeY)));
  r.SetSourceWidth(Fit<std::uint16_t>(number(nfSourceWidth)));
  r.SetSourceHeight(Fit<std::uint16_t>(number(nfSourceHeight)));
  if (const std::optional<long double> scale = ParseDecimal(o.Number(nfScale))) {
    r.SetSourceScale(static_cast<float>(std::clamp<long double>(*scale, -1e30L, 1e30L)));
  }
  r.SetSourceBackColor(o.SourceBackColor);
  r.SetFrameWidthX(Fit<std::uint16_t>(number(nfFrameX)));
  r.SetFrameWidthY(Fit<std::uint16_t>(number(nfFrameY)));
  r.SetFrameColor(o.FrameColor);
  if (o.BevelInner >= 0) r.SetBevelInner(Fit<std::uint8_t>(o.BevelInner));
  if (o.BevelOuter >= 0) r.SetBevelOuter(Fit<std::uint8_t>(o.BevelOuter));
  r.SetBevelWidth(Fit<std::uint8_t>(number(nfBevelWidth)));
  if (o.FrameStyle >= 0) r.SetFrameStyle(Fit<std::uint8_t>(o.FrameStyle));
  r.SetColorContrast(Fit<std::uint8_t>(number(nfContrast)));
  const I64 left = number(nfMaskLeft), top = number(nfMaskTop);
  r.SetMaskRect(TRect{Fit<std::int32_t>(left), Fit<std::int32_t>(top),
                      Fit<std::int32_t>(left + number(nfMaskWidth)), Fit<std::int32_t>(top + number(nfMaskHeight))});
  // The editor always stores the mark picture as a bitmap.
  r.SetStoredPictureType(".bmp");
  r.SetPictureType(".bmp");
  r.SetEffectFlags(o.Flags & EditorFlagBits());
}

// ---------------------------------------------------------------------------
// Saving

TSaveCheck ValidateBeforeSave(TMarkOptions& options, bool pictureEmpty) {
  if (!MarkTextFits(options.Text)) return {false, msg::MarkTextTooLong, sfNone};
  if (pictureEmpty) return {false, msg::MarkPictureMissing, sfNone};
  const std::string name = Trim(options.Name);
  if (name.empty()) return {false, msg::MarkNameMissing, sfName};
  if (!IsPlainMarkName(name)) return {false, msg::MarkNameNotPlain, sfName};
  if (name.size() > MarkNameBytes) return {false, msg::MarkNameTooLong, sfName};
  if (options.TextMark && options.Text.empty()) return {false, msg::MarkTextMissing, sfText};
  const std::optional<I64> tolerance = ParseInteger(options.Number(nfTolerance));
  if (tolerance && *tolerance < 0) {
    options.Number(nfTolerance) = "0";
    return {false, 0, sfNone};
  }
  return {};
}

bool SaveMark(TMark& set, const TSaveTarget& target) {
  const std::string file = GetMarkFileName(target.Name);
  const bool editing = target.EditExisting;
  const std::string oldFile = editing ? GetMarkFileName(target.OldName) : std::string();
  const bool ownFile = editing && (target.Name == target.OldName || (!oldFile.empty() && SameFile(oldFile, file)));
  if (!file.empty() && !ownFile && FileExists(file) &&
      ShowMsg(GetMessageText(msg::AskReplaceExisting), mkQuestion, SystemMessageCaption) != idYes) {
    return false;
  }
  try {
    if (file.empty()) throw EFCreateError("No mark file for " + target.Name);
    set.WriteMarkFile(0, file);
  } catch (const std::exception&) {
    ShowMsg(GetMessageText(msg::MarkFileNotWritten), mkInformation, SystemMessageCaption);
    return false;
  }
  // A rename: the old file goes, unless it is the one just written.
  if (editing && target.Name != target.OldName && !oldFile.empty() && FileExists(oldFile) &&
      !SameFile(oldFile, file)) {
    DeleteFile(oldFile);
  }
  return true;
}

// ---------------------------------------------------------------------------
// Mark text

TMarkTextPieces SplitMarkText(std::string_view text) {
  TMarkTextPieces pieces;
  for (std::string& piece : pieces) {
    if (text.empty()) break;
    piece = Utf8Prefix(text, MarkTextPieceBytes);
    // Bytes that start no character cannot be cut inside one.
    if (piece.empty()) piece = std::string(text.substr(0, MarkTextPieceBytes));
    text.remove_prefix(piece.size());
  }
  return pieces;
}

void SplitMarkText(std::string_view text, TMarkInfo& record) {
  const TMarkTextPieces pieces = SplitMarkText(text);
  for (int i = 0; i < TMarkInfo::TextPieces; ++i) record.SetTextPiece(i, pieces[static_cast<std::size_t>(i)]);
}

std::string JoinMarkText(const TMarkTextPieces& pieces) {
  std::string text;
  for (const std::string& piece : pieces) text += piece;
  return text;
}

std::string JoinMarkText(const TMarkInfo& record) {
  std::string text;
  for (int i = 0; i < TMarkInfo::TextPieces; ++i) text += record.TextPiece(i);
  return text;
}

bool MarkTextFits(std::string_view text) { return JoinMarkText(SplitMarkText(text)).size() == text.size(); }

std::string StoredLineBreaks(std::string_view memoText) {
  std::string out;
  for (std::size_t i = 0; i < memoText.size(); ++i) {
    const char c = memoText[i];
    if (c == '\r' || c == '\n') {
      out += "\r\n";
      if (c == '\r' && i + 1 < memoText.size() && memoText[i + 1] == '\n') ++i;
    } else {
      out += c;
    }
  }
  return out;
}

std::string MemoLineBreaks(std::string_view storedText) {
  std::string out;
  for (std::size_t i = 0; i < storedText.size(); ++i) {
    const char c = storedText[i];
    if (c == '\r') {
      out += '\n';
      if (i + 1 < storedText.size() && storedText[i + 1] == '\n') ++i;
    } else {
      out += c;
    }
  }
  return out;
}

// ---------------------------------------------------------------------------
// Lists and small rules

const std::vector<std::string>& DefaultSizeItems() {
  static const std::vector<std::string> items = {
      "100x100",          "16x16",           "32x32",           "48x48",
      "96x96",            "128x128",         "192x192",         "88x31",
      "150x100",          "200x200",         "300x300",         "640x480",
      "800x600",          "1024x768",        "1600x1200",       "2000x1600",
      "250x360(4x5 inch)", "286x430(4x6 inch)", "360x504(5x7 inch)", "428x576(6x8 inch)",
      "576x720(8x10 inch)", "864x1080(12x15 inch)", "360x250(5x4 inch)", "430x286(6x4 inch)",
      "504x360(7x5 inch)", "576x428(8x6 inch)", "720x576(10x8 inch)", "1080x864(15x12 inch)"};
  return items;
}

const std::vector<std::string>& ScaleItems() {
  static const std::vector<std::string> items = {"500", "400", "300", "200", "75", "50", "25", "12.5"};
  return items;
}

std::optional<TPoint> ParseSizePreset(std::string_view item) {
  const std::size_t x = item.find('x');
  if (x == std::string_view::npos) return std::nullopt;
  std::string_view rest = item.substr(x + 1);
  rest = rest.substr(0, rest.find('('));
  const std::optional<I64> w = ParseInteger(item.substr(0, x));
  const std::optional<I64> h = ParseInteger(rest);
  if (!w || !h) return std::nullopt;
  return TPoint{ClampToInt(*w), ClampToInt(*h)};
}

std::string VersionCaption(const std::string& label, const std::string& version) { return label + ":" + version; }

std::optional<TPoint> FitToBackgroundPercent(TPoint composite, TPoint mark) {
  if (mark.X <= 0 || mark.Y <= 0) return std::nullopt;
  auto percent = [](int whole, int part) {
    return static_cast<int>(std::clamp<I64>(Round(static_cast<long double>(whole) / part * 100), 1, 4096));
  };
  return TPoint{percent(composite.X, mark.X), percent(composite.Y, mark.Y)};
}

// ---------------------------------------------------------------------------
// The mark view and the preview

TRect MarkViewRect(bool autoFit, TPoint frame, TPoint picture) {
  if (autoFit) return FitRect(frame, picture, false, true, 5, 5);
  return TRect{0, 0, std::max(picture.X, 0), std::max(picture.Y, 0)};
}

TRect PreviewRect(TPoint panel, TPoint composite) {
  return FitRect(panel, TPoint{std::max(composite.X, 1), composite.Y}, false, true, 1, 1);
}

TCompositePlan PlanComposite(bool resizeSource, TPoint sourceSize, bool haveSample, TPoint sampleSize,
                             TPoint panelSize) {
  TCompositePlan plan;
  plan.UseSample = haveSample;
  if (haveSample) {
    plan.Size = sampleSize;
  } else if (resizeSource) {
    plan.Size = TPoint{std::max(sourceSize.X, 1), std::max(sourceSize.Y, 1)};
  } else {
    plan.Size = TPoint{std::max(panelSize.X, 1), std::max(panelSize.Y, 1)};
  }
  plan.Base = plan.Size;
  plan.Fits = WithinPixelCap(plan.Size.X, plan.Size.Y);
  return plan;
}

void DrawCheckerboard(TBitmap& bitmap) {
  bitmap.SetPixelFormat(pf24bit);
  TCanvas& canvas = bitmap.Canvas();
  const TBrush brush = canvas.Brush;
  canvas.Brush.Style = bsSolid;
  canvas.Brush.Color = clWhite;
  canvas.FillRect(TRect{0, 0, bitmap.Width(), bitmap.Height()});
  canvas.Brush.Color = RGB(206, 206, 206);
  for (int r = 0; r <= bitmap.Height() / 8; ++r) {
    for (int c = 0; c <= bitmap.Width() / 8; ++c) {
      if ((c + r) % 2 == 1) canvas.FillRect(TRect{8 * c, 8 * r, 8 * c + 8, 8 * r + 8});
    }
  }
  canvas.Brush = brush;
}

std::optional<TPixelReadout> ReadPixel(const TBitmap& picture, int x, int y) {
  if (x < 0 || y < 0 || x >= picture.Width() || y >= picture.Height()) return std::nullopt;
  TPixelReadout readout;
  readout.Color = picture.Canvas().Pixel(x, y);
  const int r = GetRValue(readout.Color), g = GetGValue(readout.Color), b = GetBValue(readout.Color);
  readout.ColorText = " RGB:" + std::to_string(r) + "," + std::to_string(g) + "," + std::to_string(b);
  readout.FontColor = ReadoutFontColor(readout.Color);
  readout.LocateText = "X:Y " + std::to_string(x) + ":" + std::to_string(y);
  return readout;
}

TColor ReadoutFontColor(TColor c) {
  const int channels[] = {GetRValue(c), GetGValue(c), GetBValue(c)};
  for (int v : channels) {
    if (v >= 101 && v <= 149) return clBlack;
  }
  return RGB(255 - channels[0], 255 - channels[1], 255 - channels[2]);
}

TColor ContrastColor(TColor c) {
  auto channel = [](int v) {
    const int inverted = 255 - v;
    return std::abs(inverted - 127) < 50 ? 0 : inverted;
  };
  return RGB(channel(GetRValue(c)), channel(GetGValue(c)), channel(GetBValue(c)));
}

TColor CaptionColorOn(TColor back) {
  return ContrastRatio(clBlack, back) > ContrastRatio(clWhite, back) ? clBlack : clWhite;
}

TPickTarget PickTarget(bool leftButton, bool rightButton, bool angleSet, bool keyOn) {
  if (rightButton && angleSet) return ptRotateBack;
  if (leftButton && keyOn) return ptKeyColor;
  return ptNone;
}

void TOffsetDrag::Begin(TPoint pointer, TPoint offsets) {
  active_ = true;
  start_ = pointer;
  startOffsets_ = offsets;
}

TPoint TOffsetDrag::OffsetsAt(TPoint pointer) const {
  return TPoint{ClampToInt(I64{startOffsets_.X} + pointer.X - start_.X),
                ClampToInt(I64{startOffsets_.Y} + pointer.Y - start_.Y)};
}
