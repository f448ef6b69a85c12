#include "skin/skin_control_draw.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <limits>

#include "skin/skin_data.h"

namespace {

bool HasPicture(const TDataSkinObject* e) { return e != nullptr && !e->Bitmap.isNull(); }

QImage NewWork(QSize size) {
  QImage image(size.expandedTo(QSize(0, 0)), QImage::Format_RGB32);
  return image;
}

// Win32's MulDiv: a * b / c rounded half away from zero, -1 for c = 0.
int MulDiv(std::int64_t a, std::int64_t b, std::int64_t c) {
  if (c == 0) return -1;
  const std::int64_t p = a * b;
  const bool negative = (p < 0) != (c < 0);
  const std::int64_t ap = p < 0 ? -p : p;
  const std::int64_t ac = c < 0 ? -c : c;
  const std::int64_t q = (ap + ac / 2) / ac;
  const std::int64_t r = negative ? -q : q;
  return static_cast<int>(std::clamp<std::int64_t>(r, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

int TextFlags(Qt::Alignment alignment) {
  return static_cast<int>(alignment & Qt::AlignHorizontal_Mask) | Qt::AlignTop | Qt::TextExpandTabs | Qt::TextShowMnemonic;
}

}  // namespace

// ---------------------------------------------------------------------------
// The shared routines

void FillFace(QImage& target, const QRect& rect, const TSkinData& data) {
  if (rect.width() <= 0 || rect.height() <= 0) return;
  QPainter p(&target);
  p.fillRect(rect, data.Colours().ButtonFace);
}

void DrawElementFrame(QImage& target, const QRect& rect, const TDataSkinObject& element, int frameIndex,
                      int frameCount) {
  DrawSkinElement(target, rect, element.Bitmap, false, element.Tile == 1, element.Trans == 1, frameCount, frameIndex,
                  element.Margins());
}

void DrawStripFrame(QImage& target, const QRect& rect, const QImage& strip, int frameIndex, int frameCount) {
  DrawSkinFrame(target, rect, strip, true, frameCount, frameIndex);
}

void DrawSkinCaption(QImage& target, const QRect& rect, const QString& text, Qt::Alignment alignment,
                     const QFont& font, const QColor& colour) {
  if (rect.width() < 0 || rect.height() < 0 || text.isEmpty()) return;
  const QFontMetrics fm(font);
  const int flags = TextFlags(alignment);
  // Lines break only where the text has line breaks.
  const QRect measured = fm.boundingRect(QRect(rect.topLeft(), QSize(1 << 20, 1 << 20)), flags & ~Qt::AlignHorizontal_Mask,
                                         text);
  const int tw = measured.width();
  const int th = measured.height();
  QRect box(rect.left(), rect.top() + (rect.height() - th) / 2 - 1, tw, th);
  const Qt::Alignment h = alignment & Qt::AlignHorizontal_Mask;
  if (h == Qt::AlignHCenter) box.translate((rect.width() - tw) / 2, 0);
  if (h == Qt::AlignRight) box.moveRight(rect.right());
  QPainter p(&target);
  p.setFont(font);
  p.setPen(colour);
  p.drawText(box, flags, text);
}

void DrawGlyphAndText(QImage& target, const QRect& rect, const QIcon& icon, const QString& text, const QFont& font,
                      const QColor& colour) {
  const QSize glyph = icon.isNull() ? QSize(0, 0) : QSize(16, 16);
  const QFontMetrics fm(font);
  const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextExpandTabs | Qt::TextShowMnemonic;
  const QSize measured = text.isEmpty() ? QSize(0, 0) : fm.boundingRect(QRect(0, 0, 1 << 20, 1 << 20), flags, text).size();
  const int group = glyph.width() + (glyph.width() > 0 ? 1 : 0) + measured.width();
  const int x = rect.left() + (rect.width() - group) / 2;
  QPainter p(&target);
  if (!icon.isNull()) {
    p.drawPixmap(x, rect.top() + (rect.height() - glyph.height()) / 2, icon.pixmap(glyph));
  }
  if (!text.isEmpty()) {
    const int tx = x + glyph.width() + (glyph.width() > 0 ? 1 : 0);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(QRect(tx, rect.top() + (rect.height() - measured.height()) / 2, measured.width(), measured.height()), flags,
               text);
  }
}

QColor SystemShadowColour() { return SystemSkinColours().ButtonShadow; }

// ---------------------------------------------------------------------------
// Buttons

int ButtonFrame(const TButtonState& s) {
  if (!s.Enabled) return 3;
  if (s.Pressed) return 2;
  if (s.Focused || s.Hot) return 4;
  return 1;
}

int SpeedButtonFrame(const TButtonState& s) {
  if (!s.Enabled) return 3;
  if (s.Pressed || s.Down) return 2;
  if (s.Hot) return 4;
  return 1;
}

int SpeedButtonGlyph(int frame, int numGlyphs) {
  int image = 1;
  if (frame == 3) image = 2;
  if (frame == 2) image = 3;
  return image <= numGlyphs ? image : 1;
}

QColor ButtonTextColour(const TSkinData& data, int frame, bool enabled) {
  if (!enabled) return SystemShadowColour();
  const TDataSkinButton& b = data.Skin().Buttons;
  QColor c;
  if (frame == 1) c = b.NormalColour2;
  if (frame == 4) c = b.MouseOverColour2;
  if (frame == 2) c = b.PressedColour2;
  return c.isValid() ? c : data.Colours().ButtonText;
}

TGlyphPlacement PlaceGlyph(QSize client, QSize glyph, QSize text, TButtonLayout layout, int margin, int spacing) {
  const bool across = layout == blGlyphLeft || layout == blGlyphRight;
  const int extent = across ? client.width() : client.height();
  const int g = across ? glyph.width() : glyph.height();
  const int t = across ? text.width() : text.height();
  if (glyph.isEmpty() || text.isEmpty()) spacing = 0;
  if (margin == -1 && spacing == -1) {
    margin = spacing = (extent - g - t) / 3;
  } else if (margin == -1) {
    margin = (extent - g - spacing - t) / 2;
  } else if (spacing == -1) {
    spacing = (extent - margin - g - t) / 2;
  }
  TGlyphPlacement p;
  if (across) {
    const int gy = (client.height() - glyph.height() + 1) / 2;
    const int ty = (client.height() - text.height() + 1) / 2;
    if (layout == blGlyphLeft) {
      p.Glyph = {margin, gy};
      p.Text = QRect(margin + g + spacing, ty, text.width(), text.height());
      p.TextAlignment = Qt::AlignLeft;
    } else {
      const int gx = extent - margin - g;
      p.Glyph = {gx, gy};
      p.Text = QRect(gx - spacing - text.width(), ty, text.width(), text.height());
      p.TextAlignment = Qt::AlignRight;
    }
  } else {
    const int gx = (client.width() - glyph.width() + 1) / 2;
    const int tx = (client.width() - text.width() + 1) / 2;
    if (layout == blGlyphTop) {
      p.Glyph = {gx, margin};
      p.Text = QRect(tx, margin + g + spacing, text.width(), text.height());
    } else {
      const int gy = extent - margin - g;
      p.Glyph = {gx, gy};
      p.Text = QRect(tx, gy - spacing - text.height(), text.width(), text.height());
    }
    p.TextAlignment = Qt::AlignHCenter;
  }
  return p;
}

QImage GlyphImage(const QImage& strip, int numGlyphs, int index) {
  if (strip.isNull()) return {};
  numGlyphs = std::max(1, numGlyphs);
  index = std::clamp(index, 1, numGlyphs);
  const int w = strip.width() / numGlyphs;
  if (w <= 0) return {};
  const QRgb key = strip.pixel(0, strip.height() - 1);
  QImage image = strip.copy((index - 1) * w, 0, w, strip.height()).convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      if (row[x] == key) row[x] = 0;
    }
  }
  return image;
}

QImage ComposeButton(const TSkinData& data, const TButtonPicture& b) {
  const TDataSkinButton& e = data.Skin().Buttons;
  if (e.Bitmap.isNull() || b.Size.isEmpty()) return {};
  QImage work = NewWork(b.Size);
  const QRect all(QPoint(0, 0), b.Size);
  FillFace(work, all, data);
  DrawElementFrame(work, all, e, b.Frame, e.FrameCount);
  if (b.Glyph.isNull()) {
    DrawSkinCaption(work, all, b.Caption, Qt::AlignHCenter, b.Font, b.TextColour);
    return work;
  }
  const QImage glyph = GlyphImage(b.Glyph, b.NumGlyphs, b.GlyphIndex);
  const QFontMetrics fm(b.Font);
  const QSize text = b.Caption.isEmpty()
                         ? QSize(0, 0)
                         : fm.boundingRect(QRect(0, 0, 1 << 20, 1 << 20), Qt::TextExpandTabs | Qt::TextShowMnemonic, b.Caption).size();
  const TGlyphPlacement at = PlaceGlyph(b.Size, glyph.size(), text, b.Layout, b.Margin, b.Spacing);
  QPainter p(&work);
  p.drawImage(at.Glyph, glyph);
  if (!b.Caption.isEmpty()) {
    p.setFont(b.Font);
    p.setPen(b.TextColour);
    p.drawText(at.Text, static_cast<int>(at.TextAlignment) | Qt::AlignTop | Qt::TextExpandTabs | Qt::TextShowMnemonic,
               b.Caption);
  }
  return work;
}

// ---------------------------------------------------------------------------
// Icons on skinned bars and buttons

bool IsDarkGlyph(const QImage& icon) {
  // Fainter pixels are the edges' smoothing, whatever their colour.
  constexpr int Visible = 64;
  constexpr int MostGrey = 24;
  constexpr int Darkest = 96;
  if (icon.isNull()) return false;
  const QImage image = icon.convertToFormat(QImage::Format_ARGB32);
  bool any = false;
  for (int y = 0; y < image.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = row[x];
      if (qAlpha(c) < Visible) continue;
      const int high = std::max({qRed(c), qGreen(c), qBlue(c)});
      const int low = std::min({qRed(c), qGreen(c), qBlue(c)});
      if (high - low > MostGrey || high > Darkest) return false;
      any = true;
    }
  }
  return any;
}

