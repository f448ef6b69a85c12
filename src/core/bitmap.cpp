#include "core/bitmap.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/exceptions.h"

// ---------------------------------------------------------------------------
// Formats and palettes

int BitsPerPixel(TPixelFormat format) {
  switch (format) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pfDevice:
    case pf24bit: return 24;
    case pf32bit: return 32;
    case pfCustom: return 0;
  }
  return 0;
}

std::int64_t BytesPerScanLine(std::int64_t width, int bitsPerPixel) {
  return ((width * bitsPerPixel + 31) / 32) * 4;
}

bool WithinPixelCap(std::int64_t width, std::int64_t height) {
  return width >= 0 && height >= 0 && width <= MaxDimension && height <= MaxDimension &&
         width * height <= MaxPixels;
}

namespace {

TPaletteEntry Entry(int r, int g, int b) {
  return TPaletteEntry{static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b), 0};
}

bool IsPaletted(TPixelFormat f) { return f == pf1bit || f == pf4bit || f == pf8bit; }

const std::vector<TPaletteEntry>& DefaultPalette(TPixelFormat f) {
  switch (f) {
    case pf1bit: return BlackWhitePalette();
    case pf4bit: return SystemPalette16();
    default: return HalftonePalette();
  }
}

}  // namespace

const std::vector<TPaletteEntry>& BlackWhitePalette() {
  static const std::vector<TPaletteEntry> palette{Entry(0, 0, 0), Entry(255, 255, 255)};
  return palette;
}

const std::vector<TPaletteEntry>& SystemPalette16() {
  static const std::vector<TPaletteEntry> palette{
      Entry(0, 0, 0),       Entry(128, 0, 0),   Entry(0, 128, 0),   Entry(128, 128, 0),
      Entry(0, 0, 128),     Entry(128, 0, 128), Entry(0, 128, 128), Entry(192, 192, 192),
      Entry(128, 128, 128), Entry(255, 0, 0),   Entry(0, 255, 0),   Entry(255, 255, 0),
      Entry(0, 0, 255),     Entry(255, 0, 255), Entry(0, 255, 255), Entry(255, 255, 255)};
  return palette;
}

const std::vector<TPaletteEntry>& SystemPalette20() {
  static const std::vector<TPaletteEntry> palette{
      Entry(0, 0, 0),       Entry(128, 0, 0),     Entry(0, 128, 0),     Entry(128, 128, 0),
      Entry(0, 0, 128),     Entry(128, 0, 128),   Entry(0, 128, 128),   Entry(192, 192, 192),
      Entry(192, 220, 192), Entry(166, 202, 240), Entry(255, 251, 240), Entry(160, 160, 164),
      Entry(128, 128, 128), Entry(255, 0, 0),     Entry(0, 255, 0),     Entry(255, 255, 0),
      Entry(0, 0, 255),     Entry(255, 0, 255),   Entry(0, 255, 255),   Entry(255, 255, 255)};
  return palette;
}

const std::vector<TPaletteEntry>& HalftonePalette() {
  static const std::vector<TPaletteEntry> palette = [] {
    std::vector<TPaletteEntry> p;
    const auto& sys = SystemPalette20();
    for (int i = 0; i < 10; ++i) p.push_back(sys[static_cast<std::size_t>(i)]);
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b) p.push_back(Entry(r * 51, g * 51, b * 51));
    for (int i = 1; i <= 20; ++i) {
      int v = (i * 255 * 2 + 21) / 42;  // round(i * 255 / 21), halves up (none occur)
      p.push_back(Entry(v, v, v));
    }
    for (int i = 10; i < 20; ++i) p.push_back(sys[static_cast<std::size_t>(i)]);
    return p;
  }();
  return palette;
}

// ---------------------------------------------------------------------------
// Raw pixel access by format

