// The skin drawing routines on small coloured bitmaps whose every part
// has its own colour, so that where each pixel came from can be read off.

#include <gtest/gtest.h>

#include <QImage>
#include <QRegion>
#include <string>

#include "skin/skin_draw.h"

namespace {

constexpr QRgb Magenta = 0xFFFF00FF;
constexpr QRgb Grey = 0xFF808080;

QRgb Block(int col, int row) { return qRgb(40 + 60 * col, 40 + 60 * row, 200 - 50 * (col + row)); }

// A 9 x 9 bitmap of 3 x 3 blocks of 3 x 3 pixels, each block its own
// colour: with margins of 3 every part of a nine-part image is one block.
QImage Blocks(int frames = 1, bool stacked = false) {
  QImage image(stacked ? 9 : 9 * frames, stacked ? 9 * frames : 9, QImage::Format_RGB32);
  for (int f = 0; f < frames; ++f) {
    for (int y = 0; y < 9; ++y) {
      for (int x = 0; x < 9; ++x) {
        const QRgb c = Block(x / 3, y / 3) + static_cast<QRgb>(f);  // frames differ in blue
        image.setPixel(stacked ? x : x + 9 * f, stacked ? y + 9 * f : y, c);
      }
    }
  }
  return image;
}

QImage Filled(int w, int h, QRgb c) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(c);
  return image;
}

// Which block each target pixel shows: the block grid the image should
// have, given where the target's part boundaries lie.
void ExpectBlocks(const QImage& image, int x1, int x2, int y1, int y2, QRgb frameOffset = 0) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const int col = x < x1 ? 0 : (x < x2 ? 1 : 2);
      const int row = y < y1 ? 0 : (y < y2 ? 1 : 2);
      ASSERT_EQ(image.pixel(x, y), Block(col, row) + frameOffset) << "at " << x << "," << y;
    }
  }
}

TEST(NinePart, CornersKeepTheirSizeAndSidesStretch) {
  const QImage image = MakeNinePartImage(QSize(20, 14), Blocks(), {3, 3, 3, 3}, false, false, 1, 1);
  ASSERT_EQ(image.size(), QSize(20, 14));
  ExpectBlocks(image, 3, 17, 3, 11);
}

TEST(NinePart, MarginsThatDoNotFitAreDropped) {
  struct Case {
    const char* Name;
    QSize Size;
    TSkinMargins Margins;
    bool WholeWidth;   // left and right dropped
    bool WholeHeight;  // top and bottom dropped
  };
  const Case cases[] = {
      {"left and right wider than the target", QSize(5, 12), {3, 3, 3, 3}, true, false},
      {"top and bottom taller than the target", QSize(12, 5), {3, 3, 3, 3}, false, true},
      {"left and right as wide as the frame", QSize(30, 30), {5, 3, 4, 3}, true, false},
      {"negative margins", QSize(18, 18), {-2, -2, -2, -2}, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const QImage image = MakeNinePartImage(c.Size, Blocks(), c.Margins, false, false, 1, 1);
    // Without margins the whole frame is stretched: target pixel d of n
    // shows source pixel (2d + 1) * 9 / 2n.
    const auto block = [](int d, int n) { return (2 * d + 1) * 9 / (2 * n) / 3; };
    const int w = c.Size.width();
    const int h = c.Size.height();
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const int col = c.WholeWidth ? block(x, w) : (x < 3 ? 0 : x < w - 3 ? 1 : 2);
        const int row = c.WholeHeight ? block(y, h) : (y < 3 ? 0 : y < h - 3 ? 1 : 2);
        ASSERT_EQ(image.pixel(x, y), Block(col, row)) << "at " << x << "," << y;
      }
    }
  }
}

TEST(NinePart, ATiledMiddleIsCoveredByTheRightAndBottomParts) {
  // A middle of 3 x 3 repeated over 10 x 5: the last column and row run
  // over and the right and bottom parts, drawn after, cover them.
  QImage source = Blocks();
  source.setPixel(4, 4, 0xFF010203);  // the middle block's centre shows the repeat
  const QImage image = MakeNinePartImage(QSize(16, 11), source, {3, 3, 3, 3}, false, true, 1, 1);
  for (int y = 3; y < 8; ++y) {
    for (int x = 3; x < 13; ++x) {
      const bool centre = (x - 3) % 3 == 1 && (y - 3) % 3 == 1;
      ASSERT_EQ(image.pixel(x, y), centre ? 0xFF010203 : Block(1, 1)) << x << "," << y;
    }
  }
  EXPECT_EQ(image.pixel(13, 5), Block(2, 1));
  EXPECT_EQ(image.pixel(5, 8), Block(1, 2));
  EXPECT_EQ(image.pixel(15, 10), Block(2, 2));
}

