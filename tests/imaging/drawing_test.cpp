#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "app/settings.h"
#include "core/bitmap.h"
#include "core/exceptions.h"
#include "core/files.h"
#include "core/numbers.h"
#include "imaging/drawing.h"
#include "support/test_support.h"

namespace {

// Each test gets a program folder of its own and the settings object,
// which owns the scratch bitmap.
class DrawingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramDir(dir_.Path());
    CreateProgramInfo();
  }
  void TearDown() override {
    FreeProgramInfo();
    SetProgramDir("");
  }
  testsupport::TempDir dir_;
};

struct Bgr {
  int B, G, R;
  friend bool operator==(const Bgr&, const Bgr&) = default;
};
std::ostream& operator<<(std::ostream& os, const Bgr& c) { return os << "(" << c.R << "," << c.G << "," << c.B << ")"; }

Bgr At(const TBitmap& b, int x, int y) {
  const std::uint8_t* p = b.ScanLine(y) + 3 * x;
  return {p[0], p[1], p[2]};
}
void Put(TBitmap& b, int x, int y, Bgr c) {
  std::uint8_t* p = b.ScanLine(y) + 3 * x;
  p[0] = static_cast<std::uint8_t>(c.B);
  p[1] = static_cast<std::uint8_t>(c.G);
  p[2] = static_cast<std::uint8_t>(c.R);
}
Bgr Grey(int v) { return {v, v, v}; }

TBitmap Noise(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      Put(b, x, y, {static_cast<int>(rng() % 256), static_cast<int>(rng() % 256), static_cast<int>(rng() % 256)});
  return b;
}

TBitmap Solid(int w, int h, Bgr c) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) Put(b, x, y, c);
  return b;
}

// Pixel-for-pixel equality with the first difference in the message.
::testing::AssertionResult SamePicture(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height())
    return ::testing::AssertionFailure() << "sizes " << a.Width() << "x" << a.Height() << " and " << b.Width() << "x"
                                         << b.Height();
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (!(At(a, x, y) == At(b, x, y)))
        return ::testing::AssertionFailure() << "pixel (" << x << "," << y << "): " << At(a, x, y) << " vs "
                                             << At(b, x, y);
  return ::testing::AssertionSuccess();
}

// ---------------------------------------------------------------------------
// Plain reference versions, written from the pixel rules with the canvas'
// per-pixel access and nothing else.

void ReferenceShiftBevel(TCanvas& cv, TRect r, int light, int dark, int width) {
  if (width < 1) width = 1;
  TBitmap& b = cv.Bitmap();
  auto shift = [&](int x, int y, int s) {
    if (x < 0 || y < 0 || x >= b.Width() || y >= b.Height()) return;
    TColor c = cv.Pixel(x, y);
    cv.SetPixel(x, y, RGB(ClampByte(GetRValue(c) + s), ClampByte(GetGValue(c) + s), ClampByte(GetBValue(c) + s)));
  };
  for (int side = 0; side < 4; ++side)
    for (int i = 0; i < width; ++i) {
      int L = r.Left + i, T = r.Top + i, R = r.Right - i, B = r.Bottom - i;
      if (side == 0) for (int y = T; y <= B; ++y) shift(L, y, light);
      if (side == 1) for (int x = L + 1; x <= R; ++x) shift(x, T, light);
      if (side == 2) for (int y = T; y <= B; ++y) shift(R, y, dark);
      if (side == 3) for (int x = L; x <= R - 1; ++x) shift(x, B, dark);
    }
}

void ReferenceAverageBevel(TCanvas& cv, TRect r, int light, int dark, int width) {
  if (width < 1) width = 1;
  struct M { long long r = 0, g = 0, b = 0, n = 0; };
  M m[4];
  auto ends = [&](int side, int i, TPoint& s, TPoint& e) {
    int L = r.Left + i, T = r.Top + i, R = r.Right - i, B = r.Bottom - i;
    switch (side) {
      case 0: s = {L, T}; e = {L, B}; break;
      case 1: s = {L, T}; e = {R, T}; break;
      case 2: s = {R, T}; e = {R, B}; break;
      default: s = {L, B}; e = {R + 1, B}; break;
    }
  };
  for (int side = 0; side < 4; ++side)
    for (int i = 0; i < width; ++i) {
      TPoint s, e;
      ends(side, i, s, e);
      for (int y = s.Y; y <= e.Y; ++y)
        for (int x = s.X; x <= e.X; ++x) {
          TColor c = cv.Pixel(x, y);
          if (c == 0xFFFFFFFFu) continue;  // outside: no colour to give
          m[side].r += GetRValue(c);
          m[side].g += GetGValue(c);
          m[side].b += GetBValue(c);
          ++m[side].n;
        }
    }
  TColor lightC[4], darkC[4];
  M mean[4];
  for (int side = 0; side < 4; ++side)
    if (m[side].n) mean[side] = {m[side].r / m[side].n, m[side].g / m[side].n, m[side].b / m[side].n, m[side].n};
  for (int side = 0; side < 4; ++side)
    if (!mean[side].n && mean[side ^ 1].n) mean[side] = mean[side ^ 1];
  for (int side = 0; side < 4; ++side) {
    auto mk = [&](int s) {
      return RGB(ClampByte(static_cast<int>(mean[side].r) + s), ClampByte(static_cast<int>(mean[side].g) + s),
                 ClampByte(static_cast<int>(mean[side].b) + s));
    };
    lightC[side] = mk(light);
    darkC[side] = mk(dark);
  }
  auto half = [](TColor a, TColor b) {
    return RGB((GetRValue(a) + GetRValue(b)) >> 1, (GetGValue(a) + GetGValue(b)) >> 1,
               (GetBValue(a) + GetBValue(b)) >> 1);
  };
  TColor tl = half(lightC[0], lightC[1]), br = half(darkC[2], darkC[3]);
  for (int side = 0; side < 4; ++side) {
    cv.Pen.Color = side < 2 ? tl : br;
    for (int i = 0; i < width; ++i) {
      TPoint s, e;
      ends(side, i, s, e);
      cv.MoveTo(s.X, s.Y);
      cv.LineTo(e.X, e.Y);
    }
  }
}