QImage TintGlyph(const QImage& icon, const QColor& colour) {
  if (icon.isNull()) return {};
  QImage image = icon.convertToFormat(QImage::Format_ARGB32);
  const QRgb ink = colour.rgb();
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const int alpha = qAlpha(row[x]);
      // A clear pixel stays the clear black a glyph strip's key takes.
      row[x] = alpha == 0 ? 0 : qRgba(qRed(ink), qGreen(ink), qBlue(ink), alpha);
    }
  }
  return image;
}

QImage SkinnedIcon(const QImage& icon, const TSkinData& data) {
  return IsDarkGlyph(icon) ? TintGlyph(icon, data.Colours().ButtonText) : icon;
}

QIcon SkinnedIcon(const QIcon& icon, QSize size, qreal devicePixelRatio, QIcon::State state, const TSkinData& data) {
  if (icon.isNull() || size.isEmpty()) return icon;
  const QPixmap normal = icon.pixmap(size, devicePixelRatio, QIcon::Normal, state);
  const QImage glyph = normal.toImage();
  if (!IsDarkGlyph(glyph)) return icon;
  QPixmap tinted = QPixmap::fromImage(TintGlyph(glyph, data.Colours().ButtonText));
  tinted.setDevicePixelRatio(normal.devicePixelRatio());
  QIcon skinned;
  for (QIcon::Mode mode : {QIcon::Normal, QIcon::Active, QIcon::Selected}) skinned.addPixmap(tinted, mode, state);
  skinned.addPixmap(icon.pixmap(size, devicePixelRatio, QIcon::Disabled, state), QIcon::Disabled, state);
  return skinned;
}

