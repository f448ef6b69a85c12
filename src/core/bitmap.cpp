#include "core/bitmap.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

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

using Wide = __int128;

inline std::uint32_t GetRaw(const std::uint8_t* row, std::int64_t x, TPixelFormat f) {
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

inline void SetRaw(std::uint8_t* row, std::int64_t x, TPixelFormat f, std::uint32_t v) {
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

inline bool Is24(TPixelFormat f) { return f == pf24bit || f == pfDevice; }

// Fills pixels from..to-1 of a row with one raw value. Byte-aligned
// formats fill by doubling copies of the first pixel; 1- and 4-bit rows
// set the odd pixels at either end one by one and the whole bytes between
// at once.
void FillSpan(std::uint8_t* row, std::int64_t from, std::int64_t to, TPixelFormat f, std::uint32_t raw) {
  if (from >= to) return;
  int bits = BitsPerPixel(f);
  if (bits < 8) {
    int perByte = 8 / bits;
    while (from < to && from % perByte != 0) SetRaw(row, from++, f, raw);
    while (to > from && to % perByte != 0) SetRaw(row, --to, f, raw);
    if (from < to) {
      std::uint8_t value = bits == 1 ? ((raw & 1) ? 0xFF : 0x00) : static_cast<std::uint8_t>(((raw & 15) << 4) | (raw & 15));
      std::memset(row + from / perByte, value, static_cast<std::size_t>((to - from) / perByte));
    }
    return;
  }
  int bpp = bits / 8;
  std::uint8_t* p = row + from * bpp;
  std::size_t total = static_cast<std::size_t>(to - from) * static_cast<std::size_t>(bpp);
  if (bpp == 1) {
    std::memset(p, static_cast<int>(raw & 0xFF), total);
    return;
  }
  SetRaw(p, 0, f, raw);
  std::size_t filled = static_cast<std::size_t>(bpp);
  while (filled < total) {
    std::size_t n = std::min(filled, total - filled);
    std::memcpy(p + filled, p, n);
    filled += n;
  }
}

inline int Expand5(int v) { return (v << 3) | (v >> 2); }
inline int Expand6(int v) { return (v << 2) | (v >> 4); }

// The colour a raw value stands for. A palette index beyond the palette
// reads as black.
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

// The raw value of a plain RGB colour (high byte already cleared) in a
// format; paletted formats take the nearest entry, the first on a tie.
std::uint32_t EncodeColor(TPixelFormat f, const std::vector<TPaletteEntry>& palette, TColor c) {
  c &= 0xFFFFFFu;
  switch (f) {
    case pf1bit:
    case pf4bit:
    case pf8bit: return static_cast<std::uint32_t>(NearestIndex(palette, c));
    case pf15bit:
      return static_cast<std::uint32_t>(((GetRValue(c) >> 3) << 10) | ((GetGValue(c) >> 3) << 5) |
                                        (GetBValue(c) >> 3));
    case pf16bit:
      return static_cast<std::uint32_t>(((GetRValue(c) >> 3) << 11) | ((GetGValue(c) >> 2) << 5) |
                                        (GetBValue(c) >> 3));
    default: return c;
  }
}

// EncodeColor for many pixels: paletted targets remember recent answers,
// since the nearest-entry search is the slow part.
class ColorEncoder {
 public:
  ColorEncoder(TPixelFormat f, const std::vector<TPaletteEntry>& palette) : f_(f), palette_(palette) {
    if (IsPaletted(f_)) {
      cache_ = std::make_unique<Cache>();
      cache_->Keys.fill(0xFFFFFFFFu);
    }
  }
  std::uint32_t operator()(TColor c) {
    c &= 0xFFFFFFu;
    if (!cache_) return EncodeColor(f_, palette_, c);
    std::size_t slot = ((c * 2654435761u) >> 20) & (kSlots - 1);
    if (cache_->Keys[slot] != c) {
      cache_->Keys[slot] = c;
      cache_->Values[slot] = EncodeColor(f_, palette_, c);
    }
    return cache_->Values[slot];
  }

 private:
  static constexpr std::size_t kSlots = 4096;
  struct Cache {
    std::array<std::uint32_t, kSlots> Keys;
    std::array<std::uint32_t, kSlots> Values{};
  };
  TPixelFormat f_;
  const std::vector<TPaletteEntry>& palette_;
  std::unique_ptr<Cache> cache_;
};

// Clears the bits of a row beyond the last pixel, so padding is always 0.
void ClearRowPadding(std::uint8_t* row, std::int64_t width, int bits, std::int64_t stride) {
  std::int64_t usedBits = width * bits;
  std::int64_t fullBytes = usedBits / 8;
  int rest = static_cast<int>(usedBits % 8);
  if (rest) {
    row[fullBytes] &= static_cast<std::uint8_t>(0xFF00u >> rest);
    ++fullBytes;
  }
  if (fullBytes < stride) std::memset(row + fullBytes, 0, static_cast<std::size_t>(stride - fullBytes));
}

// The palette a bitmap gets when it becomes paletted: the palette it has
// when that fits the new format, otherwise the format's default.
std::vector<TPaletteEntry> PaletteFor(TPixelFormat format, const std::vector<TPaletteEntry>& current) {
  std::size_t capacity = std::size_t{1} << BitsPerPixel(format);
  if (!current.empty() && current.size() <= capacity) return current;
  return DefaultPalette(format);
}

// Undefined bytes unless zeroed is set; callers write every byte.
TPixelBuffer AllocatePixels(std::int64_t bytes, bool zeroed) {
  try {
    TPixelBuffer pixels(static_cast<std::size_t>(bytes));
    if (zeroed && bytes > 0) std::memset(pixels.data(), 0, static_cast<std::size_t>(bytes));
    return pixels;
  } catch (const std::bad_alloc&) {
    throw EOutOfResources("Out of memory for a bitmap of " + std::to_string(bytes) + " bytes");
  }
}

}  // namespace

std::int64_t StretchSource(std::int64_t d, std::int64_t n, std::int64_t s) {
  // 128-bit: the rectangles may be as large as the int range allows.
  return static_cast<std::int64_t>((static_cast<Wide>(2 * d + 1) * s) / (static_cast<Wide>(2) * n));
}

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
  other.ResetAfterMove();
}

