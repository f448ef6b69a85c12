#include "windows/image_convert.h"

#include <cstring>

#include "core/exceptions.h"

namespace {

QImage Wrap(const TBitmap& bitmap, QImage::Format format) {
  return QImage(bitmap.Bits(), bitmap.Width(), bitmap.Height(), bitmap.RowStride(), format);
}

// Indices past the palette read as black, as they do in the bitmap.
QImage WithPalette(QImage image, const TBitmap& bitmap, qsizetype entries) {
  QList<QRgb> table(entries, qRgb(0, 0, 0));
  const auto& palette = bitmap.Palette();
  for (qsizetype i = 0; i < entries && i < static_cast<qsizetype>(palette.size()); ++i) {
    const TPaletteEntry& e = palette[static_cast<std::size_t>(i)];
    table[i] = qRgb(e.Red, e.Green, e.Blue);
  }
  image.setColorTable(table);
  return image;
}

QImage Copy24(const TBitmap& bitmap) {
  QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_BGR888);
  if (image.isNull()) throw EOutOfResources("Out of memory for a picture of " + std::to_string(bitmap.Width()) +
                                            " x " + std::to_string(bitmap.Height()) + " pixels");
  for (int y = 0; y < bitmap.Height(); ++y) {
    uchar* row = image.scanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x) {
      const TColor c = bitmap.GetPixelColor(x, y);
      row[3 * x] = static_cast<uchar>(GetBValue(c));
      row[3 * x + 1] = static_cast<uchar>(GetGValue(c));
      row[3 * x + 2] = static_cast<uchar>(GetRValue(c));
    }
  }
  return image;
}

}  // namespace

QImage WrapBitmap(const TBitmap& bitmap) {
  if (bitmap.Width() <= 0 || bitmap.Height() <= 0) return QImage();
  switch (bitmap.PixelFormat()) {
    case pfDevice:
    case pf24bit:
      return Wrap(bitmap, QImage::Format_BGR888);
    case pf32bit:
      return Wrap(bitmap, QImage::Format_RGB32);
    case pf15bit:
      return Wrap(bitmap, QImage::Format_RGB555);
    case pf16bit:
      return Wrap(bitmap, QImage::Format_RGB16);
    case pf1bit:
      return WithPalette(Wrap(bitmap, QImage::Format_Mono), bitmap, 2);
    case pf8bit:
      return WithPalette(Wrap(bitmap, QImage::Format_Indexed8), bitmap, 256);
    default:
      return Copy24(bitmap);
  }
}

QImage BitmapToQImage(const TBitmap& bitmap) {
  return WrapBitmap(bitmap).copy();
}

TBitmap QImageToBitmap(const QImage& image) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  if (image.isNull()) return bitmap;
  if (!WithinPixelCap(image.width(), image.height())) {
    throw EOutOfResources("A picture of " + std::to_string(image.width()) + " x " + std::to_string(image.height()) +
                          " pixels is too large");
  }
  const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
  if (bgr.isNull()) throw EOutOfResources("Out of memory while converting a picture");
  bitmap.SetSize(bgr.width(), bgr.height());
  const std::size_t rowBytes = static_cast<std::size_t>(bgr.width()) * 3;
  for (int y = 0; y < bgr.height(); ++y) std::memcpy(bitmap.ScanLine(y), bgr.constScanLine(y), rowBytes);
  return bitmap;
}

QColor ToQColor(TColor color) {
  const TColor rgb = ColorToRGB(color);
  return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}
