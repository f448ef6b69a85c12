#pragma once
// The bitmap the whole program draws on, and its canvas.
//
// Storage: rows top-down (row 0 at the top), each row padded to a multiple
// of 4 bytes. 24-bit pixels are B,G,R; 32-bit pixels B,G,R,X; 15-bit
// pixels are 16-bit words 0RRRRRGGGGGBBBBB, 16-bit pixels RRRRRGGGGGGBBBBB;
// 1-, 4- and 8-bit pixels are palette indices, the leftmost pixel in the
// high bits of a byte.
//
// pfDevice is the "device-dependent" format of a new bitmap: it is stored
// exactly like pf24bit, so switching between the two never changes a
// byte, but code can tell the two apart.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "core/graphic.h"
#include "core/types.h"

// Pixel memory, allocated without being cleared: every allocation site
// writes each byte itself (decoders skip a fill they would overwrite).
// Neither allocating nor freeing touches the bytes, however large.
class TPixelBuffer {
 public:
  TPixelBuffer() noexcept = default;
  // Throws std::bad_alloc when the memory is not there.
  explicit TPixelBuffer(std::size_t size)
      : bytes_(size ? new std::uint8_t[size] : nullptr), size_(size), capacity_(size) {}
  TPixelBuffer(const TPixelBuffer& other) : TPixelBuffer(other.size_) {
    if (size_) std::memcpy(bytes_.get(), other.bytes_.get(), size_);
  }
  TPixelBuffer(TPixelBuffer&& other) noexcept { swap(other); }
  TPixelBuffer& operator=(TPixelBuffer other) noexcept {
    swap(other);
    return *this;
  }

  std::uint8_t* data() noexcept { return bytes_.get(); }
  const std::uint8_t* data() const noexcept { return bytes_.get(); }
  std::size_t size() const noexcept { return size_; }
  std::size_t capacity() const noexcept { return capacity_; }
  bool empty() const noexcept { return size_ == 0; }