TBitmap& TBitmap::operator=(const TBitmap& other) {
  if (this == &other) return *this;
  if (other.pixels_.empty() || !pixels_.Reusable(other.pixels_.size(), memoryHint_)) {
    TBitmap copy(other);
    *this = std::move(copy);
    return *this;
  }
  // The copy goes into the memory this bitmap has; what may fail is
  // copied first, so a failure leaves the bitmap as it was.
  std::vector<TPaletteEntry> palette = other.palette_;
  TProgressEvent progress = other.OnProgress;
  pixels_.resize(other.pixels_.size());
  std::memcpy(pixels_.data(), other.pixels_.data(), other.pixels_.size());
  palette_ = std::move(palette);
  OnProgress = std::move(progress);
  transparent_ = other.transparent_;
  width_ = other.width_;
  height_ = other.height_;
  stride_ = other.stride_;
  format_ = other.format_;
  transparentMode_ = other.transparentMode_;
  transparentColor_ = other.transparentColor_;
  canvas_->Brush = other.canvas_->Brush;
  canvas_->Pen = other.canvas_->Pen;
  canvas_->PenPos = other.canvas_->PenPos;
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
    other.ResetAfterMove();
  }
  return *this;
}

TBitmap::~TBitmap() = default;

// A moved-from bitmap is an empty one of its old format, with a palette
// that format can use.
void TBitmap::ResetAfterMove() noexcept {
  width_ = height_ = stride_ = 0;
  pixels_.clear();
  palette_.clear();
  if (IsPaletted(format_)) {
    try {
      palette_ = DefaultPalette(format_);
    } catch (...) {
      format_ = pfDevice;  // no memory for a palette: fall back to true colour
    }
  }
}

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