namespace {

inline std::uint32_t GetRaw(const std::uint8_t* row, int x, TPixelFormat f) {
  switch (f) {
    case pf1bit: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case pf4bit: return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
    case pf8bit: return row[x];
    case pf15bit:
    case pf16bit: return static_cast<std::uint32_t>(row[x * 2] | (row[x * 2 + 1] << 8));
    case pfDevice:
    case pf24bit: {
      const std::uint8_t* p = row + x * 3;
      return static_cast<std::uint32_t>(p[2] | (p[1] << 8) | (p[0] << 16));  // as TColor
    }
    case pf32bit: {
      const std::uint8_t* p = row + x * 4;
      return static_cast<std::uint32_t>(p[2] | (p[1] << 8) | (p[0] << 16));
    }
    case pfCustom: break;
  }
  return 0;
}

inline void SetRaw(std::uint8_t* row, int x, TPixelFormat f, std::uint32_t v) {
  switch (f) {
    case pf1bit: {
      std::uint8_t mask = static_cast<std::uint8_t>(0x80u >> (x & 7));
      if (v & 1) row[x >> 3] |= mask; else row[x >> 3] &= static_cast<std::uint8_t>(~mask);
      break;
    }
    case pf4bit:
      if (x & 1) row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0xF0) | (v & 0x0F));
      else row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0x0F) | ((v & 0x0F) << 4));
      break;
    case pf8bit: row[x] = static_cast<std::uint8_t>(v); break;
    case pf15bit:
    case pf16bit:
      row[x * 2] = static_cast<std::uint8_t>(v);
      row[x * 2 + 1] = static_cast<std::uint8_t>(v >> 8);
      break;
    case pfDevice:
    case pf24bit: {
      std::uint8_t* p = row + x * 3;
      p[0] = static_cast<std::uint8_t>(v >> 16);
      p[1] = static_cast<std::uint8_t>(v >> 8);
      p[2] = static_cast<std::uint8_t>(v);
      break;
    }
    case pf32bit: {
      std::uint8_t* p = row + x * 4;
      p[0] = static_cast<std::uint8_t>(v >> 16);
      p[1] = static_cast<std::uint8_t>(v >> 8);
      p[2] = static_cast<std::uint8_t>(v);
      p[3] = 0;
      break;
    }
    case pfCustom: break;
  }
}

inline int Expand5(int v) { return (v << 3) | (v >> 2); }
inline int Expand6(int v) { return (v << 2) | (v >> 4); }

// The colour a raw value stands for.
inline TColor RawToColor(std::uint32_t raw, TPixelFormat f, const std::vector<TPaletteEntry>& palette) {
  switch (f) {
    case pf1bit:
    case pf4bit:
    case pf8bit:
      if (raw < palette.size()) {
        const TPaletteEntry& e = palette[raw];
        return RGB(e.Red, e.Green, e.Blue);
      }
      return clBlack;
    case pf15bit:
      return RGB(Expand5((raw >> 10) & 31), Expand5((raw >> 5) & 31), Expand5(raw & 31));
    case pf16bit:
      return RGB(Expand5((raw >> 11) & 31), Expand6((raw >> 5) & 63), Expand5(raw & 31));
    default:
      return raw;
  }
}

int NearestIndex(const std::vector<TPaletteEntry>& palette, TColor c) {
  int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  int best = 0;
  int bestDist = 1 << 30;
  for (std::size_t i = 0; i < palette.size(); ++i) {
    int dr = palette[i].Red - r, dg = palette[i].Green - g, db = palette[i].Blue - b;
    int d = dr * dr + dg * dg + db * db;
    if (d < bestDist) {
      bestDist = d;
      best = static_cast<int>(i);
      if (d == 0) break;
    }
  }
  return best;
}

