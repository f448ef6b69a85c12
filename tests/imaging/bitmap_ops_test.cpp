#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "imaging/bitmap_ops.h"
#include "support/test_support.h"

namespace {

struct Px {
  int B, G, R;
  friend bool operator==(const Px&, const Px&) = default;
};
std::ostream& operator<<(std::ostream& os, const Px& c) { return os << "(" << c.R << "," << c.G << "," << c.B << ")"; }

Px Get(const TBitmap& b, int x, int y) {
  const std::uint8_t* p = b.ScanLine(y) + 3 * x;
  return {p[0], p[1], p[2]};
}
void Set(TBitmap& b, int x, int y, Px c) {
  std::uint8_t* p = b.ScanLine(y) + 3 * x;
  p[0] = static_cast<std::uint8_t>(c.B);
  p[1] = static_cast<std::uint8_t>(c.G);
  p[2] = static_cast<std::uint8_t>(c.R);
}

TBitmap Random(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      Set(b, x, y, {static_cast<int>(rng() % 256), static_cast<int>(rng() % 256), static_cast<int>(rng() % 256)});
  return b;
}

TBitmap Uniform(int w, int h, Px c) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) Set(b, x, y, c);
  return b;
}

::testing::AssertionResult Same(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height())
    return ::testing::AssertionFailure() << "sizes " << a.Width() << "x" << a.Height() << " and " << b.Width() << "x"
                                         << b.Height();
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (!(Get(a, x, y) == Get(b, x, y)))
        return ::testing::AssertionFailure() << "pixel (" << x << "," << y << "): " << Get(a, x, y) << " vs "
                                             << Get(b, x, y);
  return ::testing::AssertionSuccess();
}

std::string ToPpm(const TBitmap& b) { return testsupport::PpmOf(b); }

TBitmap FromRgb(const testsupport::RgbImage& img) {
  TBitmap b(img.Width, img.Height, pf24bit);
  for (int y = 0; y < img.Height; ++y)
    for (int x = 0; x < img.Width; ++x) {
      const std::uint8_t* p = img.Rgb.data() + (static_cast<std::size_t>(y) * img.Width + x) * 3;
      Set(b, x, y, {p[2], p[1], p[0]});
    }
  return b;
}

// ---------------------------------------------------------------------------

TEST(QuarterTurns, ThreeByTwoTurnsToTwoByThree) {
  TBitmap b = Random(3, 2, 1);
  const TBitmap src = b;
  RotateBitmap90(b);
  ASSERT_EQ(b.Width(), 2);
  ASSERT_EQ(b.Height(), 3);
  EXPECT_EQ(Get(b, 1, 0), Get(src, 0, 0));  // top-left to top-right
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Get(b, 2 - 1 - y, x), Get(src, x, y));

  TBitmap c = src;
  RotateBitmap270(c);
  ASSERT_EQ(c.Width(), 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Get(c, y, 3 - 1 - x), Get(src, x, y));
  // The top row becomes the left column, read from bottom to top.
  EXPECT_EQ(Get(c, 0, 2), Get(src, 0, 0));
}

TEST(QuarterTurns, EveryMappingOfTheTableOnALargerPicture) {
  // Sizes beyond one 64-pixel block on both sides, and odd ones.
  const TBitmap src = Random(131, 70, 2);
  const int W = 131, H = 70;
  struct Case {
    void (*op)(TBitmap&);
    int newW, newH;
    std::function<std::pair<int, int>(int, int)> target;
  } cases[] = {
      {RotateBitmap90, H, W, [&](int x, int y) { return std::pair{H - 1 - y, x}; }},
      {RotateBitmap180, W, H, [&](int x, int y) { return std::pair{W - 1 - x, H - 1 - y}; }},
      {RotateBitmap270, H, W, [&](int x, int y) { return std::pair{y, W - 1 - x}; }},
      {FlipBitmapHorz, W, H, [&](int x, int y) { return std::pair{W - 1 - x, y}; }},
      {FlipBitmapVert, W, H, [&](int x, int y) { return std::pair{x, H - 1 - y}; }},
  };
  for (const Case& c : cases) {
    TBitmap b = src;
    c.op(b);
    ASSERT_EQ(b.Width(), c.newW);
    ASSERT_EQ(b.Height(), c.newH);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        auto [tx, ty] = c.target(x, y);
        ASSERT_EQ(Get(b, tx, ty), Get(src, x, y)) << x << "," << y;
      }
  }
}