void TBitmap::SetSizeForDecoding(int width, int height, TPixelFormat format) {
  if (format == pfCustom) throw EInvalidGraphicOperation("Invalid pixel format");
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (!WithinPixelCap(width, height)) {
    throw EOutOfResources("Bitmap of " + std::to_string(width) + " x " + std::to_string(height) +
                          " pixels is too large");
  }
  int bits = BitsPerPixel(format);
  std::int64_t stride = BytesPerScanLine(width, bits);
  std::vector<TPaletteEntry> palette = IsPaletted(format) ? PaletteFor(format, palette_) : std::vector<TPaletteEntry>();
  // Memory the bitmap already has is written again rather than given back
  // and faulted in anew: a batch decodes picture after picture into it.
  // An empty picture keeps it for the next one, which decides.
  const auto bytes = static_cast<std::size_t>(stride * height);
  if (bytes == 0 || pixels_.Reusable(bytes, memoryHint_)) {
    pixels_.resize(bytes);
  } else {
    // Too small, or too large to keep. An empty bitmap gives its memory
    // back before the new memory is taken, so the two are not held at
    // once; one with a picture keeps it until the new memory is there.
    if (width_ == 0 || height_ == 0) TPixelBuffer().swap(pixels_);
    pixels_ = AllocatePixels(stride * height, false);
  }
  std::int64_t used = (static_cast<std::int64_t>(width) * bits + 7) / 8;
  if (used < stride) {
    for (int y = 0; y < height; ++y) {
      std::memset(pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) + used, 0,
                  static_cast<std::size_t>(stride - used));
    }
  }
  palette_ = std::move(palette);
  format_ = format;
  width_ = width;
  height_ = height;
  stride_ = static_cast<int>(stride);
}

void TBitmap::Reallocate(int width, int height) {
  std::vector<TPaletteEntry> palette = palette_;
  if (IsPaletted(format_) && palette.empty()) palette = DefaultPalette(format_);
  int bits = BitsPerPixel(format_);
  std::int64_t stride = BytesPerScanLine(width, bits);
  int keepW = std::min(width, width_);
  int keepH = std::min(height, height_);
  std::size_t keepBytes = static_cast<std::size_t>((static_cast<std::int64_t>(keepW) * bits + 7) / 8);
  std::uint32_t raw = EncodeColor(format_, palette, ColorToRGB(canvas_->Brush.Color));
  // The memory the bitmap has is used again when the keep rule lets the
  // new picture have it and the kept rows stay where they are (nothing
  // kept, or the same row length): a bitmap sized picture after picture
  // is not faulted in anew each time. An empty picture keeps the memory
  // for the next one, which decides; Clear gives it back.
  const auto bytes = static_cast<std::size_t>(stride * height);
  const bool inPlace =
      (bytes == 0 || pixels_.Reusable(bytes, memoryHint_)) && (keepW == 0 || keepH == 0 || stride == stride_);
  TPixelBuffer fresh;
  if (inPlace) {
    pixels_.resize(bytes);
  } else {
    // An empty bitmap has nothing to keep: its memory goes first.
    if (width_ == 0 || height_ == 0) TPixelBuffer().swap(pixels_);
    fresh = AllocatePixels(stride * height, false);
  }
  TPixelBuffer& pixels = inPlace ? pixels_ : fresh;
  // New pixels take the brush colour: the columns right of the old
  // picture, then the rows below it.
  for (int y = 0; stride > 0 && y < height; ++y) {
    std::uint8_t* dst = pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride);
    if (y < keepH) {
      if (keepBytes && !inPlace) {
        std::memcpy(dst, pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride_), keepBytes);
      }
      ClearRowPadding(dst, keepW, bits, stride);
      FillSpan(dst, keepW, width, format_, raw);
    } else if (y > keepH) {
      std::memcpy(dst, dst - stride, static_cast<std::size_t>(stride));  // the row above is wholly new too
    } else {
      ClearRowPadding(dst, 0, bits, stride);
      FillSpan(dst, 0, width, format_, raw);
    }
  }
  if (!inPlace) pixels_ = std::move(fresh);
  palette_ = std::move(palette);
  width_ = width;
  height_ = height;
  stride_ = static_cast<int>(stride);
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
  if (format == format_) return;
  if (format == pfCustom) throw EInvalidGraphicOperation("Invalid pixel format");
  if (Is24(format) && Is24(format_)) {  // same storage
    format_ = format;
    return;
  }
  if (width_ == 0 || height_ == 0) {
    std::vector<TPaletteEntry> palette;
    if (IsPaletted(format)) palette = PaletteFor(format, palette_);
    std::int64_t stride = BytesPerScanLine(width_, BitsPerPixel(format));
    pixels_.clear();
    palette_ = std::move(palette);
    format_ = format;
    stride_ = static_cast<int>(stride);
    return;
  }
  ConvertTo(format);
}

