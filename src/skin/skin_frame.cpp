#include "skin/skin_frame.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "skin/skin_data.h"
#include "skin/skin_draw.h"

namespace {

// A rectangle from its four edges (right and bottom exclusive).
QRect Edges(int left, int top, int right, int bottom) { return QRect(left, top, right - left, bottom - top); }

int RightOf(const QRect& r) { return r.left() + r.width(); }

int EdgeThickness(const TDataSkinBorder& e, bool stacked) {
  if (e.Bitmap.isNull()) return 0;
  const int count = std::max(1, e.FrameCount);
  return stacked ? e.Bitmap.height() / count : e.Bitmap.width() / count;
}

const TDataSkinBorder& EdgeOf(const TSkinDescription& skin, int edge) {
  switch (edge) {
    case 1:
      return skin.Left;
    case 2:
      return skin.Right;
    case 3:
      return skin.Top;
    default:
      return skin.Bottom;
  }
}

void DrawButtonFrame(QImage& strip, const TDataSkinSysButton& b, const QImage& icon, const QRect& bounds, int frame) {
  if (IsSystemMenuButton(b)) {
    DrawSkinFrame(strip, bounds, icon, true, 1, 1);
  } else {
    DrawSkinFrame(strip, bounds, b.Bitmap, true, b.FrameCount, frame);
  }
}

bool ButtonHasPicture(const TDataSkinSysButton& b, const QImage& icon) {
  return IsSystemMenuButton(b) ? !icon.isNull() : !b.Bitmap.isNull();
}

}  // namespace

TFrameSizes SkinFrameSizes(const TSkinDescription& skin, int frameKind) {
  if (frameKind == fkBorderless) return {};
  return {EdgeThickness(skin.Left, false), EdgeThickness(skin.Top, true), EdgeThickness(skin.Right, false),
          EdgeThickness(skin.Bottom, true)};
}

bool VisibilityAllows(int value, bool visibility, int action, const TFrameLook& look) {
  const bool maximised = look.ShowState == ssMaximized;
  const bool systemMenu = (look.CaptionButtons & cbSystemMenu) != 0;
  const bool maxBox = (look.CaptionButtons & cbMaximize) != 0;
  const bool minBox = (look.CaptionButtons & cbMinimize) != 0;
  switch (value) {
    case 0:
      if (!visibility) return true;
      return look.FrameKind != fkThin && (action != 0 || systemMenu);
    case 1:
      return maximised;
    case 2:
      return !maximised;
    case 3:
      return look.Active;
    case 4:
      return !look.Active;
    case 5:
      return false;
    case 6:
      return maxBox && (!visibility || systemMenu);
    case 7:
      return !maxBox;
    case 8:
      return minBox && (!visibility || systemMenu);
    case 9:
      return !minBox;
    case 100:
      return false;
    default:
      return value >= 200 && value <= 2000;
  }
}

bool TitleButtonVisible(const TDataSkinSysButton& b, const TFrameLook& look) {
  if (!VisibilityAllows(b.Visibility, true, b.Action, look)) return false;
  if (!VisibilityAllows(b.Visibility1, false, b.Action, look)) return false;
  if (b.Action == 1 && (look.CaptionButtons & cbMaximize) == 0) return false;
  if (b.Action == 2 && (look.CaptionButtons & cbMinimize) == 0) return false;
  return true;
}

QSize TitleButtonSize(const TDataSkinSysButton& b, const QImage& icon) {
  if (IsSystemMenuButton(b) && b.Bitmap.isNull()) return icon.size();
  if (b.Bitmap.isNull()) return {0, 0};
  const int count = IsSystemMenuButton(b) ? 1 : std::max(1, b.FrameCount);
  return {b.Bitmap.width() / count, b.Bitmap.height()};
}

QRect PlaceTitleButton(const TDataSkinSysButton& b, QSize size, int windowWidth, const QRect& captionText,
                       const TFrameSizes& frame, int menuHeight, const TSkinDescription& skin) {
  QPoint at(0, 0);
  switch (b.Align) {
    case 0:
      at = {b.Xcoord, b.Ycoord};
      break;
    case 1:
      at = {windowWidth - b.Xcoord, b.Ycoord};
      break;
    case 2:
    case 8:
      at = {captionText.left() - b.Xcoord - size.width(), b.Ycoord};
      break;
    case 3:
    case 9:
      at = {RightOf(captionText) + b.Xcoord, b.Ycoord};
      break;
    case 100: {
      int x = windowWidth - b.Xcoord - frame.Right;
      if (skin.MenuBar) x -= skin.MenuBar->LeftWidth;
      at = {x, frame.Top + (menuHeight - size.height()) / 2};
      break;
    }
    default:
      break;
  }
  return {at, size};
}