// ---------------------------------------------------------------------------
// Check boxes and radio buttons

int CheckFrame(bool checked, bool enabled) {
  if (!enabled) return 3;
  return checked ? 2 : 1;
}

int RadioFrame(bool checked, bool enabled) {
  if (!enabled) return checked ? 4 : 3;
  return checked ? 2 : 1;
}

QRect CheckCell(QSize client, QSize cell, bool leftText) {
  const int y = (client.height() - cell.height()) / 2;
  int x = 0;
  if (!leftText) {
    x = cell.width() < 15 ? (14 - cell.width()) / 2 : 0;
  } else {
    x = cell.width() < 15 ? client.width() - 14 + (14 - cell.width()) / 2 : client.width() - 1 - cell.width();
  }
  return {QPoint(x, y), cell};
}

// ---------------------------------------------------------------------------
// Scroll bars

TScrollRange ScrollRangeFromQt(int minimum, int maximum, int pageStep, int value) {
  TScrollRange r;
  r.Min = minimum;
  r.Page = std::max(0, pageStep);
  const std::int64_t max = static_cast<std::int64_t>(maximum) + r.Page - (r.Page > 0 ? 1 : 0);
  r.Max = static_cast<int>(std::clamp<std::int64_t>(max, minimum, std::numeric_limits<int>::max()));
  r.Pos = value;
  return r;
}

