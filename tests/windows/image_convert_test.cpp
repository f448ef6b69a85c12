#include <gtest/gtest.h>

#include "core/exceptions.h"
#include "windows/image_convert.h"

namespace {

TBitmap Sample(TPixelFormat format) {
  TBitmap b(3, 2, pf24bit);
  const TColor colours[6] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255),
                             RGB(0, 0, 0),   RGB(255, 255, 255), RGB(128, 128, 0)};
  for (int i = 0; i < 6; ++i) b.Canvas().SetPixel(i % 3, i / 3, colours[i]);
  b.SetPixelFormat(format);
  return b;
}

void ExpectSamePixels(const TBitmap& b, const QImage& image) {
  ASSERT_EQ(image.width(), b.Width());
  ASSERT_EQ(image.height(), b.Height());
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) {
      const TColor c = b.GetPixelColor(x, y);
      EXPECT_EQ(image.pixel(x, y), qRgb(GetRValue(c), GetGValue(c), GetBValue(c))) << x << "," << y;
    }
  }
}

TEST(ImageConvert, TrueColourBitmapsAreWrappedWithoutCopying) {
  for (TPixelFormat format : {pf24bit, pfDevice, pf32bit, pf16bit, pf15bit, pf8bit, pf1bit}) {
    const TBitmap b = Sample(format);
    const QImage image = WrapBitmap(b);
    EXPECT_EQ(image.constBits(), b.Bits()) << format;
    ExpectSamePixels(b, image);
  }
  EXPECT_EQ(WrapBitmap(Sample(pf24bit)).format(), QImage::Format_BGR888);
}

TEST(ImageConvert, OtherFormatsAndCopiesOwnTheirPixels) {
  const TBitmap four = Sample(pf4bit);
  const QImage copy4 = WrapBitmap(four);
  EXPECT_NE(copy4.constBits(), four.Bits());
  ExpectSamePixels(four, copy4);

  TBitmap b = Sample(pf24bit);
  const QImage copy = BitmapToQImage(b);
  EXPECT_NE(copy.constBits(), b.Bits());
  b.Canvas().SetPixel(0, 0, clBlack);
  EXPECT_EQ(copy.pixel(0, 0), qRgb(255, 0, 0));

  EXPECT_TRUE(WrapBitmap(TBitmap()).isNull());
}

TEST(ImageConvert, ImagesBecomeTwentyFourBitBitmaps) {
  QImage image(5, 3, QImage::Format_ARGB32);
  image.fill(qRgba(10, 20, 30, 255));
  image.setPixel(4, 2, qRgba(200, 100, 50, 255));
  const TBitmap b = QImageToBitmap(image);
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  ExpectSamePixels(b, image);

  EXPECT_EQ(QImageToBitmap(QImage()).Width(), 0);
  QImage indexed(2, 2, QImage::Format_Indexed8);
  indexed.setColorTable({qRgb(1, 2, 3), qRgb(4, 5, 6)});
  indexed.fill(1);
  EXPECT_EQ(QImageToBitmap(indexed).GetPixelColor(1, 1), RGB(4, 5, 6));
}

}  // namespace

// A TColor keeps red in its low byte; system colours (high byte 0xFF) are
// shown as the colours they stand for, as the bitmaps draw them.
TEST(ImageConvert, ColoursOnScreenAreTheColoursTheBitmapsDraw) {
  const struct {
    TColor Color;
    QColor Shown;
  } cases[] = {
      {RGB(1, 2, 3), QColor(1, 2, 3)},
      {clRed, QColor(255, 0, 0)},
      {clBlue, QColor(0, 0, 255)},
      {RGB(0, 98, 150), QColor(0, 98, 150)},
      {clBtnFace, QColor(212, 208, 200)},
      {clWindow, QColor(255, 255, 255)},
      {clWindowText, QColor(0, 0, 0)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToQColor(c.Color), c.Shown) << std::hex << c.Color;
    TBitmap b(1, 1, pf24bit);
    b.Canvas().Brush.Color = c.Color;
    b.Canvas().FillRect(TRect{0, 0, 1, 1});
    EXPECT_EQ(WrapBitmap(b).pixelColor(0, 0), c.Shown) << std::hex << c.Color;
  }
}
