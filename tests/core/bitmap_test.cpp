#include "core/bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <utility>
#include <vector>

#include "core/exceptions.h"

namespace {

const std::array<TPixelFormat, 8> kFormats = {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfDevice};

TBitmap Filled(int w, int h, TPixelFormat f, TColor c) {
  TBitmap b;
  b.SetPixelFormat(f);
  b.Canvas().Brush.Color = c;
  b.SetSize(w, h);
  return b;
}

}  // namespace

// Pixel memory keeps its bytes through a resize within or beyond its
// capacity, a copy owns its own bytes and a move leaves nothing behind.
TEST(PixelBuffer, ResizeCopyAndMoveKeepTheBytes) {
  TPixelBuffer a(6);
  for (std::size_t i = 0; i < a.size(); ++i) a.data()[i] = static_cast<std::uint8_t>(i + 1);
  a.resize(3);
  EXPECT_EQ(a.size(), 3u);
  EXPECT_EQ(a.capacity(), 6u);
  a.resize(6);
  a.resize(10);
  ASSERT_EQ(a.size(), 10u);
  EXPECT_GE(a.capacity(), 10u);
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(a.data()[i], i + 1) << i;

  TPixelBuffer b(a);
  b.data()[0] = 99;
  EXPECT_EQ(a.data()[0], 1);
  ASSERT_EQ(b.size(), 10u);
  EXPECT_EQ(b.data()[5], 6);

  TPixelBuffer c(std::move(b));
  EXPECT_TRUE(b.empty());
  EXPECT_EQ(b.data(), nullptr);
  EXPECT_EQ(c.data()[0], 99);
  c = a;
  EXPECT_EQ(c.data()[0], 1);
  c.clear();
  EXPECT_TRUE(c.empty());
  EXPECT_EQ(TPixelBuffer(0).data(), nullptr);
}

TEST(BitmapLayout, RowsArePaddedToFourBytesAndRowZeroIsTheTop) {
  EXPECT_EQ(BytesPerScanLine(1, 1), 4);
  EXPECT_EQ(BytesPerScanLine(33, 1), 8);
  EXPECT_EQ(BytesPerScanLine(3, 24), 12);
  EXPECT_EQ(BytesPerScanLine(5, 16), 12);
  EXPECT_EQ(BytesPerScanLine(0, 24), 0);
  EXPECT_EQ(BitsPerPixel(pf15bit), 16);
  EXPECT_EQ(BitsPerPixel(pfDevice), 24);

  TBitmap b(3, 2);
  EXPECT_EQ(b.RowStride(), 12);
  b.Canvas().SetPixel(0, 0, RGB(1, 2, 3));
  b.Canvas().SetPixel(2, 1, RGB(4, 5, 6));
  const std::uint8_t* top = b.ScanLine(0);
  EXPECT_EQ(top[0], 3);  // B, G, R
  EXPECT_EQ(top[1], 2);
  EXPECT_EQ(top[2], 1);
  const std::uint8_t* bottom = b.ScanLine(1);
  EXPECT_EQ(bottom[6], 6);
  EXPECT_EQ(bottom[8], 4);
  for (int i = 9; i < 12; ++i) EXPECT_EQ(bottom[i], 0) << "padding byte " << i;
}

TEST(BitmapLayout, ScanLineOutsideTheBitmapRaisesRangeError) {
  TBitmap b(4, 3);
  EXPECT_NO_THROW(b.ScanLine(0));
  EXPECT_NO_THROW(b.ScanLine(2));
  EXPECT_THROW(b.ScanLine(3), ERangeError);
  EXPECT_THROW(b.ScanLine(-1), ERangeError);
  const TBitmap& cb = b;
  EXPECT_THROW(cb.ScanLine(3), ERangeError);
  TBitmap empty;
  EXPECT_THROW(empty.ScanLine(0), ERangeError);
  EXPECT_THROW(b.GetPixelColor(4, 0), ERangeError);
  EXPECT_THROW(b.GetPixelColor(0, -1), ERangeError);
}

TEST(BitmapSize, PixelCapIsCheckedBeforeAnythingIsAllocated) {
  EXPECT_TRUE(WithinPixelCap(MaxDimension, 256));
  EXPECT_FALSE(WithinPixelCap(MaxDimension + 1, 1));
  EXPECT_TRUE(WithinPixelCap(16384, 16384));
  EXPECT_FALSE(WithinPixelCap(16384, 16385));
  EXPECT_FALSE(WithinPixelCap(-1, 1));

  TBitmap b = Filled(2, 2, pf24bit, clRed);
  EXPECT_THROW(b.SetSize(16384, 16385), EOutOfResources);
  EXPECT_THROW(b.SetWidth(1 << 30), EOutOfResources);
  EXPECT_EQ(b.Width(), 2);
  EXPECT_EQ(b.Height(), 2);
  EXPECT_EQ(b.GetPixelColor(1, 1), clRed);

  b.SetSize(-5, -1);
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 0);
  EXPECT_TRUE(b.Empty());
}