TScrollGeometry ScrollGeometry(int n, int arrow, const TScrollRange& range, bool control, int minThumb,
                               int pageless) {
  TScrollGeometry g;
  g.Length = std::max(0, n);
  g.Arrow = std::max(0, arrow);
  bool halved = false;
  if (g.Length < 2 * g.Arrow) {
    g.Arrow = g.Length / 2;
    halved = true;
  }
  g.Track = halved ? 0 : g.Length - 2 * g.Arrow;
  const std::int64_t r = static_cast<std::int64_t>(range.Max) - range.Min + (control ? 1 : 0);
  if (halved || g.Track <= 0 || r <= 0) return g;
  const int t = g.Track;
  int l = 0;
  if (range.Page == 0) {
    l = pageless >= 0 ? pageless : g.Arrow;
  } else {
    l = std::max(MulDiv(t, range.Page, r), minThumb);
  }
  l = std::min(l, t);
  int offset = 0;
  if (range.Page == r) {
    l -= 1;
  } else {
    offset = MulDiv(static_cast<std::int64_t>(range.Pos) - range.Min, t - l, r - range.Page);
  }
  // The thumb never leaves the track, whatever the position says.
  g.Thumb = std::max(0, l);
  g.Offset = std::clamp(offset, 0, std::max(0, t - g.Thumb));
  g.ThumbShown = g.Thumb > 0;
  return g;
}

TScrollPart ScrollHitTest(const TScrollGeometry& g, int along) {
  const int a = g.Arrow;
  const int l = g.ThumbShown ? g.Thumb : 0;
  const int off = g.ThumbShown ? g.Offset : 0;
  if (along < 0) return spNone;
  if (along < a) return spLineUp;
  if (along < a + off) return spPageUp;
  if (along < a + off + l) return spThumb;
  if (along < a + g.Track) return spPageDown;
  if (along < 2 * a + g.Track) return spLineDown;
  return spNone;
}

QRect ScrollPartRect(const TScrollGeometry& g, TScrollPart part, QSize size, bool horizontal) {
  const int a = g.Arrow;
  const int l = g.ThumbShown ? g.Thumb : 0;
  const int off = g.ThumbShown ? g.Offset : 0;
  int from = 0;
  int to = 0;
  switch (part) {
    case spLineUp:
      to = a;
      break;
    case spPageUp:
      from = a;
      to = a + off;
      break;
    case spThumb:
      from = a + off;
      to = a + off + l;
      break;
    case spPageDown:
      from = a + off + l;
      to = a + g.Track;
      break;
    case spLineDown:
      from = g.Length - a;
      to = g.Length;
      break;
    case spNone:
      return {};
  }
  if (to <= from) return {};
  return horizontal ? QRect(from, 0, to - from, size.height()) : QRect(0, from, size.width(), to - from);
}