// Maps colours to raw values of a format, remembering recent answers for
// paletted targets (the nearest-entry search is the slow part).
class ColorEncoder {
 public:
  ColorEncoder(TPixelFormat f, const std::vector<TPaletteEntry>& palette) : f_(f), palette_(palette) {
    keys_.fill(0xFFFFFFFFu);
  }
  std::uint32_t operator()(TColor c) {
    c &= 0xFFFFFFu;
    switch (f_) {
      case pf1bit:
      case pf4bit:
      case pf8bit: {
        std::size_t slot = ((c * 2654435761u) >> 20) & (kSlots - 1);
        if (keys_[slot] != c) {
          keys_[slot] = c;
          values_[slot] = static_cast<std::uint32_t>(NearestIndex(palette_, c));
        }
        return values_[slot];
      }
      case pf15bit:
        return static_cast<std::uint32_t>(((GetRValue(c) >> 3) << 10) | ((GetGValue(c) >> 3) << 5) |
                                          (GetBValue(c) >> 3));
      case pf16bit:
        return static_cast<std::uint32_t>(((GetRValue(c) >> 3) << 11) | ((GetGValue(c) >> 2) << 5) |
                                          (GetBValue(c) >> 3));
      default:
        return c;
    }
  }

 private:
  static constexpr std::size_t kSlots = 4096;
  TPixelFormat f_;
  const std::vector<TPaletteEntry>& palette_;
  std::array<std::uint32_t, kSlots> keys_;
  std::array<std::uint32_t, kSlots> values_{};
};

// Clears the bits of a row beyond the last pixel, so padding is always 0.
void ClearRowPadding(std::uint8_t* row, int width, int bits, int stride) {
  std::int64_t usedBits = static_cast<std::int64_t>(width) * bits;
  std::int64_t fullBytes = usedBits / 8;
  int rest = static_cast<int>(usedBits % 8);
  if (rest) {
    row[fullBytes] &= static_cast<std::uint8_t>(0xFF00u >> rest);
    ++fullBytes;
  }
  if (fullBytes < stride) std::memset(row + fullBytes, 0, static_cast<std::size_t>(stride - fullBytes));
}

}  // namespace

// ---------------------------------------------------------------------------
// TBitmap

const TGraphicClass& TBitmap::StaticClass() {
  static const TGraphicClass cls{"TBitmap", &TBitmap::CreateInstance};
  return cls;
}

std::unique_ptr<TGraphic> TBitmap::CreateInstance() { return std::make_unique<TBitmap>(); }

TBitmap::TBitmap() : canvas_(std::make_unique<TCanvas>(*this)) {}

TBitmap::TBitmap(int width, int height, TPixelFormat format) : TBitmap() {
  SetPixelFormat(format);
  SetSize(width, height);
}

TBitmap::TBitmap(const TBitmap& other)
    : TGraphic(other),
      width_(other.width_),
      height_(other.height_),
      stride_(other.stride_),
      format_(other.format_),
      pixels_(other.pixels_),
      palette_(other.palette_),
      transparentMode_(other.transparentMode_),
      transparentColor_(other.transparentColor_),
      canvas_(std::make_unique<TCanvas>(*this)) {
  canvas_->Brush = other.canvas_->Brush;
  canvas_->Pen = other.canvas_->Pen;
  canvas_->PenPos = other.canvas_->PenPos;
}

TBitmap::TBitmap(TBitmap&& other) noexcept
    : TGraphic(std::move(other)),
      width_(other.width_),
      height_(other.height_),
      stride_(other.stride_),
      format_(other.format_),
      pixels_(std::move(other.pixels_)),
      palette_(std::move(other.palette_)),
      transparentMode_(other.transparentMode_),
      transparentColor_(other.transparentColor_),
      canvas_(std::move(other.canvas_)) {
  canvas_->bitmap_ = this;
  other.canvas_ = std::make_unique<TCanvas>(other);
  other.width_ = other.height_ = other.stride_ = 0;
  other.pixels_.clear();
}

TBitmap& TBitmap::operator=(const TBitmap& other) {
  if (this != &other) {
    TBitmap copy(other);
    *this = std::move(copy);
  }
  return *this;
}

TBitmap& TBitmap::operator=(TBitmap&& other) noexcept {
  if (this != &other) {
    TGraphic::operator=(std::move(other));
    width_ = other.width_;
    height_ = other.height_;
    stride_ = other.stride_;
    format_ = other.format_;
    pixels_ = std::move(other.pixels_);
    palette_ = std::move(other.palette_);
    transparentMode_ = other.transparentMode_;
    transparentColor_ = other.transparentColor_;
    canvas_->Brush = other.canvas_->Brush;
    canvas_->Pen = other.canvas_->Pen;
    canvas_->PenPos = other.canvas_->PenPos;
    other.width_ = other.height_ = other.stride_ = 0;
    other.pixels_.clear();
  }
  return *this;
}