void TBitmap::ConvertTo(TPixelFormat format) {
  // Going to a paletted format keeps the palette when it fits (and, from
  // a paletted format, the indices); otherwise the format's default
  // palette is used and every pixel takes its nearest entry.
  std::vector<TPaletteEntry> newPalette;
  bool keepIndices = false;
  if (IsPaletted(format)) {
    newPalette = PaletteFor(format, palette_);
    keepIndices = IsPaletted(format_) && newPalette.size() == palette_.size() && newPalette == palette_;
  }
  int bits = BitsPerPixel(format);
  std::int64_t stride = BytesPerScanLine(width_, bits);
  TPixelBuffer pixels = AllocatePixels(stride * height_, true);
  ColorEncoder encode(format, newPalette);
  const std::size_t w = static_cast<std::size_t>(width_);
  for (int y = 0; y < height_; ++y) {
    const std::uint8_t* src = pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride_);
    std::uint8_t* dst = pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride);
    if (Is24(format_) && format == pf32bit) {
      for (std::size_t x = 0; x < w; ++x, src += 3, dst += 4) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
      }
      continue;
    }
    if (format_ == pf32bit && Is24(format)) {
      for (std::size_t x = 0; x < w; ++x, src += 4, dst += 3) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
      }
      continue;
    }
    for (std::int64_t x = 0; x < width_; ++x) {
      std::uint32_t raw = GetRaw(src, x, format_);
      if (keepIndices && raw < newPalette.size()) {
        SetRaw(dst, x, format, raw);
      } else {
        SetRaw(dst, x, format, encode(RawToColor(raw, format_, palette_)));
      }
    }
  }
  pixels_ = std::move(pixels);
  stride_ = static_cast<int>(stride);
  format_ = format;
  palette_ = std::move(newPalette);
}

std::uint8_t* TBitmap::ScanLine(int y) {
  if (y < 0 || y >= height_) throw ERangeError("Scan line index out of range");
  return pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride_);
}

const std::uint8_t* TBitmap::ScanLine(int y) const {
  if (y < 0 || y >= height_) throw ERangeError("Scan line index out of range");
  return pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride_);
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
  transparentMode_ = color == clDefault ? tmAuto : tmFixed;
  transparentColor_ = color;
}

void TBitmap::Assign(const TGraphic& source) {
  if (&source == this) return;
  if (const auto* bmp = dynamic_cast<const TBitmap*>(&source)) {
    // The picture and its transparency change hands.
    ReplacePicture(TBitmap(*bmp), true);
    return;
  }
  source.AssignTo(*this);
}

void TBitmap::TakePicture(TBitmap&& picture) { ReplacePicture(std::move(picture), false); }

void TBitmap::Clear() {
  SetSize(0, 0);
  TPixelBuffer().swap(pixels_);
}

void TBitmap::FitMemory() {
  if (pixels_.Reusable(pixels_.size(), memoryHint_)) return;
  if (pixels_.empty()) {
    TPixelBuffer().swap(pixels_);
    return;
  }
  TPixelBuffer fitted(pixels_);  // a copy has memory of its own size
  pixels_.swap(fitted);
}

void TBitmap::KeepMemoryFor(const TBitmap& like) {
  const std::int64_t bytes = BytesPerScanLine(like.width_, BitsPerPixel(like.format_)) * like.height_;
  if (bytes > 0 && pixels_.Reusable(static_cast<std::size_t>(bytes), memoryHint_)) return;
  Clear();
}

void TBitmap::SwapPicture(TBitmap& other) noexcept {
  std::swap(width_, other.width_);
  std::swap(height_, other.height_);
  std::swap(stride_, other.stride_);
  std::swap(format_, other.format_);
  pixels_.swap(other.pixels_);
  palette_.swap(other.palette_);
}

void TBitmap::ReplacePicture(TBitmap&& picture, bool takeTransparency) {
  const TBrush brush = canvas_->Brush;
  const TPen pen = canvas_->Pen;
  const TPoint penPos = canvas_->PenPos;
  TProgressEvent progress = OnProgress;
  const bool transparent = Transparent();
  const TTransparentMode mode = transparentMode_;
  const TColor key = transparentColor_;
  *this = std::move(picture);
  canvas_->Brush = brush;
  canvas_->Pen = pen;
  canvas_->PenPos = penPos;
  OnProgress = std::move(progress);
  if (!takeTransparency) {
    SetTransparent(transparent);
    transparentMode_ = mode;
    transparentColor_ = key;
  }
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
  SetRaw(b.ScanLine(y), x, b.PixelFormat(), EncodeColor(b.PixelFormat(), b.Palette(), ColorToRGB(color)));
}

