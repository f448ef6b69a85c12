#include "formats/gif/gif_reduce.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <set>
#include <utility>

#include "core/exceptions.h"
#include "support/pictures.h"

namespace {

using testsupport::NoisePicture;
using testsupport::SolidPicture;

std::uint8_t Index(const TBitmap& bmp, int x, int y) { return bmp.ScanLine(y)[x]; }

}  // namespace

TEST(GifLookup, WebLookupLevels) {
  TNetscapeColorLookup web;
  int r, g, b;
  EXPECT_EQ(web.Lookup(0, 0, 0, r, g, b), 0);
  EXPECT_EQ(web.Lookup(255, 255, 255, r, g, b), 215);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(web.Lookup(26, 26, 26, r, g, b), 0);
  EXPECT_EQ(web.Lookup(48, 0, 0, r, g, b), 36);  // (48 + 3) div 51 = 1
  EXPECT_EQ(web.Lookup(0, 0, 47, r, g, b), 0);
  const auto palette = WebPalette();
  ASSERT_EQ(palette.size(), 216u);
  EXPECT_EQ(palette[1 * 36 + 2 * 6 + 3], (TPaletteEntry{51, 102, 153, 0}));
}

TEST(GifLookup, MonochromeThresholdAndGreyScale) {
  TMonochromeLookup mono;
  int r, g, b;
  EXPECT_EQ(mono.Lookup(127, 127, 127, r, g, b), 0);  // 77*127 + 150*127 + 29*127 = 32512
  // Find a colour exactly one step brighter.
  bool found = false;
  for (int red = 0; red < 256 && !found; ++red)
    for (int green = 0; green < 256 && !found; ++green) {
      const int rest = 32513 - 77 * red - 150 * green;
      if (rest >= 0 && rest % 29 == 0 && rest / 29 < 256) {
        EXPECT_EQ(mono.Lookup(red, green, rest / 29, r, g, b), 1);
        EXPECT_EQ(r, 255);
        found = true;
      }
    }
  EXPECT_TRUE(found);
  TGrayScaleLookup grey;
  EXPECT_EQ(grey.Lookup(255, 255, 255, r, g, b), 255);
  EXPECT_EQ(grey.Lookup(100, 0, 0, r, g, b), 30);
}

TEST(GifLookup, FastLookupPicksTheNearestAndTheFirstOnTies) {
  TGIFPalette palette{{0, 0, 0, 0}, {200, 0, 0, 0}, {0, 0, 200, 0}, {200, 0, 0, 0}};
  TFastColorLookup lookup(palette);
  int r, g, b;
  EXPECT_EQ(lookup.Lookup(190, 10, 0, r, g, b), 1);
  EXPECT_EQ(r, 200);
  EXPECT_EQ(lookup.Lookup(100, 0, 100, r, g, b), 0);  // 200 from all three: index 0 wins
  EXPECT_EQ(lookup.Lookup(0, 0, 180, r, g, b), 2);
}

TEST(GifDither, EnginesRunSerpentine) {
  TGrayScaleLookup grey;
  for (int mode = 0; mode <= 6; ++mode) {
    auto engine = CreateDitherEngine(mode, 4, grey);
    ASSERT_TRUE(engine);
    int r, g, b;
    EXPECT_EQ(engine->Column(), 0);
    for (int i = 0; i < 4; ++i) engine->Dither(10, 10, 10, r, g, b);
    EXPECT_EQ(engine->Column(), 4);
    engine->NextLine();
    EXPECT_EQ(engine->Column(), 3);
    EXPECT_EQ(engine->Direction(), -1);
    for (int i = 0; i < 4; ++i) engine->Dither(10, 10, 10, r, g, b);
    EXPECT_EQ(engine->Column(), -1);
    engine->NextLine();
    EXPECT_EQ(engine->Column(), 0);
  }
  EXPECT_EQ(CreateDitherEngine(7, 4, grey), nullptr);
}