TEST(BitmapSize, GrowingKeepsTheTopLeftAndFillsWithTheBrush) {
  TBitmap b(2, 2);  // white: the brush's first colour
  EXPECT_EQ(b.GetPixelColor(1, 1), clWhite);
  b.Canvas().SetPixel(0, 0, RGB(10, 20, 30));
  b.Canvas().SetPixel(1, 1, RGB(40, 50, 60));
  b.Canvas().Brush.Color = clRed;
  b.SetWidth(4);
  b.Canvas().Brush.Color = clLime;
  b.SetHeight(3);
  const TColor expected[3][4] = {
      {RGB(10, 20, 30), clWhite, clRed, clRed},
      {clWhite, RGB(40, 50, 60), clRed, clRed},
      {clLime, clLime, clLime, clLime},
  };
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(b.GetPixelColor(x, y), expected[y][x]) << x << "," << y;

  // Shrinking drops pixels for good; growing again brings brush pixels.
  b.Canvas().Brush.Color = clBlue;
  b.SetSize(1, 1);
  b.SetSize(2, 2);
  EXPECT_EQ(b.GetPixelColor(0, 0), RGB(10, 20, 30));
  EXPECT_EQ(b.GetPixelColor(1, 1), clBlue);
  EXPECT_EQ(b.GetPixelColor(1, 0), clBlue);

  // A system colour in the brush is turned into its fixed colour.
  b.Canvas().Brush.Color = clBtnFace;
  b.SetWidth(3);
  EXPECT_EQ(b.GetPixelColor(2, 0), RGB(212, 208, 200));
}

TEST(BitmapSize, GrowingAnEmptyDimensionFillsEveryRow) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.Canvas().Brush.Color = RGB(1, 2, 3);
  b.SetHeight(3);  // 0 x 3: rows without pixels
  b.SetWidth(2);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(b.GetPixelColor(x, y), RGB(1, 2, 3));
}

TEST(BitmapSize, PalettedBitmapsGrowWithTheNearestEntryAndZeroPadding) {
  TBitmap b = Filled(3, 1, pf1bit, RGB(100, 100, 100));  // nearer black than white
  EXPECT_EQ(b.ScanLine(0)[0], 0x00);
  b.Canvas().Brush.Color = RGB(200, 200, 200);
  b.SetWidth(5);
  EXPECT_EQ(b.ScanLine(0)[0], 0x18);  // pixels 3 and 4 white, the rest of the byte 0
  for (int i = 1; i < b.RowStride(); ++i) EXPECT_EQ(b.ScanLine(0)[i], 0);
  b.SetWidth(4);  // the cut pixel's bit must not stay behind in the padding
  EXPECT_EQ(b.ScanLine(0)[0], 0x10);

  TBitmap c = Filled(2, 1, pf4bit, RGB(250, 0, 0));
  EXPECT_EQ(c.ScanLine(0)[0], 0x99);  // red is entry 9 of the 16 colours
  EXPECT_EQ(c.GetPixelColor(1, 0), RGB(255, 0, 0));
}

// Pixel memory is allocated uncleared, so every byte a resize or a
// decoder allocation leaves must be written: freshly freed memory full of
// 0xAB is handed out again and must not show through.
TEST(BitmapSize, NoUnwrittenByteShowsThroughAfterAResize) {
  for (TPixelFormat f : kFormats) {
    for (int w = 1; w <= 5; ++w) {
      { std::vector<std::uint8_t> dirty(4096, 0xAB); }
      TBitmap b;
      b.SetPixelFormat(f);
      b.Canvas().Brush.Color = clBlack;
      b.SetHeight(2);  // rows without pixels first
      b.SetSize(w, 4);
      const int used = (w * BitsPerPixel(f) + 7) / 8;
      for (int y = 0; y < 4; ++y) {
        for (int i = 0; i < b.RowStride(); ++i) {
          EXPECT_EQ(b.ScanLine(y)[i], 0) << "format " << f << " width " << w << " row " << y << " byte " << i
                                         << " of " << used;
        }
      }
    }
  }
}

TEST(BitmapSize, DecodingSizeTakesFormatAndSizeWithClearedPadding) {
  TBitmap b = Filled(2, 2, pf8bit, clWhite);
  { std::vector<std::uint8_t> dirty(4096, 0xAB); }
  b.SetSizeForDecoding(5, 3, pf24bit);
  EXPECT_EQ(b.Width(), 5);
  EXPECT_EQ(b.Height(), 3);
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  EXPECT_TRUE(b.Palette().empty());
  ASSERT_EQ(b.RowStride(), 16);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(b.ScanLine(y)[15], 0);
  EXPECT_THROW(b.SetSizeForDecoding(1 << 21, 1, pf24bit), EOutOfResources);
  EXPECT_EQ(b.Width(), 5);
}

TEST(BitmapValue, CopiesHaveTheirOwnPixels) {
  TBitmap a = Filled(3, 3, pf24bit, clRed);
  a.Canvas().Brush.Color = clLime;
  TBitmap b(a);
  b.Canvas().SetPixel(1, 1, clBlue);
  EXPECT_EQ(a.GetPixelColor(1, 1), clRed);
  EXPECT_EQ(b.Canvas().Brush.Color, clLime);
  EXPECT_EQ(&b.Canvas().Bitmap(), &b);

  TBitmap c;
  c = a;
  c.Canvas().FillRect(Rect(0, 0, 3, 3));
  EXPECT_EQ(a.GetPixelColor(0, 0), clRed);
  EXPECT_EQ(c.GetPixelColor(0, 0), clLime);
  EXPECT_EQ(&c.Canvas().Bitmap(), &c);

  TBitmap& self = c;
  c = self;
  EXPECT_EQ(c.GetPixelColor(0, 0), clLime);
}

