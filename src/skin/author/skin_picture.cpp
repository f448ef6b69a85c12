#include "skin/author/skin_picture.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/bitmap.h"
#include "core/bmp.h"

TRgb Mix(TRgb a, TRgb b, double t) {
  const auto mix = [t](int x, int y) { return static_cast<int>(std::lround(x + (y - x) * t)); };
  return Rgb(mix(a.R, b.R), mix(a.G, b.G), mix(a.B, b.B));
}

std::string RgbText(TRgb c) {
  return std::to_string(c.R) + "," + std::to_string(c.G) + "," + std::to_string(c.B);
}

bool TShape::Contains(double x, double y) const {
  if (x < Left || x >= Right || y < Top || y >= Bottom) return false;
  const bool top = y < Top + TopCorner;
  const bool bottom = y >= Bottom - BottomCorner;
  if (!top && !bottom) return true;
  const double c = top ? TopCorner : BottomCorner;
  if (c <= 0 || Style == TCornerStyle::Square) return true;
  const double dx = x < Left + c ? Left + c - x : (x >= Right - c ? x - (Right - c) : 0);
  const double dy = top ? Top + c - y : y - (Bottom - c);
  if (dx <= 0) return true;
  if (Style == TCornerStyle::Chamfer) return dx + dy <= c;
  return dx * dx + dy * dy <= c * c;
}

TShape TShape::Inset(double d) const {
  TShape s = *this;
  s.Left += d;
  s.Top += d;
  s.Right -= d;
  s.Bottom -= d;
  s.TopCorner = std::max(0.0, TopCorner - d);
  s.BottomCorner = std::max(0.0, BottomCorner - d);
  return s;
}

TShape RectShape(int left, int top, int right, int bottom, double corner, TCornerStyle style) {
  return TShape{static_cast<double>(left), static_cast<double>(top), static_cast<double>(right),
                static_cast<double>(bottom), corner, corner, style};
}

TSkinPicture::TSkinPicture(int width, int height)
    : width_(std::max(0, width)),
      height_(std::max(0, height)),
      pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_)),
      opaque_(pixels_.size(), 0) {}

bool TSkinPicture::Opaque(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  return opaque_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)] != 0;
}

TRgb TSkinPicture::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return SkinKey;
  return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)];
}

void TSkinPicture::Set(int x, int y, TRgb c) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x);
  pixels_[i] = c;
  opaque_[i] = 1;
}

void TSkinPicture::Erase(int x, int y) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x);
  pixels_[i] = TRgb{};
  opaque_[i] = 0;
}

void TSkinPicture::Cover(int x, int y, TRgb c, double a) {
  if (a <= 0) return;
  if (Opaque(x, y)) {
    Set(x, y, a >= 1 ? c : Mix(At(x, y), c, a));
  } else if (a >= 0.5) {
    Set(x, y, c);
  }
}

void TSkinPicture::Fill(int left, int top, int right, int bottom, TRgb c) {
  for (int y = std::max(0, top); y < std::min(height_, bottom); ++y) {
    for (int x = std::max(0, left); x < std::min(width_, right); ++x) Set(x, y, c);
  }
}

void TSkinPicture::FillVertical(int left, int top, int right, int bottom, TRgb topColour, TRgb bottomColour) {
  const int span = std::max(1, bottom - top - 1);
  for (int y = top; y < bottom; ++y) {
    Fill(left, y, right, y + 1, Mix(topColour, bottomColour, static_cast<double>(y - top) / span));
  }
}

double TSkinPicture::Coverage(const TShape& shape, int x, int y) const {
  int inside = 0;
  for (int sy = 0; sy < 4; ++sy) {
    for (int sx = 0; sx < 4; ++sx) inside += shape.Contains(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4) ? 1 : 0;
  }
  return inside / 16.0;
}

void TSkinPicture::FillShapeWith(const TShape& shape, const std::function<TRgb(int x, int y)>& colourAt) {
  for (int y = static_cast<int>(std::floor(shape.Top)); y < static_cast<int>(std::ceil(shape.Bottom)); ++y) {
    for (int x = static_cast<int>(std::floor(shape.Left)); x < static_cast<int>(std::ceil(shape.Right)); ++x) {
      const double a = Coverage(shape, x, y);
      if (a > 0) Cover(x, y, colourAt(x, y), a);
    }
  }
}