TBitmap::~TBitmap() = default;

void TBitmap::SetWidth(int width) { SetSize(width, height_); }
void TBitmap::SetHeight(int height) { SetSize(width_, height); }

void TBitmap::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  if (!WithinPixelCap(width, height)) {
    throw EOutOfResources("Bitmap of " + std::to_string(width) + " x " + std::to_string(height) +
                          " pixels is too large");
  }
  Reallocate(width, height);
}

void TBitmap::Reallocate(int width, int height) {
  if (IsPaletted(format_) && palette_.empty()) palette_ = DefaultPalette(format_);
  int bits = BitsPerPixel(format_);
  int stride = static_cast<int>(BytesPerScanLine(width, bits));
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
  int keepW = std::min(width, width_);
  int keepH = std::min(height, height_);
  std::size_t keepBytes = static_cast<std::size_t>((static_cast<std::int64_t>(keepW) * bits + 7) / 8);
  for (int y = 0; y < keepH; ++y) {
    std::uint8_t* dst = pixels.data() + static_cast<std::size_t>(y) * stride;
    std::memcpy(dst, pixels_.data() + static_cast<std::size_t>(y) * stride_, keepBytes);
    ClearRowPadding(dst, keepW, bits, stride);
  }
  int oldW = width_, oldH = height_;
  pixels_ = std::move(pixels);
  width_ = width;
  height_ = height;
  stride_ = stride;
  // New pixels take the brush colour: the columns right of the old
  // picture, then the rows below it.
  if (width_ > 0 && height_ > 0 && (width > oldW || height > oldH)) {
    ColorEncoder encode(format_, palette_);
    std::uint32_t raw = encode(ColorToRGB(canvas_->Brush.Color));
    for (int y = 0; y < height_; ++y) {
      std::uint8_t* row = pixels_.data() + static_cast<std::size_t>(y) * stride_;
      int from = y < keepH ? keepW : 0;
      for (int x = from; x < width_; ++x) SetRaw(row, x, format_, raw);
    }
  }
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
  if (format == format_) return;
  if (format == pfCustom) throw EInvalidGraphicOperation("Invalid pixel format");
  bool sameStorage = (format == pfDevice && format_ == pf24bit) || (format == pf24bit && format_ == pfDevice);
  if (sameStorage || width_ == 0 || height_ == 0) {
    TPixelFormat old = format_;
    format_ = format;
    if (!IsPaletted(format)) {
      palette_.clear();
    } else if (!IsPaletted(old) || palette_.size() > (1u << BitsPerPixel(format))) {
      palette_ = DefaultPalette(format);
    }
    stride_ = static_cast<int>(BytesPerScanLine(width_, BitsPerPixel(format_)));
    if (!sameStorage) pixels_.assign(static_cast<std::size_t>(stride_) * static_cast<std::size_t>(height_), 0);
    return;
  }
  ConvertTo(format);
}