TEST(GifDither, FloydSteinbergSpreadsTheErrorInRoundedSixteenths) {
  // Monochrome, one row of three mid greys, then a second row.
  TMonochromeLookup mono;
  TFloydSteinbergDitherer fs(3, mono);
  int r, g, b;
  // 100 -> black, error 100: the next pixel gets 7*100/16 = 43.75 -> 144.
  EXPECT_EQ(fs.Dither(100, 100, 100, r, g, b), 0);
  // 100 + (700 + 8) div 16 = 144 -> white, error 144 - 255 = -111.
  EXPECT_EQ(fs.Dither(100, 100, 100, r, g, b), 1);
  // 100 + (-777 + 8) div 16 = 100 - 48 = 52 -> black.
  EXPECT_EQ(fs.Dither(100, 100, 100, r, g, b), 0);
  fs.NextLine();
  // Row below, right to left: column 2 gets 5*52 + 1*(-111) = 149 from
  // above: 100 + (149 + 8) div 16 = 109 -> black.
  EXPECT_EQ(fs.Column(), 2);
  EXPECT_EQ(fs.Dither(100, 100, 100, r, g, b), 0);
}

// One pixel's error, and only that one, is spread: the lookup hands back
// black for the pixel at (3, 0) and every other colour unchanged, so each
// later pixel shows in what it is asked for exactly its share. With an
// error equal to the divisor that share is the kernel weight itself.
class TOneErrorLookup : public TColorLookup {
 public:
  TOneErrorLookup() : TColorLookup(256) {}
  int Row = 0, Column = 0;
  std::map<std::pair<int, int>, std::array<int, 3>> Asked;  // (row, column) -> (r, g, b)
  int Lookup(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue) override {
    Asked[{Row, Column}] = {red, green, blue};
    const bool source = Row == 0 && Column == 3;
    outRed = source ? 0 : red;
    outGreen = source ? 0 : green;
    outBlue = source ? 0 : blue;
    return 0;
  }
};

TEST(GifDither, EveryEngineSpreadsTheErrorWithItsKernelWeights) {
  struct Weight {
    int Row, Dx, W;
  };
  struct Kernel {
    int Mode, Divisor;
    std::vector<Weight> Weights;  // row 0 is the pixel's own row; dx in its direction of travel
  };
  const Kernel kernels[] = {
      {dmNearest, 16, {}},
      {dmFloydSteinberg, 16, {{0, 1, 7}, {1, -1, 3}, {1, 0, 5}, {1, 1, 1}}},
      {dmStucki, 42, {{0, 1, 8}, {0, 2, 4},
                      {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},
                      {2, -2, 1}, {2, -1, 2}, {2, 0, 4}, {2, 1, 2}, {2, 2, 1}}},
      {dmSierra, 32, {{0, 1, 5}, {0, 2, 3},
                      {1, -2, 2}, {1, -1, 4}, {1, 0, 5}, {1, 1, 4}, {1, 2, 2},
                      {2, -1, 2}, {2, 0, 3}, {2, 1, 2}}},
      {dmJaJuNI, 48, {{0, 1, 7}, {0, 2, 5},
                      {1, -2, 3}, {1, -1, 5}, {1, 0, 7}, {1, 1, 5}, {1, 2, 3},
                      {2, -2, 1}, {2, -1, 3}, {2, 0, 5}, {2, 1, 3}, {2, 2, 1}}},
      {dmSteveArche, 200, {{0, 2, 32},
                           {1, -3, 12}, {1, -1, 26}, {1, 1, 30}, {1, 3, 16},
                           {2, -2, 12}, {2, 0, 26}, {2, 2, 12},
                           {3, -3, 5}, {3, -1, 12}, {3, 1, 12}, {3, 3, 5}}},
      {dmBurkes, 32, {{0, 1, 8}, {0, 2, 4},
                      {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2}}},
  };
  constexpr int kWidth = 7, kRows = 5;
  for (const Kernel& k : kernels) {
    SCOPED_TRACE(k.Mode);
    TOneErrorLookup lookup;
    auto engine = CreateDitherEngine(k.Mode, kWidth, lookup);
    ASSERT_TRUE(engine);
    int r, g, b;
    for (int row = 0; row < kRows; ++row) {
      for (int i = 0; i < kWidth; ++i) {
        lookup.Row = row;
        lookup.Column = engine->Column();
        const bool source = row == 0 && lookup.Column == 3;
        // Red and blue carry an error of the divisor, green none.
        engine->Dither(source ? k.Divisor : 0, 0, source ? k.Divisor : 0, r, g, b);
      }
      engine->NextLine();
    }
    ASSERT_EQ(lookup.Asked.size(), static_cast<std::size_t>(kWidth * kRows));
    for (const auto& [place, asked] : lookup.Asked) {
      const auto [row, column] = place;
      if (row == 0 && column == 3) continue;  // the source pixel itself
      int expected = 0;
      for (const Weight& w : k.Weights)
        if (w.Row == row && 3 + w.Dx == column) expected = w.W;
      EXPECT_EQ(asked, (std::array<int, 3>{expected, 0, expected})) << "row " << row << " column " << column;
    }
  }
}

