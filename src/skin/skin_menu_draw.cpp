#include "skin/skin_menu_draw.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>

#include "skin/skin_data.h"
#include "skin/skin_draw.h"

namespace {

// The check mark drawn for a checked item without a picture.
constexpr const char* CheckMark[] = {
    "......#", ".....##", "#...###", "##.###.", "#####..", ".###...", "..#....",
};
constexpr int CheckMarkSize = 7;

QColor SystemColour(QPalette::ColorRole role) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) return QApplication::palette().color(role);
  switch (role) {
    case QPalette::Dark:
      return {160, 160, 160};
    case QPalette::Light:
      return {255, 255, 255};
    case QPalette::Button:
      return {240, 240, 240};
    default:
      return {0, 0, 0};
  }
}

int TextFlags(bool showMnemonic) {
  return Qt::TextSingleLine | Qt::TextExpandTabs | (showMnemonic ? Qt::TextShowMnemonic : Qt::TextHideMnemonic);
}

// The size a caption takes; an empty one or a lone "&" is measured as a
// blank.
QSize CaptionSize(const QFont& font, const QString& caption) {
  const QFontMetrics fm(font);
  const QString text = (caption.isEmpty() || caption == "&") ? QStringLiteral(" ") : caption;
  const QRectF r = QFontMetricsF(font).boundingRect(QRectF(), TextFlags(true), text);
  return {static_cast<int>(std::ceil(r.width())), fm.height()};
}

void DrawGlyphBox(QPainter& p, const QRect& box, const TSkinMenuItem& item) {
  const bool hasIcon = !item.Icon.isNull();
  if (hasIcon) {
    if (item.Checked) {
      // The checked-button pattern under a sunken edge.
      p.fillRect(box, SystemColour(QPalette::Button));
      p.fillRect(box, QBrush(SystemColour(QPalette::Light), Qt::Dense4Pattern));
      p.setPen(SystemColour(QPalette::Dark));
      p.drawLine(box.left(), box.top(), box.right(), box.top());
      p.drawLine(box.left(), box.top(), box.left(), box.bottom());
      p.setPen(SystemColour(QPalette::Light));
      p.drawLine(box.left(), box.bottom(), box.right(), box.bottom());
      p.drawLine(box.right(), box.top(), box.right(), box.bottom());
    }
    const QIcon::Mode mode = item.Enabled ? QIcon::Normal : QIcon::Disabled;
    p.drawPixmap(box.topLeft(), item.Icon.pixmap(QSize(MenuGlyphSize, MenuGlyphSize), 1.0, mode));
    return;
  }
  if (!item.Checked) return;
  const int x0 = box.left() + (box.width() - CheckMarkSize) / 2 + 1;
  const int y0 = box.top() + (box.height() - CheckMarkSize) / 2 + 1;
  p.setPen(Qt::NoPen);
  const QColor ink = SystemColour(QPalette::ButtonText);
  for (int y = 0; y < CheckMarkSize; ++y) {
    for (int x = 0; x < CheckMarkSize; ++x) {
      if (CheckMark[y][x] == '#') p.fillRect(x0 + x, y0 + y, 1, 1, ink);
    }
  }
}