TCaptionPlace PlaceCaption(const TDataSkinTitle& title, const QRect& area, QSize measured) {
  int left = area.left();
  int top = area.top();
  int right = left + measured.width() + title.TextBackLeft + title.TextBackRight;
  int bottom = top + measured.height();
  const int boxWidth = right - left;
  int dx = 0;
  switch (title.TextAlignment) {
    case 0:
      dx = title.TextShift;
      break;
    case 1:
      dx = (area.width() - boxWidth) / 2;
      break;
    case 2:
      dx = area.width() + title.TextRightClip - boxWidth;
      break;
    default:
      break;
  }
  const int dy = (area.height() - (bottom - top)) / 2 + title.TextShiftVert / 2;
  left += dx;
  right += dx;
  top += dy;
  bottom += dy;
  right = std::min(right, RightOf(area) - title.TextRightClip);
  return {Edges(left, top, right, bottom),
          Edges(left + title.TextBackLeft, top, right - title.TextBackRight, bottom)};
}

QImage PaintSkinEdge(const TSkinDescription& skin, int edge, QSize size, bool active) {
  const TDataSkinBorder& e = EdgeOf(skin, edge);
  const bool stacked = edge == 3 || edge == 4;
  const int frame = (active || e.FrameCount <= 1) ? 1 : 2;
  return MakeNinePartImage(size, e.Bitmap, e.Margins(), stacked, e.TileMiddle(), e.FrameCount, frame);
}

TFramePicture ComposeFrame(const TSkinData& data, const TFrameLook& look, const std::vector<int>& buttonStates) {
  const TSkinDescription& skin = data.Skin();
  TFramePicture pic;
  pic.Size = look.Size;
  pic.Active = look.Active;
  pic.Sizes = SkinFrameSizes(skin, look.FrameKind);
  pic.Buttons.resize(skin.SysButtons.size());
  if (look.Size.isEmpty() || !data.SkinLoaded() || look.FrameKind == fkBorderless) return pic;

  const int w = look.Size.width();
  const int h = look.Size.height();
  const TFrameSizes& f = pic.Sizes;
  if (f.Left > 0) pic.Left = PaintSkinEdge(skin, 1, {f.Left, h}, look.Active);
  if (f.Right > 0) pic.Right = PaintSkinEdge(skin, 2, {f.Right, h}, look.Active);
  if (f.Bottom > 0 && w - f.Left - f.Right > 0) {
    pic.Bottom = PaintSkinEdge(skin, 4, {w - f.Left - f.Right, f.Bottom}, look.Active);
  }
  const QRect area = Edges(f.Left, 0, w - f.Right, f.Top);
  // The caption is measured on the picture it is drawn on.
  QImage strip(std::max(w, 1), std::max(f.Top, 1), QImage::Format_RGB32);
  const QFontMetrics metrics(look.CaptionFont, &strip);
  const int textWidth = static_cast<int>(std::ceil(QFontMetricsF(look.CaptionFont, &strip).horizontalAdvance(look.Caption)));
  const TCaptionPlace caption = PlaceCaption(skin.Title, area, QSize(textWidth, metrics.height()));
  pic.CaptionText = caption.Box;

  if (f.Top > 0) {
    // The strip starts with what lies there already: the side edges' tops.
    strip.fill(data.Colours().ButtonFace);
    if (!pic.Left.isNull()) StretchSkinBitmap(strip, {0, 0, f.Left, f.Top}, pic.Left, {0, 0, f.Left, f.Top});
    if (!pic.Right.isNull()) {
      StretchSkinBitmap(strip, {w - f.Right, 0, f.Right, f.Top}, pic.Right, {0, 0, f.Right, f.Top});
    }
    if (area.width() > 0) {
      const QImage top = PaintSkinEdge(skin, 3, area.size(), look.Active);
      StretchSkinBitmap(strip, area, top, top.rect());
    }
    const TDataSkinTitle& title = skin.Title;
    if (!title.Bitmap.isNull()) {
      DrawSkinStrip(strip, Edges(caption.Box.left(), 0, RightOf(caption.Box), f.Top), title.Bitmap, true, true,
                    title.FrameCount, look.Active ? 1 : 2, {title.TextBackLeft, 0, title.TextBackRight, 0});
    }
    if (caption.Text.width() > 0 && !look.Caption.isEmpty()) {
      QPainter p(&strip);
      p.setFont(look.CaptionFont);
      p.setPen(data.CaptionTextColour(look.Active));
      p.drawText(caption.Text, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                 metrics.elidedText(look.Caption, Qt::ElideRight, caption.Text.width()));
    }
    pic.Strip = std::move(strip);
  }

  for (std::size_t i = 0; i < skin.SysButtons.size(); ++i) {
    const TDataSkinSysButton& b = skin.SysButtons[i];
    TTitleButtonPlace& place = pic.Buttons[i];
    place.Shown = TitleButtonVisible(b, look);
    place.Bounds = PlaceTitleButton(b, TitleButtonSize(b, look.Icon), w, caption.Box, f, 0, skin);
    if (!place.Shown || b.Visibility == 100 || pic.Strip.isNull() || !ButtonHasPicture(b, look.Icon)) continue;
    const int idle = (look.Active || b.FrameCount < 4) ? 1 : 4;
    DrawButtonFrame(pic.Strip, b, look.Icon, place.Bounds, idle);
    const int state = i < buttonStates.size() ? buttonStates[i] : 1;
    if (state == 2 || state == 3) DrawButtonFrame(pic.Strip, b, look.Icon, place.Bounds, state);
  }
  return pic;
}