  // Memory kept from one picture serves the next only while it is at
  // most KeepFactor times what the next one needs, or no more than
  // KeepFloor bytes (giving back so little gains nothing: the allocator
  // keeps blocks that small for itself). Anything larger is given back
  // and the new picture gets memory of its own size, so a huge picture
  // never pins its memory for the small ones after it.
  // A holder whose memory takes pictures of other sizes in turn may name
  // the most it expects (hint); the memory is then judged against the
  // larger of the two.
  static constexpr std::size_t KeepFactor = 2;
  static constexpr std::size_t KeepFloor = std::size_t{1} << 20;
  bool Reusable(std::size_t size, std::size_t hint = 0) const noexcept {
    const std::size_t judged = std::max(size, hint);
    return size <= capacity_ &&
           (capacity_ <= KeepFloor || capacity_ - std::min(capacity_, judged) <= judged * (KeepFactor - 1));
  }
  void clear() noexcept { size_ = 0; }
  // Bytes past the old size are undefined; a size beyond the capacity
  // moves the bytes there are to new memory.
  void resize(std::size_t size) {
    if (size > capacity_) {
      TPixelBuffer more(size);
      if (size_) std::memcpy(more.bytes_.get(), bytes_.get(), size_);
      swap(more);
    }
    size_ = size;
  }
  void swap(TPixelBuffer& other) noexcept {
    std::swap(bytes_, other.bytes_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

 private:
  std::unique_ptr<std::uint8_t[]> bytes_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

// Bits per stored pixel of a format (pfDevice: 24; pfCustom: 0).
int BitsPerPixel(TPixelFormat format);
// Bytes in one stored row: width * bits rounded up to whole 32-bit words.
std::int64_t BytesPerScanLine(std::int64_t width, int bitsPerPixel);

// The largest picture the program accepts: 2^28 pixels (a 24-bit picture
// of that size takes 768 MiB) and at most 1,048,576 pixels on a side.
// Every decoder checks width x height against this, in 64-bit, before it
// allocates anything.
constexpr std::int64_t MaxPixels = std::int64_t{1} << 28;
constexpr std::int64_t MaxDimension = std::int64_t{1} << 20;
bool WithinPixelCap(std::int64_t width, std::int64_t height);

// The fixed palettes of the platform stand-in.
// Black and white (2 entries).
const std::vector<TPaletteEntry>& BlackWhitePalette();
// The 16 colours of the classic VGA palette: black, maroon, green, olive,
// navy, purple, teal, silver, grey, red, lime, yellow, blue, fuchsia, aqua,
// white.
const std::vector<TPaletteEntry>& SystemPalette16();
// The 20 static colours of the classic 256-colour system palette, in
// their palette slots: the first ten belong at indices 0..9, the last ten
// at 246..255.
const std::vector<TPaletteEntry>& SystemPalette20();
// Our halftone palette of 256 entries: the first ten system colours at
// 0..9, a 6x6x6 colour cube (levels 0, 51, 102, 153, 204, 255; blue
// varying fastest, then green, then red) at 10..225, twenty greys
// (levels round(i * 255 / 21) for i = 1..20) at 226..245 and the last ten
// system colours at 246..255.
const std::vector<TPaletteEntry>& HalftonePalette();

class TBitmap;

// The stretch mapping every scaled drawing uses (nearest neighbour): pixel
// d of a target side of n pixels shows pixel floor((2d + 1) * s / (2n)) of
// a source side of s pixels, so equal sizes copy exactly and whole factors
// replicate exactly. n > 0; exact for every int-range side.
std::int64_t StretchSource(std::int64_t d, std::int64_t n, std::int64_t s);

enum TBrushStyle { bsSolid, bsClear };

struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = bsSolid;
};

struct TPen {
  TColor Color = clBlack;
  int Width = 1;
};

// Drawing on a bitmap. Every operation clips to the bitmap; none of them
// reads or writes outside it.
class TCanvas {
 public:
  explicit TCanvas(TBitmap& bitmap) : bitmap_(&bitmap) {}

  TBrush Brush;
  TPen Pen;
  TPoint PenPos;

  TBitmap& Bitmap() const { return *bitmap_; }

  // The colour at (x, y); outside the bitmap 0xFFFFFFFF ("invalid
  // colour", which reads as 255 in every channel).
  TColor Pixel(int x, int y) const;
  // Sets (x, y); outside the bitmap nothing happens. On a paletted bitmap
  // the nearest palette entry is used.
  void SetPixel(int x, int y, TColor color);

  // Fills columns Left..Right-1 and rows Top..Bottom-1 with the brush
  // colour (bsClear fills nothing); clipped; an empty or inverted
  // rectangle paints nothing.
  void FillRect(const TRect& rect);
  // Draws the graphic unscaled with its top-left corner at (x, y).
  // A transparent bitmap leaves the pixels of its transparent colour out.
  void Draw(int x, int y, const TGraphic& graphic);
  // Stretches the graphic onto rect (StretchSource). Clipped to the
  // bitmap; a rectangle with a negative or zero width or height draws
  // nothing.
  void StretchDraw(const TRect& rect, const TGraphic& graphic);
  // Copies source rectangle of another canvas onto dest, stretching with
  // the rule of StretchDraw when the sizes differ; clipped against both
  // bitmaps (source pixels outside the source are left out). A copy
  // within one canvas reads the source as it was before the copy, so
  // overlapping areas come out as if copied at once. Empty or inverted
  // rectangles copy nothing.
  void CopyRect(const TRect& dest, const TCanvas& source, const TRect& sourceRect);

  void MoveTo(int x, int y) { PenPos = {x, y}; }
  // A one-pixel line in the pen colour from PenPos to (x, y); the end
  // pixel is not drawn. Pixel i (0 <= i < n, n = the larger of |dx| and
  // |dy|) lies i steps along the longer axis, and on the shorter axis at
  // the nearest position, a half rounded toward the end point:
  // floor((2 * i * shorter + n) / (2 * n)) steps. The pen's width is not
  // used. PenPos moves to (x, y).
  void LineTo(int x, int y);
  // Draws the lines through the points in order, each without its end
  // pixel (so only the very last point stays unpainted).
  void Polyline(const std::vector<TPoint>& points);

  // A 3-D frame of width rings. The rectangle's right and bottom edges are
  // first moved in by one; each ring paints its left and top edges in
  // topColor and then its right and bottom edges in bottomColor (so the
  // top-right and bottom-left corners take bottomColor), and the next ring
  // lies one pixel further in. A ring one pixel wide or high takes the
  // bottom colour wholly; once the rings would turn inside out painting
  // stops. On return rect is inset by width on every side. A width of 0
  // or less paints nothing and leaves rect unchanged.
  void Frame3D(TRect& rect, TColor topColor, TColor bottomColor, int width);

 private:
  friend class TBitmap;
  // Fills columns left..right-1 and rows top..bottom-1 with a colour,
  // clipped; whole rows at a time.
  void FillArea(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom, TColor color);
  // Copies sourceRect of a bitmap onto dest with the stretch rule above;
  // with useKey, source pixels of colour key are left out.
  void CopyRectImpl(const TRect& dest, const TBitmap& source, const TRect& sourceRect, bool useKey, TColor key);
  TBitmap* bitmap_;
};

// A value: copies have pixels of their own. A moved-from bitmap is empty
// (0 x 0) and keeps its format.
class TBitmap : public TGraphic {
 public:
  TBitmap();
  TBitmap(int width, int height, TPixelFormat format = pf24bit);
  TBitmap(const TBitmap& other);
  TBitmap(TBitmap&& other) noexcept;
  TBitmap& operator=(const TBitmap& other);
  TBitmap& operator=(TBitmap&& other) noexcept;
  ~TBitmap() override;

  static const TGraphicClass& StaticClass();
  static std::unique_ptr<TGraphic> CreateInstance();
  const TGraphicClass& ClassType() const override { return StaticClass(); }

  int Width() const override { return width_; }
  int Height() const override { return height_; }
  // Changing the size keeps the old picture in the top-left corner; new
  // pixels take the canvas brush colour (white until changed). On a
  // paletted bitmap they take the palette entry nearest to that colour.
  // Negative sizes count as 0; a size beyond the pixel cap (or more than
  // memory holds) raises EOutOfResources and leaves the bitmap unchanged.
  // The brush colour is used whatever the brush style.
  void SetWidth(int width);
  void SetHeight(int height);
  void SetSize(int width, int height);
  // Gives the bitmap a new size and format whose pixels are left undefined
  // (row padding is cleared): for decoders that write every pixel at once.
  // Same cap as SetSize.
  void SetSizeForDecoding(int width, int height, TPixelFormat format);

  TPixelFormat PixelFormat() const { return format_; }
  // Converts the pixels. A paletted result keeps the current palette
  // when it fits (see SetPalette; from a paletted format the indices are
  // kept too); otherwise it gets black/white for 1 bit, SystemPalette16
  // for 4 bits, HalftonePalette for 8 bits, and each pixel takes the
  // nearest entry by squared RGB distance, the first on a tie. 15- and
  // 16-bit channels widen by repeating their top bits (5 bits v become
  // v << 3 | v >> 2, 6 bits v << 2 | v >> 4) and narrow by dropping the
  // low bits. The fourth byte of a 32-bit pixel is written as 0 and
  // ignored when read. Row padding is always 0. pfCustom raises
  // EInvalidGraphicOperation.
  void SetPixelFormat(TPixelFormat format);

  // Row y, 0 at the top. Raises ERangeError when y is outside the bitmap.
  std::uint8_t* ScanLine(int y);
  const std::uint8_t* ScanLine(int y) const;
  // Bytes per stored row (a multiple of 4).
  int RowStride() const { return stride_; }
  // All rows, top row first; empty for an empty bitmap.
  std::uint8_t* Bits() { return pixels_.data(); }
  const std::uint8_t* Bits() const { return pixels_.data(); }

  // The palette of a 1-, 4- or 8-bit bitmap. A true-colour bitmap has an
  // empty one unless SetPalette gave it one for a later conversion.
  const std::vector<TPaletteEntry>& Palette() const { return palette_; }
  // Replaces the palette without touching the pixel indices; at most 256
  // entries are kept. Indices beyond the palette read as black. Becoming
  // paletted (SetPixelFormat, on an empty bitmap as well) keeps the
  // current palette when it has no more entries than the format can
  // index, so the palette may be set before or after the format.
  void SetPalette(std::vector<TPaletteEntry> palette);

  // The colour of one pixel, from any format; ERangeError outside.
  TColor GetPixelColor(int x, int y) const;
  // The palette index nearest to a colour (first on a tie); 0 when there
  // is no palette.
  int NearestPaletteIndex(TColor color) const;

  // Transparency as drawing uses it: with Transparent set, Draw leaves
  // out the pixels of TransparentColor. In automatic mode that is the
  // colour of the bottom-left pixel.
  enum TTransparentMode { tmAuto, tmFixed };
  TTransparentMode TransparentMode() const { return transparentMode_; }
  void SetTransparentMode(TTransparentMode mode) { transparentMode_ = mode; }
  TColor TransparentColor() const;
  void SetTransparentColor(TColor color);

  TCanvas& Canvas() { return *canvas_; }
  const TCanvas& Canvas() const { return *canvas_; }

  // Copies another graphic's picture: a bitmap is copied with its format,
  // palette and transparency; any other graphic goes through its AssignTo.
  // The canvas state (brush, pen, pen position) and OnProgress stay.
  void Assign(const TGraphic& source) override;
  void AssignTo(TBitmap& dest) const override;
  void Draw(TCanvas& canvas, const TRect& rect) const override;

  // BMP files (see bmp.h for what is read and written). Loading reads
  // the file from the stream's position; the stream is left after the
  // bytes the file header says the file has (or at its end).
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) override;

  // Makes the bitmap empty (0 x 0), keeping format and canvas state, and
  // gives its memory back. (SetSize(0, 0) keeps the memory for the next
  // picture; SetSize, SetSizeForDecoding and a copy assigned use it
  // whenever TPixelBuffer::Reusable says the new picture may.)
  void Clear();

  // Bytes of pixel memory the bitmap holds: at least what its picture
  // uses, more when it kept the memory of a larger one.
  std::size_t MemoryBytes() const { return pixels_.capacity(); }
  // The most a bitmap whose memory takes pictures of other sizes in turn
  // expects to need (TMark's work picture and treated source swap their
  // memory): the keep rule then judges against the larger of the new
  // picture and this. 0, the start, judges against the picture alone.
  // It belongs to the bitmap, not to its picture: copies, moves and
  // swaps leave it where it is.
  void SetMemoryHint(std::size_t bytes) { memoryHint_ = bytes; }
  std::size_t MemoryHint() const { return memoryHint_; }
  // Gives back memory the keep rule would not keep for the picture the
  // bitmap holds (and its hint): the picture moves into memory of its
  // own size, or, for an empty one, the memory goes.
  void FitMemory();
  // For a scratch bitmap between two uses, whose next picture will be
  // about the size and format of like: it keeps its memory (and whatever
  // picture it holds) only while that picture could use it again under
  // the keep rule; otherwise it is cleared.
  void KeepMemoryFor(const TBitmap& like);

  // Swaps the pictures (size, format, palette, pixels and their memory)
  // of two bitmaps; each keeps its drawing state, progress handler and
  // transparency settings. What a step that builds a new picture in a
  // kept scratch bitmap does to hand it over.
  void SwapPicture(TBitmap& other) noexcept;

  // Takes over another picture (size, format, palette, pixels) without a
  // copy, keeping this bitmap's drawing state (brush, pen, pen position),
  // its progress handler and its transparency settings: what a loader, or
  // an operation that replaces a picture in place, must do.
  void TakePicture(TBitmap&& picture);

 private:
  void Reallocate(int width, int height);
  void FillNew(int fromX, int fromY);
  void ConvertTo(TPixelFormat format);
  void ResetAfterMove() noexcept;
  // TakePicture, and Assign when takeTransparency is set.
  void ReplacePicture(TBitmap&& picture, bool takeTransparency);

  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;
  TPixelFormat format_ = pfDevice;
  TPixelBuffer pixels_;
  std::vector<TPaletteEntry> palette_;
  TTransparentMode transparentMode_ = tmAuto;
  TColor transparentColor_ = clDefault;
  std::unique_ptr<TCanvas> canvas_;
  std::size_t memoryHint_ = 0;
};
