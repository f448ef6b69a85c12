// Processing one source file through a mark set, and image output by type.

#include "imaging/process.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <vector>

#include "app/messages.h"
#include "app/routines.h"
#include "app/settings.h"
#include "core/bmp.h"
#include "core/exceptions.h"
#include "core/graphic.h"
#include "core/jpeg.h"
#include "core/streams.h"
#include "formats/gif/gif_image.h"
#include "formats/pcx/pcx_writer.h"
#include "formats/png/png_image.h"
#include "formats/tga/tga_writer.h"
#include "imaging/drawing.h"
#include "imaging/mark.h"
#include "imaging/source_picture.h"

namespace {

using TClock = std::chrono::steady_clock;

double MillisecondsSince(TClock::time_point& mark) {
  const TClock::time_point now = TClock::now();
  const double ms = std::chrono::duration<double, std::milli>(now - mark).count();
  mark = now;
  return ms;
}

// The picture an output is written from. The batch's work picture may
// lend its pixels to the writer for the writing (Lendable; it gets them
// back however the writing ends); any other picture is only read.
struct TOutputPicture {
  const TBitmap& Picture;
  TBitmap* Lendable = nullptr;
};

std::vector<std::uint8_t> EncodeJpegOutput(const TBitmap& bitmap, int quality, const TOutputOptions& options) {
  // Compressed straight from the bitmap: the same bytes BitmapToJpeg
  // gives, without copying the picture into an image object first.
  return EncodeJpeg(bitmap, OutputJpegQuality(quality, options));
}

void WriteGifOutput(const TOutputPicture& picture, TStream& out, const TOutputOptions& options) {
  TGIFImage gif;
  ApplyGifOptions(gif, options);
  gif.Assign(picture.Picture);
  gif.SaveToStream(out);
}

void WriteBmpOutput(const TOutputPicture& picture, TStream& out, const TOutputOptions& options) {
  const TBitmap& bitmap = picture.Picture;
  const std::optional<TPixelFormat> format =
      options.BmpKeepColor ? std::nullopt : BmpOutputFormat(options.BmpColorSetup);
  const bool same = !format || *format == bitmap.PixelFormat() ||
                    (BitsPerPixel(*format) == 24 && BitsPerPixel(bitmap.PixelFormat()) == 24);
  if (same) {
    WriteBmp(bitmap, out);
    return;
  }
  // The caller's picture keeps its depth; only the written copy is reduced.
  TBitmap reduced(bitmap);
  reduced.SetPixelFormat(*format);
  WriteBmp(reduced, out);
}

void WritePngOutput(const TOutputPicture& picture, TStream& out, const TOutputOptions&) {
  if (picture.Lendable == nullptr) {
    BitmapToPng(&picture.Picture)->SaveToStream(out);
    return;
  }
  // The work picture lends its pixels to the image instead of being
  // copied: the same file, with one picture fewer in memory.
  TBitmap& work = *picture.Lendable;
  TPNGImage png;
  // What assigning the picture would give the image.
  png.SetTransparentColor(work.TransparentMode() == TBitmap::tmFixed ? work.TransparentColor() : clDefault);
  png.SetTransparent(work.Transparent());
  struct TLent {
    TBitmap& Work;
    TPNGImage& Png;
    ~TLent() { Work.SwapPicture(Png); }
  } lent{work, png};
  png.SwapPicture(work);
  png.SaveToStream(out);
}

// The 24-bit work picture goes to PCX and Targa as 24 bits, so no colour
// is lost and no palette has to be made up.
void WritePcxOutput(const TOutputPicture& picture, TStream& out, const TOutputOptions&) {
  SavePCX(out, picture.Picture, pcxTrueColour);
}

void WriteTargaOutput(const TOutputPicture& picture, TStream& out, const TOutputOptions&) {
  SaveTGA(out, picture.Picture, tgaTrueColour);
}

// A name of no type the program writes gets BMP data as the picture
// stands.
void WritePlainBmpOutput(const TOutputPicture& picture, TStream& out, const TOutputOptions&) {
  WriteBmp(picture.Picture, out);
}

// How an image type is written. A writer either encodes the whole file in
// memory before the file is opened (Encode: the JPEG encoder's buffer is
// the file, and the batch times the encoding apart from the writing) or
// writes into the open file (Write).
struct TOutputWriter {
  TImageType Type;
  std::vector<std::uint8_t> (*Encode)(const TBitmap& picture, int jpegQuality, const TOutputOptions& options);
  void (*Write)(const TOutputPicture& picture, TStream& out, const TOutputOptions& options);
};

// Every image type has one writer, and the batch and SaveImageFile both
// write through this table. (A GIF source written as GIF takes a road of
// its own, MarkGifImage, which keeps the animation.)
constexpr TOutputWriter kOutputWriters[] = {
    {itJpeg, EncodeJpegOutput, nullptr},     {itGif, nullptr, WriteGifOutput},
    {itBmp, nullptr, WriteBmpOutput},        {itPng, nullptr, WritePngOutput},
    {itPcx, nullptr, WritePcxOutput},        {itTarga, nullptr, WriteTargaOutput},
    {itOther, nullptr, WritePlainBmpOutput},
};

const TOutputWriter& OutputWriterOf(TImageType type) {
  for (const TOutputWriter& writer : kOutputWriters) {
    if (writer.Type == type) return writer;
  }
  return kOutputWriters[std::size(kOutputWriters) - 1];
}

// Draws mark m onto a GIF frame at p, tiled over the frame when the mark
// asks for it.
void DrawMarkOnFrame(TBitmap& frame, const TMark& marks, std::size_t m, TPoint p) {
  DrawMarkPicture(marks.MarkPictures[m], frame, marks.Records[m], p);
}

TPoint PlacedPoint(const TBitmap& frame, const TBitmap& mark, const TMarkInfo& r) {
  const TPoint a = GetAnchorOffset(frame.Width(), frame.Height(), mark.Width(), mark.Height(), r.Anchor());
  const std::int64_t limit = std::int64_t{1} << 30;
  return TPoint{static_cast<int>(std::clamp<std::int64_t>(std::int64_t{a.X} + r.XOffset(), -limit, limit)),
                static_cast<int>(std::clamp<std::int64_t>(std::int64_t{a.Y} + r.YOffset(), -limit, limit))};
}

// The pixels a transparent GIF frame hides, one flag per pixel in the
// order of its data; empty when it hides none.
std::vector<bool> TransparentPixels(const TGIFSubImage& frame) {
  if (!frame.Transparent()) return {};
  const int key = frame.TransparentIndex();
  const std::vector<std::uint8_t>& data = frame.Data();
  std::vector<bool> hidden(data.size());
  bool any = false;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (data[i] == key) {
      hidden[i] = true;
      any = true;
    }
  }
  if (!any) return {};
  return hidden;
}