// ---------------------------------------------------------------------------

TEST(MeshDraw, CopiesOnlyWhereTheDestinationColumnPlusRowIsOdd) {
  TBitmap src(2, 2);
  Put(src, 0, 0, Grey(10));
  Put(src, 1, 0, Grey(20));
  Put(src, 0, 1, Grey(30));
  Put(src, 1, 1, Grey(40));
  TBitmap dest = Solid(4, 3, Grey(0));
  MeshDraw(dest, src, Point(0, 0));
  EXPECT_EQ(At(dest, 0, 0), Grey(0));
  EXPECT_EQ(At(dest, 1, 0), Grey(20));
  EXPECT_EQ(At(dest, 0, 1), Grey(30));
  EXPECT_EQ(At(dest, 1, 1), Grey(0));

  dest = Solid(4, 3, Grey(0));
  MeshDraw(dest, src, Point(1, 0));  // the pattern belongs to dest, not to the mark
  EXPECT_EQ(At(dest, 1, 0), Grey(10));
  EXPECT_EQ(At(dest, 2, 0), Grey(0));
  EXPECT_EQ(At(dest, 1, 1), Grey(0));
  EXPECT_EQ(At(dest, 2, 1), Grey(40));
}

TEST(MeshDraw, ClipsAtEveryEdgeLikeAPlainLoop) {
  const TBitmap src = Noise(7, 5, 1);
  for (TPoint pos : {Point(-3, -2), Point(3, 2), Point(-6, 4), Point(6, -4), Point(-100, 0), Point(9, 9),
                     Point(std::numeric_limits<int>::min(), 0), Point(std::numeric_limits<int>::max(), 1)}) {
    TBitmap dest = Noise(9, 6, 2), expected = dest;
    for (int y = 0; y < src.Height(); ++y)
      for (int x = 0; x < src.Width(); ++x) {
        long long dx = static_cast<long long>(pos.X) + x, dy = static_cast<long long>(pos.Y) + y;
        if (dx < 0 || dy < 0 || dx >= 9 || dy >= 6 || (dx + dy) % 2 == 0) continue;
        Put(expected, static_cast<int>(dx), static_cast<int>(dy), At(src, x, y));
      }
    TBitmap s = src;
    MeshDraw(dest, s, pos);
    EXPECT_TRUE(SamePicture(dest, expected)) << pos.X << "," << pos.Y;
  }
}

TEST(MeshDraw, SetsBothBitmapsTo24Bits) {
  TBitmap src = Solid(2, 2, Grey(255));
  src.SetPixelFormat(pf8bit);
  TBitmap dest = Solid(2, 2, Grey(0));
  dest.SetPixelFormat(pf4bit);
  MeshDraw(dest, src, Point(0, 0));
  EXPECT_EQ(dest.PixelFormat(), pf24bit);
  EXPECT_EQ(src.PixelFormat(), pf24bit);
  EXPECT_EQ(At(dest, 1, 0), Grey(255));
  EXPECT_EQ(At(dest, 0, 0), Grey(0));
}

// ---------------------------------------------------------------------------

TEST(GetAnchorOffset, CentresRoundTowardZeroAndLargerMarksGoNegative) {
  EXPECT_EQ(GetAnchorOffset(100, 80, 30, 20, 4), Point(35, 30));
  EXPECT_EQ(GetAnchorOffset(100, 80, 31, 20, 4), Point(34, 30));
  EXPECT_EQ(GetAnchorOffset(100, 80, 120, 80, 1), Point(-10, 0));
  EXPECT_EQ(GetAnchorOffset(100, 80, 121, 83, 4), Point(-10, -1));  // -21 div 2, -3 div 2
  const TPoint expected[9] = {{0, 0},  {35, 0},  {70, 0},  {0, 30}, {35, 30},
                              {70, 30}, {0, 60}, {35, 60}, {70, 60}};
  for (int a = 0; a < 9; ++a) EXPECT_EQ(GetAnchorOffset(100, 80, 30, 20, a), expected[a]) << a;
  EXPECT_EQ(GetAnchorOffset(100, 80, 30, 20, 9), Point(0, 0));
  EXPECT_EQ(GetAnchorOffset(100, 80, 30, 20, -1), Point(0, 0));
}

TEST(FitRect, ShrinksZoomsAndCentresAsAsked) {
  EXPECT_EQ(FitRect(Point(200, 200), Point(400, 300), false, true, 0, 0), Rect(0, 25, 200, 175));
  EXPECT_EQ(FitRect(Point(200, 200), Point(400, 300), false, false, 0, 0), Rect(-100, -50, 300, 250));
  EXPECT_EQ(FitRect(Point(200, 200), Point(50, 50), false, true, 0, 0), Rect(75, 75, 125, 125));
  EXPECT_EQ(FitRect(Point(200, 200), Point(50, 25), true, true, 0, 0), Rect(0, 50, 200, 150));
  // Margins shrink the usable area and shift the picture.
  EXPECT_EQ(FitRect(Point(220, 240), Point(400, 300), false, true, 10, 20), Rect(10, 45, 210, 195));
  // The fitted size is truncated: 3 x (100 / 7) = 42.86.
  EXPECT_EQ(FitRect(Point(100, 100), Point(7, 3), true, true, 0, 0), Rect(0, 29, 100, 71));
}