void TCanvas::FillArea(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom, TColor color) {
  TBitmap& b = *bitmap_;
  std::int64_t l = std::max<std::int64_t>(left, 0), t = std::max<std::int64_t>(top, 0);
  std::int64_t r = std::min<std::int64_t>(right, b.Width()), bo = std::min<std::int64_t>(bottom, b.Height());
  if (l >= r || t >= bo) return;
  TPixelFormat f = b.PixelFormat();
  std::uint32_t raw = EncodeColor(f, b.Palette(), ColorToRGB(color));
  int bits = BitsPerPixel(f);
  std::uint8_t* first = b.ScanLine(static_cast<int>(t));
  FillSpan(first, l, r, f, raw);
  if (bits >= 8) {
    // Every further row is a copy of the first one's span.
    std::size_t offset = static_cast<std::size_t>(l * (bits / 8));
    std::size_t length = static_cast<std::size_t>((r - l) * (bits / 8));
    for (std::int64_t y = t + 1; y < bo; ++y) {
      std::memcpy(b.ScanLine(static_cast<int>(y)) + offset, first + offset, length);
    }
  } else {
    for (std::int64_t y = t + 1; y < bo; ++y) FillSpan(b.ScanLine(static_cast<int>(y)), l, r, f, raw);
  }
}

void TCanvas::FillRect(const TRect& rect) {
  if (Brush.Style == bsClear) return;
  FillArea(rect.Left, rect.Top, rect.Right, rect.Bottom, Brush.Color);
}

void TCanvas::Draw(int x, int y, const TGraphic& graphic) {
  std::int64_t right = static_cast<std::int64_t>(x) + graphic.Width();
  std::int64_t bottom = static_cast<std::int64_t>(y) + graphic.Height();
  // A corner beyond the int range lies far right of or below any bitmap.
  if (right > std::numeric_limits<int>::max() || bottom > std::numeric_limits<int>::max()) return;
  graphic.Draw(*this, TRect{x, y, static_cast<int>(right), static_cast<int>(bottom)});
}

void TCanvas::StretchDraw(const TRect& rect, const TGraphic& graphic) {
  if (static_cast<std::int64_t>(rect.Right) - rect.Left <= 0 ||
      static_cast<std::int64_t>(rect.Bottom) - rect.Top <= 0) {
    return;
  }
  graphic.Draw(*this, rect);
}

void TCanvas::CopyRect(const TRect& dest, const TCanvas& source, const TRect& sourceRect) {
  CopyRectImpl(dest, source.Bitmap(), sourceRect, false, 0);
}