// A hidden pixel that a mark drew on shows the mark.
void ShowMarkedPixels(std::vector<bool>& hidden, const TBitmap& before, const TBitmap& after) {
  const int w = after.Width();
  if (hidden.size() != static_cast<std::size_t>(w) * static_cast<std::size_t>(after.Height()) ||
      before.Width() != w || before.Height() != after.Height()) {
    return;
  }
  for (int y = 0; y < after.Height(); ++y) {
    const std::uint8_t* was = before.ScanLine(y);
    const std::uint8_t* now = after.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x);
      if (hidden[i] && std::memcmp(was + 3 * x, now + 3 * x, 3) != 0) hidden[i] = false;
    }
  }
}

// The pixels of the single-frame road's picture that the first frame of
// gif leaves unseen, one flag per pixel; empty when it hides none. A
// frame of the screen's size is the picture itself; a smaller one is
// drawn at its place, and when it is transparent the screen around it is
// unseen too.
std::vector<bool> UnseenPixels(const TGIFImage& gif, const TBitmap& picture) {
  const TGIFSubImage& frame = *gif.Images()[0];
  if (frame.Width() == gif.Width() && frame.Height() == gif.Height()) return TransparentPixels(frame);
  if (!frame.Transparent()) return {};
  const int key = frame.TransparentIndex();
  const std::size_t width = static_cast<std::size_t>(picture.Width());
  std::vector<bool> hidden(width * static_cast<std::size_t>(picture.Height()), true);
  for (int y = std::max(frame.Top(), 0); y < std::min(frame.Top() + frame.Height(), picture.Height()); ++y) {
    const std::uint8_t* row = frame.Data().data() + static_cast<std::size_t>(y - frame.Top()) * frame.Width();
    for (int x = std::max(frame.Left(), 0); x < std::min(frame.Left() + frame.Width(), picture.Width()); ++x) {
      if (row[x - frame.Left()] != key) {
        hidden[static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)] = false;
      }
    }
  }
  return hidden;
}