TEST(FitRect, NoImageOrNoRoomGivesAnEmptyRectangle) {
  EXPECT_EQ(FitRect(Point(200, 200), Point(0, 10), true, true, 0, 0), Rect(0, 0, 0, 0));
  EXPECT_EQ(FitRect(Point(200, 200), Point(10, -1), true, true, 0, 0), Rect(0, 0, 0, 0));
  EXPECT_EQ(FitRect(Point(20, 200), Point(10, 10), true, true, 10, 0), Rect(0, 0, 0, 0));
  EXPECT_EQ(FitRect(Point(200, 20), Point(10, 10), true, true, 0, 11), Rect(0, 0, 0, 0));
  EXPECT_EQ(FitRect(Point(-5, 200), Point(10, 10), false, false, 0, 0), Rect(0, 0, 0, 0));
}

// ---------------------------------------------------------------------------

TEST(DrawShiftBevel, CornersTakeBothShiftsLightFirst) {
  TBitmap b = Solid(5, 5, Grey(128));
  DrawShiftBevel(b.Canvas(), Rect(0, 0, 4, 4), 40, -40, 1);
  const char* expected[5] = {"LLLLc", "L...D", "L...D", "L...D", "cDDDD"};
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) {
      char e = expected[y][x];
      int v = e == 'L' ? 168 : e == 'D' ? 88 : 128;
      EXPECT_EQ(At(b, x, y), Grey(v)) << x << "," << y;
    }
  // Clamping happens after each shift: 250 + 40 -> 255 - 40 -> 215.
  TBitmap c = Solid(3, 3, Grey(250));
  DrawShiftBevel(c.Canvas(), Rect(0, 0, 2, 2), 40, -40, 1);
  EXPECT_EQ(At(c, 2, 0), Grey(215));
  EXPECT_EQ(At(c, 0, 2), Grey(215));
  EXPECT_EQ(At(c, 1, 1), Grey(250));
}

TEST(DrawShiftBevel, WideRingsAndRectanglesOutsideMatchAClippedPlainLoop) {
  const TRect rects[] = {Rect(0, 0, 9, 7),    Rect(-3, -2, 5, 4),   Rect(4, 3, 14, 12), Rect(-5, -5, 20, 20),
                         Rect(2, 1, 6, 5),    Rect(8, 6, 9, 7),     Rect(5, 5, 2, 2),   Rect(-20, 2, -1, 5),
                         Rect(3, -9, 7, -1)};
  for (const TRect& r : rects)
    for (int width : {0, 1, 2, 3, 6, 40}) {
      TBitmap got = Noise(10, 8, 3), want = got;
      DrawShiftBevel(got.Canvas(), r, 37, -61, width);
      ReferenceShiftBevel(want.Canvas(), r, 37, -61, width);
      EXPECT_TRUE(SamePicture(got, want)) << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom << " w"
                                          << width;
    }
}

TEST(DrawShiftBevel, HugeWidthsAndRectanglesStayQuickAndInside) {
  // Rings far outside the picture touch nothing.
  TBitmap b = Noise(6, 5, 4), want = b;
  DrawShiftBevel(b.Canvas(), Rect(-1000, -990, 1005, 1004), 10, -10, 1003);
  ReferenceShiftBevel(want.Canvas(), Rect(-1000, -990, 1005, 1004), 10, -10, 1003);
  EXPECT_TRUE(SamePicture(b, want));
  TBitmap a = Noise(6, 5, 4), awant = a;
  DrawAverageBevel(a.Canvas(), Rect(-1000, -990, 1005, 1004), 10, -10, 1003);
  ReferenceAverageBevel(awant.Canvas(), Rect(-1000, -990, 1005, 1004), 10, -10, 1003);
  EXPECT_TRUE(SamePicture(a, awant));
  // The whole int range and the widest bevel finish at once.
  const int big = std::numeric_limits<int>::max();
  DrawShiftBevel(b.Canvas(), Rect(-big - 1, -big - 1, big, big), 10, -10, big);
  DrawAverageBevel(b.Canvas(), Rect(-big - 1, -big - 1, big, big), 10, -10, big);
  DrawAverageBevel(b.Canvas(), Rect(big, big, -big - 1, -big - 1), 10, -10, big);
  TBitmap empty;
  DrawShiftBevel(empty.Canvas(), Rect(0, 0, 5, 5), 10, -10, 3);
  EXPECT_EQ(empty.Width(), 0);
}

TEST(DrawShiftBevel, WorksOnPalettedCanvasesThroughTheirColours) {
  TBitmap b = Solid(4, 4, Grey(128));
  b.SetPixelFormat(pf8bit);
  TBitmap want = b;
  DrawShiftBevel(b.Canvas(), Rect(0, 0, 3, 3), 60, -60, 1);
  ReferenceShiftBevel(want.Canvas(), Rect(0, 0, 3, 3), 60, -60, 1);
  EXPECT_EQ(b.PixelFormat(), pf8bit);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(b.GetPixelColor(x, y), want.GetPixelColor(x, y));
}

// ---------------------------------------------------------------------------