void TCanvas::CopyRectImpl(const TRect& dest, const TBitmap& sourceBitmap, const TRect& sourceRect, bool useKey,
                           TColor key) {
  using I64 = std::int64_t;
  const I64 dl = dest.Left, dt = dest.Top;
  const I64 dw = static_cast<I64>(dest.Right) - dest.Left, dh = static_cast<I64>(dest.Bottom) - dest.Top;
  const I64 sl = sourceRect.Left, st = sourceRect.Top;
  const I64 sw = static_cast<I64>(sourceRect.Right) - sourceRect.Left;
  const I64 sh = static_cast<I64>(sourceRect.Bottom) - sourceRect.Top;
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
  TBitmap& target = *bitmap_;
  const I64 srcW = sourceBitmap.Width(), srcH = sourceBitmap.Height();
  I64 x0 = std::max<I64>(dl, 0), x1 = std::min<I64>(dl + dw, target.Width());
  I64 y0 = std::max<I64>(dt, 0), y1 = std::min<I64>(dt + dh, target.Height());
  if (x0 >= x1 || y0 >= y1 || srcW == 0 || srcH == 0) return;

  // The source column of every target column. The mapping never
  // decreases, so the target columns whose source lies inside the source
  // bitmap form one run; the same holds for the rows.
  // from..to: the visible target run of one axis; origin/size: the target
  // rectangle's; sourceStart/sourceSize: the source rectangle's; limit: the
  // source bitmap's extent. Fills the source index of each target index
  // whose source lies inside, and the first and one-past-last such target.
  auto mapAxis = [](I64 from, I64 to, I64 origin, I64 size, I64 sourceStart, I64 sourceSize, I64 limit,
                    std::vector<I64>& sources, I64& first, I64& last) {
    sources.reserve(static_cast<std::size_t>(to - from));
    first = last = -1;
    for (I64 t = from; t < to; ++t) {
      I64 s = sourceStart + StretchSource(t - origin, size, sourceSize);
      if (s < 0 || s >= limit) continue;
      if (first < 0) first = t;
      last = t + 1;
      sources.push_back(s);
    }
  };
  std::vector<I64> columns, rows;
  I64 vx0, vx1, vy0, vy1;
  mapAxis(x0, x1, dl, dw, sl, sw, srcW, columns, vx0, vx1);
  mapAxis(y0, y1, dt, dh, st, sh, srcH, rows, vy0, vy1);
  if (columns.empty() || rows.empty()) return;

  const TPixelFormat sf = sourceBitmap.PixelFormat(), tf = target.PixelFormat();
  const int sbits = BitsPerPixel(sf);
  // Where the source pixels are read: the bitmap itself, or, when it is
  // the target and the areas overlap, a copy of just the part read, so
  // that overlapping areas come out as if copied at once.
  const std::uint8_t* base = sourceBitmap.Bits();
  I64 stride = sourceBitmap.RowStride();
  I64 rowOffset = 0;
  std::vector<std::uint8_t> snapshot;
  const I64 sx0 = columns.front(), sx1 = columns.back() + 1;
  const I64 sy0 = rows.front(), sy1 = rows.back() + 1;
  if (&sourceBitmap == &target && sx0 < vx1 && vx0 < sx1 && sy0 < vy1 && vy0 < sy1) {
    I64 bx0 = sx0 * sbits / 8, bx1 = (sx1 * sbits + 7) / 8;
    I64 pixelOffset = bx0 * 8 / sbits;
    snapshot.resize(static_cast<std::size_t>((bx1 - bx0) * (sy1 - sy0)));
    for (I64 y = sy0; y < sy1; ++y) {
      std::memcpy(snapshot.data() + (y - sy0) * (bx1 - bx0), base + y * stride + bx0,
                  static_cast<std::size_t>(bx1 - bx0));
    }
    base = snapshot.data();
    stride = bx1 - bx0;
    rowOffset = sy0;
    for (I64& c : columns) c -= pixelOffset;
  }

  const std::size_t count = columns.size();
  const bool same24 = Is24(sf) && Is24(tf);
  const bool identity = sw == dw;  // then column d shows source column sl + d
  key &= 0xFFFFFFu;
  if (same24 && !useKey) {
    const std::uint8_t* lastRow = nullptr;
    std::uint8_t* lastTarget = nullptr;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const std::uint8_t* srow = base + (rows[i] - rowOffset) * stride;
      std::uint8_t* trow = target.ScanLine(static_cast<int>(vy0 + static_cast<I64>(i))) + vx0 * 3;
      if (srow == lastRow) {
        std::memcpy(trow, lastTarget, count * 3);  // a replicated row
        continue;
      }
      if (identity) {
        std::memcpy(trow, srow + columns.front() * 3, count * 3);
      } else {
        std::uint8_t* t = trow;
        for (std::size_t k = 0; k < count; ++k, t += 3) {
          const std::uint8_t* s = srow + columns[k] * 3;
          t[0] = s[0];
          t[1] = s[1];
          t[2] = s[2];
        }
      }
      lastRow = srow;
      lastTarget = trow;
    }
    return;
  }
  if (same24) {
    const std::uint8_t kb = static_cast<std::uint8_t>(GetBValue(key)), kg = static_cast<std::uint8_t>(GetGValue(key)),
                       kr = static_cast<std::uint8_t>(GetRValue(key));
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const std::uint8_t* srow = base + (rows[i] - rowOffset) * stride;
      std::uint8_t* t = target.ScanLine(static_cast<int>(vy0 + static_cast<I64>(i))) + vx0 * 3;
      for (std::size_t k = 0; k < count; ++k, t += 3) {
        const std::uint8_t* s = srow + columns[k] * 3;
        if (s[0] == kb && s[1] == kg && s[2] == kr) continue;
        t[0] = s[0];
        t[1] = s[1];
        t[2] = s[2];
      }
    }
    return;
  }
  ColorEncoder encode(tf, target.Palette());
  const std::vector<TPaletteEntry>& sourcePalette = sourceBitmap.Palette();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::uint8_t* srow = base + (rows[i] - rowOffset) * stride;
    std::uint8_t* trow = target.ScanLine(static_cast<int>(vy0 + static_cast<I64>(i)));
    for (std::size_t k = 0; k < count; ++k) {
      TColor c = RawToColor(GetRaw(srow, columns[k], sf), sf, sourcePalette);
      if (useKey && c == key) continue;
      SetRaw(trow, vx0 + static_cast<I64>(k), tf, encode(c));
    }
  }
}