// The colour a frame's hidden pixels carry in its table, so that a viewer
// that ignores transparency shows what it showed before.
TColor HiddenColor(const TGIFSubImage& frame) {
  const TGIFColorMap& map = frame.ActiveColorMap();
  const int key = frame.TransparentIndex();
  if (key < map.Count()) return TGIFColorMap::TripleToColor(map.Data()[static_cast<std::size_t>(key)]);
  return clBlack;
}

// Gives the hidden pixels of a written frame one colour index that no
// visible pixel uses: the one they all received when it is theirs alone,
// else a new entry (or, in a full table, an unused one). None when no
// pixel stays hidden or the table has no index to spare.
std::optional<int> KeepTransparentPixels(TGIFSubImage& frame, const std::vector<bool>& hidden, TColor color) {
  const std::vector<std::uint8_t>& data = frame.Data();
  if (hidden.size() != data.size()) return std::nullopt;
  std::array<std::int64_t, 256> hiddenUse{};
  std::array<std::int64_t, 256> shownUse{};
  for (std::size_t i = 0; i < data.size(); ++i) ++(hidden[i] ? hiddenUse : shownUse)[data[i]];
  int used = 0, only = -1;
  for (int k = 0; k < 256; ++k) {
    if (hiddenUse[static_cast<std::size_t>(k)] > 0) {
      ++used;
      only = k;
    }
  }
  if (used == 0) return std::nullopt;
  if (used == 1 && shownUse[static_cast<std::size_t>(only)] == 0) return only;
  TGIFColorMap& map = frame.ActiveColorMap();
  int index = -1;
  if (map.Count() < 256) {
    index = map.Add(color);
  } else {
    for (int k = 0; k < 256 && index < 0; ++k) {
      if (shownUse[static_cast<std::size_t>(k)] == 0) index = k;
    }
  }
  if (index < 0) return std::nullopt;
  std::vector<std::uint8_t>& pixels = frame.MutableData();
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    if (hidden[i]) pixels[i] = static_cast<std::uint8_t>(index);
  }
  return index;
}

}  // namespace

TOutputOptions CurrentOutputOptions() {
  const TProgramInfo& settings = ProgramInfo();
  TOutputOptions o;
  o.KeepJpgCompress = settings.KeepJpgCompress;
  o.JpgCompress = settings.JpgCompress;
  o.GifEnablePalette = settings.GifEnablePalette;
  o.GifPalette = settings.GifPalette;
  o.GifEnableDither = settings.GifEnableDither;
  o.GifDither = settings.GifDither;
  o.GifCompress = settings.GifCompress;
  o.BmpKeepColor = settings.BmpKeepColor;
  o.BmpColorSetup = settings.BmpColorSetup;
  return o;
}

int OutputJpegQuality(int quality) { return OutputJpegQuality(quality, CurrentOutputOptions()); }

int OutputJpegQuality(int quality, const TOutputOptions& options) {
  if (options.KeepJpgCompress) return quality;
  return std::clamp<int>(options.JpgCompress, 1, 100);
}

std::unique_ptr<TJPEGImage> BitmapToJpeg(const TBitmap* bitmap, int quality) {
  if (bitmap == nullptr) return nullptr;
  auto jpeg = std::make_unique<TJPEGImage>();
  jpeg->Assign(*bitmap);
  jpeg->SetCompressionQuality(OutputJpegQuality(quality));
  jpeg->Compress();
  return jpeg;
}

std::unique_ptr<TPNGImage> BitmapToPng(const TBitmap* bitmap) {
  if (bitmap == nullptr) return nullptr;
  auto png = std::make_unique<TPNGImage>();
  png->Assign(*bitmap);
  return png;
}