TEST(DrawAverageBevel, ColoursComeFromTheMeansUnderEachSide) {
  // 4 x 4, the ring (0,0)-(3,3). Left column 100, top row 40 (its left
  // end is the left column's), right column 200, bottom row 20.
  TBitmap b = Solid(5, 5, Grey(0));
  for (int y = 0; y < 4; ++y) Put(b, 0, y, Grey(100));
  for (int x = 1; x < 4; ++x) Put(b, x, 0, Grey(40));
  for (int y = 1; y < 4; ++y) Put(b, 3, y, Grey(200));
  for (int x = 0; x < 5; ++x) Put(b, x, 3, Grey(20));
  Put(b, 4, 3, Grey(60));  // (R + 1, B): part of the bottom average
  DrawAverageBevel(b.Canvas(), Rect(0, 0, 3, 3), 10, -10, 1);
  // Means: left (100+100+100+20)/4 = 80; top (100+40+40+40)/4 = 55;
  // right (40+200+200+20)/4 = 115; bottom (20*4+60)/5 = 28.
  // Top-left ((80+10)+(55+10))>>1 = 77; bottom-right ((115-10)+(28-10))>>1 = 61.
  // Each line leaves its end point out: the top side stops before (3, 0),
  // where the right side starts; the bottom side runs to (R + 1, B) and
  // so paints (3, 3).
  const char* expected[5] = {"TTTB.", "T..B.", "T..B.", "BBBB.", "....."};
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) {
      char e = expected[y][x];
      if (e == 'T') {
        EXPECT_EQ(At(b, x, y), Grey(77)) << x << "," << y;
      } else if (e == 'B') {
        EXPECT_EQ(At(b, x, y), Grey(61)) << x << "," << y;
      }
    }
  EXPECT_EQ(At(b, 1, 1), Grey(0));
  EXPECT_EQ(At(b, 4, 3), Grey(60));
  EXPECT_EQ(At(b, 4, 0), Grey(0));
}

TEST(DrawAverageBevel, TheOuterBevelDoesNotAverageThePixelBesideThePicture) {
  // The bottom side runs to (Right + 1, Bottom), one column past the
  // picture for an outer bevel; that place has no colour and is left out,
  // so a black bottom row stays black in the mean.
  TBitmap b = Solid(4, 4, Grey(0));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) Put(b, x, y, Grey(120));
  DrawAverageBevel(b.Canvas(), Rect(0, 0, 3, 3), 0, 0, 1);
  // Right mean: (120*3 + 0)/4 = 90; bottom mean 0. (90 + 0) >> 1 = 45.
  EXPECT_EQ(At(b, 1, 3), Grey(45));
  EXPECT_EQ(At(b, 3, 1), Grey(45));
}

TEST(DrawAverageBevel, RectanglesPartlyOutsideMatchAClippedPlainLoop) {
  const TRect rects[] = {Rect(0, 0, 9, 7),  Rect(0, 0, 10, 8),  Rect(-3, -2, 5, 4), Rect(4, 3, 14, 12),
                         Rect(-5, -5, 20, 20), Rect(2, 1, 6, 5), Rect(6, 5, 2, 2),  Rect(-20, 2, -1, 5),
                         Rect(3, -9, 7, -1), Rect(9, 0, 9, 7),  Rect(1, 2, 7, 2)};
  for (const TRect& r : rects)
    for (int width : {0, 1, 2, 4, 7, 30}) {
      TBitmap got = Noise(10, 8, 5), want = got;
      DrawAverageBevel(got.Canvas(), r, 45, -70, width);
      ReferenceAverageBevel(want.Canvas(), r, 45, -70, width);
      EXPECT_TRUE(SamePicture(got, want)) << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom << " w"
                                          << width;
    }
}

TEST(DrawAverageBevel, ASideWithoutPixelsBorrowsItsPartner) {
  // The left side lies in column -2, outside: it has no colour of its
  // own and takes the top side's, so the top-left colour is the light
  // colour of a uniform picture (not a blend with black, nor with the
  // white the canvas reports outside).
  TBitmap b = Solid(6, 6, Grey(100));
  DrawAverageBevel(b.Canvas(), Rect(-2, 1, 4, 4), 20, -20, 1);
  EXPECT_EQ(At(b, 0, 1), Grey(120));
  EXPECT_EQ(At(b, 3, 1), Grey(120));
  EXPECT_EQ(At(b, 4, 1), Grey(80));
  EXPECT_EQ(At(b, 4, 3), Grey(80));
  EXPECT_EQ(At(b, 0, 4), Grey(80));
  EXPECT_EQ(At(b, 5, 4), Grey(100));
  EXPECT_EQ(At(b, 2, 2), Grey(100));
}

