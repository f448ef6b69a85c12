#pragma once
// How the skin draws menus: the popup menu's border, its items, and a
// window's menu bar with its items. Plain routines on pictures, so that
// tests look at their pixels without a menu on screen.

#include <QFont>
#include <QIcon>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

class QPainter;
class TSkinData;

// A popup menu's frame: the MenuBackground element as a nine-part image
// of the menu's size (one frame; its middle stretched, or tiled when the
// element's Tile is 1). Null when the skin has no such element.
QImage MakePopupFrameImage(const TSkinData& data, QSize size);

// The width of a popup menu's skinned border.
inline constexpr int PopupBorderWidth = 3;

// Draws only the border of frame (PopupBorderWidth wide) at the painter's
// origin; the menu's own painting inside stays.
void PaintPopupBorder(QPainter& painter, const QImage& frame);

// The two kinds of menus whose items the skin draws.
enum TMenuRoad {
  // Not drawn by the skin (the popup keeps only its border).
  mrSystem = 0,
  // A form's popup menu (and its submenus).
  mrFormPopup = 1,
  // A submenu of a skinned window's menu bar.
  mrWindowMenu = 2,
};

// Item sizes. A form's popup item is the proposed size and 28 wider (a
// separator at least MenuSeparatorHeight high: the style proposes as
// little as 2 pixels, too few for the rows of the skin's separator
// strip); an item of a window's menu is its text and 26 wide (the
// shortcut column comes on top) and 4 higher than proposed, a separator
// or an item without text MenuSeparatorHeight high.
inline constexpr int MenuSeparatorHeight = 8;
QSize SkinMenuItemSize(int road, QSize proposed, QSize text, bool separator, bool emptyText);

// One menu item to draw.
struct TSkinMenuItem {
  // Where it lies in the menu (the menu's own coordinates, its border
  // included); the picture is drawn there.
  QRect Rect;
  int Road = mrFormPopup;
  QString Caption;  // with "&" marking the underlined letter
  QString Shortcut;
  bool Separator = false;
  // Opens a submenu: an arrow at the right end.
  bool SubMenu = false;
  bool Selected = false;
  bool Enabled = true;
  bool Checked = false;
  bool Default = false;
  bool RightToLeft = false;
  bool ShowMnemonic = true;
  QIcon Icon;
  QFont Font;
};

// The glyph box: 16 x 16 at one pixel in from the item's top-left corner.
inline constexpr int MenuGlyphSize = 16;
// The caption starts this far from the item's left (the glyph box's right
// edge + 3); a separator's line 3 pixels in.
inline constexpr int MenuTextLeft = 20;

// Draws an item: its background cut from the popup's frame picture at the
// item's place (the skin's Menu colour without one), then with a MenuItem
// element that element (frame 4 when selected, 1 otherwise; a form
// popup's separator shows the bottom rows of frame 2 instead), or without
// it the Hilight or ButtonFace colour, and on top the glyph box, the
// caption and the shortcut.
void DrawSkinMenuItem(QPainter& painter, const TSkinData& data, const QImage& popupFrame, const TSkinMenuItem& item);

// The disabled text colour: the skin's ButtonShadow, or the system's
// button shadow when the skin gives ButtonShadow and MenuText alike.
QColor DisabledMenuTextColour(const TSkinData& data);

// ---- The menu bar ------------------------------------------------------------

// The bar's background: the menu-bar element (two stacked frames, 1
// active, 2 inactive) across the bar, as a nine-part image with a
// stretched middle when its TileMenu is 1 and as a three-part strip
// otherwise; the Menubar colour without the element.
QImage MakeMenuBarImage(const TSkinData& data, QSize size, bool active);

// Where the first item starts: the element's left cap + 4 (12 when that
// does not fit the bar), or 6 without the element.
int MenuBarStartX(const TSkinData& data, int barWidth);

// The extra width of an item beyond its caption.
inline constexpr int MenuBarItemPadding = 10;

// One item of the bar: its column of the background, a one-pixel outline
// in the ButtonHilight colour when hot or pressed, and the caption centred
// (MenuBarText, or the system's button shadow when disabled). rect is the
// item's place in the bar; background is the whole bar's picture.
void DrawSkinMenuBarItem(QPainter& painter, const TSkinData& data, const QImage& background, const QRect& rect,
                         const QString& caption, bool enabled, bool hot, const QFont& font, bool showMnemonic);
