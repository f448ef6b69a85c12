#include "windows/mark_editor/mark_text.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "core/exceptions.h"
#include "core/numbers.h"
#include "windows/image_convert.h"

namespace {

// Far above any font a mark needs, and small enough for the font engine.
constexpr int kLargestPixelSize = 4000;

int PixelSizeOf(std::int32_t size) {
  if (size == 0) size = 9;
  const std::int64_t pixels = size > 0 ? (std::int64_t{size} * 96 + 36) / 72 : -std::int64_t{size};
  return static_cast<int>(std::clamp<std::int64_t>(pixels, 1, kLargestPixelSize));
}

void ApplyStyle(QFont& q, std::uint32_t style) {
  q.setBold((style & mfsBold) != 0);
  q.setItalic((style & mfsItalic) != 0);
  q.setUnderline((style & mfsUnderline) != 0);
  q.setStrikeOut((style & mfsStrikeOut) != 0);
}

}  // namespace

QFont MarkQFont(const TMarkFont& font) {
  QFont q(QString::fromStdString(font.Name));
  if (font.Size > 0) {
    q.setPointSize(std::min(font.Size, kLargestPixelSize));
  } else {
    q.setPixelSize(PixelSizeOf(font.Size));
  }
  ApplyStyle(q, font.Style);
  return q;
}

TMarkFont MarkFontOf(const QFont& q, TColor color) {
  TMarkFont font;
  font.Name = q.family().toStdString();
  if (q.pointSizeF() > 0) {
    font.Size = static_cast<std::int32_t>(std::max<std::int64_t>(1, Round(q.pointSizeF())));
  } else if (q.pixelSize() > 0) {
    font.Size = -q.pixelSize();
  }
  const std::uint32_t none = 0;
  font.Style = (q.bold() ? mfsBold : none) | (q.italic() ? mfsItalic : none) |
               (q.underline() ? mfsUnderline : none) | (q.strikeOut() ? mfsStrikeOut : none);
  font.Color = color;
  return font;
}

TBitmap RenderMarkText(const std::vector<std::string>& lines, const TMarkFont& font, TColor backColor) {
  TBitmap picture;
  picture.SetPixelFormat(pf24bit);
  if (lines.empty()) return picture;

  // Drawn in pixels, so the picture does not depend on the screen.
  QFont q(QString::fromStdString(font.Name));
  q.setPixelSize(PixelSizeOf(font.Size));
  ApplyStyle(q, font.Style);
  const QFontMetrics metrics(q);
  std::vector<QString> captions;
  std::int64_t width = 0;
  std::int64_t height = 0;
  for (const std::string& line : lines) {
    // An empty line is measured as a blank, so it keeps its height, but
    // nothing is drawn on it: an underlined or struck-out blank would show
    // as a stray line.
    captions.push_back(QString::fromStdString(line));
    width = std::max<std::int64_t>(width, metrics.horizontalAdvance(line.empty() ? QStringLiteral(" ") : captions.back()));
    height += metrics.height();
  }
  if (!WithinPixelCap(width, height)) {
    throw EOutOfResources("The text mark of " + std::to_string(width) + " x " + std::to_string(height) +
                          " pixels is too large");
  }
  if (width == 0 || height == 0) return picture;

  QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
  image.fill(ToQColor(backColor));
  {
    QPainter painter(&image);
    painter.setFont(q);
    painter.setPen(ToQColor(font.Color));
    int y = 0;
    for (const QString& caption : captions) {
      if (!caption.isEmpty()) painter.drawText(QPoint(0, y + metrics.ascent()), caption);
      y += metrics.height();
    }
  }
  return QImageToBitmap(image);
}