TEST(GifReduce, CodesAndModesOutsideTheTablesGiveEmptyBitmaps) {
  const TBitmap src = NoisePicture(8, 8, 1);
  EXPECT_TRUE(ReduceColors(src, 10, 0, nullptr, 8)->Empty());
  EXPECT_TRUE(ReduceColors(src, 6, 7, nullptr, 8)->Empty());
  EXPECT_TRUE(ReduceColors(src, rmPalette, 0, nullptr, 8)->Empty());
  const TGIFPalette none;
  EXPECT_TRUE(ReduceColors(src, rmPalette, 0, &none, 8)->Empty());
  EXPECT_THROW(ReduceColors(TBitmap(), rmNetscape, 0, nullptr, 8), GIFException);
}

TEST(GifReduce, CodeZeroGivesA24BitCopy) {
  TBitmap src = NoisePicture(5, 3, 2);
  auto out = ReduceColors(src, rmNone, 0, nullptr, 8);
  EXPECT_EQ(out->PixelFormat(), pf24bit);
  EXPECT_EQ(out->GetPixelColor(4, 2), src.GetPixelColor(4, 2));
}

TEST(GifReduce, PalettesOfEveryCode) {
  const TBitmap src = NoisePicture(16, 16, 3);
  const std::size_t sizes[] = {0, 20, 256, 4, 2, 256, 216, 256, 256};
  for (int code = 1; code <= 8; ++code) {
    auto out = ReduceColors(src, code, 0, nullptr, 8);
    EXPECT_EQ(out->PixelFormat(), pf8bit) << code;
    EXPECT_EQ(out->Width(), 16);
    EXPECT_EQ(out->Palette().size(), sizes[code]) << code;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) EXPECT_LT(Index(*out, x, y), sizes[code]) << code;
  }
  TGIFPalette custom{{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}};
  auto out = ReduceColors(src, rmPalette, 0, &custom, 8);
  EXPECT_EQ(out->Palette().size(), 3u);
  EXPECT_EQ(ReduceColors(src, rmWindows20, 0, nullptr, 8)->Palette()[0].Flags, PaletteNoCollapse);
  EXPECT_EQ(ReduceColors(src, rmNetscape, 0, nullptr, 8)->Palette()[0].Flags, 0);
}

TEST(GifReduce, OctreeWithOneBitOnOneColour) {
  auto out = ReduceColors(SolidPicture(6, 4, RGB(10, 200, 30)), rmQuantize, 0, nullptr, 1);
  ASSERT_EQ(out->Palette().size(), 2u);
  EXPECT_EQ(out->Palette()[0], (TPaletteEntry{10, 200, 30, 0}));
  EXPECT_EQ(Index(*out, 5, 3), 0);
  // ReductionBits is clamped to 1..8.
  EXPECT_EQ(ReduceColors(NoisePicture(4, 4, 5), rmQuantize, 0, nullptr, 0)->Palette().size(), 2u);
  EXPECT_EQ(ReduceColors(NoisePicture(4, 4, 5), rmQuantize, 0, nullptr, 40)->Palette().size(), 256u);
}

TEST(GifReduce, OctreeKeepsAtMostTheRequestedColours) {
  TColorQuantizer q(16, 8);
  const TBitmap src = NoisePicture(64, 64, 9);
  q.ProcessBitmap(src);
  EXPECT_LE(q.LeafCount(), 16);
  EXPECT_EQ(static_cast<int>(q.Colors().size()), q.LeafCount());
  // Four distinct colours in a palette of eight: all four exact.
  TColorQuantizer few(8, 8);
  for (int i = 0; i < 100; ++i) few.AddColor((i % 4) * 60, 10, 20);
  const auto colors = few.Colors();
  ASSERT_EQ(colors.size(), 4u);
  std::set<int> reds;
  for (const auto& c : colors) reds.insert(c.Red);
  EXPECT_EQ(reds, (std::set<int>{0, 60, 120, 180}));
}

