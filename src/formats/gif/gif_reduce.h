#pragma once
// Colour reduction: turning any bitmap into an 8-bit bitmap with a palette
// of at most 256 entries, through a colour lookup and a dither engine.

#include <cstdint>
#include <memory>
#include <vector>

#include "core/bitmap.h"
#include "core/types.h"

using TGIFPalette = std::vector<TPaletteEntry>;

// Colour-reduction codes (the GIF image's ColorReduction option).
enum TColorReduction : std::uint8_t {
  rmNone = 0,             // a 24-bit copy of the source
  rmWindows20 = 1,        // the 20 static colours of the system palette
  rmWindowsHalftone = 2,  // the halftone palette
  rmWindowsGray = 3,      // 4 greys: 0x00, 0x80, 0xC0, 0xFF
  rmMonochrome = 4,       // black and white
  rmGrayScale = 5,        // 256 greys
  rmNetscape = 6,         // the 216-colour web palette
  rmQuantize = 7,         // octree palette of 2^ReductionBits colours
  rmQuantizeWindows = 8,  // octree palette of 236 colours inside the system palette
  rmPalette = 9           // a palette given by the caller
};

// Dither codes (the GIF image's DitherMode option).
enum TDitherMode : std::uint8_t {
  dmNearest = 0,
  dmFloydSteinberg = 1,
  dmStucki = 2,
  dmSierra = 3,
  dmJaJuNI = 4,
  dmSteveArche = 5,
  dmBurkes = 6
};

// The flag a palette entry carries so that a display keeps it apart from
// an equal system colour.
constexpr std::uint8_t PaletteNoCollapse = 4;

// The 216-colour web palette: entry r*36 + g*6 + b = (51r, 51g, 51b),
// flags 0.
TGIFPalette WebPalette();

// ---------------------------------------------------------------------------
// Colour lookups: a colour to a palette index and the colour of that entry.

class TColorLookup {
 public:
  explicit TColorLookup(int colors) : colors_(colors) {}
  virtual ~TColorLookup() = default;
  int Colors() const { return colors_; }
  virtual int Lookup(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue) = 0;

 protected:
  int colors_;
};

// Nearest entry by the sum of absolute channel differences, cached per
// 15-bit colour (so each distinct 15-bit colour is searched once).
class TFastColorLookup : public TColorLookup {
 public:
  explicit TFastColorLookup(const TGIFPalette& palette);
  int Lookup(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue) override;

 private:
  static int Slot(int red, int green, int blue) {
    return (red >> 3) | ((green & 0xF8) << 2) | ((blue & 0xF8) << 7);
  }
  TGIFPalette palette_;
  std::vector<std::uint16_t> cache_;
};

// The web palette by arithmetic: level = (channel + 3) div 51.
class TNetscapeColorLookup : public TColorLookup {
 public:
  TNetscapeColorLookup() : TColorLookup(216) {}
  int Lookup(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue) override;
};

// 256 greys: index = (77 red + 150 green + 29 blue) shr 8.
class TGrayScaleLookup : public TColorLookup {
 public:
  TGrayScaleLookup() : TColorLookup(256) {}
  int Lookup(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue) override;
};

// Black (0) below a luminance of 32513/256, else white (1).
class TMonochromeLookup : public TColorLookup {
 public:
  TMonochromeLookup() : TColorLookup(2) {}
  int Lookup(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue) override;
};

// ---------------------------------------------------------------------------
// Dither engines. Rows run alternately left to right and right to left
// (serpentine), the first one left to right: a caller visits the pixels
// of a row from Column() in Direction() while the column lies inside the
// row, then calls NextLine().

class TDitherEngine {
 public:
  TDitherEngine(int width, TColorLookup& lookup) : lookup_(lookup), width_(width) {}
  virtual ~TDitherEngine() = default;
  TDitherEngine(const TDitherEngine&) = delete;
  TDitherEngine& operator=(const TDitherEngine&) = delete;

  // The palette index for the pixel at Column(); advances the column.
  virtual int Dither(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue);
  // Leaves the pixel at Column() out (it spreads no error) and advances.
  virtual void Skip() { column_ += direction_; }
  virtual void NextLine();

  int Column() const { return column_; }
  int Direction() const { return direction_; }
  int Width() const { return width_; }

 protected:
  TColorLookup& lookup_;
  int width_;
  int direction_ = 1;
  int column_ = 0;
};

// Error diffusion over a few rows: one error row per kernel row and
// channel, three guard entries on each side (enough for the widest
// kernel, which reaches three columns out).
class TErrorDiffusionDitherer : public TDitherEngine {
 public:
  TErrorDiffusionDitherer(int width, TColorLookup& lookup, int divisor, int rows);
  int Dither(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue) override;
  void NextLine() override;