TEST(NinePart, FramesAreChosenAndHeldToTheirRange) {
  struct Case {
    bool Stacked;
    int Count;
    int Index;
    QRgb Offset;  // the frame drawn
  };
  const Case cases[] = {{false, 3, 2, 1}, {true, 3, 3, 2}, {false, 3, 9, 2}, {false, 3, 0, 0}, {true, 3, -4, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "stacked " << c.Stacked << " frame " << c.Index);
    const QImage image = MakeNinePartImage(QSize(12, 12), Blocks(3, c.Stacked), {3, 3, 3, 3}, c.Stacked, false, c.Count,
                                           c.Index);
    ExpectBlocks(image, 3, 9, 3, 9, c.Offset);
  }
  // A count below 1 is one frame: the whole bitmap.
  EXPECT_EQ(SkinFrameRect(Blocks(2), false, 0, 1), QRect(0, 0, 18, 9));
  EXPECT_EQ(SkinFrameRect(Blocks(2), false, -3, 2), QRect(0, 0, 18, 9));
}

TEST(SkinDrawing, MagentaLeavesTheTargetWhileItsNeighboursAreDrawn) {
  QImage source = Filled(3, 1, 0xFF112233);
  source.setPixel(0, 0, Magenta);
  source.setPixel(1, 0, 0xFFFE00FF);
  QImage target = Filled(4, 2, Grey);
  DrawSkinTransparent(target, QRect(1, 1, 10, 10), source);
  EXPECT_EQ(target.pixel(1, 1), Grey);
  EXPECT_EQ(target.pixel(2, 1), 0xFFFE00FF);
  EXPECT_EQ(target.pixel(3, 1), 0xFF112233);
  EXPECT_EQ(target.pixel(1, 0), Grey);

  QImage framed = Filled(4, 4, Grey);
  DrawSkinFrame(framed, QRect(0, 0, 4, 4), source, true, 3, 1);
  EXPECT_EQ(framed.pixel(3, 3), Grey);
  DrawSkinFrame(framed, QRect(0, 0, 4, 4), source, false, 3, 1);
  EXPECT_EQ(framed.pixel(3, 3), Magenta);
}

TEST(SkinDrawing, InvertedOrEmptyRectanglesDrawNothing) {
  const QImage source = Blocks();
  const QImage before = Filled(10, 10, Grey);
  const QRect rects[] = {QRect(QPoint(6, 2), QPoint(2, 6)), QRect(2, 2, 0, 5), QRect(2, 2, 5, -1)};
  for (const QRect& r : rects) {
    QImage target = before;
    DrawSkinElement(target, r, source, false, false, false, 1, 1, {3, 3, 3, 3});
    DrawSkinStrip(target, r, source, false, false, 1, 1, {3, 0, 3, 0});
    DrawSkinBorder(target, r, source, false, 1, 1, {3, 3, 3, 3});
    DrawSkinFrame(target, r, source, false, 1, 1);
    DrawSkinTransparent(target, r, source);
    TileSkinBitmap(target, r, source, QRect(0, 0, 3, 3));
    EXPECT_EQ(target, before);
  }
}

TEST(SkinDrawing, AStripRepeatsItsMiddleBetweenItsCaps) {
  // Columns: cap 2, middle 3, cap 2; each column its own colour.
  QImage source(7, 2, QImage::Format_RGB32);
  for (int x = 0; x < 7; ++x) {
    for (int y = 0; y < 2; ++y) source.setPixel(x, y, qRgb(x * 30, 0, 0));
  }
  QImage target = Filled(14, 4, Grey);
  DrawSkinStrip(target, QRect(1, 0, 12, 4), source, false, false, 1, 1, {2, 0, 2, 0});
  // x 1..2 left cap, then the middle from x 3 (pieces at 3, 6, 9), the
  // right cap at 11..12 over the last piece's overrun.
  const int expected[] = {-1, 0, 1, 2, 3, 4, 2, 3, 4, 2, 3, 5, 6, -1};
  for (int x = 0; x < 14; ++x) {
    const QRgb want = expected[x] < 0 ? Grey : qRgb(expected[x] * 30, 0, 0);
    EXPECT_EQ(target.pixel(x, 3), want) << x;
  }
  // A frame that is all caps leaves the part between them as it was.
  QImage open = Filled(10, 2, Grey);
  DrawSkinStrip(open, QRect(0, 0, 10, 2), source, false, false, 1, 1, {4, 0, 3, 0});
  EXPECT_EQ(open.pixel(5, 0), Grey);
  EXPECT_EQ(open.pixel(0, 0), qRgb(0, 0, 0));
  EXPECT_EQ(open.pixel(9, 0), qRgb(180, 0, 0));
}