std::unique_ptr<TGIFImage> BitmapToGif(const TBitmap* bitmap) {
  if (bitmap == nullptr) return nullptr;
  auto gif = std::make_unique<TGIFImage>();
  ApplyGifOptions(*gif);
  gif->Assign(*bitmap);
  return gif;
}

std::optional<int> GifColorReductionOf(int gifPalette) {
  static constexpr int kCodes[] = {rmQuantize,     rmQuantizeWindows, rmWindows20,  rmWindowsHalftone,
                                   rmWindowsGray,  rmMonochrome,      rmGrayScale,  rmNetscape};
  if (gifPalette < 0 || gifPalette > 7) return std::nullopt;
  return kCodes[gifPalette];
}

void ApplyGifOptions(TGIFImage& gif) { ApplyGifOptions(gif, CurrentOutputOptions()); }

void ApplyGifOptions(TGIFImage& gif, const TOutputOptions& options) {
  if (options.GifEnableDither && options.GifDither <= dmBurkes) gif.DitherMode = options.GifDither;
  if (options.GifEnablePalette) {
    if (const std::optional<int> code = GifColorReductionOf(options.GifPalette)) {
      gif.ColorReduction = static_cast<std::uint8_t>(*code);
    }
  }
  if (options.GifCompress <= 1) gif.Compression = options.GifCompress;
}

int GifTransparentIndex(TGIFSubImage& frame) { return frame.GetPixel(0, frame.Height() - 1); }

std::optional<TPixelFormat> BmpOutputFormat(int colorSetup) {
  switch (colorSetup) {
    case 0: return pf32bit;
    case 1: return pf24bit;
    case 2: return pf16bit;
    case 3: return pf8bit;
    case 4: return pf4bit;
    case 5: return pf1bit;
    default: return std::nullopt;
  }
}

void SaveImageFile(const TBitmap& bitmap, const std::string& fileName) {
  const TOutputOptions options = CurrentOutputOptions();
  const TOutputWriter& writer = OutputWriterOf(GetImageType(fileName));
  TAtomicFileStream file(fileName);
  if (writer.Encode != nullptr) {
    file.WriteBuffer(writer.Encode(bitmap, 100, options));
  } else {
    writer.Write({bitmap}, file, options);
  }
  file.Commit();
}