 protected:
  static constexpr int Guard = 3;
  // Spreads one channel's error of the current pixel over the kernel.
  virtual void Distribute(int channel, int error) = 0;
  // Adds value to the entry dx columns ahead (in the direction of travel)
  // of the current pixel in kernel row row.
  void Add(int channel, int row, int dx, int value) {
    errors_[static_cast<std::size_t>(channel)][static_cast<std::size_t>(row)]
           [static_cast<std::size_t>(column_ + dx * direction_ + Guard)] += value;
  }
  int divisor_;

 private:
  // errors_[channel][row][column + Guard]
  std::vector<std::vector<std::vector<int>>> errors_;
};

// Keeps the error in sixteenths in one row per channel plus the carried
// error for the next pixel and the two pending sums of the row below.
class TFloydSteinbergDitherer : public TDitherEngine {
 public:
  TFloydSteinbergDitherer(int width, TColorLookup& lookup);
  int Dither(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue) override;
  void Skip() override;
  void NextLine() override;

 private:
  void Spread(int channel, int error);
  std::vector<int> row_[3];
  int carried_[3] = {};
  int pendingNear_[3] = {};
  int pendingFar_[3] = {};
};

// Three rows, five columns.
class T5by3Ditherer : public TErrorDiffusionDitherer {
 public:
  T5by3Ditherer(int width, TColorLookup& lookup, int divisor) : TErrorDiffusionDitherer(width, lookup, divisor, 3) {}
};

class TStuckiDitherer : public T5by3Ditherer {
 public:
  TStuckiDitherer(int width, TColorLookup& lookup) : T5by3Ditherer(width, lookup, 42) {}

 protected:
  void Distribute(int channel, int error) override;
};

class TSierraDitherer : public T5by3Ditherer {
 public:
  TSierraDitherer(int width, TColorLookup& lookup) : T5by3Ditherer(width, lookup, 32) {}

 protected:
  void Distribute(int channel, int error) override;
};

class TJaJuNiDitherer : public T5by3Ditherer {
 public:
  TJaJuNiDitherer(int width, TColorLookup& lookup) : T5by3Ditherer(width, lookup, 48) {}

 protected:
  void Distribute(int channel, int error) override;
};

class TSteveArcheDitherer : public TErrorDiffusionDitherer {
 public:
  TSteveArcheDitherer(int width, TColorLookup& lookup) : TErrorDiffusionDitherer(width, lookup, 200, 4) {}

 protected:
  void Distribute(int channel, int error) override;
};

class TBurkesDitherer : public TErrorDiffusionDitherer {
 public:
  TBurkesDitherer(int width, TColorLookup& lookup) : TErrorDiffusionDitherer(width, lookup, 32, 2) {}

 protected:
  void Distribute(int channel, int error) override;
};

// The engine of a dither code, or nullptr for a code above 6.
std::unique_ptr<TDitherEngine> CreateDitherEngine(int ditherMode, int width, TColorLookup& lookup);

// ---------------------------------------------------------------------------
// Octree quantizer

class TColorQuantizer {
 public:
  // maxColors: the largest number of leaves kept; colorBits: the depth of
  // the tree (8 for full colour).
  TColorQuantizer(int maxColors, int colorBits);
  ~TColorQuantizer();
  TColorQuantizer(const TColorQuantizer&) = delete;
  TColorQuantizer& operator=(const TColorQuantizer&) = delete;

  // Adds one colour; the tree is reduced afterwards until it holds at
  // most maxColors leaves.
  void AddColor(int red, int green, int blue);
  // Adds every pixel of a 24-bit bitmap.
  void ProcessBitmap(const TBitmap& bitmap24);
  // The leaf colours in tree order (children 0 to 7, depth first).
  std::vector<TPaletteEntry> Colors() const;
  int LeafCount() const { return leafCount_; }

 private:
  struct TOctreeNode;
  int NewNode(int level);
  void ReleaseNode(int node);
  // Folds one node into a leaf; false when no node is left to fold.
  bool Reduce();
  void CollectColors(int node, std::vector<TPaletteEntry>& out) const;

  std::vector<TOctreeNode> nodes_;
  std::vector<int> freeNodes_;
  int root_ = -1;
  int leafCount_ = 0;
  int reducible_[9];
  int maxColors_;
  int colorBits_;
};

// The octree palette of a 24-bit bitmap. With system colours the palette
// has 256 entries: the first ten static colours at 0..9, the last ten at
// 246..255 and up to 236 quantized colours from entry 10; without them it
// has colors entries. Entries beyond the leaves found are black.
TGIFPalette OctreePalette(const TBitmap& bitmap24, int colors, int colorBits, bool withSystemColors);

// Reduces a bitmap to an 8-bit bitmap with a palette (the caller owns the
// result). Code 0 gives a 24-bit copy; codes above 9, dither codes above 6
// and a palette without colours give an empty bitmap. reductionBits is
// clamped to 1..8; customPalette serves code 9. A source without pixels
// raises GIFException "Invalid image dimensions".
std::unique_ptr<TBitmap> ReduceColors(const TBitmap& source, int colorReduction, int ditherMode,
                                      const TGIFPalette* customPalette, int reductionBits);