int PressedScrollPart(TScrollPart part, bool horizontal) {
  switch (part) {
    case spLineUp:
      return horizontal ? 1 : 3;
    case spLineDown:
      return horizontal ? 2 : 4;
    case spThumb:
      return horizontal ? 5 : 6;
    default:
      return 0;
  }
}

QImage ComposeScrollBar(const TSkinData& data, QSize size, bool horizontal, const TScrollGeometry& g, int pressed) {
  const TSkinDescription& s = data.Skin();
  if (!HasPicture(s.Scrollbar.get()) || size.isEmpty()) return {};
  constexpr int Thick = 16;
  const int n = g.Length;
  QImage work = NewWork(horizontal ? QSize(n, Thick) : QSize(Thick, n));
  work.fill(data.Colours().Scrollbar);
  const auto along = [&](int from, int to) {
    return horizontal ? QRect(from, 0, to - from, Thick) : QRect(0, from, Thick, to - from);
  };
  const TDataSkinObject* track = horizontal ? s.HorzScroll.get() : s.VertScroll.get();
  if (g.Track > 0 && HasPicture(track)) {
    DrawElementFrame(work, along(g.Arrow, n - g.Arrow), *track, 1, 4);
  }
  const int first = horizontal ? (pressed == 1 ? 2 : 1) : (pressed == 3 ? 10 : 9);
  const int second = horizontal ? (pressed == 2 ? 6 : 5) : (pressed == 4 ? 14 : 13);
  DrawStripFrame(work, along(0, g.Arrow), s.Scrollbar->Bitmap, first, 23);
  DrawStripFrame(work, along(n - g.Arrow, n), s.Scrollbar->Bitmap, second, 23);
  const TDataSkinObject* thumb = horizontal ? s.HorzScrollThumb.get() : s.VertScrollThumb.get();
  if (g.ThumbShown && g.Thumb <= g.Track && HasPicture(thumb)) {
    const int start = g.Arrow + g.Offset;
    const bool down = pressed == (horizontal ? 5 : 6);
    DrawSkinElement(work, along(start, start + g.Thumb), thumb->Bitmap, false, false, thumb->Trans == 1,
                    thumb->FrameCount, down ? 2 : 1, thumb->Margins());
  }
  if (work.size() == size) return work;
  QImage out = NewWork(size);
  StretchSkinBitmap(out, QRect(QPoint(0, 0), size), work, work.rect());
  return out;
}

// ---------------------------------------------------------------------------
// Up-down buttons

int UpDownState(bool enabled, bool underCursor, bool pressed, bool hot) {
  if (!enabled) return 3;
  if (underCursor && pressed) return 2;
  if (underCursor && hot) return 4;
  return 1;
}

std::pair<QRect, QRect> UpDownButtons(const QRect& area, bool horizontal) {
  if (horizontal) {
    const int half = area.width() / 2;
    return {QRect(area.left(), area.top(), half, area.height()),
            QRect(area.left() + half, area.top(), area.width() - half, area.height())};
  }
  const int half = area.height() / 2;
  return {QRect(area.left(), area.top(), area.width(), half),
          QRect(area.left(), area.top() + half, area.width(), area.height() - half)};
}