void TBitmap::ConvertTo(TPixelFormat format) {
  // Going to a paletted format keeps the old palette and indices when they
  // fit (a smaller paletted format into a larger one); otherwise the
  // format's default palette is used and every pixel takes its nearest entry.
  std::vector<TPaletteEntry> newPalette;
  bool keepIndices = false;
  if (IsPaletted(format)) {
    std::size_t capacity = std::size_t{1} << BitsPerPixel(format);
    if (IsPaletted(format_) && BitsPerPixel(format_) <= BitsPerPixel(format) && palette_.size() <= capacity) {
      newPalette = palette_;
      keepIndices = true;
    } else {
      newPalette = DefaultPalette(format);
    }
  }
  int bits = BitsPerPixel(format);
  int stride = static_cast<int>(BytesPerScanLine(width_, bits));
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height_));
  ColorEncoder encode(format, newPalette);
  for (int y = 0; y < height_; ++y) {
    const std::uint8_t* src = pixels_.data() + static_cast<std::size_t>(y) * stride_;
    std::uint8_t* dst = pixels.data() + static_cast<std::size_t>(y) * stride;
    if ((format_ == pf24bit || format_ == pfDevice) && format == pf32bit) {
      for (int x = 0; x < width_; ++x) {
        dst[x * 4] = src[x * 3];
        dst[x * 4 + 1] = src[x * 3 + 1];
        dst[x * 4 + 2] = src[x * 3 + 2];
      }
      continue;
    }
    if (format_ == pf32bit && (format == pf24bit || format == pfDevice)) {
      for (int x = 0; x < width_; ++x) {
        dst[x * 3] = src[x * 4];
        dst[x * 3 + 1] = src[x * 4 + 1];
        dst[x * 3 + 2] = src[x * 4 + 2];
      }
      continue;
    }
    for (int x = 0; x < width_; ++x) {
      std::uint32_t raw = GetRaw(src, x, format_);
      SetRaw(dst, x, format, keepIndices ? raw : encode(RawToColor(raw, format_, palette_)));
    }
  }
  pixels_ = std::move(pixels);
  stride_ = stride;
  format_ = format;
  palette_ = std::move(newPalette);
}

std::uint8_t* TBitmap::ScanLine(int y) {
  if (y < 0 || y >= height_) throw ERangeError("Scan line index out of range");
  return pixels_.data() + static_cast<std::size_t>(y) * stride_;
}

const std::uint8_t* TBitmap::ScanLine(int y) const {
  if (y < 0 || y >= height_) throw ERangeError("Scan line index out of range");
  return pixels_.data() + static_cast<std::size_t>(y) * stride_;
}

void TBitmap::SetPalette(std::vector<TPaletteEntry> palette) {
  if (palette.size() > 256) palette.resize(256);
  palette_ = std::move(palette);
}

TColor TBitmap::GetPixelColor(int x, int y) const {
  if (x < 0 || x >= width_) throw ERangeError("Pixel index out of range");
  return RawToColor(GetRaw(ScanLine(y), x, format_), format_, palette_);
}

int TBitmap::NearestPaletteIndex(TColor color) const {
  if (palette_.empty()) return 0;
  return NearestIndex(palette_, ColorToRGB(color));
}

TColor TBitmap::TransparentColor() const {
  if (transparentMode_ == tmFixed) return transparentColor_;
  if (width_ == 0 || height_ == 0) return clDefault;
  return GetPixelColor(0, height_ - 1);
}

void TBitmap::SetTransparentColor(TColor color) {
  if (color == clDefault) {
    transparentMode_ = tmAuto;
  } else {
    transparentMode_ = tmFixed;
  }
  transparentColor_ = color;
}

void TBitmap::Assign(const TGraphic& source) {
  if (&source == this) return;
  if (const auto* bmp = dynamic_cast<const TBitmap*>(&source)) {
    TBrush brush = canvas_->Brush;
    TPen pen = canvas_->Pen;
    *this = *bmp;
    canvas_->Brush = brush;
    canvas_->Pen = pen;
    return;
  }
  source.AssignTo(*this);
}

void TBitmap::AssignTo(TBitmap& dest) const { dest.Assign(*this); }

// Draws (stretching when needed) onto rect of the canvas; see
// TCanvas::StretchDraw for the sampling rule.
void TBitmap::Draw(TCanvas& canvas, const TRect& rect) const {
  TRect source{0, 0, width_, height_};
  if (Transparent()) {
    TColor key = ColorToRGB(TransparentColor());
    canvas.CopyRectImpl(rect, *this, source, true, key);
  } else {
    canvas.CopyRectImpl(rect, *this, source, false, 0);
  }
}

// ---------------------------------------------------------------------------
// TCanvas

TColor TCanvas::Pixel(int x, int y) const {
  const TBitmap& b = *bitmap_;
  if (x < 0 || y < 0 || x >= b.Width() || y >= b.Height()) return 0xFFFFFFFFu;
  return b.GetPixelColor(x, y);
}