TEST(FrameWrappers, ShrinkInsetsOnePixelLessOnTheRightAndBottom) {
  TBitmap b = Solid(10, 10, Grey(0));
  const TRect r = Rect(0, 0, 10, 10);
  DrawFrame3D(b.Canvas(), r, RGB(255, 0, 0), RGB(0, 0, 255), 2, true);
  // Inset to (2, 2, 9, 9); Frame3D's right and bottom edges at 8.
  EXPECT_EQ(At(b, 2, 2), (Bgr{0, 0, 255}));
  EXPECT_EQ(At(b, 2, 7), (Bgr{0, 0, 255}));
  EXPECT_EQ(At(b, 7, 2), (Bgr{0, 0, 255}));
  EXPECT_EQ(At(b, 8, 2), (Bgr{255, 0, 0}));
  EXPECT_EQ(At(b, 2, 8), (Bgr{255, 0, 0}));
  EXPECT_EQ(At(b, 8, 8), (Bgr{255, 0, 0}));
  EXPECT_EQ(At(b, 1, 1), Grey(0));
  EXPECT_EQ(At(b, 9, 9), Grey(0));
  EXPECT_EQ(At(b, 3, 3), Grey(0));

  TBitmap n = Solid(10, 10, Grey(0));
  DrawFrame3D(n.Canvas(), r, RGB(255, 0, 0), RGB(0, 0, 255), 2, false);
  EXPECT_EQ(At(n, 0, 0), (Bgr{0, 0, 255}));
  EXPECT_EQ(At(n, 9, 0), (Bgr{255, 0, 0}));
  EXPECT_EQ(At(n, 1, 1), Grey(0));

  // The styles are one-pixel bevels on the same rectangle.
  for (bool shrink : {false, true}) {
    TBitmap a = Noise(12, 11, 6), a2 = a, s = a, s2 = a;
    DrawFrameStyle2(a.Canvas(), Rect(1, 1, 10, 9), 30, -30, 3, shrink);
    DrawAverageBevel(a2.Canvas(), shrink ? Rect(4, 4, 8, 7) : Rect(1, 1, 10, 9), 30, -30, 1);
    EXPECT_TRUE(SamePicture(a, a2));
    DrawFrameStyle3(s.Canvas(), Rect(1, 1, 10, 9), 30, -30, 3, shrink);
    DrawShiftBevel(s2.Canvas(), shrink ? Rect(4, 4, 8, 7) : Rect(1, 1, 10, 9), 30, -30, 1);
    EXPECT_TRUE(SamePicture(s, s2));
  }
}

// ---------------------------------------------------------------------------

TEST(DrawMaskedImage, BlendsByTheMasksRedByte) {
  TBitmap fore = Solid(3, 1, {10, 200, 250});
  TBitmap back = Solid(3, 1, {90, 0, 50});
  TBitmap mask(3, 1);
  Put(mask, 0, 0, {0, 0, 255});
  Put(mask, 1, 0, {255, 255, 0});  // only red counts
  Put(mask, 2, 0, {0, 0, 100});
  TBitmap dest;
  DrawMaskedImage(fore, back, mask, dest, Rect(0, 0, 3, 1), true);
  ASSERT_EQ(dest.Width(), 3);
  EXPECT_EQ(At(dest, 0, 0), (Bgr{10, 200, 250}));
  EXPECT_EQ(At(dest, 1, 0), (Bgr{90, 0, 50}));
  // (10*100 + 90*155) div 255 = 58; (200*100) div 255 = 78; (250*100 + 50*155) div 255 = 128.
  EXPECT_EQ(At(dest, 2, 0), (Bgr{58, 78, 128}));
  DrawMaskedImage(fore, back, mask, dest, Rect(0, 0, 3, 1), false);
  EXPECT_EQ(At(dest, 0, 0), (Bgr{90, 0, 50}));
  EXPECT_EQ(At(dest, 1, 0), (Bgr{10, 200, 250}));
}

TEST(DrawMaskedImage, StretchesTheMaskAndClipsToBackAndFore) {
  TBitmap mask(2, 2);
  Put(mask, 0, 0, Grey(255));
  Put(mask, 1, 0, Grey(0));
  Put(mask, 0, 1, Grey(0));
  Put(mask, 1, 1, Grey(255));
  const TBitmap foreImage = Solid(6, 5, Grey(200)), backImage = Solid(6, 6, Grey(50));
  for (TRect r : {Rect(1, 1, 5, 5), Rect(-2, -1, 2, 3), Rect(3, 4, 9, 8), Rect(-10, -10, -2, -2), Rect(2, 2, 2, 6)}) {
    TBitmap fore = foreImage, back = backImage;
    TBitmap dest = Solid(2, 2, Grey(7));
    DrawMaskedImage(fore, back, mask, dest, r, true);
    ASSERT_EQ(dest.Width(), 6);
    ASSERT_EQ(dest.Height(), 6);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 6; ++x) {
        Bgr want = At(dest, x, y);
        long long w = static_cast<long long>(r.Right) - r.Left, h = static_cast<long long>(r.Bottom) - r.Top;
        bool inside = x >= r.Left && y >= r.Top && x < r.Right && y < r.Bottom && y < 5;  // fore has 5 rows
        if (inside) {
          long long mx = (2 * (x - r.Left) + 1) * 2 / (2 * w), my = (2 * (y - r.Top) + 1) * 2 / (2 * h);
          want = (mx == my) ? Grey(200) : Grey(50);
        } else {
          // Outside the mask rectangle dest keeps what it had: white where
          // it grew, 7 in its old corner.
          want = (x < 2 && y < 2) ? Grey(7) : Grey(255);
        }
        EXPECT_EQ(At(dest, x, y), want) << r.Left << "," << r.Top << " at " << x << "," << y;
      }
  }
}

TEST(DrawMaskedImage, ForeMayBeDestAndAnEmptyMaskKeepsTheFore) {
  TBitmap comp = Solid(4, 4, Grey(100));
  TBitmap back = Solid(4, 4, Grey(0));
  TBitmap mask(1, 1);
  Put(mask, 0, 0, Grey(51));
  DrawMaskedImage(comp, back, mask, comp, Rect(0, 0, 4, 4), true);
  EXPECT_EQ(At(comp, 3, 3), Grey(20));  // 100 * 51 div 255
  TBitmap empty;
  TBitmap comp2 = Solid(4, 4, Grey(100));
  DrawMaskedImage(comp2, back, empty, comp2, Rect(0, 0, 4, 4), true);
  EXPECT_EQ(At(comp2, 1, 1), Grey(100));
  DrawMaskedImage(comp2, back, empty, comp2, Rect(0, 0, 4, 4), false);
  EXPECT_EQ(At(comp2, 1, 1), Grey(0));
}