namespace {

// The GIF-to-GIF road up to the writing: the image to write. Raises what
// loading or marking raises.
std::unique_ptr<TGIFImage> MarkGifImage(const std::string& src, const TMark& marks, const TOutputOptions& options) {
  auto source = std::make_unique<TGIFImage>();
  source->LoadFromFile(src);
  // A block without an image (an extension before the trailer) is no
  // frame: it has nothing to mark and would count as one.
  source->Images().DeleteIf([](const TGIFSubImage& frame) { return frame.Empty(); });
  source->FreeBitmap();
  if (source->Images().Count() == 0) throw GIFException("Image is empty");
  const int frames = source->Images().Count();
  const std::size_t markCount = static_cast<std::size_t>(marks.Count());

  if (frames > 1 && !marks.GifDisableAnimate) {
    // The animation survives, with the GIF image's own default options.
    auto out = std::make_unique<TGIFImage>();
    std::vector<TPoint> firstPlace(markCount);
    const TGIFSubImage& first = *source->Images()[0];
    for (int f = 0; f < frames; ++f) {
      TGIFSubImage& frame = *source->Images()[f];
      TBitmap picture;
      picture.Assign(frame.GetBitmap());
      picture.SetPixelFormat(pf24bit);
      std::vector<bool> hidden = TransparentPixels(frame);
      const bool marked = !marks.GifMarkFirst || f == 0;
      // What the hidden pixels held, to see which of them a mark drew on.
      const TBitmap unmarked = marked && !hidden.empty() ? picture : TBitmap();
      if (marked) {
        for (std::size_t m = 0; m < markCount; ++m) {
          TPoint p = PlacedPoint(picture, marks.MarkPictures[m], marks.Records[m]);
          // Every frame carries the mark at the same place of the whole
          // animation, wherever the first frame itself sits.
          if (f == 0) {
            firstPlace[m] = p;
          } else {
            p = TPoint{firstPlace[m].X + first.Left() - frame.Left(), firstPlace[m].Y + first.Top() - frame.Top()};
          }
          DrawMarkOnFrame(picture, marks, m, p);
        }
        if (!hidden.empty()) ShowMarkedPixels(hidden, unmarked, picture);
      }
      picture.SetPixelFormat(pf24bit);
      const int index = out->Add(picture);
      TGIFSubImage& written = *out->Images()[index];
      const std::optional<int> transparentIndex =
          hidden.empty() ? std::nullopt : KeepTransparentPixels(written, hidden, HiddenColor(frame));
      written.ColorMap().Optimized = true;
      written.SetBoundsValue(2, frame.Top());
      written.SetBoundsValue(1, frame.Left());
      if (index == 0) {
        auto loop = std::make_unique<TGIFAppExtNSLoop>(&written);
        loop->Loops = 0;
        written.Extensions().Add(std::move(loop));
      }
      auto control = std::make_unique<TGIFGraphicControlExtension>(&written);
      // A source frame without a control extension leaves the delay and
      // the disposal as they start.
      if (const TGIFGraphicControlExtension* sourceControl = frame.GraphicControlExtension()) {
        control->SetDelay(sourceControl->GetDelay());
        control->SetDisposal(sourceControl->Disposal());
      }
      // Only the pixels the source hid are hidden: a colour that merely
      // looks like them stays visible.
      control->SetTransparent(transparentIndex.has_value());
      try {
        control->SetTransparentColorIndex(transparentIndex ? *transparentIndex : GifTransparentIndex(written));
      } catch (const std::exception&) {
        // The index keeps its initial value.
      }
      written.Extensions().Add(std::move(control));
    }
    // Frames that leave part of the logical screen uncovered keep the
    // animation's own size.
    if (out->Width() < source->Width()) out->SetWidth(source->Width());
    if (out->Height() < source->Height()) out->SetHeight(source->Height());
    out->SetAnimate(source->GetAnimate());
    out->SetAnimationSpeed(source->AnimationSpeed());
    out->SetTransparent(source->Transparent());
    return out;
  }

  // One frame, or the animation dropped: the first frame as drawn.
  TBitmap picture;
  if (source->Width() > 0 && source->Height() > 0) {
    source->AssignTo(picture);
  } else {
    // The screen has no size to draw the frame on.
    PaintFirstGifFrame(*source, picture);
  }
  picture.SetPixelFormat(pf24bit);
  // What the frame hid stays hidden, as on the animated road.
  std::vector<bool> hidden = UnseenPixels(*source, picture);
  const TBitmap unmarked = hidden.empty() ? TBitmap() : picture;
  for (std::size_t m = 0; m < markCount; ++m) {
    DrawMarkOnFrame(picture, marks, m, PlacedPoint(picture, marks.MarkPictures[m], marks.Records[m]));
  }
  if (!hidden.empty()) ShowMarkedPixels(hidden, unmarked, picture);
  const TColor hiddenColor = HiddenColor(*source->Images()[0]);
  ApplyGifOptions(*source, options);
  source->Assign(picture);
  TGIFSubImage& written = *source->Images()[0];
  const std::optional<int> index =
      hidden.empty() ? std::nullopt : KeepTransparentPixels(written, hidden, hiddenColor);
  if (index) {
    auto control = std::make_unique<TGIFGraphicControlExtension>(&written);
    control->SetTransparent(true);
    control->SetTransparentColorIndex(*index);
    written.Extensions().Add(std::move(control));
  }
  return source;
}

}  // namespace

