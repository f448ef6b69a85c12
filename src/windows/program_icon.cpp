#include "windows/program_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>
#include <cmath>

QImage PaintProgramIcon(int size) {
  size = std::max(size, 8);
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size;
  const double margin = std::max(1.0, std::round(s * 0.06));
  const QRectF body(margin, margin, s - 2 * margin, s - 2 * margin);

  // The stamp: white paper with a dark outline; larger sizes show the
  // perforation as bites out of its edge.
  QPainterPath paper;
  paper.addRect(body);
  if (size >= 24) {
    const double r = s * 0.045;
    const int holes = size >= 48 ? 6 : 4;
    for (int i = 0; i < holes; ++i) {
      const double t = body.left() + body.width() * (i + 0.5) / holes;
      const double u = body.top() + body.height() * (i + 0.5) / holes;
      QPainterPath hole;
      for (const QPointF c : {QPointF(t, body.top()), QPointF(t, body.bottom()), QPointF(body.left(), u),
                              QPointF(body.right(), u)}) {
        hole.addEllipse(c, r, r);
      }
      paper = paper.subtracted(hole);
    }
  }
  p.setPen(QPen(QColor(58, 62, 70), std::max(1.0, s / 24)));
  p.setBrush(QColor(252, 252, 248));
  p.drawPath(paper);

  // The picture on it: a blue field with a green hill.
  const double inset = std::max(2.0, s * 0.2);
  const QRectF field(inset, inset, s - 2 * inset, s - 2 * inset);
  QLinearGradient sky(field.topLeft(), field.bottomLeft());
  sky.setColorAt(0, QColor(74, 137, 204));
  sky.setColorAt(1, QColor(34, 86, 150));
  p.setPen(Qt::NoPen);
  p.setBrush(sky);
  p.drawRect(field);
  QPainterPath hill;
  hill.moveTo(field.left(), field.bottom());
  hill.lineTo(field.left(), field.top() + field.height() * 0.7);
  hill.quadTo(field.center().x(), field.top() + field.height() * 0.35, field.right(), field.top() + field.height() * 0.72);
  hill.lineTo(field.right(), field.bottom());
  hill.closeSubpath();
  p.setBrush(QColor(76, 150, 72));
  p.drawPath(hill);

  // The postmark: an orange ring over the stamp's lower right corner.
  const double ring = s * 0.26;
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(226, 112, 38), std::max(1.2, s * 0.08)));
  p.drawEllipse(QPointF(s * 0.68, s * 0.68), ring, ring);
  p.end();
  return image.convertToFormat(QImage::Format_ARGB32);
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 20, 24, 32, 48, 64, 128, 256}) icon.addPixmap(QPixmap::fromImage(PaintProgramIcon(size)));
  return icon;
}