void TCanvas::LineTo(int x, int y) {
  const std::int64_t x0 = PenPos.X, y0 = PenPos.Y;
  PenPos = {x, y};
  const std::int64_t dx = std::abs(static_cast<std::int64_t>(x) - x0);
  const std::int64_t dy = std::abs(static_cast<std::int64_t>(y) - y0);
  const std::int64_t n = std::max(dx, dy);  // pixels drawn: the start, not the end
  if (n == 0) return;
  const std::int64_t stepX = x > x0 ? 1 : (x < x0 ? -1 : 0);
  const std::int64_t stepY = y > y0 ? 1 : (y < y0 ? -1 : 0);
  TBitmap& b = *bitmap_;
  const std::int64_t W = b.Width(), H = b.Height();
  if (W == 0 || H == 0) return;
  const bool xMajor = dx >= dy;
  const std::int64_t minorDelta = xMajor ? dy : dx;
  // Only the steps whose major coordinate lies inside the bitmap matter.
  const std::int64_t majorStart = xMajor ? x0 : y0;
  const std::int64_t majorStep = xMajor ? stepX : stepY;
  const std::int64_t majorSize = xMajor ? W : H;
  std::int64_t iFrom = 0, iTo = n;  // i in [iFrom, iTo)
  if (majorStep > 0) {
    iFrom = std::max(iFrom, -majorStart);
    iTo = std::min(iTo, majorSize - majorStart);
  } else {
    iFrom = std::max(iFrom, majorStart - (majorSize - 1));
    iTo = std::min(iTo, majorStart + 1);
  }
  const TPixelFormat f = b.PixelFormat();
  const std::uint32_t raw = EncodeColor(f, b.Palette(), ColorToRGB(Pen.Color));
  for (std::int64_t i = iFrom; i < iTo; ++i) {
    // Pixel i of the line: i steps along the major axis, and the nearest
    // minor position, a half rounded toward the end point.
    std::int64_t minor = static_cast<std::int64_t>((static_cast<Wide>(2) * i * minorDelta + n) / (static_cast<Wide>(2) * n));
    std::int64_t px = xMajor ? x0 + stepX * i : x0 + stepX * minor;
    std::int64_t py = xMajor ? y0 + stepY * minor : y0 + stepY * i;
    if (px < 0 || py < 0 || px >= W || py >= H) continue;
    SetRaw(b.ScanLine(static_cast<int>(py)), px, f, raw);
  }
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
  using I64 = std::int64_t;
  const I64 W = bitmap_->Width(), H = bitmap_->Height();
  // Ring i covers columns L..R and rows T..B, both ends included.
  const I64 L = rect.Left, T = rect.Top, R = static_cast<I64>(rect.Right) - 1, B = static_cast<I64>(rect.Bottom) - 1;
  // Rings that enclose the whole bitmap paint nothing visible: skip them.
  I64 first = std::max<I64>(0, std::min({-L, -T, R - (W - 1), B - (H - 1)}));
  for (I64 i = first; i < width; ++i) {
    I64 l = L + i, t = T + i, r = R - i, b = B - i;
    // An inverted ring has no pixels; a ring beside the bitmap has none
    // visible, and neither have the rings inside it.
    if (l > r || t > b || l >= W || t >= H || r < 0 || b < 0) break;
    // Left edge and top edge (without the corners the bottom colour owns).
    FillArea(l, t, l + 1, b, topColor);
    FillArea(l, t, r, t + 1, topColor);
    // Right edge and bottom edge, whole, so the top-right and bottom-left
    // corners end up in the bottom colour.
    FillArea(r, t, r + 1, b + 1, bottomColor);
    FillArea(l, b, r + 1, b + 1, bottomColor);
  }
  auto clampInt = [](I64 v) {
    return static_cast<int>(std::clamp<I64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
  };
  rect = TRect{clampInt(static_cast<I64>(rect.Left) + width), clampInt(static_cast<I64>(rect.Top) + width),
               clampInt(static_cast<I64>(rect.Right) - width), clampInt(static_cast<I64>(rect.Bottom) - width)};
}