void TCanvas::SetPixel(int x, int y, TColor color) {
  TBitmap& b = *bitmap_;
  if (x < 0 || y < 0 || x >= b.Width() || y >= b.Height()) return;
  TColor c = ColorToRGB(color);
  std::uint32_t raw;
  switch (b.PixelFormat()) {
    case pf1bit:
    case pf4bit:
    case pf8bit: raw = static_cast<std::uint32_t>(b.NearestPaletteIndex(c)); break;
    default: {
      ColorEncoder encode(b.PixelFormat(), b.Palette());
      raw = encode(c);
    }
  }
  SetRaw(b.ScanLine(y), x, b.PixelFormat(), raw);
}

void TCanvas::FillRect(const TRect& rect) {
  if (Brush.Style == bsClear) return;
  TBitmap& b = *bitmap_;
  int l = std::max(rect.Left, 0), t = std::max(rect.Top, 0);
  int r = std::min(rect.Right, b.Width()), bo = std::min(rect.Bottom, b.Height());
  if (l >= r || t >= bo) return;
  TColor c = ColorToRGB(Brush.Color);
  TPixelFormat f = b.PixelFormat();
  if (f == pf24bit || f == pfDevice) {
    std::uint8_t bgr[3] = {static_cast<std::uint8_t>(GetBValue(c)), static_cast<std::uint8_t>(GetGValue(c)),
                           static_cast<std::uint8_t>(GetRValue(c))};
    for (int y = t; y < bo; ++y) {
      std::uint8_t* p = b.ScanLine(y) + l * 3;
      for (int x = l; x < r; ++x, p += 3) {
        p[0] = bgr[0];
        p[1] = bgr[1];
        p[2] = bgr[2];
      }
    }
    return;
  }
  ColorEncoder encode(f, b.Palette());
  std::uint32_t raw = encode(c);
  for (int y = t; y < bo; ++y) {
    std::uint8_t* row = b.ScanLine(y);
    for (int x = l; x < r; ++x) SetRaw(row, x, f, raw);
  }
}

void TCanvas::Draw(int x, int y, const TGraphic& graphic) {
  graphic.Draw(*this, TRect{x, y, x + graphic.Width(), y + graphic.Height()});
}

void TCanvas::StretchDraw(const TRect& rect, const TGraphic& graphic) {
  if (rect.Width() <= 0 || rect.Height() <= 0) return;
  graphic.Draw(*this, rect);
}

void TCanvas::CopyRect(const TRect& dest, const TCanvas& source, const TRect& sourceRect) {
  CopyRectImpl(dest, source.Bitmap(), sourceRect, false, 0);
}