void DrawUpDownButton(QImage& target, const QRect& rect, const TSkinData& data, int direction, int state) {
  if (rect.width() <= 0 || rect.height() <= 0) return;
  const bool horizontal = direction >= 2;
  const TDataSkinBorder* e = horizontal ? data.Skin().UpDownHorz.get() : data.Skin().UpDownVert.get();
  if (e != nullptr && !e->Bitmap.isNull() && !e->Bitmap2.isNull()) {
    const int frame = (horizontal ? direction - 2 : direction) * 4 + state;
    DrawStripFrame(target, rect, e->Bitmap, frame, 8);
    const int gw = e->Bitmap2.width() / std::max(1, e->FrameCount);
    const int gh = e->Bitmap2.height();
    const QRect source(std::clamp(frame, 1, std::max(1, e->FrameCount)) * gw - gw, 0, gw, gh);
    const QRect at(rect.left() + (rect.width() - gw) / 2, rect.top() + (rect.height() - gh) / 2, gw, gh);
    StretchSkinBitmap(target, at, e->Bitmap2, source, true);
    return;
  }
  const TSkinColours& c = data.Colours();
  QPainter p(&target);
  p.setPen(c.ButtonDkShadow);
  p.setBrush(state == 2 || state == 4 ? c.ButtonShadow : c.ButtonFace);
  p.drawRect(rect.adjusted(0, 0, -1, -1));
  const QPoint centre = rect.center();
  if (!horizontal) {
    // A solid head seven pixels wide and four high, its point 2 pixels
    // above the centre for both directions.
    const int tip = centre.y() - 2;
    for (int i = 0; i < 4; ++i) {
      const int y = direction == 0 ? tip + i : tip + 3 - i;
      p.drawLine(centre.x() - i, y, centre.x() + i, y);
    }
  } else {
    // A triangle outline three wide and five high, pointing left or right.
    const int dx = direction == 2 ? 1 : -1;
    const QPoint tip = centre;
    const QPoint top(tip.x() + 2 * dx, tip.y() - 2);
    const QPoint bottom(tip.x() + 2 * dx, tip.y() + 2);
    p.drawLine(tip, top);
    p.drawLine(top, bottom);
    p.drawLine(bottom, tip);
  }
}

// ---------------------------------------------------------------------------
// Combo boxes

int ComboFrame(bool enabled, bool pressed, bool hotOrFocused) {
  if (pressed) return 2;
  if (hotOrFocused) return 4;
  if (!enabled) return 3;
  return 1;
}

QRect ComboButtonRect(QSize size, int buttonWidth) {
  return {size.width() - buttonWidth, 0, buttonWidth, size.height()};
}

bool DrawSkinCombo(QImage& target, const TSkinData& data, const QColor& brush, int buttonWidth, int frame) {
  const TSkinDescription& s = data.Skin();
  if (!HasPicture(s.ComboButton.get()) || !HasPicture(s.SunkEdge.get())) return false;
  const QSize size = target.size();
  {
    QPainter p(&target);
    p.setPen(brush);
    p.setBrush(Qt::NoBrush);
    if (size.width() > 2 && size.height() > 2) p.drawRect(QRect(1, 1, size.width() - 3, size.height() - 3));
  }
  const QRect button = ComboButtonRect(size, buttonWidth);
  FillFace(target, button, data);
  DrawStripFrame(target, button, s.ComboButton->Bitmap, frame, 4);
  if (HasPicture(s.ExtraImages.get())) {
    const TDataSkinObject& x = *s.ExtraImages;
    const int w = x.Bitmap.width() / std::max(1, x.FrameCount);
    const int h = x.Bitmap.height();
    const QRect source(SkinFrameRect(x.Bitmap, false, x.FrameCount, frame));
    const QRect at(button.left() + (button.width() - w) / 2, button.top() + (button.height() - h) / 2, w, h);
    StretchSkinBitmap(target, at, x.Bitmap, source, true);
  }
  const TDataSkinObject& e = *s.SunkEdge;
  const QRect f = SkinFrameRect(e.Bitmap, false, e.FrameCount, 1);
  const int L = e.LeftWidth;
  const int T = e.TopHeight;
  const int R = e.RightWidth;
  const int B = e.BottomHeight;
  const int tl = L < 2 ? 1 : 2;
  const int tt = T < 2 ? 1 : 2;
  const int tb = B < 2 ? 1 : 2;
  const int h = size.height();
  const int right = button.left();
  const auto src = [&](int x, int y, int w, int hh) { return QRect(f.left() + x, f.top() + y, w, hh); };
  StretchSkinBitmap(target, QRect(0, 0, tl, tt), e.Bitmap, src(0, 0, L, T));
  StretchSkinBitmap(target, QRect(0, h - tb, tl, tb), e.Bitmap, src(0, f.height() - B, L, B));
  StretchSkinBitmap(target, QRect(0, tt, tl, h - tt - tb), e.Bitmap, src(0, T, L, f.height() - T - B));
  StretchSkinBitmap(target, QRect(tl, 0, right - tl, tt), e.Bitmap, src(L, 0, f.width() - L - R, T));
  StretchSkinBitmap(target, QRect(tl, h - tb, right - tl, tb), e.Bitmap, src(L, f.height() - B, f.width() - L - R, B));
  return true;
}