TEST(QuarterTurns, TurnsUndoEachOtherAndKeepTheDrawingState) {
  const TBitmap src = Random(9, 4, 3);
  TBitmap b = src;
  b.Canvas().Brush.Color = RGB(1, 2, 3);
  RotateBitmap90(b);
  RotateBitmap270(b);
  EXPECT_TRUE(Same(b, src));
  RotateBitmap180(b);
  RotateBitmap180(b);
  EXPECT_TRUE(Same(b, src));
  FlipBitmapHorz(b);
  FlipBitmapHorz(b);
  FlipBitmapVert(b);
  FlipBitmapVert(b);
  EXPECT_TRUE(Same(b, src));
  EXPECT_EQ(b.Canvas().Brush.Color, RGB(1, 2, 3));
  EXPECT_EQ(&b.Canvas().Bitmap(), &b);

  TBitmap empty;
  RotateBitmap90(empty);
  FlipBitmapHorz(empty);
  EXPECT_EQ(empty.Width(), 0);
  TBitmap line(5, 0);
  RotateBitmap90(line);
  EXPECT_EQ(line.Width(), 0);
  EXPECT_EQ(line.Height(), 5);
}

TEST(QuarterTurns, AgreeWithImageMagick) {
  const std::string convert = "/usr/bin/convert";
  if (!testsupport::HaveTool(convert)) GTEST_SKIP() << testsupport::SkipReason(convert);
  const TBitmap src = Random(37, 23, 4);
  const std::string ppm = ToPpm(src);
  struct {
    void (*op)(TBitmap&);
    std::vector<std::string> args;
  } cases[] = {{RotateBitmap90, {"-rotate", "90"}},
               {RotateBitmap180, {"-rotate", "180"}},
               {RotateBitmap270, {"-rotate", "270"}},
               {FlipBitmapHorz, {"-flop"}},
               {FlipBitmapVert, {"-flip"}}};
  for (const auto& c : cases) {
    std::vector<std::string> argv{convert, "ppm:-"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    argv.push_back("ppm:-");
    auto r = testsupport::Run(argv, ppm);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    TBitmap ours = src;
    c.op(ours);
    EXPECT_TRUE(Same(ours, FromRgb(testsupport::ParsePnm(r.Out)))) << c.args[0];
  }
}

TEST(QuarterTurns, OtherFormatsAreTurnedAs24Bits) {
  TBitmap b = Uniform(3, 2, {0, 0, 255});
  Set(b, 0, 0, {255, 0, 0});
  b.SetPixelFormat(pf4bit);
  RotateBitmap90(b);
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  EXPECT_EQ(Get(b, 1, 0), (Px{255, 0, 0}));
  EXPECT_EQ(Get(b, 0, 2), (Px{0, 0, 255}));
}

// ---------------------------------------------------------------------------

TEST(AdjustBrightness, AddsAndClamps) {
  TBitmap b(6, 1);
  const int values[6] = {0, 9, 10, 128, 245, 250};
  for (int x = 0; x < 6; ++x) Set(b, x, 0, {values[x], values[x], values[x]});
  TBitmap up = b, down = b;
  AdjustBrightness(up, up, 10);
  AdjustBrightness(down, down, -10);
  const int upWant[6] = {10, 19, 20, 138, 255, 255};
  const int downWant[6] = {0, 0, 0, 118, 235, 240};
  for (int x = 0; x < 6; ++x) {
    EXPECT_EQ(Get(up, x, 0).R, upWant[x]);
    EXPECT_EQ(Get(down, x, 0).G, downWant[x]);
  }
  TBitmap extreme = b;
  AdjustBrightness(extreme, extreme, std::numeric_limits<int>::max());
  EXPECT_EQ(Get(extreme, 0, 0).B, 255);
  AdjustBrightness(extreme, extreme, std::numeric_limits<int>::min());
  EXPECT_EQ(Get(extreme, 5, 0).B, 0);
}

TEST(AdjustBrightness, WritesIntoADestOfItsOwnAndGivesItTheSourceSize) {
  TBitmap src = Random(5, 4, 5);
  TBitmap dest(2, 7, pf8bit);
  AdjustBrightness(src, dest, 0);
  EXPECT_EQ(dest.PixelFormat(), pf24bit);
  EXPECT_TRUE(Same(dest, src));
  TBitmap same(5, 4, pf24bit);
  AdjustContrast(src, same, 0);
  EXPECT_TRUE(Same(same, src));
}

TEST(AdjustContrast, MovesAwayFromOrTowardMiddleGrey) {
  TBitmap b(6, 1);
  const int values[6] = {0, 100, 127, 128, 200, 255};
  for (int x = 0; x < 6; ++x) Set(b, x, 0, {values[x], values[x], values[x]});
  TBitmap more = b, less = b;
  AdjustContrast(more, more, 10);
  AdjustContrast(less, less, -10);
  // t = |128 - c| * 10 div 128: 10, 2, 0, 0, 5, 9.
  const int moreWant[6] = {0, 98, 127, 128, 205, 255};
  const int lessWant[6] = {10, 102, 127, 128, 195, 246};
  for (int x = 0; x < 6; ++x) {
    EXPECT_EQ(Get(more, x, 0), (Px{moreWant[x], moreWant[x], moreWant[x]})) << values[x];
    EXPECT_EQ(Get(less, x, 0), (Px{lessWant[x], lessWant[x], lessWant[x]})) << values[x];
  }
  // A large negative amount stops at 128 from either side, never across.
  TBitmap flat = b;
  AdjustContrast(flat, flat, -1000);
  for (int x = 0; x < 6; ++x) EXPECT_EQ(Get(flat, x, 0).R, 128);
  TBitmap hard = b;
  AdjustContrast(hard, hard, 1000);
  const int hardWant[6] = {0, 0, 120, 128, 255, 255};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(Get(hard, x, 0).G, hardWant[x]);
}

TEST(ToGrayscale, WeighsTheChannels) {
  TBitmap b(4, 1);
  Set(b, 0, 0, {0, 0, 255});
  Set(b, 1, 0, {255, 255, 255});
  Set(b, 2, 0, {0, 255, 0});
  Set(b, 3, 0, {255, 0, 0});
  ToGrayscale(b);
  EXPECT_EQ(Get(b, 0, 0), (Px{76, 76, 76}));    // 77 * 255 >> 8
  EXPECT_EQ(Get(b, 1, 0), (Px{255, 255, 255}));  // 256 * 255 >> 8
  EXPECT_EQ(Get(b, 2, 0), (Px{150, 150, 150}));  // 151 * 255 >> 8
  EXPECT_EQ(Get(b, 3, 0), (Px{27, 27, 27}));     // 28 * 255 >> 8
}

// ---------------------------------------------------------------------------

// The blur as described: in place, nine reads per channel with the edge
// rows and columns standing in for the missing ones.
void ReferenceFilter(TBitmap& b) {
  const int W = b.Width(), H = b.Height();
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      for (int ch : {2, 1, 0}) {
        int sum = 0;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            int yy = y + dy, xx = x + dx;
            if (yy < 0 || yy >= H) yy = y;
            if (xx < 0 || xx >= W) xx = x;
            sum += b.ScanLine(yy)[xx * 3 + ch];
          }
        b.ScanLine(y)[x * 3 + ch] = static_cast<std::uint8_t>(sum / 9);
      }
}