bool ProcessGifFile(const std::string& src, const std::string& dest, const TMark& marks) {
  try {
    const TOutputOptions options = marks.OutputOptions ? *marks.OutputOptions : CurrentOutputOptions();
    // A symbolic link at dest is replaced, as every output of the batch
    // replaces one.
    TAtomicFileStream file(dest, TLinkTarget::Replace);
    MarkGifImage(src, marks, options)->SaveToStream(file);
    file.Commit();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

TMark::TPreparedFile TMark::PrepareFile(const std::string& src, const std::string& dest, TStageTimes* times,
                                        const std::function<void(std::int64_t pictureBytes)>& loaded) {
  TPreparedFile prepared;
  TStageTimes measured;
  TClock::time_point mark = TClock::now();
  // Never the settings object on a batch worker: its mark set brings
  // the options along.
  const TOutputOptions options = OutputOptions ? *OutputOptions : CurrentOutputOptions();
  // The most the work picture needed for this file (its source, or the
  // treated picture the marks made of it).
  std::size_t need = 0;
  const auto noteNeed = [&] {
    need = std::max(need, static_cast<std::size_t>(Composite.RowStride()) * static_cast<std::size_t>(Composite.Height()));
  };
  try {
    const TImageType sourceType = GetImageType(src);
    const TOutputWriter& writer = OutputWriterOf(GetImageType(dest));
    // The quality a loaded JPEG image reports: the one its source was
    // written at, or the image's default for other sources. The output
    // description and the written JPEG use it.
    int quality = TJPEGImage::DefaultQuality;
    // A source whose data end early is a damaged file here, though the
    // preview shows what it holds.
    LoadSourcePicture(src, Composite, &quality, TCutSource::Refuse);
    noteNeed();
    prepared.PictureBytes =
        static_cast<std::int64_t>(Composite.Width()) * static_cast<std::int64_t>(Composite.Height()) * 3;
    measured.DecodeMs = MillisecondsSince(mark);
    if (loaded) {
      loaded(prepared.PictureBytes);
      // Not counted as any stage: the caller may have waited there.
      mark = TClock::now();
    }

    std::unique_ptr<TAtomicFileStream> output;
    if (sourceType == itGif && writer.Type == itGif) {
      const std::unique_ptr<TGIFImage> gif = MarkGifImage(src, *this, options);
      output = std::make_unique<TAtomicFileStream>(dest, TLinkTarget::Replace);
      gif->SaveToStream(*output);
      output->Sync();
      measured.EncodeMs = MillisecondsSince(mark);
    } else {
      DrawMarks(Composite.Width(), Composite.Height());
      noteNeed();
      measured.RenderMs = MillisecondsSince(mark);
      if (writer.Encode != nullptr) {
        const std::vector<std::uint8_t> bytes = writer.Encode(Composite, quality, options);
        measured.EncodeMs = MillisecondsSince(mark);
        output = std::make_unique<TAtomicFileStream>(dest, TLinkTarget::Replace);
        output->WriteBuffer(bytes);
        output->Sync();
        measured.WriteMs = MillisecondsSince(mark);
      } else {
        output = std::make_unique<TAtomicFileStream>(dest, TLinkTarget::Replace);
        writer.Write({Composite, &Composite}, *output, options);
        output->Sync();
        measured.EncodeMs = MillisecondsSince(mark);
      }
    }
    prepared.Output = std::move(output);
    prepared.Converted = true;
    if (sourceType == itJpeg) prepared.JpegQuality = quality;
  } catch (const std::exception&) {
    prepared.Converted = false;
    prepared.Output.reset();
  }
  // Rotation and effects must never carry over to the next file.
  try {
    RestoreMarkPictures();
  } catch (const std::exception&) {
    prepared.Converted = false;
    prepared.Output.reset();
  }
  // A huge file leaves no memory behind for the small ones after it
  // (whatever way this one went).
  KeepWorkMemory(need);
  if (times != nullptr) *times = measured;
  return prepared;
}

bool CommitPreparedFile(TMark::TPreparedFile& file) {
  if (!file.Converted || !file.Output) return false;
  try {
    file.Output->Commit();
  } catch (const std::exception&) {
    file.Converted = false;
  }
  file.Output.reset();
  return file.Converted;
}

std::string OutputDescription(int jpegQuality) {
  if (jpegQuality < 0) return "";
  return "jpg " + GetMessageText(msg::JpegQuality) + ":" + std::to_string(jpegQuality) + "%";
}

bool TMark::ProcessFile(const std::string& src, const std::string& dest, TStageTimes* times) {
  Info.clear();
  TPreparedFile prepared = PrepareFile(src, dest, times);
  const TClock::time_point start = TClock::now();
  const bool converted = CommitPreparedFile(prepared);
  if (times != nullptr) times->WriteMs += std::chrono::duration<double, std::milli>(TClock::now() - start).count();
  if (converted) Info = OutputDescription(prepared.JpegQuality);
  return converted;
}