void DrawItemContent(QPainter& p, const TSkinData& data, const QRect& r, const TSkinMenuItem& item) {
  const int align = item.RightToLeft ? Qt::AlignRight : Qt::AlignLeft;
  if (!item.Separator) DrawGlyphBox(p, QRect(r.left() + 1, r.top() + 1, MenuGlyphSize, MenuGlyphSize), item);
  const QRect text(QPoint(r.left() + (item.Separator ? 3 : MenuTextLeft), r.top()),
                   QPoint(r.left() + r.width() - 2, r.top() + r.height() - 1));
  if (item.Separator) {
    const int y = text.top() + 4;
    p.setPen(SystemColour(QPalette::Dark));
    p.drawLine(text.left(), y, text.right(), y);
    p.setPen(SystemColour(QPalette::Light));
    p.drawLine(text.left(), y + 1, text.right(), y + 1);
    return;
  }
  QFont font = item.Font;
  font.setBold(item.Default);
  p.setFont(font);
  const QFontMetrics fm(font);
  const QSize measured = CaptionSize(font, item.Caption);
  QColor colour;
  if (item.Enabled) {
    colour = item.Selected ? data.Colours().HilightText : data.Colours().MenuText;
  } else {
    colour = DisabledMenuTextColour(data);
  }
  p.setPen(colour);
  const int top = r.top() + (r.height() - measured.height()) / 2;
  const QRect caption(text.left(), top, text.width(), measured.height());
  p.drawText(caption, align | Qt::AlignTop | TextFlags(item.ShowMnemonic), item.Caption);
  if (item.SubMenu) {
    // The arrow to the submenu, 7 pixels high, 4 from the right end.
    const int cy = r.top() + r.height() / 2;
    const int tip = item.RightToLeft ? r.left() + 4 : r.left() + r.width() - 5;
    const int dir = item.RightToLeft ? 1 : -1;
    for (int i = 0; i < 4; ++i) p.fillRect(QRect(tip + dir * i, cy - i, 1, 2 * i + 1), colour);
  }
  if (!item.Shortcut.isEmpty()) {
    const int from = item.RightToLeft ? text.left() : text.left() + measured.width();
    const QRect shortcut(QPoint(from, top), QPoint(r.left() + r.width() - 11, top + measured.height() - 1));
    p.drawText(shortcut, Qt::AlignRight | Qt::AlignTop | TextFlags(false), item.Shortcut);
  }
}

}  // namespace

QImage MakePopupFrameImage(const TSkinData& data, QSize size) {
  const TDataSkinObject* e = data.Skin().MenuBackground.get();
  if (!data.SkinLoaded() || e == nullptr || e->Bitmap.isNull() || size.isEmpty()) return {};
  return MakeNinePartImage(size, e->Bitmap, e->Margins(), false, e->Tile == 1, 1, 1);
}

void PaintPopupBorder(QPainter& painter, const QImage& frame) {
  if (frame.isNull()) return;
  const int w = frame.width();
  const int h = frame.height();
  const int b = std::min({PopupBorderWidth, w, h});
  painter.drawImage(QRect(0, 0, w, b), frame, QRect(0, 0, w, b));
  painter.drawImage(QRect(0, h - b, w, b), frame, QRect(0, h - b, w, b));
  painter.drawImage(QRect(0, b, b, h - 2 * b), frame, QRect(0, b, b, h - 2 * b));
  painter.drawImage(QRect(w - b, b, b, h - 2 * b), frame, QRect(w - b, b, b, h - 2 * b));
}

QSize SkinMenuItemSize(int road, QSize proposed, QSize text, bool separator, bool emptyText) {
  if (road == mrFormPopup) {
    return {proposed.width() + 28, separator ? std::max(proposed.height(), MenuSeparatorHeight) : proposed.height()};
  }
  const int height = (separator || emptyText) ? MenuSeparatorHeight : proposed.height() + 4;
  return {text.width() + 26, height};
}

QColor DisabledMenuTextColour(const TSkinData& data) {
  const TSkinColours& c = data.Colours();
  return c.ButtonShadow == c.MenuText ? SystemColour(QPalette::Dark) : c.ButtonShadow;
}