TEST(BitmapValue, MovingLeavesAValidEmptyBitmap) {
  TBitmap a = Filled(4, 2, pf8bit, clRed);
  TBitmap b(std::move(a));
  EXPECT_EQ(b.Width(), 4);
  EXPECT_EQ(b.GetPixelColor(3, 1), clRed);
  EXPECT_EQ(&b.Canvas().Bitmap(), &b);
  EXPECT_EQ(a.Width(), 0);  // NOLINT(bugprone-use-after-move): the state is specified
  EXPECT_EQ(a.Height(), 0);
  EXPECT_EQ(a.Palette().size(), 256u);
  EXPECT_EQ(&a.Canvas().Bitmap(), &a);
  a.SetSize(2, 2);  // usable again
  a.Canvas().SetPixel(1, 1, clBlue);
  EXPECT_EQ(a.GetPixelColor(1, 1), clBlue);

  TBitmap c;
  c = std::move(b);
  EXPECT_EQ(c.Height(), 2);
  EXPECT_EQ(&c.Canvas().Bitmap(), &c);
  EXPECT_TRUE(b.Empty());  // NOLINT(bugprone-use-after-move)
  b.Canvas().FillRect(Rect(0, 0, 10, 10));  // nothing to fill, nothing to break
}

TEST(BitmapValue, AssignTakesThePictureButKeepsTheOwnCanvasAndHandler) {
  TBitmap source = Filled(2, 2, pf4bit, clRed);
  source.SetTransparent(true);
  source.SetTransparentColor(clRed);
  TBitmap dest;
  dest.Canvas().Brush.Color = clBlue;
  dest.Canvas().MoveTo(7, 8);
  int calls = 0;
  dest.OnProgress = [&](TGraphic&, TProgressStage, int, const std::string&) { ++calls; };
  dest.Assign(source);
  EXPECT_EQ(dest.PixelFormat(), pf4bit);
  EXPECT_EQ(dest.Palette(), source.Palette());
  EXPECT_EQ(dest.GetPixelColor(1, 1), clRed);
  EXPECT_TRUE(dest.Transparent());
  EXPECT_EQ(dest.TransparentColor(), clRed);
  EXPECT_EQ(dest.Canvas().Brush.Color, clBlue);
  EXPECT_EQ(dest.Canvas().PenPos, Point(7, 8));
  ASSERT_TRUE(dest.OnProgress);
  dest.Assign(dest);  // self-assign is harmless
  EXPECT_EQ(dest.Width(), 2);
}

// Taking a picture over (a loader, a turn in place) keeps everything of
// the bitmap but the picture itself, its transparency included.
TEST(BitmapValue, TakePictureKeepsDrawingStateHandlerAndTransparency) {
  TBitmap dest = Filled(3, 1, pf24bit, clBlue);
  dest.SetTransparent(true);
  dest.SetTransparentColor(clLime);
  dest.Canvas().Brush.Color = clSilver;
  dest.Canvas().Pen.Color = clRed;
  dest.Canvas().MoveTo(4, 5);
  int calls = 0;
  dest.OnProgress = [&](TGraphic&, TProgressStage, int, const std::string&) { ++calls; };
  TBitmap picture = Filled(2, 2, pf8bit, clRed);
  picture.Canvas().Brush.Color = clBlack;
  dest.TakePicture(std::move(picture));
  EXPECT_EQ(dest.Width(), 2);
  EXPECT_EQ(dest.PixelFormat(), pf8bit);
  EXPECT_EQ(dest.GetPixelColor(1, 1), clRed);
  EXPECT_TRUE(dest.Transparent());
  EXPECT_EQ(dest.TransparentMode(), TBitmap::tmFixed);
  EXPECT_EQ(dest.TransparentColor(), clLime);
  EXPECT_EQ(dest.Canvas().Brush.Color, clSilver);
  EXPECT_EQ(dest.Canvas().Pen.Color, clRed);
  EXPECT_EQ(dest.Canvas().PenPos, Point(4, 5));
  ASSERT_TRUE(dest.OnProgress);
  // The canvas draws on the new picture.
  dest.Canvas().FillRect(TRect{0, 0, 1, 1});
  EXPECT_EQ(dest.GetPixelColor(0, 0), clSilver);
}