// ---------------------------------------------------------------------------

TEST(TileBitmap, ModeZeroGrowsTheSourceWithCopiesOfItself) {
  TBitmap src = Noise(3, 2, 7);
  const TBitmap original = src;
  TBitmap dest = Solid(8, 5, Grey(9));
  TileBitmap(src, dest, 0);
  ASSERT_EQ(src.Width(), 8);
  ASSERT_EQ(src.Height(), 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(At(src, x, y), At(original, x % 3, y % 2)) << x << "," << y;
  EXPECT_EQ(At(dest, 0, 0), Grey(9));

  TBitmap shrinking = Noise(5, 4, 8);
  const TBitmap before = shrinking;
  TBitmap small = Solid(2, 6, Grey(0));
  TileBitmap(shrinking, small, 0);
  ASSERT_EQ(shrinking.Width(), 2);
  ASSERT_EQ(shrinking.Height(), 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(At(shrinking, x, y), At(before, x, y % 4));
}

TEST(TileBitmap, OtherModesTileOntoDest) {
  TBitmap src = Noise(3, 4, 9);
  TBitmap dest = Solid(10, 9, Grey(1));
  TileBitmap(src, dest, 1);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(At(dest, x, y), At(src, x % 3, y % 4));
  EXPECT_EQ(src.Width(), 3);
}

TEST(TileBitmap, ATransparentSourceLetsDestShowThrough) {
  TBitmap src = Solid(2, 2, Grey(255));
  Put(src, 0, 0, Grey(33));  // the bottom-left pixel (0, 1) is white: the transparent colour
  src.SetTransparent(true);
  TBitmap dest = Solid(5, 3, Grey(80));
  TileBitmap(src, dest, 2);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(At(dest, x, y), (x % 2 == 0 && y % 2 == 0) ? Grey(33) : Grey(80));
}

TEST(TileBitmap, ASourceWithoutWidthOrHeightDoesNothing) {
  TBitmap dest = Solid(4, 4, Grey(3));
  for (int mode : {0, 1}) {
    TBitmap noWidth(0, 5), noHeight(5, 0);
    TileBitmap(noWidth, dest, mode);
    TileBitmap(noHeight, dest, mode);
    EXPECT_EQ(noWidth.Width(), 0);
    EXPECT_EQ(noWidth.Height(), 5);
    EXPECT_EQ(noHeight.Height(), 0);
  }
  EXPECT_TRUE(SamePicture(dest, Solid(4, 4, Grey(3))));
}

TEST(TileIntoRect, LastRowAndColumnShowTheTopLeftOfTheTile) {
  TBitmap tile = Noise(30, 30, 10);
  TBitmap dest = Solid(80, 50, Grey(0));
  TileIntoRect(tile, dest, Rect(5, 5, 75, 45));  // 70 x 40: 3 x 2 tiles, the last 10 wide and 10 high
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 80; ++x) {
      bool inside = x >= 5 && x < 75 && y >= 5 && y < 45;
      EXPECT_EQ(At(dest, x, y), inside ? At(tile, (x - 5) % 30, (y - 5) % 30) : Grey(0)) << x << "," << y;
    }
}

TEST(TileIntoRect, ClipsToDestLikePerTileCopies) {
  const TBitmap tile = Noise(4, 3, 11);
  for (TRect r : {Rect(-5, -4, 9, 7), Rect(3, 2, 30, 30), Rect(-50, -50, -1, -1), Rect(2, 2, 2, 9), Rect(6, 6, 1, 1),
                  Rect(std::numeric_limits<int>::min(), 0, 3, 3)}) {
    for (TPixelFormat f : {pf24bit, pf32bit, pf8bit}) {
      TBitmap dest = Noise(11, 9, 12), want = dest;
      dest.SetPixelFormat(f);
      want.SetPixelFormat(f);
      TBitmap t = tile;
      TileIntoRect(t, dest, r);
      long long rw = static_cast<long long>(r.Right) - r.Left, rh = static_cast<long long>(r.Bottom) - r.Top;
      if (rw > 0 && rh > 0) {
        // Only the tiles that can reach the 11 x 9 picture.
        long long c0 = std::max(0LL, -static_cast<long long>(r.Left) / 4 - 1);
        long long r0 = std::max(0LL, -static_cast<long long>(r.Top) / 3 - 1);
        for (long long row = r0; row * 3 < rh && r.Top + row * 3 < 9; ++row)
          for (long long col = c0; col * 4 < rw && r.Left + col * 4 < 11; ++col) {
            int tw = (col + 1) * 4 > rw ? static_cast<int>(rw % 4) : 4;
            int th = (row + 1) * 3 > rh ? static_cast<int>(rh % 3) : 3;
            int x = static_cast<int>(r.Left + col * 4), y = static_cast<int>(r.Top + row * 3);
            want.Canvas().CopyRect(Rect(x, y, x + tw, y + th), tile.Canvas(), Rect(0, 0, tw, th));
          }
      }
      dest.SetPixelFormat(pf24bit);
      want.SetPixelFormat(pf24bit);
      EXPECT_TRUE(SamePicture(dest, want)) << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom << " f" << f;
    }
  }
  TBitmap dest = Solid(3, 3, Grey(5)), empty(0, 4);
  TileIntoRect(empty, dest, Rect(0, 0, 3, 3));
  EXPECT_TRUE(SamePicture(dest, Solid(3, 3, Grey(5))));
}

// ---------------------------------------------------------------------------

TEST_F(DrawingTest, ResizeByPercentRoundsHalvesToEven) {
  TBitmap a = Noise(101, 10, 13);
  ResizeByPercent(a, 50, 100);
  EXPECT_EQ(a.Width(), 50);
  EXPECT_EQ(a.Height(), 10);
  TBitmap b = Noise(103, 3, 14);
  ResizeByPercent(b, 50, 50);
  EXPECT_EQ(b.Width(), 52);
  EXPECT_EQ(b.Height(), 2);  // 1.5 -> 2
  TBitmap c = Noise(1, 5, 15);
  ResizeByPercent(c, 50, 150);  // 0.5 -> 0, 7.5 -> 8
  EXPECT_EQ(c.Width(), 0);
  EXPECT_EQ(c.Height(), 8);
}

TEST_F(DrawingTest, ResizeByPercentStretchesThroughTheScratchBitmap) {
  TBitmap src = Noise(7, 5, 16);
  src.SetPixelFormat(pf32bit);
  TBitmap bmp = src;
  ResizeByPercent(bmp, 300, 60);
  ASSERT_EQ(bmp.Width(), 21);
  ASSERT_EQ(bmp.Height(), 3);
  EXPECT_EQ(bmp.PixelFormat(), pf24bit);
  TBitmap want(21, 3, pf24bit);
  want.Canvas().StretchDraw(Rect(0, 0, 21, 3), src);
  EXPECT_TRUE(SamePicture(bmp, want));
  EXPECT_TRUE(SamePicture(ProgramInfo().ScratchBitmap, want));
  // The scratch bitmap itself may be resized.
  ResizeByPercent(ProgramInfo().ScratchBitmap, 200, 100);
  EXPECT_EQ(ProgramInfo().ScratchBitmap.Width(), 42);
}

TEST_F(DrawingTest, ResizeByPercentBeyondThePixelCapFailsCleanly) {
  TBitmap bmp = Solid(40000, 1, Grey(1));
  EXPECT_THROW(ResizeByPercent(bmp, 65535, 100), EOutOfResources);
  TBitmap square = Solid(2000, 2000, Grey(1));
  EXPECT_THROW(ResizeByPercent(square, 1000, 1000), EOutOfResources);
  EXPECT_EQ(square.Width(), 2000);
}

TEST(InvertBitmap, TurnsEveryChannelAround) {
  TBitmap b(3, 2);
  Put(b, 0, 0, {0, 100, 255});
  Put(b, 2, 1, {1, 128, 254});
  TBitmap before = b;
  InvertBitmap(b);
  EXPECT_EQ(At(b, 0, 0), (Bgr{255, 155, 0}));
  EXPECT_EQ(At(b, 2, 1), (Bgr{254, 127, 1}));
  InvertBitmap(b);
  EXPECT_TRUE(SamePicture(b, before));
  EXPECT_EQ(b.ScanLine(0)[9], 0);  // row padding untouched
}

// The mosaic as described, cell by cell on the canvas, with the cells on
// the right and bottom edge filled up to the edge.
void ReferenceMosaic(TBitmap& b, int cw, int ch) {
  int W = b.Width(), H = b.Height();
  for (int r = 0; r * ch < H; ++r)
    for (int c = 0; c * cw < W; ++c) {
      const bool lastRow = r * ch + ch >= H, lastCol = c * cw + cw >= W;
      int top = r * ch, bottom = lastRow ? H - 1 : top + ch;
      int left = c * cw, right = lastCol ? W - 1 : left + cw;
      long long s[3] = {0, 0, 0};
      for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) {
          TColor col = b.Canvas().Pixel(x, y);
          s[0] += GetRValue(col);
          s[1] += GetGValue(col);
          s[2] += GetBValue(col);
        }
      long long n = static_cast<long long>(right - left + 1) * (bottom - top + 1);
      b.Canvas().Brush.Color = RGB(static_cast<int>(s[0] / n), static_cast<int>(s[1] / n), static_cast<int>(s[2] / n));
      b.Canvas().FillRect(Rect(left, top, lastCol ? W : right, lastRow ? H : bottom));
    }
}