TEST(Filter3x3, ReadsTheNeighboursAlreadyFiltered) {
  // A non-uniform 3 x 3 worked through by hand (one channel shown, all
  // three equal). In place, row by row:
  //   10 20 30      (10*4 + 20*2 + 40*2 + 50) div 9 = 23
  //   40 50 60  ->  then (23*2 + 20 + 30 ... ) uses 23 already
  //   70 80 90
  TBitmap b(3, 3);
  const int v[3][3] = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) Set(b, x, y, {v[y][x], v[y][x], v[y][x]});
  TBitmap ref = b;
  Filter3x3(b);
  ReferenceFilter(ref);
  EXPECT_TRUE(Same(b, ref));
  // (0,0): rows {0,0,1}, columns {0,0,1}: 10+10+20 + 10+10+20 + 40+40+50 = 210 -> 23.
  EXPECT_EQ(Get(b, 0, 0).R, 23);
  // (1,0): rows {0,0,1}, columns {0,1,2}, (0,0) now 23 (twice, as its own upper row):
  // 23+20+30 + 23+20+30 + 40+50+60 = 296 -> 32.
  EXPECT_EQ(Get(b, 1, 0).R, 32);
  // A plain (out-of-place) blur would give (10+20+30)*2 + 40+50+60 = 270 -> 30 there.
}

