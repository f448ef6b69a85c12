#pragma once
// The pictures the skin author paints: true-colour pixels with a mask of
// which are opaque. Transparent pixels become the skins' transparent
// magenta when a picture is written as a BMP; shapes are painted with
// their edges blended into what lies under them, so a shape painted over
// the colour it will be shown on looks smooth although the skins know
// only opaque and transparent.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/types.h"

struct TRgb {
  std::uint8_t R = 0;
  std::uint8_t G = 0;
  std::uint8_t B = 0;
  friend bool operator==(const TRgb&, const TRgb&) = default;
};

constexpr TRgb Rgb(int r, int g, int b) {
  return TRgb{static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b)};
}
// a, moved towards b by t (0..1).
TRgb Mix(TRgb a, TRgb b, double t);
// The colour as the skin description writes it ("r,g,b").
std::string RgbText(TRgb c);

// The skins' transparent colour, and the one step of green the region
// cutting also takes as transparent.
inline constexpr TRgb SkinKey = Rgb(255, 0, 255);
inline constexpr TRgb SkinKeyNear = Rgb(255, 1, 255);

enum class TCornerStyle { Round, Chamfer, Square };

// A rectangle with cut corners: rounded or chamfered by the given size at
// the top and at the bottom.
struct TShape {
  double Left = 0;
  double Top = 0;
  double Right = 0;
  double Bottom = 0;
  double TopCorner = 0;
  double BottomCorner = 0;
  TCornerStyle Style = TCornerStyle::Round;

  bool Contains(double x, double y) const;
  // The shape moved in by d on every side, its corners d smaller.
  TShape Inset(double d) const;
};

TShape RectShape(int left, int top, int right, int bottom, double corner = 0,
                 TCornerStyle style = TCornerStyle::Round);

class TSkinPicture {
 public:
  TSkinPicture() = default;
  // Every pixel transparent.
  TSkinPicture(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Opaque(int x, int y) const;
  TRgb At(int x, int y) const;

  // Outside the picture these do nothing.
  void Set(int x, int y, TRgb c);
  void Erase(int x, int y);
  // Lays c over the pixel with the coverage a (0..1); a transparent pixel
  // becomes opaque once it is covered at least half.
  void Cover(int x, int y, TRgb c, double a);

  void Fill(int left, int top, int right, int bottom, TRgb c);
  // Top to bottom from top to bottom colour (rows left..right-1).
  void FillVertical(int left, int top, int right, int bottom, TRgb topColour, TRgb bottomColour);
  // The shape, with its edge pixels blended by how much of them it covers
  // (4 x 4 samples a pixel).
  void FillShape(const TShape& shape, TRgb c, double alpha = 1.0);
  // A shape with a vertical gradient across its own height.
  void FillShapeVertical(const TShape& shape, TRgb topColour, TRgb bottomColour);
  // A shape whose colour each pixel asks for.
  void FillShapeWith(const TShape& shape, const std::function<TRgb(int x, int y)>& colourAt);
  // Makes every pixel of the box that the shape does not touch at all
  // transparent.
  void EraseOutside(const TShape& shape);
  // A line of the given width between two points (pixel centres at .5).
  void Line(double x0, double y0, double x1, double y1, double width, TRgb c);

  // Copies every pixel of source (transparent ones too) to (x, y).
  void Place(const TSkinPicture& source, int x, int y);
  TSkinPicture Crop(int left, int top, int right, int bottom) const;

  // 24-bit BMP file bytes; transparent pixels are written as SkinKey.
  std::vector<std::uint8_t> ToBmp() const;

 private:
  double Coverage(const TShape& shape, int x, int y) const;
  int width_ = 0;
  int height_ = 0;
  std::vector<TRgb> pixels_;
  std::vector<std::uint8_t> opaque_;
};

// Frames side by side, or one below the other; all of one size.
TSkinPicture FramesSideBySide(const std::vector<TSkinPicture>& frames);
TSkinPicture FramesStacked(const std::vector<TSkinPicture>& frames);