std::optional<QRegion> FrameRegion(const TSkinDescription& skin, const TFramePicture& picture) {
  if (skin.Left.Trans == 0 && skin.Right.Trans == 0 && skin.Top.Trans == 0 && skin.Bottom.Trans == 0) {
    return std::nullopt;
  }
  const int w = picture.Size.width();
  const int h = picture.Size.height();
  const TFrameSizes& f = picture.Sizes;
  QRegion region(Edges(f.Left, f.Top, w - f.Right, h - f.Bottom));
  if (picture.Empty()) return region;
  const auto shaped = [](const QImage& image, int x, int y) { return RegionFromBitmap(image, x, y, 1, 1, 1); };

  const QRegion left = (skin.Left.Trans == 1 && h >= 2 && !picture.Left.isNull())
                           ? shaped(picture.Left, 0, 0)
                           : QRegion(Edges(0, 0, f.Left, h));
  const QRegion right = (skin.Right.Trans == 1 && h >= 2 && !picture.Right.isNull())
                            ? shaped(picture.Right, w - f.Right, 0)
                            : QRegion(Edges(w - f.Right, 0, w, h));
  const QRegion bottom = (skin.Bottom.Trans == 1 && f.Bottom >= 2 && !picture.Bottom.isNull())
                             ? shaped(picture.Bottom, f.Left, h - f.Bottom)
                             : QRegion(Edges(f.Left, h - f.Bottom, w - f.Right, h));
  const QRect topArea = Edges(f.Left, 0, w - f.Right, f.Top);
  QRegion top(topArea);
  if (skin.Top.Trans == 1 && f.Top >= 2 && !topArea.isEmpty()) {
    const QImage strip = picture.Strip.isNull() ? PaintSkinEdge(skin, 3, topArea.size(), picture.Active)
                                                : picture.Strip.copy(topArea);
    top = shaped(strip, f.Left, 0);
  }
  return region.united(left.united(right)).united(top.united(bottom));
}

void PaintFramePicture(QPainter& painter, const TFramePicture& picture) {
  const TFrameSizes& f = picture.Sizes;
  const int w = picture.Size.width();
  const int h = picture.Size.height();
  if (!picture.Left.isNull()) painter.drawImage(QPoint(0, 0), picture.Left);
  if (!picture.Right.isNull()) painter.drawImage(QPoint(w - f.Right, 0), picture.Right);
  if (!picture.Bottom.isNull()) painter.drawImage(QPoint(f.Left, h - f.Bottom), picture.Bottom);
  if (!picture.Strip.isNull()) painter.drawImage(QPoint(0, 0), picture.Strip);
}

TFrameHit HitTestFrame(QPoint p, QSize size, const TFrameSizes& f, bool sizeable) {
  const int w = size.width();
  const int h = size.height();
  if (p.x() < 0 || p.y() < 0 || p.x() >= w || p.y() >= h) return fhBorder;
  if (Edges(f.Left, f.Top, w - f.Right, h - f.Bottom).contains(p)) return fhClient;
  if (sizeable) {
    const int band = std::min(f.Top, FrameSizingBand);
    const bool left = p.x() < f.Left;
    const bool right = p.x() >= w - f.Right;
    const bool top = p.y() < band;
    const bool bottom = p.y() >= h - f.Bottom;
    const bool nearTop = p.y() < FrameCornerLength;
    const bool nearBottom = p.y() >= h - FrameCornerLength;
    const bool nearLeft = p.x() < FrameCornerLength;
    const bool nearRight = p.x() >= w - FrameCornerLength;
    if ((left && nearTop) || (top && nearLeft)) return fhTopLeft;
    if ((right && nearTop) || (top && nearRight)) return fhTopRight;
    if ((left && nearBottom) || (bottom && nearLeft)) return fhBottomLeft;
    if ((right && nearBottom) || (bottom && nearRight)) return fhBottomRight;
    if (left) return fhLeft;
    if (right) return fhRight;
    if (top) return fhTop;
    if (bottom) return fhBottom;
  }
  return p.y() < f.Top ? fhCaption : fhBorder;
}