void TSkinPicture::FillShape(const TShape& shape, TRgb c, double alpha) {
  FillShapeWith(shape, [&](int x, int y) { return Opaque(x, y) ? Mix(At(x, y), c, alpha) : c; });
}

void TSkinPicture::FillShapeVertical(const TShape& shape, TRgb topColour, TRgb bottomColour) {
  const double span = std::max(1.0, shape.Bottom - shape.Top - 1);
  FillShapeWith(shape, [&](int, int y) {
    return Mix(topColour, bottomColour, std::clamp((y - shape.Top) / span, 0.0, 1.0));
  });
}

void TSkinPicture::EraseOutside(const TShape& shape) {
  for (int y = static_cast<int>(std::floor(shape.Top)); y < static_cast<int>(std::ceil(shape.Bottom)); ++y) {
    for (int x = static_cast<int>(std::floor(shape.Left)); x < static_cast<int>(std::ceil(shape.Right)); ++x) {
      if (Coverage(shape, x, y) == 0) Erase(x, y);
    }
  }
}

void TSkinPicture::Line(double x0, double y0, double x1, double y1, double width, TRgb c) {
  const double dx = x1 - x0;
  const double dy = y1 - y0;
  const double len2 = dx * dx + dy * dy;
  const double half = width / 2;
  const int left = static_cast<int>(std::floor(std::min(x0, x1) - half - 1));
  const int right = static_cast<int>(std::ceil(std::max(x0, x1) + half + 1));
  const int top = static_cast<int>(std::floor(std::min(y0, y1) - half - 1));
  const int bottom = static_cast<int>(std::ceil(std::max(y0, y1) + half + 1));
  for (int y = top; y <= bottom; ++y) {
    for (int x = left; x <= right; ++x) {
      int inside = 0;
      for (int sy = 0; sy < 4; ++sy) {
        for (int sx = 0; sx < 4; ++sx) {
          const double px = x + (sx + 0.5) / 4;
          const double py = y + (sy + 0.5) / 4;
          double t = len2 > 0 ? ((px - x0) * dx + (py - y0) * dy) / len2 : 0;
          t = std::clamp(t, 0.0, 1.0);
          const double ex = px - (x0 + t * dx);
          const double ey = py - (y0 + t * dy);
          inside += ex * ex + ey * ey <= half * half ? 1 : 0;
        }
      }
      Cover(x, y, c, inside / 16.0);
    }
  }
}

void TSkinPicture::Place(const TSkinPicture& source, int x, int y) {
  for (int sy = 0; sy < source.height_; ++sy) {
    for (int sx = 0; sx < source.width_; ++sx) {
      if (source.Opaque(sx, sy)) {
        Set(x + sx, y + sy, source.At(sx, sy));
      } else {
        Erase(x + sx, y + sy);
      }
    }
  }
}

TSkinPicture TSkinPicture::Crop(int left, int top, int right, int bottom) const {
  TSkinPicture out(right - left, bottom - top);
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      if (Opaque(x, y)) out.Set(x - left, y - top, At(x, y));
    }
  }
  return out;
}

std::vector<std::uint8_t> TSkinPicture::ToBmp() const {
  TBitmap bitmap(width_, height_, pf24bit);
  for (int y = 0; y < height_; ++y) {
    std::uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < width_; ++x) {
      const TRgb c = Opaque(x, y) ? At(x, y) : SkinKey;
      row[3 * x] = c.B;
      row[3 * x + 1] = c.G;
      row[3 * x + 2] = c.R;
    }
  }
  return WriteBmp(bitmap);
}

TSkinPicture FramesSideBySide(const std::vector<TSkinPicture>& frames) {
  if (frames.empty()) return {};
  TSkinPicture out(frames[0].Width() * static_cast<int>(frames.size()), frames[0].Height());
  for (std::size_t i = 0; i < frames.size(); ++i) out.Place(frames[i], static_cast<int>(i) * frames[0].Width(), 0);
  return out;
}

TSkinPicture FramesStacked(const std::vector<TSkinPicture>& frames) {
  if (frames.empty()) return {};
  TSkinPicture out(frames[0].Width(), frames[0].Height() * static_cast<int>(frames.size()));
  for (std::size_t i = 0; i < frames.size(); ++i) out.Place(frames[i], 0, static_cast<int>(i) * frames[0].Height());
  return out;
}
