#include "imaging/drawing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cfenv>
#include <cstring>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "app/settings.h"
#include "core/exceptions.h"
#include "core/numbers.h"

namespace {

using I64 = std::int64_t;

bool Is24(const TBitmap& b) { return b.PixelFormat() == pf24bit || b.PixelFormat() == pfDevice; }

int ClampInt(I64 v) {
  return static_cast<int>(std::clamp<I64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

std::uint8_t ClampChannel(I64 v) { return static_cast<std::uint8_t>(std::clamp<I64>(v, 0, 255)); }

// Pixel access for the bevels, which work on any canvas: 24-bit bitmaps
// are read and written in their rows, other formats through the canvas
// (same colours, only slower). Coordinates outside the bitmap are the
// caller's business; every caller clips first.
class TPixelAccess {
 public:
  explicit TPixelAccess(TCanvas& canvas) : canvas_(canvas), bmp_(canvas.Bitmap()), direct_(Is24(bmp_)) {}

  I64 Width() const { return bmp_.Width(); }
  I64 Height() const { return bmp_.Height(); }

  // Adds the pixel's channels to r, g, b.
  void Add(I64 x, I64 y, I64& r, I64& g, I64& b) const {
    if (direct_) {
      const std::uint8_t* p = bmp_.ScanLine(static_cast<int>(y)) + x * 3;
      b += p[0];
      g += p[1];
      r += p[2];
      return;
    }
    TColor c = bmp_.GetPixelColor(static_cast<int>(x), static_cast<int>(y));
    r += GetRValue(c);
    g += GetGValue(c);
    b += GetBValue(c);
  }

  // Every channel of the pixel through a table.
  void Map(I64 x, I64 y, const std::array<std::uint8_t, 256>& lut) {
    if (direct_) {
      std::uint8_t* p = bmp_.ScanLine(static_cast<int>(y)) + x * 3;
      p[0] = lut[p[0]];
      p[1] = lut[p[1]];
      p[2] = lut[p[2]];
      return;
    }
    TColor c = bmp_.GetPixelColor(static_cast<int>(x), static_cast<int>(y));
    canvas_.SetPixel(static_cast<int>(x), static_cast<int>(y),
                     RGB(lut[GetRValue(c)], lut[GetGValue(c)], lut[GetBValue(c)]));
  }

  // Paints columns x0..x1 and rows y0..y1 (inclusive, already clipped).
  void Fill(I64 x0, I64 x1, I64 y0, I64 y1, TColor c) {
    for (I64 y = y0; y <= y1; ++y) {
      if (!direct_) {
        for (I64 x = x0; x <= x1; ++x) canvas_.SetPixel(static_cast<int>(x), static_cast<int>(y), c);
        continue;
      }
      std::uint8_t* p = bmp_.ScanLine(static_cast<int>(y)) + x0 * 3;
      for (I64 x = x0; x <= x1; ++x, p += 3) {
        p[0] = static_cast<std::uint8_t>(GetBValue(c));
        p[1] = static_cast<std::uint8_t>(GetGValue(c));
        p[2] = static_cast<std::uint8_t>(GetRValue(c));
      }
    }
  }

 private:
  TCanvas& canvas_;
  TBitmap& bmp_;
  bool direct_;
};

// One side of one bevel ring: a run of pixels along a fixed column
// (vertical) or a fixed row, from `from` to `to` inclusive in ascending
// order (none when from > to).
struct TSpan {
  bool Vertical;
  I64 Fixed;
  I64 From;
  I64 To;
};

// The rings whose side lies on a line inside the bitmap: the fixed
// coordinate of ring i is base + step * i (step +1 or -1) and must lie in
// 0..size-1. Rings outside [0, width) do not exist.
void VisibleRings(I64 base, int step, I64 size, I64 width, I64& first, I64& last) {
  if (step > 0) {
    first = -base;
    last = size - base;  // exclusive
  } else {
    first = base - size + 1;
    last = base + 1;
  }
  first = std::max<I64>(first, 0);
  last = std::min<I64>(last, width);
}

// Clips a span to the bitmap; false when nothing of it is inside.
bool ClipSpan(const TSpan& s, I64 W, I64 H, I64& x0, I64& x1, I64& y0, I64& y1) {
  if (s.Vertical) {
    x0 = x1 = s.Fixed;
    y0 = std::max<I64>(s.From, 0);
    y1 = std::min<I64>(s.To, H - 1);
  } else {
    y0 = y1 = s.Fixed;
    x0 = std::max<I64>(s.From, 0);
    x1 = std::min<I64>(s.To, W - 1);
  }
  return x0 >= 0 && x1 < W && y0 >= 0 && y1 < H && x0 <= x1 && y0 <= y1;
}

// The pixels a one-pixel line from a to b (same row or same column)
// paints: every pixel from a toward b, b itself left out.
TSpan LineSpan(bool vertical, I64 fixed, I64 a, I64 b) {
  if (b > a) return TSpan{vertical, fixed, a, b - 1};
  if (b < a) return TSpan{vertical, fixed, b + 1, a};
  return TSpan{vertical, fixed, 1, 0};
}

struct TMeans {
  I64 R = 0, G = 0, B = 0, Count = 0;
};

TColor ShiftedColor(const TMeans& m, I64 shift) {
  return RGB(ClampChannel(m.R + shift), ClampChannel(m.G + shift), ClampChannel(m.B + shift));
}

TColor HalfwayColor(TColor a, TColor b) {
  return RGB((GetRValue(a) + GetRValue(b)) >> 1, (GetGValue(a) + GetGValue(b)) >> 1,
             (GetBValue(a) + GetBValue(b)) >> 1);
}

TRect InsetFrameRect(const TRect& rect, int width, bool shrink) {
  if (!shrink) return rect;
  return TRect{ClampInt(static_cast<I64>(rect.Left) + width), ClampInt(static_cast<I64>(rect.Top) + width),
               ClampInt(static_cast<I64>(rect.Right) - width + 1), ClampInt(static_cast<I64>(rect.Bottom) - width + 1)};
}

// Fills columns x0..x1-1 and rows y0..y1-1 of a 24-bit dest (clipped by
// the caller) with copies of a 24-bit src laid out from (originX,
// originY), which lies at or above-left of (x0, y0). Every row is built
// once per period of src and copied after that.
void FillTiled24(const TBitmap& src, TBitmap& dest, I64 originX, I64 originY, I64 x0, I64 x1, I64 y0, I64 y1) {
  const I64 sw = src.Width(), sh = src.Height();
  const std::size_t rowBytes = static_cast<std::size_t>((x1 - x0) * 3);
  for (I64 y = y0; y < y1; ++y) {
    std::uint8_t* d = dest.ScanLine(static_cast<int>(y)) + x0 * 3;
    if (y - y0 >= sh) {
      std::memcpy(d, dest.ScanLine(static_cast<int>(y - sh)) + x0 * 3, rowBytes);
      continue;
    }
    const std::uint8_t* s = src.ScanLine(static_cast<int>((y - originY) % sh));
    const I64 total = x1 - x0;
    // One period first, starting at the right phase...
    I64 filled = 0;
    I64 sx = (x0 - originX) % sw;
    while (filled < total && filled < sw) {
      I64 n = std::min(sw - sx, std::min(total, sw) - filled);
      std::memcpy(d + filled * 3, s + sx * 3, static_cast<std::size_t>(n * 3));
      filled += n;
      sx = 0;
    }
    // ...then doubling copies of whole periods.
    while (filled < total) {
      I64 n = std::min(filled, total - filled);
      std::memcpy(d + filled * 3, d, static_cast<std::size_t>(n * 3));
      filled += n;
    }
  }
}

// Tiles src into the part of rect (left, top, right, bottom; right and
// bottom exclusive) that lies in dest, as copies of src from the
// rectangle's top-left corner, without transparency.
void TileArea(TBitmap& src, TBitmap& dest, I64 left, I64 top, I64 right, I64 bottom) {
  if (src.Width() <= 0 || src.Height() <= 0) return;
  const I64 x0 = std::max<I64>(left, 0), x1 = std::min<I64>(right, dest.Width());
  const I64 y0 = std::max<I64>(top, 0), y1 = std::min<I64>(bottom, dest.Height());
  if (x0 >= x1 || y0 >= y1) return;
  // The tiles are read as they were before any was laid, also when src
  // is dest itself.
  TBitmap converted;
  const TBitmap* s = &src;
  if (!Is24(src) || &src == &dest) {
    converted = src;
    converted.SetPixelFormat(pf24bit);
    s = &converted;
  }
  if (Is24(dest)) {
    FillTiled24(*s, dest, left, top, x0, x1, y0, y1);
    return;
  }
  // Other formats: build the visible part in 24 bits and copy it over, so
  // every pixel takes the same colour a copy of the tile would give it.
  TBitmap area(static_cast<int>(x1 - x0), static_cast<int>(y1 - y0), pf24bit);
  FillTiled24(*s, area, left - x0, top - y0, 0, x1 - x0, 0, y1 - y0);
  dest.Canvas().CopyRect(TRect{static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1), static_cast<int>(y1)},
                         area.Canvas(), TRect{0, 0, area.Width(), area.Height()});
}

// The pixel of a scratch result; raises when the picture would be beyond
// the program's pixel cap.
void CheckResultSize(I64 width, I64 height, const char* what) {
  if (!WithinPixelCap(width, height)) {
    throw EOutOfResources(std::string(what) + " of " + std::to_string(width) + " x " + std::to_string(height) +
                          " pixels is too large");
  }
}

}  // namespace

// ---------------------------------------------------------------------------

void MeshDraw(TBitmap& dest, TBitmap& src, TPoint pos) {
  dest.SetPixelFormat(pf24bit);
  src.SetPixelFormat(pf24bit);
  // Drawing a bitmap onto itself reads it as it was before.
  TBitmap snapshot;
  const TBitmap* s = &src;
  if (&src == &dest) {
    snapshot = src;
    s = &snapshot;
  }
  const I64 W = dest.Width(), H = dest.Height();
  const I64 x0 = std::max<I64>(0, -static_cast<I64>(pos.X));
  const I64 x1 = std::min<I64>(s->Width(), W - pos.X);
  const I64 y0 = std::max<I64>(0, -static_cast<I64>(pos.Y));
  const I64 y1 = std::min<I64>(s->Height(), H - pos.Y);
  if (x0 >= x1 || y0 >= y1) return;
  for (I64 y = y0; y < y1; ++y) {
    const I64 dy = pos.Y + y;
    const std::uint8_t* sp = s->ScanLine(static_cast<int>(y));
    std::uint8_t* dp = dest.ScanLine(static_cast<int>(dy));
    // The first source column whose destination column makes dx + dy odd.
    const I64 start = ((pos.X + x0 + dy) & 1) ? x0 : x0 + 1;
    for (I64 x = start; x < x1; x += 2) {
      const std::uint8_t* p = sp + x * 3;
      std::uint8_t* q = dp + (pos.X + x) * 3;
      q[0] = p[0];
      q[1] = p[1];
      q[2] = p[2];
    }
  }
}

// Pixels outside the bitmap are left out of a side's average (they have
// no colour to give). A side without any pixel inside the bitmap takes
// the average of the other side of its colour pair (left with top, right
// with bottom); when neither has one the pair's average is black.
void DrawAverageBevel(TCanvas& canvas, const TRect& rect, int lightShift, int darkShift, int width) {
  if (width < 1) width = 1;
  TPixelAccess px(canvas);
  const I64 W = px.Width(), H = px.Height();
  if (W <= 0 || H <= 0) return;
  const I64 L0 = rect.Left, T0 = rect.Top, R0 = rect.Right, B0 = rect.Bottom;

  // Side s of ring i: the pixels averaged and the line drawn.
  auto averaged = [&](int side, I64 i) {
    const I64 L = L0 + i, T = T0 + i, R = R0 - i, B = B0 - i;
    switch (side) {
      case 0: return TSpan{true, L, T, B};
      case 1: return TSpan{false, T, L, R};
      case 2: return TSpan{true, R, T, B};
      default: return TSpan{false, B, L, R + 1};
    }
  };
  auto drawn = [&](int side, I64 i) {
    const I64 L = L0 + i, T = T0 + i, R = R0 - i, B = B0 - i;
    switch (side) {
      case 0: return LineSpan(true, L, T, B);
      case 1: return LineSpan(false, T, L, R);
      case 2: return LineSpan(true, R, T, B);
      default: return LineSpan(false, B, L, R + 1);
    }
  };
  // The rings whose side lies on a column or row of the bitmap; the
  // others neither give nor take a pixel.
  auto rings = [&](int side, I64& first, I64& last) {
    switch (side) {
      case 0: VisibleRings(L0, 1, W, width, first, last); break;
      case 1: VisibleRings(T0, 1, H, width, first, last); break;
      case 2: VisibleRings(R0, -1, W, width, first, last); break;
      default: VisibleRings(B0, -1, H, width, first, last); break;
    }
  };

  std::array<TMeans, 4> means;
  for (int side = 0; side < 4; ++side) {
    I64 first = 0, last = 0;
    rings(side, first, last);
    I64 r = 0, g = 0, b = 0, n = 0;
    for (I64 i = first; i < last; ++i) {
      I64 x0, x1, y0, y1;
      if (!ClipSpan(averaged(side, i), W, H, x0, x1, y0, y1)) continue;
      for (I64 y = y0; y <= y1; ++y)
        for (I64 x = x0; x <= x1; ++x) px.Add(x, y, r, g, b);
      n += (x1 - x0 + 1) * (y1 - y0 + 1);
    }
    if (n > 0) means[static_cast<std::size_t>(side)] = TMeans{r / n, g / n, b / n, n};
  }
  for (int side = 0; side < 4; ++side) {
    TMeans& m = means[static_cast<std::size_t>(side)];
    const TMeans& partner = means[static_cast<std::size_t>(side ^ 1)];
    if (m.Count == 0 && partner.Count > 0) m = partner;
  }
  const TColor topLeft = HalfwayColor(ShiftedColor(means[0], lightShift), ShiftedColor(means[1], lightShift));
  const TColor bottomRight = HalfwayColor(ShiftedColor(means[2], darkShift), ShiftedColor(means[3], darkShift));

  for (int side = 0; side < 4; ++side) {
    const TColor colour = side < 2 ? topLeft : bottomRight;
    I64 first = 0, last = 0;
    rings(side, first, last);
    for (I64 i = first; i < last; ++i) {
      I64 x0, x1, y0, y1;
      if (ClipSpan(drawn(side, i), W, H, x0, x1, y0, y1)) px.Fill(x0, x1, y0, y1, colour);
    }
  }
}

void DrawShiftBevel(TCanvas& canvas, const TRect& rect, int lightShift, int darkShift, int width) {
  if (width < 1) width = 1;
  TPixelAccess px(canvas);
  const I64 W = px.Width(), H = px.Height();
  if (W <= 0 || H <= 0) return;
  const I64 L0 = rect.Left, T0 = rect.Top, R0 = rect.Right, B0 = rect.Bottom;
  std::array<std::uint8_t, 256> light{}, dark{};
  for (int c = 0; c < 256; ++c) {
    light[static_cast<std::size_t>(c)] = ClampChannel(c + static_cast<I64>(lightShift));
    dark[static_cast<std::size_t>(c)] = ClampChannel(c + static_cast<I64>(darkShift));
  }
  for (int side = 0; side < 4; ++side) {
    I64 first = 0, last = 0;
    switch (side) {
      case 0: VisibleRings(L0, 1, W, width, first, last); break;
      case 1: VisibleRings(T0, 1, H, width, first, last); break;
      case 2: VisibleRings(R0, -1, W, width, first, last); break;
      default: VisibleRings(B0, -1, H, width, first, last); break;
    }
    const auto& lut = side < 2 ? light : dark;
    for (I64 i = first; i < last; ++i) {
      const I64 L = L0 + i, T = T0 + i, R = R0 - i, B = B0 - i;
      TSpan span;
      switch (side) {
        case 0: span = TSpan{true, L, T, B}; break;
        case 1: span = TSpan{false, T, L + 1, R}; break;
        case 2: span = TSpan{true, R, T, B}; break;
        default: span = TSpan{false, B, L, R - 1}; break;
      }
      I64 x0, x1, y0, y1;
      if (!ClipSpan(span, W, H, x0, x1, y0, y1)) continue;
      for (I64 y = y0; y <= y1; ++y)
        for (I64 x = x0; x <= x1; ++x) px.Map(x, y, lut);
    }
  }
}

void DrawFrame3D(TCanvas& canvas, const TRect& rect, TColor topColor, TColor bottomColor, int width, bool shrink) {
  TRect r = InsetFrameRect(rect, width, shrink);
  canvas.Frame3D(r, topColor, bottomColor, 1);
}

void DrawFrameStyle2(TCanvas& canvas, const TRect& rect, int lightShift, int darkShift, int width, bool shrink) {
  DrawAverageBevel(canvas, InsetFrameRect(rect, width, shrink), lightShift, darkShift, 1);
}

void DrawFrameStyle3(TCanvas& canvas, const TRect& rect, int lightShift, int darkShift, int width, bool shrink) {
  DrawShiftBevel(canvas, InsetFrameRect(rect, width, shrink), lightShift, darkShift, 1);
}

// ---------------------------------------------------------------------------

void DrawMaskedImage(TBitmap& fore, TBitmap& back, TBitmap& mask, TBitmap& dest, const TRect& maskRect,
                     bool direct) {
  // The mask as it stands now, in 24 bits.
  TBitmap maskCopy;
  const TBitmap* m = &mask;
  if (!Is24(mask) || &mask == &dest) {
    maskCopy = mask;
    maskCopy.SetPixelFormat(pf24bit);
    m = &maskCopy;
  }
  dest.SetWidth(back.Width());
  dest.SetHeight(back.Height());
  dest.SetPixelFormat(pf24bit);
  fore.SetPixelFormat(pf24bit);
  back.SetPixelFormat(pf24bit);

  const I64 ml = maskRect.Left, mt = maskRect.Top;
  const I64 mw = static_cast<I64>(maskRect.Right) - ml, mh = static_cast<I64>(maskRect.Bottom) - mt;
  if (mw <= 0 || mh <= 0) return;
  // Targets outside back (and so dest) or outside fore are left alone.
  const I64 limitW = std::min<I64>(back.Width(), fore.Width());
  const I64 limitH = std::min<I64>(back.Height(), fore.Height());
  const I64 x0 = std::max<I64>(ml, 0), x1 = std::min<I64>(ml + mw, limitW);
  const I64 y0 = std::max<I64>(mt, 0), y1 = std::min<I64>(mt + mh, limitH);
  if (x0 >= x1 || y0 >= y1) return;

  // The mask is stretched to the rectangle with the canvas' rule
  // (StretchSource); an equal size maps one to one. An empty mask leaves the stretched mask white, as the blank
  // bitmap it would be drawn on.
  const I64 sw = m->Width(), sh = m->Height();
  const bool blank = sw == 0 || sh == 0;
  std::vector<I64> redOffset;
  if (!blank) {
    redOffset.resize(static_cast<std::size_t>(x1 - x0));
    for (I64 x = x0; x < x1; ++x)
      redOffset[static_cast<std::size_t>(x - x0)] = StretchSource(x - ml, mw, sw) * 3 + 2;
  }
  for (I64 y = y0; y < y1; ++y) {
    const std::uint8_t* mrow = blank ? nullptr : m->ScanLine(static_cast<int>(StretchSource(y - mt, mh, sh)));
    const std::uint8_t* f = fore.ScanLine(static_cast<int>(y)) + x0 * 3;
    const std::uint8_t* b = back.ScanLine(static_cast<int>(y)) + x0 * 3;
    std::uint8_t* d = dest.ScanLine(static_cast<int>(y)) + x0 * 3;
    for (I64 x = x0; x < x1; ++x, f += 3, b += 3, d += 3) {
      int red = blank ? 255 : mrow[redOffset[static_cast<std::size_t>(x - x0)]];
      int a = direct ? red : 255 - red;
      int na = 255 - a;
      // Read all three channels first: fore or back may be dest itself.
      int f0 = f[0], f1 = f[1], f2 = f[2], b0 = b[0], b1 = b[1], b2 = b[2];
      d[0] = static_cast<std::uint8_t>((f0 * a + b0 * na) / 255);
      d[1] = static_cast<std::uint8_t>((f1 * a + b1 * na) / 255);
      d[2] = static_cast<std::uint8_t>((f2 * a + b2 * na) / 255);
    }
  }
}

TRect FitRect(TPoint box, TPoint image, bool zoomFit, bool shrinkFit, int marginX, int marginY) {
  const I64 w = image.X, h = image.Y;
  const I64 usableW = static_cast<I64>(box.X) - 2 * static_cast<I64>(marginX);
  const I64 usableH = static_cast<I64>(box.Y) - 2 * static_cast<I64>(marginY);
  // Nothing to fit, or no room to fit it in.
  if (w < 1 || h < 1 || usableW <= 0 || usableH <= 0) return TRect{0, 0, 0, 0};
  double scale = std::min(static_cast<double>(usableW) / static_cast<double>(w),
                          static_cast<double>(usableH) / static_cast<double>(h));
  if (!shrinkFit && scale < 1.0) scale = 1.0;
  if (!zoomFit && scale > 1.0) scale = 1.0;
  const I64 fitW = static_cast<I64>(static_cast<double>(w) * scale);
  const I64 fitH = static_cast<I64>(static_cast<double>(h) * scale);
  const I64 left = (usableW - fitW) / 2 + marginX;
  const I64 top = (usableH - fitH) / 2 + marginY;
  return TRect{ClampInt(left), ClampInt(top), ClampInt(left + fitW), ClampInt(top + fitH)};
}

TPoint GetAnchorOffset(int outerWidth, int outerHeight, int innerWidth, int innerHeight, int anchor) {
  const I64 dx = static_cast<I64>(outerWidth) - innerWidth, dy = static_cast<I64>(outerHeight) - innerHeight;
  const I64 cx = dx / 2, cy = dy / 2;
  I64 x = 0, y = 0;
  switch (anchor) {
    case 1: x = cx; break;
    case 2: x = dx; break;
    case 3: y = cy; break;
    case 4: x = cx; y = cy; break;
    case 5: x = dx; y = cy; break;
    case 6: y = dy; break;
    case 7: x = cx; y = dy; break;
    case 8: x = dx; y = dy; break;
    default: break;
  }
  return TPoint{ClampInt(x), ClampInt(y)};
}

// ---------------------------------------------------------------------------

void TileBitmap(TBitmap& src, TBitmap& dest, int mode) {
  const I64 w = src.Width(), h = src.Height();
  // A source without pixels has nothing to tile.
  if (w <= 0 || h <= 0) return;
  const I64 destW = dest.Width(), destH = dest.Height();
  if (mode == 0) {
    src.SetWidth(dest.Width());
    src.SetHeight(dest.Height());
    // Every cell is a copy of the w x h corner, so each pixel (x, y)
    // becomes corner pixel (x mod w, y mod h); whole periods are doubled
    // along the top rows, then the top rows down the picture.
    const I64 W = src.Width(), H = src.Height();
    const I64 bandH = std::min(h, H);
    for (I64 filled = w; filled < W;) {
      const I64 n = std::min(filled, W - filled);
      src.Canvas().CopyRect(TRect{static_cast<int>(filled), 0, static_cast<int>(filled + n), static_cast<int>(bandH)},
                            src.Canvas(), TRect{0, 0, static_cast<int>(n), static_cast<int>(bandH)});
      filled += n;
    }
    for (I64 filled = h; filled < H;) {
      const I64 n = std::min(filled, H - filled);
      src.Canvas().CopyRect(TRect{0, static_cast<int>(filled), static_cast<int>(W), static_cast<int>(filled + n)},
                            src.Canvas(), TRect{0, 0, static_cast<int>(W), static_cast<int>(n)});
      filled += n;
    }
    return;
  }
  if (destW <= 0 || destH <= 0) return;
  if (!src.Transparent()) {
    TileArea(src, dest, 0, 0, destW, destH);
    return;
  }
  // A transparent source leaves dest showing through its transparent
  // colour: lay the tiles out once and draw them with that colour.
  TBitmap tiles(static_cast<int>(destW), static_cast<int>(destH), pf24bit);
  TileArea(src, tiles, 0, 0, destW, destH);
  tiles.SetTransparentColor(src.TransparentColor());
  tiles.SetTransparentMode(TBitmap::tmFixed);
  tiles.SetTransparent(true);
  dest.Canvas().Draw(0, 0, tiles);
}

void TileIntoRect(TBitmap& src, TBitmap& dest, const TRect& rect) {
  TileArea(src, dest, rect.Left, rect.Top, rect.Right, rect.Bottom);
}

void ResizeByPercent(TBitmap& bmp, std::uint16_t pctX, std::uint16_t pctY) {
  ResizeByPercent(bmp, pctX, pctY, ProgramInfo().ScratchBitmap);
}

void ResizeByPercent(TBitmap& bmp, std::uint16_t pctX, std::uint16_t pctY, TBitmap& scratch) {
  const I64 newW = Round(static_cast<long double>(bmp.Width()) * (static_cast<long double>(pctX) / 100.0L));
  const I64 newH = Round(static_cast<long double>(bmp.Height()) * (static_cast<long double>(pctY) / 100.0L));
  CheckResultSize(newW, newH, "A resized picture");
  TBitmap snapshot;
  const TBitmap* s = &bmp;
  if (&bmp == &scratch) {
    snapshot = bmp;
    s = &snapshot;
  }
  scratch.SetPixelFormat(pf24bit);
  scratch.SetSize(static_cast<int>(newW), static_cast<int>(newH));
  scratch.Canvas().StretchDraw(TRect{0, 0, static_cast<int>(newW), static_cast<int>(newH)}, *s);
  bmp.Assign(scratch);
}

void InvertBitmap(TBitmap& bmp) {
  bmp.SetPixelFormat(pf24bit);
  const std::size_t bytes = static_cast<std::size_t>(bmp.Width()) * 3;
  for (int y = 0; y < bmp.Height(); ++y) {
    std::uint8_t* p = bmp.ScanLine(y);
    for (std::size_t i = 0; i < bytes; ++i) p[i] = static_cast<std::uint8_t>(255 - p[i]);
  }
}

// Each cell's average covers one column and one row more than the cell
// (up to the picture's last ones), and the cells are filled without
// their right column and bottom row, except that the cells on the right
// and bottom edge are filled up to the picture's edge, so that no strip
// of the picture stays unchanged. Since a cell never reads pixels an
// earlier cell filled, every average is one of the original picture.
void MosaicBitmap(TBitmap& bmp, int cellWidth, int cellHeight) {
  if (cellWidth <= 0 || cellHeight <= 0 || (cellWidth == 1 && cellHeight == 1)) return;
  bmp.SetPixelFormat(pf24bit);
  const I64 W = bmp.Width(), H = bmp.Height();
  if (W == 0 || H == 0) return;
  const I64 cw = cellWidth, ch = cellHeight;
  const I64 cellRows = (H + ch - 1) / ch, cellCols = (W + cw - 1) / cw;
  // Per column, the sums of the rows a cell row averages.
  std::vector<I64> columnSums(static_cast<std::size_t>(W) * 3);
  std::vector<std::array<std::uint8_t, 3>> colours(static_cast<std::size_t>(cellCols));
  TColor last = 0;
  for (I64 r = 0; r < cellRows; ++r) {
    const I64 top = r * ch;
    const bool lastRow = top + ch >= H;
    const I64 bottom = lastRow ? H - 1 : top + ch;
    std::fill(columnSums.begin(), columnSums.end(), 0);
    for (I64 y = top; y <= bottom; ++y) {
      const std::uint8_t* p = bmp.ScanLine(static_cast<int>(y));
      for (std::size_t i = 0; i < columnSums.size(); ++i) columnSums[i] += p[i];
    }
    for (I64 c = 0; c < cellCols; ++c) {
      const I64 left = c * cw;
      const I64 right = left + cw >= W ? W - 1 : left + cw;
      I64 sb = 0, sg = 0, sr = 0;
      for (I64 x = left; x <= right; ++x) {
        sb += columnSums[static_cast<std::size_t>(x * 3)];
        sg += columnSums[static_cast<std::size_t>(x * 3 + 1)];
        sr += columnSums[static_cast<std::size_t>(x * 3 + 2)];
      }
      const I64 count = (right - left + 1) * (bottom - top + 1);
      colours[static_cast<std::size_t>(c)] = {static_cast<std::uint8_t>(sb / count),
                                              static_cast<std::uint8_t>(sg / count),
                                              static_cast<std::uint8_t>(sr / count)};
    }
    const I64 fillBottom = lastRow ? H : bottom;
    for (I64 y = top; y < fillBottom; ++y) {
      std::uint8_t* p = bmp.ScanLine(static_cast<int>(y));
      for (I64 c = 0; c < cellCols; ++c) {
        const I64 left = c * cw;
        const I64 fillRight = left + cw >= W ? W : left + cw;
        const auto& colour = colours[static_cast<std::size_t>(c)];
        for (I64 x = left; x < fillRight; ++x) {
          p[x * 3] = colour[0];
          p[x * 3 + 1] = colour[1];
          p[x * 3 + 2] = colour[2];
        }
      }
    }
    const auto& end = colours[static_cast<std::size_t>(cellCols - 1)];
    last = RGB(end[2], end[1], end[0]);
  }
  // The brush is left with the last cell's colour, as filling it did.
  bmp.Canvas().Brush.Color = last;
  bmp.Canvas().Brush.Style = bsSolid;
}

TBitmap& RotateBitmapAngle(TBitmap& src, TColor backColor, double angle) {
  return RotateBitmapAngle(src, backColor, angle, ProgramInfo().ScratchBitmap);
}

TBitmap& RotateBitmapAngle(TBitmap& src, TColor backColor, double angle, TBitmap& scratch) {
  const long double radians = std::numbers::pi_v<long double> * static_cast<long double>(angle) / 180.0L;
  const long double s = std::sin(radians), c = std::cos(radians);
  src.SetPixelFormat(pf24bit);
  const I64 W = src.Width(), H = src.Height();
  const long double w = static_cast<long double>(W), h = static_cast<long double>(H);
  I64 newW, newH;
  if (s * c >= 0) {
    newW = Round(std::fabs(h * s + w * c));
    newH = Round(std::fabs(h * c + w * s));
  } else {
    newW = Round(std::fabs(w * c - h * s));
    newH = Round(std::fabs(w * s - h * c));
  }
  CheckResultSize(newW, newH, "A rotated picture");
  TBitmap snapshot;
  const TBitmap* source = &src;
  if (&src == &scratch) {
    snapshot = src;
    source = &snapshot;
  }
  scratch.SetPixelFormat(pf24bit);
  scratch.SetSize(static_cast<int>(newW), static_cast<int>(newH));
  scratch.Canvas().Brush.Color = backColor;
  scratch.Canvas().Brush.Style = bsSolid;
  scratch.Canvas().FillRect(TRect{0, 0, static_cast<int>(newW), static_cast<int>(newH)});

  const I64 dcx = newW / 2, dcy = newH / 2, scx = W / 2, scy = H / 2;
  // dx * c and dx * s per column, dy * s and dy * c per row: the same
  // products the per-pixel formula forms, computed once.
  std::vector<long double> colCos(static_cast<std::size_t>(newW)), colSin(static_cast<std::size_t>(newW));
  for (I64 x = 0; x < newW; ++x) {
    const long double dx = static_cast<long double>(x - dcx);
    colCos[static_cast<std::size_t>(x)] = dx * c;
    colSin[static_cast<std::size_t>(x)] = dx * s;
  }
  // Every term is finite and far inside the 64-bit range here, so the
  // processor's own rounding (to nearest, halves to even) gives Round's
  // results without its checks; should the rounding mode have been
  // changed, Round itself is used.
  const bool nearest = std::fegetround() == FE_TONEAREST;
  auto roundHalfEven = [nearest](long double v) -> I64 { return nearest ? std::llrint(v) : Round(v); };
  // Along a row each source coordinate is a rounded sum of a fixed term
  // and a product that grows (or shrinks) with x, so it moves one way
  // only, and the columns whose source lies inside form one run. The run
  // is found by bisection; the corners outside it keep BackColor.
  auto firstWhere = [newW](const auto& pred) {
    I64 a = 0, b = newW;
    while (a < b) {
      const I64 m = a + (b - a) / 2;
      if (pred(m)) b = m; else a = m + 1;
    }
    return a;
  };
  auto insideRun = [&](const auto& coord, I64 limit, bool increasing, I64& lo, I64& hi) {
    if (increasing) {
      lo = firstWhere([&](I64 x) { return coord(x) >= 0; });
      hi = firstWhere([&](I64 x) { return coord(x) >= limit; });
    } else {
      lo = firstWhere([&](I64 x) { return coord(x) < limit; });
      hi = firstWhere([&](I64 x) { return coord(x) < 0; });
    }
  };
  for (I64 y = newH - 1; y >= 0; --y) {
    const long double dy = static_cast<long double>(y - dcy);
    const long double rowSin = dy * s, rowCos = dy * c;
    auto sourceRow = [&](I64 x) { return scy + roundHalfEven(colSin[static_cast<std::size_t>(x)] + rowCos); };
    auto sourceColumn = [&](I64 x) { return scx + roundHalfEven(colCos[static_cast<std::size_t>(x)] - rowSin); };
    I64 rowLo, rowHi, colLo, colHi;
    insideRun(sourceRow, H, s >= 0, rowLo, rowHi);
    insideRun(sourceColumn, W, c >= 0, colLo, colHi);
    const I64 from = std::max(rowLo, colLo), to = std::min(rowHi, colHi);
    std::uint8_t* d = scratch.ScanLine(static_cast<int>(y));
    for (I64 x = to - 1; x >= from; --x) {
      const I64 sy = scy + roundHalfEven(colSin[static_cast<std::size_t>(x)] + rowCos);
      if (sy < 0 || sy >= H) continue;
      const I64 sx = scx + roundHalfEven(colCos[static_cast<std::size_t>(x)] - rowSin);
      if (sx < 0 || sx >= W) continue;
      const std::uint8_t* p = source->ScanLine(static_cast<int>(sy)) + sx * 3;
      d[x * 3] = p[0];
      d[x * 3 + 1] = p[1];
      d[x * 3 + 2] = p[2];
    }
  }
  return scratch;
}