TEST(MosaicBitmap, AveragesEachCellWithItsNeighbouringColumnAndRow) {
  TBitmap b(4, 2);
  for (int x = 0; x < 4; ++x) {
    Put(b, x, 0, Grey(x * 10));
    Put(b, x, 1, Grey(x * 10 + 100));
  }
  MosaicBitmap(b, 2, 2);
  // Cell 0: columns 0..2, rows 0..1: (0+10+20+100+110+120)/6 = 60.
  // Cell 1: columns 2..3: (20+30+120+130)/4 = 75.
  EXPECT_EQ(At(b, 0, 0), Grey(60));
  EXPECT_EQ(At(b, 1, 1), Grey(60));
  EXPECT_EQ(At(b, 2, 0), Grey(75));
  EXPECT_EQ(At(b, 3, 1), Grey(75));
  EXPECT_EQ(b.Canvas().Brush.Color, RGB(75, 75, 75));

  for (auto [cw, ch] : {std::pair{3, 2}, {1, 4}, {5, 1}, {7, 7}, {20, 3}, {2, 100}}) {
    TBitmap got = Noise(13, 10, 17), want = got;
    MosaicBitmap(got, cw, ch);
    ReferenceMosaic(want, cw, ch);
    EXPECT_TRUE(SamePicture(got, want)) << cw << "x" << ch;
  }
}

