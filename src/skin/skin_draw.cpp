#include "skin/skin_draw.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/bitmap.h"

namespace {

// Sources are read as plain RGB: formats that keep it in 32 bits as they
// are, anything else converted (a shared copy when nothing changes).
QImage Readable(const QImage& image) {
  if (image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32) return image;
  return image.convertToFormat(QImage::Format_RGB32);
}

void MakeWritable(QImage& target) {
  const QImage::Format f = target.format();
  if (f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 && f != QImage::Format_ARGB32_Premultiplied) {
    target = target.convertToFormat(QImage::Format_RGB32);
  }
}

// Source offset of target pixel d of n, from a side of s pixels: the
// program's one stretch mapping.
int Nearest(std::int64_t d, std::int64_t n, std::int64_t s) { return static_cast<int>(StretchSource(d, n, s)); }

void Stretch(QImage& target, const QRect& d, const QImage& src, const QRect& s, bool keyed, QRgb key) {
  if (d.width() <= 0 || d.height() <= 0 || s.width() <= 0 || s.height() <= 0 || target.isNull() || src.isNull()) {
    return;
  }
  const QRgb wanted = key & 0xFFFFFF;
  const int y0 = std::max(d.top(), 0);
  const int y1 = std::min<std::int64_t>(static_cast<std::int64_t>(d.top()) + d.height(), target.height());
  const int x0 = std::max(d.left(), 0);
  const int x1 = std::min<std::int64_t>(static_cast<std::int64_t>(d.left()) + d.width(), target.width());
  // The source columns of the target's columns, worked out once.
  std::vector<int> columns;
  columns.reserve(static_cast<std::size_t>(std::max(0, x1 - x0)));
  for (int x = x0; x < x1; ++x) columns.push_back(s.left() + Nearest(x - d.left(), d.width(), s.width()));
  for (int y = y0; y < y1; ++y) {
    const int sy = s.top() + Nearest(y - d.top(), d.height(), s.height());
    if (sy < 0 || sy >= src.height()) continue;
    const auto* in = reinterpret_cast<const QRgb*>(src.constScanLine(sy));
    auto* out = reinterpret_cast<QRgb*>(target.scanLine(y));
    for (int x = x0; x < x1; ++x) {
      const int sx = columns[static_cast<std::size_t>(x - x0)];
      if (sx < 0 || sx >= src.width()) continue;
      const QRgb c = in[sx] & 0xFFFFFF;
      if (keyed && c == wanted) continue;
      out[x] = 0xFF000000 | c;
    }
  }
}

void Tile(QImage& target, const QRect& area, const QImage& src, QRect s) {
  s = s & src.rect();
  if (s.isEmpty() || area.width() <= 0 || area.height() <= 0) return;
  const std::int64_t right = static_cast<std::int64_t>(area.left()) + area.width();
  const std::int64_t bottom = static_cast<std::int64_t>(area.top()) + area.height();
  for (std::int64_t x = area.left(); x < right && x < target.width(); x += s.width()) {
    for (std::int64_t y = area.top(); y < bottom && y < target.height(); y += s.height()) {
      Stretch(target, QRect(static_cast<int>(x), static_cast<int>(y), s.width(), s.height()), src, s, false, 0);
    }
  }
}

// One part of a nine-part layout: where it goes and where it comes from.
struct TPart {
  QRect Dest;
  QRect Source;
  bool Middle = false;
};

// The parts in drawing order: the three corners, the left and top sides,
// the middle, the fourth corner and the right and bottom sides (so these
// cover a tiled middle's overrun).
std::vector<TPart> NineParts(QSize size, const QRect& frame, TSkinMargins m) {
  const int w = size.width();
  const int h = size.height();
  const int fw = frame.width();
  const int fh = frame.height();
  int l = std::max(0, m.Left);
  int t = std::max(0, m.Top);
  int r = std::max(0, m.Right);
  int b = std::max(0, m.Bottom);
  if (static_cast<std::int64_t>(l) + r > w || static_cast<std::int64_t>(l) + r >= fw) l = r = 0;
  if (static_cast<std::int64_t>(t) + b > h || static_cast<std::int64_t>(t) + b >= fh) t = b = 0;
  const int fx = frame.left();
  const int fy = frame.top();
  const int mw = w - l - r;
  const int mh = h - t - b;
  const int sw = fw - l - r;
  const int sh = fh - t - b;
  std::vector<TPart> parts = {
      {QRect(0, 0, l, t), QRect(fx, fy, l, t)},
      {QRect(0, h - b, l, b), QRect(fx, fy + fh - b, l, b)},
      {QRect(w - r, 0, r, t), QRect(fx + fw - r, fy, r, t)},
      {QRect(0, t, l, mh), QRect(fx, fy + t, l, sh)},
      {QRect(l, 0, mw, t), QRect(fx + l, fy, sw, t)},
      {QRect(l, t, mw, mh), QRect(fx + l, fy + t, sw, sh), true},
      {QRect(w - r, h - b, r, b), QRect(fx + fw - r, fy + fh - b, r, b)},
      {QRect(w - r, t, r, mh), QRect(fx + fw - r, fy + t, r, sh)},
      {QRect(l, h - b, mw, b), QRect(fx + l, fy + fh - b, sw, b)},
  };
  return parts;
}

QImage Blank(QSize size) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(0xFF000000 | SkinTransparent);
  return image;
}

}  // namespace