TEST(Filter3x3, MatchesTheReferenceOnAnySize) {
  for (auto [w, h] : {std::pair{1, 1}, {1, 7}, {7, 1}, {2, 2}, {13, 9}, {64, 3}}) {
    TBitmap b = Random(w, h, static_cast<unsigned>(w * 100 + h)), ref = b;
    Filter3x3(b);
    ReferenceFilter(ref);
    EXPECT_TRUE(Same(b, ref)) << w << "x" << h;
  }
  TBitmap flat = Uniform(6, 5, {17, 99, 203});
  Filter3x3(flat);
  EXPECT_TRUE(Same(flat, Uniform(6, 5, {17, 99, 203})));
  // One pixel wide: each pixel counts three times in each of its rows.
  TBitmap column(1, 3);
  Set(column, 0, 0, {90, 90, 90});
  Set(column, 0, 1, {0, 0, 0});
  Set(column, 0, 2, {9, 9, 9});
  Filter3x3(column);
  EXPECT_EQ(Get(column, 0, 0).R, 60);  // (90*2 + 0) * 3 / 9
  EXPECT_EQ(Get(column, 0, 1).R, 23);  // (60 + 0 + 9) * 3 / 9
  EXPECT_EQ(Get(column, 0, 2).R, 13);  // (23 + 9 + 9) * 3 / 9
  TBitmap empty;
  Filter3x3(empty);
}

TEST(SharpenBitmap, PushesAwayFromTheUpperLeftNeighbour) {
  TBitmap b(2, 2);
  Set(b, 0, 0, {100, 100, 100});
  Set(b, 1, 0, {60, 200, 255});
  Set(b, 0, 1, {50, 50, 50});
  Set(b, 1, 1, {101, 10, 0});
  SharpenBitmap(b);
  EXPECT_EQ(Get(b, 0, 0), (Px{100, 100, 100}));  // its own reference
  // (1,0) against (0,0): 60 + (-40 div 2) = 40; 200 + 50 = 250; 255 + 77 -> 255.
  EXPECT_EQ(Get(b, 1, 0), (Px{40, 250, 255}));
  // (0,1) against the pixel above: 50 + (-50 div 2) = 25.
  EXPECT_EQ(Get(b, 0, 1), (Px{25, 25, 25}));
  // (1,1) against (0,0): 101 + (1 div 2) = 101; 10 - 45 -> 0; 0 - 50 -> 0.
  EXPECT_EQ(Get(b, 1, 1), (Px{101, 0, 0}));
  TBitmap flat = Uniform(5, 4, {3, 4, 5});
  SharpenBitmap(flat);
  EXPECT_TRUE(Same(flat, Uniform(5, 4, {3, 4, 5})));
}

TEST(SharpenBitmap, ReadsItsReferenceAfterItWasSharpened) {
  // Row 0 refers to the pixel on its left, which is already sharpened:
  // 10, 20, 20 -> 10, 25, then 20 + (20 - 25) div 2 = 18.
  TBitmap b(3, 1);
  Set(b, 0, 0, {10, 10, 10});
  Set(b, 1, 0, {20, 20, 20});
  Set(b, 2, 0, {20, 20, 20});
  SharpenBitmap(b);
  EXPECT_EQ(Get(b, 1, 0).R, 25);
  EXPECT_EQ(Get(b, 2, 0).R, 18);
}

}  // namespace