TEST(MosaicBitmap, OneByOneAndNonPositiveCellsChangeNothing) {
  const TBitmap original = Noise(6, 5, 18);
  for (auto [cw, ch] : {std::pair{1, 1}, {0, 3}, {3, 0}, {-2, 4}}) {
    TBitmap b = original;
    MosaicBitmap(b, cw, ch);
    EXPECT_TRUE(SamePicture(b, original)) << cw << "x" << ch;
  }
  TBitmap empty;
  MosaicBitmap(empty, 3, 3);
  EXPECT_EQ(empty.Width(), 0);
}

// ---------------------------------------------------------------------------

// The turn pixel by pixel, straight from the formula.
TBitmap ReferenceRotate(const TBitmap& src, TColor back, double angle) {
  long double rad = std::numbers::pi_v<long double> * static_cast<long double>(angle) / 180.0L;
  long double s = std::sin(rad), c = std::cos(rad);
  long double W = src.Width(), H = src.Height();
  long long nw, nh;
  if (s * c >= 0) {
    nw = Round(std::fabs(H * s + W * c));
    nh = Round(std::fabs(H * c + W * s));
  } else {
    nw = Round(std::fabs(W * c - H * s));
    nh = Round(std::fabs(W * s - H * c));
  }
  TBitmap out(static_cast<int>(nw), static_cast<int>(nh), pf24bit);
  out.Canvas().Brush.Color = back;
  out.Canvas().FillRect(Rect(0, 0, out.Width(), out.Height()));
  for (long long y = 0; y < nh; ++y)
    for (long long x = 0; x < nw; ++x) {
      long double dx = static_cast<long double>(x - nw / 2), dy = static_cast<long double>(y - nh / 2);
      long long sx = src.Width() / 2 + Round(dx * c - dy * s);
      long long sy = src.Height() / 2 + Round(dx * s + dy * c);
      if (sx >= 0 && sy >= 0 && sx < src.Width() && sy < src.Height())
        Put(out, static_cast<int>(x), static_cast<int>(y), At(src, static_cast<int>(sx), static_cast<int>(sy)));
    }
  return out;
}

TEST_F(DrawingTest, RotateBitmapAngleSizesAndExactCopies) {
  TBitmap src = Noise(40, 20, 19);
  TBitmap& r90 = RotateBitmapAngle(src, clBlack, 90);
  EXPECT_EQ(&r90, &ProgramInfo().ScratchBitmap);
  EXPECT_EQ(r90.Width(), 20);
  EXPECT_EQ(r90.Height(), 40);
  TBitmap& r0 = RotateBitmapAngle(src, clBlack, 0);
  EXPECT_TRUE(SamePicture(r0, src));
  TBitmap square = Noise(21, 21, 20);
  TBitmap& r45 = RotateBitmapAngle(square, RGB(1, 2, 3), 45);
  EXPECT_EQ(r45.Width(), 30);  // 21 * sqrt 2 = 29.7
  EXPECT_EQ(At(r45, 0, 0), (Bgr{3, 2, 1}));
  EXPECT_EQ(At(r45, 29, 29), (Bgr{3, 2, 1}));
  EXPECT_EQ(At(r45, 15, 15), At(square, 10, 10));
}

TEST_F(DrawingTest, RotateBitmapAngleTurnsCounterClockwiseOnScreen) {
  // A marker below the centre ends up right of it at +90 degrees.
  TBitmap src = Solid(9, 9, Grey(0));
  Put(src, 4, 7, Grey(255));
  TBitmap& r = RotateBitmapAngle(src, clBlack, 90);
  EXPECT_EQ(At(r, 7, 4), Grey(255));
  EXPECT_EQ(At(r, 4, 7), Grey(0));
  // On an even size the half turn leaves a one-pixel BackColor edge.
  TBitmap even = Solid(4, 4, Grey(100));
  TBitmap& h = RotateBitmapAngle(even, RGB(200, 0, 0), 180);
  EXPECT_EQ(At(h, 0, 0), (Bgr{0, 0, 200}));
  EXPECT_EQ(At(h, 1, 1), Grey(100));
  EXPECT_EQ(At(h, 3, 3), Grey(100));
}

TEST_F(DrawingTest, RotateBitmapAngleMatchesThePixelFormula) {
  TBitmap src = Noise(17, 11, 21);
  for (double angle : {0.0, 12.5, 30.0, 45.0, 90.0, 135.0, 180.0, 200.0, 270.0, -33.3, 359.0, 720.0, 1e-9}) {
    TBitmap want = ReferenceRotate(src, RGB(9, 8, 7), angle);
    TBitmap& got = RotateBitmapAngle(src, RGB(9, 8, 7), angle);
    EXPECT_TRUE(SamePicture(got, want)) << angle;
  }
  for (auto [w, h] : {std::pair{16, 10}, {1, 7}, {7, 1}, {2, 2}, {40, 3}}) {
    TBitmap other = Noise(w, h, static_cast<unsigned>(w * 31 + h));
    for (double angle : {-90.0, 89.9, 90.0001, 179.99, 270.0, 333.0, 60.0}) {
      TBitmap want = ReferenceRotate(other, clWhite, angle);
      EXPECT_TRUE(SamePicture(RotateBitmapAngle(other, clWhite, angle), want)) << w << "x" << h << " " << angle;
    }
  }
  TBitmap empty;
  EXPECT_EQ(RotateBitmapAngle(empty, clBlack, 33).Width(), 0);
  EXPECT_THROW(RotateBitmapAngle(src, clBlack, std::numeric_limits<double>::infinity()), ERangeError);
  TBitmap tall(1, 1 << 20, pf24bit);
  EXPECT_THROW(RotateBitmapAngle(tall, clBlack, 45), EOutOfResources);
  EXPECT_EQ(RotateBitmapAngle(tall, clBlack, 90).Width(), 1 << 20);
}

}  // namespace