QRect SkinFrameRect(const QImage& bitmap, bool stacked, int frameCount, int frameIndex) {
  const int count = std::max(1, frameCount);
  const int index = std::clamp(frameIndex, 1, count);
  if (stacked) {
    const int h = bitmap.height() / count;
    return QRect(0, (index - 1) * h, bitmap.width(), h);
  }
  const int w = bitmap.width() / count;
  return QRect((index - 1) * w, 0, w, bitmap.height());
}

void StretchSkinBitmap(QImage& target, const QRect& d, const QImage& source, const QRect& s, bool keyed, QRgb key) {
  MakeWritable(target);
  Stretch(target, d, Readable(source), s, keyed, key);
}

QImage MakeNinePartImage(QSize size, const QImage& bitmap, TSkinMargins margins, bool stacked, bool tile,
                         int frameCount, int frameIndex) {
  QImage out = Blank(size.expandedTo(QSize(0, 0)));
  if (out.isNull() || bitmap.isNull()) return out;
  const QImage src = Readable(bitmap);
  const QRect frame = SkinFrameRect(src, stacked, frameCount, frameIndex);
  if (frame.isEmpty()) return out;
  for (const TPart& part : NineParts(out.size(), frame, margins)) {
    if (part.Middle && tile) {
      Tile(out, part.Dest, src, part.Source);
    } else {
      Stretch(out, part.Dest, src, part.Source, false, 0);
    }
  }
  return out;
}

void DrawSkinElement(QImage& target, const QRect& rect, const QImage& bitmap, bool stacked, bool tile,
                     bool transparent, int frameCount, int frameIndex, TSkinMargins margins) {
  if (rect.width() <= 0 || rect.height() <= 0) return;
  const QImage image = MakeNinePartImage(rect.size(), bitmap, margins, stacked, tile, frameCount, frameIndex);
  StretchSkinBitmap(target, rect, image, image.rect(), transparent);
}

void DrawSkinStrip(QImage& target, const QRect& rect, const QImage& bitmap, bool stacked, bool transparent,
                   int frameCount, int frameIndex, TSkinMargins margins) {
  if (rect.width() <= 0 || rect.height() <= 0 || bitmap.isNull()) return;
  MakeWritable(target);
  const QImage src = Readable(bitmap);
  const QRect frame = SkinFrameRect(src, stacked, frameCount, frameIndex);
  if (frame.isEmpty()) return;
  const int fw = frame.width();
  const int fh = frame.height();
  const int l = std::clamp(margins.Left, 0, fw);
  const int r = std::clamp(margins.Right, 0, fw - l);
  const int middle = fw - l - r;
  const int w = rect.width();
  const int h = rect.height();
  // Composed apart, so that the right cap replaces (not overlays) the last
  // piece; what nothing covers stays as the target had it.
  QImage strip = transparent ? Blank(rect.size()) : target.copy(rect).convertToFormat(QImage::Format_RGB32);
  Stretch(strip, QRect(0, 0, l, h), src, QRect(frame.left(), frame.top(), l, fh), false, 0);
  if (middle > 0) {
    for (std::int64_t x = l; x < static_cast<std::int64_t>(w) - r; x += middle) {
      Stretch(strip, QRect(static_cast<int>(x), 0, middle, h), src, QRect(frame.left() + l, frame.top(), middle, fh),
              false, 0);
    }
  }
  Stretch(strip, QRect(w - r, 0, r, h), src, QRect(frame.left() + fw - r, frame.top(), r, fh), false, 0);
  Stretch(target, rect, strip, strip.rect(), transparent, SkinTransparent);
}