// ---------------------------------------------------------------------------
// Progress bars

int ProgressFill(int width, int min, int max, int position) {
  if (max <= min || width <= 0) return -1;
  const std::int64_t range = static_cast<std::int64_t>(max) - min;
  const std::int64_t done = std::clamp<std::int64_t>(static_cast<std::int64_t>(position) - min, 0, range);
  return static_cast<int>(width * done / range);
}

QImage ComposeProgress(const TSkinData& data, QSize size, int fill) {
  const TDataSkinObject* e = data.Skin().Progress.get();
  if (!HasPicture(e) || size.isEmpty()) return {};
  QImage work = NewWork(size);
  const QRect all(QPoint(0, 0), size);
  FillFace(work, all, data);
  DrawSkinElement(work, all, e->Bitmap, false, e->Tile == 1, true, e->FrameCount, 1, e->Margins());
  if (fill > 0) {
    DrawSkinElement(work, QRect(0, 0, fill, size.height()), e->Bitmap, false, e->Tile == 1, true, e->FrameCount, 2,
                    e->Margins());
  }
  return work;
}

// ---------------------------------------------------------------------------
// Tabs

void ImgFlipVertical(QImage& image) {
  if (image.isNull()) return;
  image = image.convertToFormat(QImage::Format_RGB32);
  QImage out(image.size(), image.format());
  const qsizetype bytes = static_cast<qsizetype>(image.width()) * 4;
  for (int y = 0; y < image.height(); ++y) {
    std::copy_n(image.constScanLine(y), bytes, out.scanLine(image.height() - 1 - y));
  }
  image = out;
}

namespace {

template <class Place>
void Turn(QImage& image, Place place) {
  if (image.isNull()) return;
  const QImage source = image.convertToFormat(QImage::Format_RGB32);
  QImage out(source.height(), source.width(), QImage::Format_RGB32);
  for (int y = 0; y < source.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(source.constScanLine(y));
    for (int x = 0; x < source.width(); ++x) {
      const QPoint to = place(x, y, source.width(), source.height());
      reinterpret_cast<QRgb*>(out.scanLine(to.y()))[to.x()] = row[x];
    }
  }
  image = out;
}

}  // namespace

void ImgRotate90(QImage& image) {
  Turn(image, [](int x, int y, int w, int) { return QPoint(y, w - 1 - x); });
}

void ImgRotate270(QImage& image) {
  Turn(image, [](int x, int y, int, int h) { return QPoint(h - 1 - y, x); });
}

QRect TabRectInStrip(const QRect& item, TTabPosition position, QSize barSize) {
  switch (position) {
    case tpLeft: {
      const int w = barSize.height();
      return {w - (item.y() + item.height()), item.x(), item.height(), item.width()};
    }
    case tpRight: {
      const int h = barSize.width();
      return {item.y(), h - (item.x() + item.width()), item.height(), item.width()};
    }
    default:
      return item;
  }
}

TTabImages PrepareTabImages(const TSkinData& data, TTabPosition position) {
  TTabImages images;
  const TDataSkinBorder* e = data.Skin().Tabs.get();
  if (e == nullptr || e->Bitmap.isNull()) return images;
  images.Tab = e->Bitmap.convertToFormat(QImage::Format_RGB32);
  if (!e->Bitmap2.isNull()) images.Border = e->Bitmap2.convertToFormat(QImage::Format_RGB32);
  if (position == tpBottom) {
    ImgFlipVertical(images.Tab);
    ImgFlipVertical(images.Border);
  } else if (position == tpLeft) {
    ImgRotate90(images.Border);
  } else if (position == tpRight) {
    ImgRotate270(images.Border);
  }
  return images;
}