void DrawSkinMenuItem(QPainter& painter, const TSkinData& data, const QImage& popupFrame, const TSkinMenuItem& item) {
  if (item.Rect.isEmpty()) return;
  const QSize size = item.Rect.size();
  QImage picture(size, QImage::Format_RGB32);
  const TDataSkinObject* element = data.Skin().MenuItem.get();
  const bool elementRoad = element != nullptr && !element->Bitmap.isNull();
  const QRect local(QPoint(0, 0), size);
  if (elementRoad) {
    if (!popupFrame.isNull()) {
      picture.fill(data.Colours().Menu);
      StretchSkinBitmap(picture, local, popupFrame, item.Rect);
    } else {
      picture.fill(data.Colours().Menu);
    }
    if (item.Separator && item.Road == mrFormPopup) {
      // The separator strip: the bottom rows of frame 2, stretched to the
      // item's height, as a left cap, a stretched middle and a right cap.
      const QRect frame = SkinFrameRect(element->Bitmap, false, 5, 2);
      const int from = std::max(0, frame.height() - size.height());
      const int sh = frame.height() - from;
      const int l = std::max(0, element->LeftWidth);
      const int r = std::max(0, element->RightWidth);
      const int sy = frame.top() + from;
      if (l + r < frame.width() && l + r <= size.width()) {
        StretchSkinBitmap(picture, {0, 0, l, size.height()}, element->Bitmap, {frame.left(), sy, l, sh}, true);
        StretchSkinBitmap(picture, {l, 0, size.width() - l - r, size.height()}, element->Bitmap,
                          {frame.left() + l, sy, frame.width() - l - r, sh}, true);
        StretchSkinBitmap(picture, {size.width() - r, 0, r, size.height()}, element->Bitmap,
                          {frame.left() + frame.width() - r, sy, r, sh}, true);
      } else {
        StretchSkinBitmap(picture, local, element->Bitmap, {frame.left(), sy, frame.width(), sh}, true);
      }
      painter.drawImage(item.Rect.topLeft(), picture);
      return;
    }
    DrawSkinElement(picture, local, element->Bitmap, false, element->Tile == 1, element->Trans == 1, 5,
                    item.Selected ? 4 : 1, element->Margins());
  } else {
    picture.fill(item.Selected ? data.Colours().Hilight : data.Colours().ButtonFace);
  }
  {
    QPainter p(&picture);
    DrawItemContent(p, data, local, item);
  }
  painter.drawImage(item.Rect.topLeft(), picture);
}

QImage MakeMenuBarImage(const TSkinData& data, QSize size, bool active) {
  if (size.isEmpty()) return {};
  QImage bar(size, QImage::Format_RGB32);
  bar.fill(data.Colours().Menubar);
  const TDataSkinObject* e = data.Skin().MenuBar.get();
  if (e == nullptr || e->Bitmap.isNull()) return bar;
  const int frame = active ? 1 : 2;
  const TSkinMargins caps{e->LeftWidth, 0, e->RightWidth, 0};
  if (e->Tile == 1) {
    DrawSkinElement(bar, bar.rect(), e->Bitmap, true, false, false, 2, frame, caps);
  } else {
    DrawSkinStrip(bar, bar.rect(), e->Bitmap, true, false, 2, frame, caps);
  }
  return bar;
}

int MenuBarStartX(const TSkinData& data, int barWidth) {
  const TDataSkinObject* e = data.Skin().MenuBar.get();
  if (e == nullptr || e->Bitmap.isNull()) return 6;
  const int x = e->LeftWidth + 4;
  return x > barWidth ? 12 : x;
}

void DrawSkinMenuBarItem(QPainter& painter, const TSkinData& data, const QImage& background, const QRect& rect,
                         const QString& caption, bool enabled, bool hot, const QFont& font, bool showMnemonic) {
  if (rect.isEmpty()) return;
  if (!background.isNull()) {
    painter.drawImage(QRect(rect.left(), 0, rect.width(), background.height()), background,
                      QRect(rect.left(), 0, rect.width(), background.height()));
  }
  if (hot) {
    painter.setPen(data.Colours().ButtonHilight);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
  }
  painter.setFont(font);
  painter.setPen(enabled ? data.Colours().MenuBarText : SystemColour(QPalette::Dark));
  const QFontMetrics fm(font);
  const QRectF exact = QFontMetricsF(font).boundingRect(QRectF(), TextFlags(true), caption);
  const QRect measured(0, 0, static_cast<int>(std::ceil(exact.width())), fm.height());
  const int x = rect.left() + (rect.width() - measured.width()) / 2;
  const int y = rect.top() + (rect.height() - fm.height()) / 2;
  painter.drawText(QRect(x, y, measured.width() + 1, fm.height()), Qt::AlignLeft | Qt::AlignTop | TextFlags(showMnemonic),
                   caption);
}