TEST(SkinDrawing, TheBorderLeavesTheMiddleAlone) {
  QImage target = Filled(12, 12, Grey);
  DrawSkinBorder(target, QRect(1, 1, 10, 10), Blocks(), false, 1, 1, {3, 3, 3, 3});
  EXPECT_EQ(target.pixel(0, 0), Grey);
  EXPECT_EQ(target.pixel(1, 1), Block(0, 0));
  EXPECT_EQ(target.pixel(6, 2), Block(1, 0));
  EXPECT_EQ(target.pixel(6, 6), Grey);
  EXPECT_EQ(target.pixel(10, 10), Block(2, 2));
}

TEST(SkinDrawing, TilesRunOverTheTargetRectangleButNotTheImage) {
  QImage target = Filled(9, 9, Grey);
  TileSkinBitmap(target, QRect(1, 1, 4, 4), Blocks(), QRect(3, 3, 3, 3));
  EXPECT_EQ(target.pixel(0, 0), Grey);
  EXPECT_EQ(target.pixel(6, 6), Block(1, 1));  // the second tile reaches x, y = 6
  EXPECT_EQ(target.pixel(7, 7), Grey);
  // A source outside the bitmap is empty: nothing, and no endless loop.
  QImage same = Filled(9, 9, Grey);
  TileSkinBitmap(same, QRect(0, 0, 9, 9), Blocks(), QRect(20, 20, 3, 3));
  EXPECT_EQ(same, Filled(9, 9, Grey));
}

TEST(SkinDrawing, TargetsOfOtherFormatsAreDrawnOn) {
  QImage target(6, 6, QImage::Format_RGB888);
  target.fill(Qt::white);
  DrawSkinElement(target, QRect(0, 0, 6, 6), Blocks(), false, false, false, 1, 1, {3, 3, 3, 3});
  EXPECT_EQ(target.pixel(0, 0), Block(0, 0));
  EXPECT_EQ(target.pixel(5, 5), Block(2, 2));
}

TEST(SkinRegion, ABitmapWithoutMagentaIsOneRectangle) {
  const QRegion region = RegionFromBitmap(Filled(7, 5, Grey), 10, 20, 1, 1, 1);
  EXPECT_EQ(region, QRegion(10, 20, 7, 5));
  EXPECT_EQ(region.rectCount(), 1);
}

TEST(SkinRegion, TheKeyAndItsToleranceAreCutAway) {
  QImage bitmap = Filled(4, 2, Grey);
  bitmap.setPixel(0, 0, Magenta);
  bitmap.setPixel(1, 0, 0xFFFF01FF);  // within the tolerance of 1
  bitmap.setPixel(2, 0, 0xFFFE00FF);  // below the key: kept
  bitmap.setPixel(3, 1, 0xFFFF02FF);  // beyond the tolerance: kept
  const QImage before = bitmap;
  const QRegion region = RegionFromBitmap(bitmap, 0, 0, 1, 1, 1);
  EXPECT_EQ(region, QRegion(2, 0, 2, 1) + QRegion(0, 1, 4, 1));
  EXPECT_EQ(bitmap, before);
  EXPECT_EQ(bitmap.format(), QImage::Format_RGB32);
}

TEST(SkinRegion, ManyRectanglesAreJoinedInBlocks) {
  // A checkerboard row by row: 60 x 80 gives 2400 single-pixel runs.
  QImage bitmap = Filled(60, 80, Magenta);
  QRegion expected;
  for (int y = 0; y < 80; ++y) {
    for (int x = y % 2; x < 60; x += 2) {
      bitmap.setPixel(x, y, Grey);
      expected += QRect(x + 5, y, 1, 1);
    }
  }
  const QRegion region = RegionFromBitmap(bitmap, 5, 0, 0, 0, 0);
  EXPECT_EQ(region, expected);
  EXPECT_TRUE(region.contains(QPoint(5, 0)));
  EXPECT_FALSE(region.contains(QPoint(6, 0)));
}

}  // namespace