void DrawSkinBorder(QImage& target, const QRect& rect, const QImage& bitmap, bool stacked, int frameCount,
                    int frameIndex, TSkinMargins margins) {
  if (rect.width() <= 0 || rect.height() <= 0 || bitmap.isNull()) return;
  MakeWritable(target);
  const QImage src = Readable(bitmap);
  const QRect frame = SkinFrameRect(src, stacked, frameCount, frameIndex);
  if (frame.isEmpty()) return;
  for (const TPart& part : NineParts(rect.size(), frame, margins)) {
    if (!part.Middle) Stretch(target, part.Dest.translated(rect.topLeft()), src, part.Source, false, 0);
  }
}

void DrawSkinFrame(QImage& target, const QRect& rect, const QImage& bitmap, bool transparent, int frameCount,
                   int frameIndex) {
  if (bitmap.isNull()) return;
  const QImage src = Readable(bitmap);
  StretchSkinBitmap(target, rect, src, SkinFrameRect(src, false, frameCount, frameIndex), transparent);
}

void TileSkinBitmap(QImage& target, const QRect& targetRect, const QImage& bitmap, const QRect& s) {
  MakeWritable(target);
  Tile(target, targetRect, Readable(bitmap), s);
}

void DrawSkinTransparent(QImage& target, const QRect& rect, const QImage& bitmap, QRgb key) {
  if (rect.width() <= 0 || rect.height() <= 0 || bitmap.isNull()) return;
  const int w = std::min(rect.width(), bitmap.width());
  const int h = std::min(rect.height(), bitmap.height());
  StretchSkinBitmap(target, QRect(rect.left(), rect.top(), w, h), bitmap, QRect(0, 0, w, h), true, key);
}

QRegion RegionFromBitmap(const QImage& bitmap, int x, int y, int toleranceRed, int toleranceGreen,
                         int toleranceBlue, QRgb key) {
  QRegion result;
  if (bitmap.isNull()) return result;
  const QImage image = bitmap.convertToFormat(QImage::Format_RGB32);
  const auto within = [](int c, int k, int tolerance) { return c >= k && c <= std::min(255, k + std::max(0, tolerance)); };
  const auto transparent = [&](QRgb c) {
    return within(qRed(c), qRed(key), toleranceRed) && within(qGreen(c), qGreen(key), toleranceGreen) &&
           within(qBlue(c), qBlue(key), toleranceBlue);
  };
  // Rectangles are gathered in blocks of 2000 and each block joined into
  // the result, so no one step handles an unbounded list. Rows whose runs
  // are the same as the row above's lengthen its rectangles instead, so
  // that a block is already the banded form a region keeps.
  constexpr int Block = 2000;
  std::vector<QRect> rects;
  rects.reserve(Block);
  const auto flush = [&] {
    if (rects.empty()) return;
    QRegion block;
    block.setRects(rects.data(), static_cast<int>(rects.size()));
    result = result.united(block);
    rects.clear();
  };
  std::vector<std::pair<int, int>> band;  // runs [x0, x1) of the rows bandTop ..
  std::vector<std::pair<int, int>> runs;
  int bandTop = 0;
  const auto endBand = [&](int bandEnd) {
    for (const auto& [x0, x1] : band) {
      rects.emplace_back(x0 + x, bandTop + y, x1 - x0, bandEnd - bandTop);
      if (static_cast<int>(rects.size()) == Block) flush();
    }
  };
  for (int row = 0; row < image.height(); ++row) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(row));
    runs.clear();
    int col = 0;
    while (col < image.width()) {
      while (col < image.width() && transparent(line[col])) ++col;
      const int start = col;
      while (col < image.width() && !transparent(line[col])) ++col;
      if (col > start) runs.emplace_back(start, col);
    }
    if (runs != band || row == 0) {
      endBand(row);
      band.swap(runs);
      bandTop = row;
    }
  }
  endBand(image.height());
  flush();
  return result;
}