void TCanvas::CopyRectImpl(const TRect& dest, const TBitmap& sourceBitmap, const TRect& sourceRect, bool useKey,
                           TColor key) {
  int dw = dest.Width(), dh = dest.Height();
  int sw = sourceRect.Width(), sh = sourceRect.Height();
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
  TBitmap& target = *bitmap_;
  // Copying within one bitmap reads from a snapshot, so overlapping areas
  // come out as if copied at once.
  std::unique_ptr<TBitmap> snapshot;
  const TBitmap* src = &sourceBitmap;
  if (src == &target) {
    snapshot = std::make_unique<TBitmap>(target);
    src = snapshot.get();
  }
  int x0 = std::max(dest.Left, 0), x1 = std::min(dest.Right, target.Width());
  int y0 = std::max(dest.Top, 0), y1 = std::min(dest.Bottom, target.Height());
  if (x0 >= x1 || y0 >= y1) return;

  // Source column of every target column (-1: outside the source bitmap).
  std::vector<int> columns(static_cast<std::size_t>(x1 - x0));
  for (int x = x0; x < x1; ++x) {
    std::int64_t d = x - dest.Left;
    std::int64_t s = sourceRect.Left + (2 * d + 1) * sw / (2 * static_cast<std::int64_t>(dw));
    columns[static_cast<std::size_t>(x - x0)] = (s >= 0 && s < src->Width()) ? static_cast<int>(s) : -1;
  }
  TPixelFormat sf = src->PixelFormat(), tf = target.PixelFormat();
  bool fast = !useKey && (sf == pf24bit || sf == pfDevice) && (tf == pf24bit || tf == pfDevice);
  ColorEncoder encode(tf, target.Palette());
  key &= 0xFFFFFFu;
  for (int y = y0; y < y1; ++y) {
    std::int64_t d = y - dest.Top;
    std::int64_t sy = sourceRect.Top + (2 * d + 1) * sh / (2 * static_cast<std::int64_t>(dh));
    if (sy < 0 || sy >= src->Height()) continue;
    const std::uint8_t* srow = src->ScanLine(static_cast<int>(sy));
    std::uint8_t* trow = target.ScanLine(y);
    if (fast) {
      bool identity = sw == dw && columns.front() >= 0 && columns.back() >= 0 &&
                      columns.back() - columns.front() == x1 - x0 - 1;
      if (identity) {
        std::memcpy(trow + x0 * 3, srow + columns.front() * 3, static_cast<std::size_t>(x1 - x0) * 3);
        continue;
      }
      for (int x = x0; x < x1; ++x) {
        int sx = columns[static_cast<std::size_t>(x - x0)];
        if (sx < 0) continue;
        trow[x * 3] = srow[sx * 3];
        trow[x * 3 + 1] = srow[sx * 3 + 1];
        trow[x * 3 + 2] = srow[sx * 3 + 2];
      }
      continue;
    }
    for (int x = x0; x < x1; ++x) {
      int sx = columns[static_cast<std::size_t>(x - x0)];
      if (sx < 0) continue;
      TColor c = RawToColor(GetRaw(srow, sx, sf), sf, src->Palette());
      if (useKey && c == key) continue;
      SetRaw(trow, x, tf, encode(c));
    }
  }
}

void TCanvas::LineTo(int x, int y) {
  // Bresenham from PenPos to (x, y), leaving out the end point.
  int x0 = PenPos.X, y0 = PenPos.Y;
  int dx = x > x0 ? x - x0 : x0 - x;
  int dy = y > y0 ? y - y0 : y0 - y;
  int sx = x0 < x ? 1 : -1, sy = y0 < y ? 1 : -1;
  int err = dx - dy;
  while (x0 != x || y0 != y) {
    SetPixel(x0, y0, Pen.Color);
    int e2 = 2 * err;
    if (e2 > -dy) {
      err -= dy;
      x0 += sx;
    }
    if (e2 < dx) {
      err += dx;
      y0 += sy;
    }
  }
  PenPos = {x, y};
}

void TCanvas::Polyline(const std::vector<TPoint>& points) {
  if (points.empty()) return;
  TPoint saved = PenPos;
  MoveTo(points[0].X, points[0].Y);
  for (std::size_t i = 1; i < points.size(); ++i) LineTo(points[i].X, points[i].Y);
  PenPos = saved;
}

void TCanvas::Frame3D(TRect& rect, TColor topColor, TColor bottomColor, int width) {
  if (width <= 0) return;
  TColor savedPen = Pen.Color;
  TRect r = rect;
  --r.Right;
  --r.Bottom;
  for (int ring = 0; ring < width; ++ring) {
    // Left edge upwards and top edge rightwards in the top colour ...
    Pen.Color = topColor;
    Polyline({{r.Left, r.Bottom}, {r.Left, r.Top}, {r.Right, r.Top}});
    // ... then right edge downwards and bottom edge leftwards in the
    // bottom colour, which takes the top-right and bottom-left corners.
    Pen.Color = bottomColor;
    Polyline({{r.Right, r.Top}, {r.Right, r.Bottom}, {r.Left - 1, r.Bottom}});
    ++r.Left;
    ++r.Top;
    --r.Right;
    --r.Bottom;
  }
  ++r.Right;
  ++r.Bottom;
  rect = r;
  Pen.Color = savedPen;
}