QImage ComposeTabStrip(const TSkinData& data, const TTabImages& images, TTabPosition position, QSize size,
                       const std::vector<TTabItem>& items, const QFont& font) {
  const TDataSkinBorder* e = data.Skin().Tabs.get();
  if (e == nullptr || images.Tab.isNull() || size.isEmpty()) return {};
  const bool turned = position == tpLeft || position == tpRight;
  QImage strip = NewWork(turned ? size.transposed() : size);
  FillFace(strip, strip.rect(), data);
  for (const TTabItem& item : items) {
    if (item.Rect.isEmpty()) continue;
    const QRect r = TabRectInStrip(item.Rect, position, size);
    const int state = item.Current ? 2 : 1;
    DrawSkinElement(strip, r, images.Tab, false, e->Tile == 1, e->Trans == 1, e->FrameCount, state, e->Margins());
    QColor text = state == 1 ? e->NormalColour2 : e->MouseOverColour2;
    if (!text.isValid()) text = data.Colours().ButtonText;
    if (!item.Icon.isNull()) {
      DrawGlyphAndText(strip, r, item.Icon, item.Text, font, text);
    } else {
      DrawSkinCaption(strip, r, item.Text, Qt::AlignHCenter, font, text);
    }
  }
  if (position == tpLeft) ImgRotate90(strip);
  if (position == tpRight) ImgRotate270(strip);
  return strip;
}

// ---------------------------------------------------------------------------
// Status bars

QImage ComposeStatusBar(const TSkinData& data, QSize size, const TStatusPanels& panels, const QFont& font,
                        const QColor& text) {
  if (size.isEmpty()) return {};
  QImage work = NewWork(size);
  FillFace(work, work.rect(), data);
  const TDataSkinObject* edges = data.Skin().StatusBarEdges.get();
  QColor colour = text;
  if (edges != nullptr && edges->NormalColour2.isValid()) colour = edges->NormalColour2;
  std::vector<TStatusPanel> shown = panels.Panels;
  if (panels.Simple || shown.empty()) {
    shown = {TStatusPanel{work.rect(), panels.SimpleText, pbLowered, Qt::AlignLeft}};
  }
  const TSkinColours system = SystemSkinColours();
  for (const TStatusPanel& panel : shown) {
    if (panel.Rect.isEmpty()) continue;
    if (HasPicture(edges)) {
      DrawSkinElement(work, panel.Rect, edges->Bitmap, false, edges->Tile == 1, false, 3, panel.Bevel,
                      edges->Margins());
    } else if (panel.Bevel != pbNone) {
      const bool lowered = panel.Bevel == pbLowered;
      QPainter p(&work);
      const QRect r = panel.Rect;
      p.setPen(lowered ? system.ButtonShadow : system.ButtonHilight);
      p.drawLine(r.topLeft(), r.topRight());
      p.drawLine(r.topLeft(), r.bottomLeft());
      p.setPen(lowered ? system.ButtonHilight : system.ButtonShadow);
      p.drawLine(r.bottomLeft(), r.bottomRight());
      p.drawLine(r.topRight(), r.bottomRight());
    }
    // The text keeps clear of the bevel.
    const QString caption = panel.Text.isEmpty() ? QStringLiteral(" ") : panel.Text;
    DrawSkinCaption(work, panel.Rect.adjusted(3, 0, -3, 0), caption, panel.Alignment, font, colour);
  }
  return work;
}

// ---------------------------------------------------------------------------
// Headers

QRect HeaderTextRect(const QRect& item, QSize text, Qt::Alignment alignment) {
  const int y = item.top() + (item.height() - text.height()) / 2;
  int x = item.left() + 4;
  if (alignment & Qt::AlignRight) x = item.left() + item.width() - 4 - text.width();
  if (alignment & Qt::AlignHCenter) x = item.left() + (item.width() - text.width()) / 2;
  return {x, y, text.width(), text.height()};
}