TEST(GifReduce, QuantizeInsideTheSystemPaletteKeepsTheStaticColours) {
  auto out = ReduceColors(NoisePicture(32, 32, 4), rmQuantizeWindows, 0, nullptr, 8);
  const auto& p = out->Palette();
  ASSERT_EQ(p.size(), 256u);
  const auto& system = SystemPalette20();
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(p[static_cast<std::size_t>(i)].Red, system[static_cast<std::size_t>(i)].Red);
    EXPECT_EQ(p[static_cast<std::size_t>(246 + i)].Blue, system[static_cast<std::size_t>(10 + i)].Blue);
    EXPECT_EQ(p[static_cast<std::size_t>(246 + i)].Green, system[static_cast<std::size_t>(10 + i)].Green);
  }
}

TEST(GifReduce, DitherOnUniformGreyMakesAPatternNearestMakesASolid) {
  const TBitmap grey = SolidPicture(16, 16, RGB(128, 128, 128));
  auto solid = ReduceColors(grey, rmMonochrome, dmNearest, nullptr, 8);
  auto pattern = ReduceColors(grey, rmMonochrome, dmFloydSteinberg, nullptr, 8);
  std::set<int> solidIdx, patternIdx;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      solidIdx.insert(Index(*solid, x, y));
      patternIdx.insert(Index(*pattern, x, y));
    }
  EXPECT_EQ(solidIdx.size(), 1u);
  EXPECT_EQ(patternIdx.size(), 2u);
}

TEST(GifReduce, EveryEngineKeepsTheMeanOfAGreyRamp) {
  TBitmap ramp(64, 48, pf24bit);
  double inputSum = 0;
  for (int y = 0; y < 48; ++y) {
    std::uint8_t* p = ramp.ScanLine(y);
    for (int x = 0; x < 64; ++x) {
      const int v = x * 4;
      p[x * 3] = p[x * 3 + 1] = p[x * 3 + 2] = static_cast<std::uint8_t>(v);
      inputSum += v;
    }
  }
  const double inputMean = inputSum / (64 * 48);
  for (int mode = dmFloydSteinberg; mode <= dmBurkes; ++mode) {
    auto out = ReduceColors(ramp, rmMonochrome, mode, nullptr, 8);
    double sum = 0;
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) sum += Index(*out, x, y) * 255.0;
    EXPECT_NEAR(sum / (64 * 48), inputMean, 4.0) << "dither mode " << mode;
  }
}

TEST(GifReduce, EveryEngineOnNarrowImages) {
  // Narrow rows put every kernel's outer taps into the guard entries.
  for (int w = 1; w <= 4; ++w)
    for (int mode = 0; mode <= 6; ++mode)
      for (int code : {rmWindows20, rmMonochrome, rmNetscape, rmQuantize}) {
        auto out = ReduceColors(NoisePicture(w, 5, static_cast<unsigned>(w * 10 + mode)), code, mode, nullptr, 3);
        EXPECT_EQ(out->Width(), w);
        EXPECT_EQ(out->Height(), 5);
      }
}

TEST(GifReduce, SecondRowRunsRightToLeft) {
  // A row whose left half is dark and right half light: the error carried
  // along the second row comes from its right end, so the first row and
  // the second differ where the direction matters.
  TBitmap src(7, 2, pf24bit);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 7; ++x) {
      std::uint8_t* p = src.ScanLine(y) + x * 3;
      p[0] = p[1] = p[2] = static_cast<std::uint8_t>(x < 3 ? 90 : 170);
    }
  auto out = ReduceColors(src, rmMonochrome, dmFloydSteinberg, nullptr, 8);
  // Replay both rows by hand: the first left to right, the second right to left.
  TMonochromeLookup mono;
  TFloydSteinbergDitherer fs(7, mono);
  int r, g, b;
  for (int x = 0; x < 7; ++x) EXPECT_EQ(Index(*out, x, 0), fs.Dither(x < 3 ? 90 : 170, x < 3 ? 90 : 170, x < 3 ? 90 : 170, r, g, b));
  fs.NextLine();
  for (int x = 6; x >= 0; --x) EXPECT_EQ(Index(*out, x, 1), fs.Dither(x < 3 ? 90 : 170, x < 3 ? 90 : 170, x < 3 ? 90 : 170, r, g, b));
}