TEST(BitmapStretch, TheMappingCopiesEqualSidesAndReplicatesWholeFactors) {
  const struct {
    std::int64_t N, S;
    std::vector<std::int64_t> Sources;
  } cases[] = {
      {4, 4, {0, 1, 2, 3}},
      {6, 2, {0, 0, 0, 1, 1, 1}},
      {2, 6, {1, 4}},
      {3, 2, {0, 1, 1}},
      {5, 1, {0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    std::vector<std::int64_t> got;
    for (std::int64_t d = 0; d < c.N; ++d) got.push_back(StretchSource(d, c.N, c.S));
    EXPECT_EQ(got, c.Sources) << c.N << " from " << c.S;
  }
  // The widest sides stay exact: the last target pixel shows the last
  // source pixel.
  const std::int64_t wide = std::int64_t{1} << 32;
  EXPECT_EQ(StretchSource(wide - 1, wide, MaxDimension), MaxDimension - 1);
  EXPECT_EQ(StretchSource(0, wide, MaxDimension), 0);
}

TEST(BitmapTransparency, AutomaticModeUsesTheBottomLeftPixel) {
  TBitmap b = Filled(3, 3, pf24bit, clWhite);
  b.Canvas().SetPixel(0, 2, clLime);
  EXPECT_EQ(b.TransparentMode(), TBitmap::tmAuto);
  EXPECT_EQ(b.TransparentColor(), clLime);
  b.SetTransparentColor(clRed);
  EXPECT_EQ(b.TransparentMode(), TBitmap::tmFixed);
  EXPECT_EQ(b.TransparentColor(), clRed);
  b.SetTransparentColor(clDefault);
  EXPECT_EQ(b.TransparentMode(), TBitmap::tmAuto);
  EXPECT_EQ(b.TransparentColor(), clLime);
  EXPECT_EQ(TBitmap().TransparentColor(), clDefault);
}

TEST(BitmapFormat, CustomFormatIsRefusedAndDeviceSharesTheStorageOf24Bits) {
  TBitmap b = Filled(2, 2, pf24bit, RGB(1, 2, 3));
  EXPECT_THROW(b.SetPixelFormat(pfCustom), EInvalidGraphicOperation);
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  std::vector<std::uint8_t> before(b.Bits(), b.Bits() + b.RowStride() * 2);
  b.SetPixelFormat(pfDevice);
  EXPECT_EQ(b.PixelFormat(), pfDevice);
  EXPECT_EQ(std::vector<std::uint8_t>(b.Bits(), b.Bits() + b.RowStride() * 2), before);
  EXPECT_EQ(TBitmap().PixelFormat(), pfDevice);
}

TEST(BitmapFormat, TrueColourNarrowsAndWidensWithExactValues) {
  const TColor c = RGB(0x12, 0x34, 0x56);
  struct Case {
    TPixelFormat Format;
    TColor Back;
  };
  // Nearest entries: black/white; navy of the 16 colours; the cube
  // colour (0, 51, 102) of the halftone palette; 5-5-5 and 5-6-5 widened.
  const Case cases[] = {{pf1bit, RGB(0, 0, 0)},        {pf4bit, RGB(0, 0, 128)}, {pf8bit, RGB(0, 51, 102)},
                        {pf15bit, RGB(16, 49, 82)},    {pf16bit, RGB(16, 52, 82)}, {pf24bit, c},
                        {pf32bit, c},                  {pfDevice, c}};
  for (const Case& k : cases) {
    TBitmap b = Filled(3, 2, pf24bit, c);
    b.SetPixelFormat(k.Format);
    EXPECT_EQ(b.PixelFormat(), k.Format);
    EXPECT_EQ(b.RowStride(), BytesPerScanLine(3, BitsPerPixel(k.Format)));
    EXPECT_EQ(b.GetPixelColor(2, 1), k.Back) << "format " << k.Format;
    b.SetPixelFormat(pf24bit);
    EXPECT_EQ(b.GetPixelColor(2, 1), k.Back) << "format " << k.Format << " back to 24 bits";
  }

  TBitmap b15 = Filled(1, 1, pf24bit, c);
  b15.SetPixelFormat(pf15bit);
  EXPECT_EQ(b15.ScanLine(0)[0], 0xCA);  // 0 00010 00110 01010
  EXPECT_EQ(b15.ScanLine(0)[1], 0x08);
  TBitmap b16 = Filled(1, 1, pf24bit, c);
  b16.SetPixelFormat(pf16bit);
  EXPECT_EQ(b16.ScanLine(0)[0], 0xAA);  // 00010 001101 01010
  EXPECT_EQ(b16.ScanLine(0)[1], 0x11);
  TBitmap b8 = Filled(1, 1, pf24bit, c);
  b8.SetPixelFormat(pf8bit);
  EXPECT_EQ(b8.ScanLine(0)[0], 18);  // 10 + 0 * 36 + 1 * 6 + 2
}

TEST(BitmapFormat, FifteenAndSixteenBitsExpandByRepeatingTheTopBits) {
  TBitmap b(4, 1, pf15bit);
  std::uint8_t* row = b.ScanLine(0);
  const std::uint16_t raw[4] = {0x7C00, 0x0421, 0x4210, 0x7FFF};  // red; 1,1,1; 16,16,16; white
  for (int i = 0; i < 4; ++i) {
    row[i * 2] = static_cast<std::uint8_t>(raw[i]);
    row[i * 2 + 1] = static_cast<std::uint8_t>(raw[i] >> 8);
  }
  EXPECT_EQ(b.GetPixelColor(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(b.GetPixelColor(1, 0), RGB(8, 8, 8));
  EXPECT_EQ(b.GetPixelColor(2, 0), RGB(132, 132, 132));
  EXPECT_EQ(b.GetPixelColor(3, 0), clWhite);

  TBitmap c(3, 1, pf16bit);
  row = c.ScanLine(0);
  const std::uint16_t raw16[3] = {0x07E0, 0x0020, 0x0840};  // green 63; green 1; red 1 + green 2
  for (int i = 0; i < 3; ++i) {
    row[i * 2] = static_cast<std::uint8_t>(raw16[i]);
    row[i * 2 + 1] = static_cast<std::uint8_t>(raw16[i] >> 8);
  }
  EXPECT_EQ(c.GetPixelColor(0, 0), RGB(0, 255, 0));
  EXPECT_EQ(c.GetPixelColor(1, 0), RGB(0, 4, 0));
  EXPECT_EQ(c.GetPixelColor(2, 0), RGB(8, 8, 0));

  // Between 15 and 16 bits every raw value survives the round trip.
  TBitmap all(1024, 32, pf15bit);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 1024; ++x) {
      int v = y * 1024 + x;
      all.ScanLine(y)[x * 2] = static_cast<std::uint8_t>(v);
      all.ScanLine(y)[x * 2 + 1] = static_cast<std::uint8_t>(v >> 8);
    }
  TBitmap copy(all);
  copy.SetPixelFormat(pf16bit);
  copy.SetPixelFormat(pf15bit);
  for (int y = 0; y < 32; ++y)
    ASSERT_EQ(0, std::memcmp(copy.ScanLine(y), all.ScanLine(y), 2048)) << "row " << y;
}

TEST(BitmapFormat, ThirtyTwoBitsCarryAZeroFourthByteThatIsIgnoredOnReading) {
  TBitmap b = Filled(2, 1, pf24bit, RGB(1, 2, 3));
  b.SetPixelFormat(pf32bit);
  const std::uint8_t expected[8] = {3, 2, 1, 0, 3, 2, 1, 0};
  EXPECT_EQ(0, std::memcmp(b.ScanLine(0), expected, 8));
  b.ScanLine(0)[3] = 0xAB;
  EXPECT_EQ(b.GetPixelColor(0, 0), RGB(1, 2, 3));
  b.SetPixelFormat(pf24bit);
  const std::uint8_t back[8] = {3, 2, 1, 3, 2, 1, 0, 0};
  EXPECT_EQ(0, std::memcmp(b.ScanLine(0), back, 8));
}

TEST(BitmapFormat, NearestPaletteEntryTakesTheFirstOnATie) {
  TBitmap b4 = Filled(1, 1, pf24bit, RGB(64, 0, 0));  // as far from black as from maroon
  b4.SetPixelFormat(pf4bit);
  EXPECT_EQ(b4.ScanLine(0)[0] >> 4, 0);
  TBitmap red = Filled(1, 1, pf24bit, RGB(200, 0, 0));  // nearer red than maroon
  red.SetPixelFormat(pf4bit);
  EXPECT_EQ(red.ScanLine(0)[0] >> 4, 9);

  // Black and white stand twice in the halftone palette.
  TBitmap bw(2, 1);
  bw.Canvas().SetPixel(0, 0, clBlack);
  bw.SetPixelFormat(pf8bit);
  EXPECT_EQ(bw.ScanLine(0)[0], 0);
  EXPECT_EQ(bw.ScanLine(0)[1], 225);
  EXPECT_EQ(bw.NearestPaletteIndex(clWhite), 225);
  EXPECT_EQ(bw.NearestPaletteIndex(clSilver), 7);

  TBitmap one(2, 1);
  one.Canvas().SetPixel(0, 0, RGB(127, 127, 127));
  one.Canvas().SetPixel(1, 0, RGB(128, 128, 128));
  one.SetPixelFormat(pf1bit);
  EXPECT_EQ(one.ScanLine(0)[0], 0x40);
}

TEST(BitmapFormat, EveryPairConvertsBothWaysWithTheLayoutOfTheTarget) {
  // Black and white exist in every format, so they must survive any
  // chain of conversions; the stride and padding follow the format.
  for (TPixelFormat from : kFormats) {
    for (TPixelFormat to : kFormats) {
      TBitmap b = Filled(5, 3, from, clWhite);
      b.Canvas().SetPixel(0, 0, clBlack);
      b.Canvas().SetPixel(4, 2, clBlack);
      b.Canvas().SetPixel(2, 1, clBlack);
      b.SetPixelFormat(to);
      ASSERT_EQ(b.PixelFormat(), to);
      ASSERT_EQ(b.RowStride(), BytesPerScanLine(5, BitsPerPixel(to)));
      for (int round = 0; round < 2; ++round) {
        for (int y = 0; y < 3; ++y)
          for (int x = 0; x < 5; ++x) {
            bool black = (x == 0 && y == 0) || (x == 4 && y == 2) || (x == 2 && y == 1);
            ASSERT_EQ(b.GetPixelColor(x, y), black ? clBlack : clWhite)
                << from << " -> " << to << (round ? " -> back" : "") << " at " << x << "," << y;
          }
        int used = (5 * BitsPerPixel(b.PixelFormat()) + 7) / 8;
        for (int y = 0; y < 3; ++y)
          for (int i = used; i < b.RowStride(); ++i)
            ASSERT_EQ(b.ScanLine(y)[i], 0) << from << " -> " << to << " padding";
        b.SetPixelFormat(from);
      }
    }
  }
}

TEST(BitmapFormat, PalettedFormatsKeepAFittingPaletteAndRemapAnother) {
  TBitmap b = Filled(2, 1, pf4bit, clRed);
  b.Canvas().SetPixel(1, 0, RGB(0, 128, 128));  // teal, entry 6
  b.SetPixelFormat(pf8bit);  // 16 entries fit: palette and indices stay
  EXPECT_EQ(b.Palette(), SystemPalette16());
  EXPECT_EQ(b.ScanLine(0)[0], 9);
  EXPECT_EQ(b.ScanLine(0)[1], 6);

  TBitmap h = Filled(1, 1, pf24bit, RGB(51, 102, 153));
  h.SetPixelFormat(pf8bit);
  EXPECT_EQ(h.ScanLine(0)[0], 61);
  h.SetPixelFormat(pf4bit);  // 256 entries do not fit: nearest of the 16
  EXPECT_EQ(h.Palette(), SystemPalette16());
  EXPECT_EQ(h.GetPixelColor(0, 0), RGB(0, 128, 128));

  // A palette given before the format is used by the conversion.
  TBitmap p = Filled(2, 1, pf24bit, RGB(10, 10, 10));
  p.Canvas().SetPixel(1, 0, RGB(250, 0, 0));
  p.SetPalette({{0, 0, 0, 0}, {255, 0, 0, 0}, {9, 9, 9, 0}});
  p.SetPixelFormat(pf8bit);
  EXPECT_EQ(p.Palette().size(), 3u);
  EXPECT_EQ(p.ScanLine(0)[0], 2);
  EXPECT_EQ(p.ScanLine(0)[1], 1);

  TBitmap e;
  e.SetPixelFormat(pf8bit);
  e.SetPalette({{1, 2, 3, 0}, {4, 5, 6, 0}});
  e.SetSize(1, 1);
  EXPECT_EQ(e.Palette().size(), 2u);
  e.ScanLine(0)[0] = 1;
  EXPECT_EQ(e.GetPixelColor(0, 0), RGB(4, 5, 6));
  e.ScanLine(0)[0] = 200;  // beyond the palette
  EXPECT_EQ(e.GetPixelColor(0, 0), clBlack);

  std::vector<TPaletteEntry> big(300);
  e.SetPalette(big);
  EXPECT_EQ(e.Palette().size(), 256u);
}

TEST(BitmapPalettes, FixedPalettesHaveTheDocumentedEntries) {
  ASSERT_EQ(HalftonePalette().size(), 256u);
  EXPECT_EQ(HalftonePalette()[10], (TPaletteEntry{0, 0, 0, 0}));
  EXPECT_EQ(HalftonePalette()[11], (TPaletteEntry{0, 0, 51, 0}));    // blue fastest
  EXPECT_EQ(HalftonePalette()[46], (TPaletteEntry{51, 0, 0, 0}));    // then green, then red
  EXPECT_EQ(HalftonePalette()[226], (TPaletteEntry{12, 12, 12, 0}));
  EXPECT_EQ(HalftonePalette()[245], (TPaletteEntry{243, 243, 243, 0}));
  EXPECT_EQ(HalftonePalette()[255], (TPaletteEntry{255, 255, 255, 0}));
  ASSERT_EQ(SystemPalette16().size(), 16u);
  EXPECT_EQ(SystemPalette16()[7], (TPaletteEntry{192, 192, 192, 0}));
  ASSERT_EQ(BlackWhitePalette().size(), 2u);
}

TEST(Colors, SystemColoursMapToFixedValues) {
  EXPECT_EQ(ColorToRGB(clBtnFace), RGB(212, 208, 200));
  EXPECT_EQ(ColorToRGB(clBtnShadow), RGB(128, 128, 128));
  EXPECT_EQ(ColorToRGB(clWindow), clWhite);
  EXPECT_EQ(ColorToRGB(clWindowText), clBlack);
  EXPECT_EQ(ColorToRGB(0xFF0000FFu), clBlack);  // unknown system colour
  EXPECT_EQ(ColorToRGB(0x02123456u), 0x123456u);
  EXPECT_EQ(RGB(1, 2, 3), 0x030201u);
  EXPECT_EQ(GetBValue(RGB(1, 2, 3)), 3);
}

// The sRGB curve: a straight line up to channel 10, the power curve from
// 11 on, and the three primaries weighted as the eye sees them.
TEST(Colors, LuminanceAndContrastFollowTheSrgbCurve) {
  const struct {
    TColor Colour;
    double Luminance;
  } luminances[] = {{clBlack, 0.0},
                    {clWhite, 1.0},
                    {RGB(255, 0, 0), 0.2126},
                    {RGB(0, 255, 0), 0.7152},
                    {RGB(0, 0, 255), 0.0722},
                    {RGB(10, 10, 10), 0.0030352698},
                    {RGB(11, 11, 11), 0.0033465358},
                    {RGB(128, 128, 128), 0.2158605001}};
  for (const auto& c : luminances) EXPECT_NEAR(RelativeLuminance(c.Colour), c.Luminance, 1e-9) << std::hex << c.Colour;

  const struct {
    TColor A, B;
    double Ratio;
  } ratios[] = {{clBlack, clWhite, 21.0},
                {clWhite, clBlack, 21.0},
                {RGB(118, 118, 118), clWhite, 4.5422249596},
                {RGB(255, 0, 0), clBlack, 5.252},
                {clWhite, RGB(0, 0, 255), 8.5924713584},
                {RGB(10, 200, 30), RGB(10, 200, 30), 1.0}};
  for (const auto& r : ratios) EXPECT_NEAR(ContrastRatio(r.A, r.B), r.Ratio, 1e-9) << std::hex << r.A << " " << r.B;
}

TEST(Rects, SizesAreDefinedAcrossTheWholeIntRange) {
  EXPECT_EQ(Rect(1, 2, 4, 8).Width(), 3);
  EXPECT_EQ(Rect(1, 2, 4, 8).Height(), 6);
  EXPECT_EQ(Rect(5, 5, 2, 1).Width(), -3);
  EXPECT_EQ(Rect(INT_MIN, INT_MIN, INT_MAX, INT_MAX).Width(), INT_MAX);
  EXPECT_EQ(Rect(INT_MAX, INT_MAX, INT_MIN, INT_MIN).Height(), INT_MIN);
}

// A bitmap sized again keeps its memory when the new picture fits in it:
// whatever that memory held must not show. Each case sizes a patterned
// picture down to 0 x 0 or to another size and then to the last one; the
// result must be what the resize rule says, byte for byte (kept pixels
// top-left, brush elsewhere, zero padding), and the memory the same.
TEST(BitmapMemory, KeptMemoryIsWrittenAsFreshMemoryWouldBe) {
  struct TCase {
    int W0, H0, W1, H1, W2, H2;
    bool Kept;  // the memory stays in every format (else only in one bit)
  };
  const TCase cases[] = {
      {40, 30, 0, 0, 7, 5, true},     // emptied, then a smaller picture
      {40, 30, 40, 10, 40, 20, true},  // rows kept in place, then rows added
      {31, 8, 0, 8, 29, 6, true},     // no columns kept
      {30, 6, 30, 4, 3, 6, false},    // one-bit rows of the same length for both widths
      {9, 9, 0, 0, 9, 9, true},       // the same size again
  };
  for (TPixelFormat f : kFormats) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(testing::Message() << "format " << f << " " << c.W0 << "x" << c.H0 << " -> " << c.W1 << "x"
                                      << c.H1 << " -> " << c.W2 << "x" << c.H2);
      TBitmap b;
      b.SetPixelFormat(f);
      b.SetSize(c.W0, c.H0);
      for (int y = 0; y < c.H0; ++y)
        for (int x = 0; x < c.W0; ++x) b.Canvas().SetPixel(x, y, RGB(x * 37 % 256, y * 53 % 256, (x ^ y) * 11 % 256));
      const std::uint8_t* memory = b.Bits();
      b.Canvas().Brush.Color = RGB(90, 160, 230);
      b.SetSize(c.W1, c.H1);
      // What the rule keeps of the first picture.
      const int keepW = std::min({c.W0, c.W1, c.W2}), keepH = std::min({c.H0, c.H1, c.H2});
      TBitmap original;
      original.SetPixelFormat(f);
      original.SetSize(c.W0, c.H0);
      for (int y = 0; y < c.H0; ++y)
        for (int x = 0; x < c.W0; ++x)
          original.Canvas().SetPixel(x, y, RGB(x * 37 % 256, y * 53 % 256, (x ^ y) * 11 % 256));
      b.Canvas().Brush.Color = RGB(250, 20, 120);
      b.SetSize(c.W2, c.H2);
      if (c.Kept || f == pf1bit) {
        EXPECT_EQ(b.Bits(), memory) << "the memory was not kept";
      }
      // The brush of the step that made a pixel new.
      TBitmap brush1 = Filled(1, 1, f, RGB(90, 160, 230)), brush2 = Filled(1, 1, f, RGB(250, 20, 120));
      for (int y = 0; y < c.H2; ++y) {
        for (int x = 0; x < c.W2; ++x) {
          TColor expected = brush2.GetPixelColor(0, 0);
          if (x < keepW && y < keepH) {
            expected = original.GetPixelColor(x, y);
          } else if (x < std::min(c.W0, c.W1) && y < std::min(c.H0, c.H1)) {
            expected = original.GetPixelColor(x, y);
          } else if (x < c.W1 && y < c.H1) {
            expected = brush1.GetPixelColor(0, 0);
          }
          ASSERT_EQ(b.GetPixelColor(x, y), expected) << x << "," << y;
        }
        const int used = (c.W2 * BitsPerPixel(f) + 7) / 8;
        for (int i = used; i < b.RowStride(); ++i) ASSERT_EQ(b.ScanLine(y)[i], 0) << "padding of row " << y;
        // Bits of cut pixels in the last used byte are cleared too.
        const int rest = c.W2 * BitsPerPixel(f) % 8;
        if (rest != 0) {
          ASSERT_EQ(b.ScanLine(y)[used - 1] & (0xFF >> rest), 0) << "row " << y;
        }
      }
    }
  }
}

TEST(BitmapMemory, DecodingSizeKeepsFittingMemoryAndSwapKeepsEachOnesState) {
  TBitmap b(50, 40, pf32bit);
  const std::uint8_t* memory = b.Bits();
  b.SetSizeForDecoding(30, 20, pf24bit);  // 1,840 of 8,000 bytes
  EXPECT_EQ(b.Bits(), memory);
  EXPECT_EQ(b.RowStride(), 92);
  for (int y = 0; y < 20; ++y) EXPECT_EQ(b.ScanLine(y)[91], 0) << "padding of row " << y;
  b.SetSize(0, 0);
  b.SetSizeForDecoding(10, 10, pf8bit);
  EXPECT_EQ(b.Bits(), memory);
  EXPECT_EQ(b.Palette().size(), 256u);

  TBitmap a(2, 3, pf24bit);
  a.Canvas().SetPixel(1, 2, RGB(7, 8, 9));
  a.Canvas().Brush.Color = clRed;
  a.SetTransparent(true);
  b.Canvas().Brush.Color = clLime;
  const std::uint8_t* memoryA = a.Bits();
  a.SwapPicture(b);
  EXPECT_EQ(a.Width(), 10);
  EXPECT_EQ(a.PixelFormat(), pf8bit);
  EXPECT_EQ(a.Bits(), memory);
  EXPECT_EQ(b.Width(), 2);
  EXPECT_EQ(b.Height(), 3);
  EXPECT_EQ(b.Bits(), memoryA);
  EXPECT_EQ(b.GetPixelColor(1, 2), RGB(7, 8, 9));
  EXPECT_EQ(a.Canvas().Brush.Color, clRed);
  EXPECT_EQ(b.Canvas().Brush.Color, clLime);
  EXPECT_TRUE(a.Transparent());
  EXPECT_FALSE(b.Transparent());

  // A copy assigned goes into memory that fits, with the other's state.
  TBitmap big(40, 40, pf24bit);
  const std::uint8_t* bigMemory = big.Bits();
  TBitmap small = Filled(3, 2, pf4bit, clRed);
  small.SetTransparent(true);
  small.SetTransparentColor(clRed);
  small.Canvas().Brush.Color = clBlue;
  big = small;
  EXPECT_EQ(big.Bits(), bigMemory);
  EXPECT_EQ(big.Width(), 3);
  EXPECT_EQ(big.PixelFormat(), pf4bit);
  EXPECT_EQ(big.Palette(), small.Palette());
  EXPECT_EQ(std::memcmp(big.Bits(), small.Bits(), static_cast<std::size_t>(small.RowStride() * 2)), 0);
  EXPECT_TRUE(big.Transparent());
  EXPECT_EQ(big.TransparentColor(), clRed);
  EXPECT_EQ(big.Canvas().Brush.Color, clBlue);

  // Clear gives the memory back: the bitmap is empty and grows afresh.
  a.Clear();
  EXPECT_EQ(a.Width(), 0);
  EXPECT_EQ(a.PixelFormat(), pf8bit);
  a.SetSize(1, 1);
  EXPECT_EQ(a.GetPixelColor(0, 0), RGB(255, 0, 0));
}

// Every way a bitmap takes a new picture follows the keep rule: a picture
// of about the same size writes into the memory there is, a much smaller
// one gets memory of its own size, so a huge picture does not pin its
// memory for the small ones after it; a hint keeps it for what the holder
// expects next.
TEST(BitmapMemory, EverySizingGivesBackMemoryBeyondTwiceThePicture) {
  struct TWay {
    const char* Name;
    void (*Size)(TBitmap& b, int w, int h);
  };
  const TWay ways[] = {
      {"SetSize", [](TBitmap& b, int w, int h) { b.SetSize(w, h); }},
      {"emptied, then SetSize",
       [](TBitmap& b, int w, int h) {
         b.SetSize(0, 0);
         b.SetSize(w, h);
       }},
      {"SetSizeForDecoding", [](TBitmap& b, int w, int h) { b.SetSizeForDecoding(w, h, pf24bit); }},
      {"copy assigned",
       [](TBitmap& b, int w, int h) {
         const TBitmap other(w, h, pf24bit);
         b = other;
       }},
  };
  const std::size_t large = 2000 * 3 * 1000, small = 2000 * 3 * 20;
  for (const TWay& way : ways) {
    for (const bool hinted : {false, true}) {
      SCOPED_TRACE(testing::Message() << way.Name << (hinted ? ", hinted" : ""));
      TBitmap b(2000, 1000, pf24bit);
      if (hinted) b.SetMemoryHint(large);
      const std::uint8_t* memory = b.Bits();
      way.Size(b, 2000, 700);
      EXPECT_EQ(b.Bits(), memory) << "a picture of 70% was given new memory";
      EXPECT_EQ(b.MemoryBytes(), large);
      way.Size(b, 2000, 20);
      EXPECT_EQ(b.Width(), 2000);
      EXPECT_EQ(b.Height(), 20);
      if (hinted) {
        EXPECT_EQ(b.Bits(), memory);
        EXPECT_EQ(b.MemoryBytes(), large);
      } else {
        EXPECT_EQ(b.MemoryBytes(), small) << "a picture of 2% kept the memory of the large one";
      }
    }
  }
}

// The hint belongs to the bitmap, not to its picture; FitMemory moves a
// picture out of memory the rule would not keep for it, and a scratch
// bitmap keeps its memory only for a next picture that could use it.
TEST(BitmapMemory, FitMemoryAndKeepMemoryForApplyTheRuleBetweenPictures) {
  const std::size_t large = 2000 * 3 * 1000, small = 2000 * 3 * 20;
  TBitmap b(2000, 1000, pf24bit);
  b.SetMemoryHint(large);
  b.SetSizeForDecoding(2000, 20, pf24bit);
  b.Canvas().SetPixel(1999, 19, RGB(1, 2, 3));
  TBitmap copy(b), moved(TBitmap(3, 3, pf24bit)), swapped(3, 3, pf24bit);
  moved = std::move(copy);
  swapped.SwapPicture(b);
  swapped.SwapPicture(b);
  EXPECT_EQ(b.MemoryHint(), large);
  EXPECT_EQ(moved.MemoryHint(), 0u);
  EXPECT_EQ(swapped.MemoryHint(), 0u);
  const std::uint8_t* memory = b.Bits();
  b.FitMemory();
  EXPECT_EQ(b.Bits(), memory) << "the hint keeps the memory";
  b.SetMemoryHint(0);
  b.FitMemory();
  EXPECT_EQ(b.MemoryBytes(), small);
  EXPECT_EQ(b.Width(), 2000);
  EXPECT_EQ(b.Height(), 20);
  EXPECT_EQ(b.GetPixelColor(1999, 19), RGB(1, 2, 3));
  memory = b.Bits();
  b.FitMemory();
  EXPECT_EQ(b.Bits(), memory) << "fitting memory again moved the picture";
  TBitmap emptied(2000, 1000, pf24bit);
  emptied.SetSize(0, 0);
  EXPECT_EQ(emptied.MemoryBytes(), large) << "an emptied bitmap keeps its memory for the next picture";
  emptied.FitMemory();
  EXPECT_EQ(emptied.MemoryBytes(), 0u);

  TBitmap scratch(2000, 1000, pf24bit);
  memory = scratch.Bits();
  scratch.KeepMemoryFor(TBitmap(2000, 700, pf24bit));
  EXPECT_EQ(scratch.Bits(), memory);
  EXPECT_EQ(scratch.Height(), 1000);
  scratch.KeepMemoryFor(TBitmap(97, 61, pf24bit));
  EXPECT_EQ(scratch.Width(), 0);
  EXPECT_EQ(scratch.MemoryBytes(), 0u);
}
