#pragma once
// The style the skin gives popup menus (when they are polished) and the
// menu bars of skinned windows (while they are skinned). It draws exactly
// as the application's style does, except:
//
// - a popup menu with a popup skin whose skin has a MenuBackground gets a
//   3-pixel border cut from it, with the items straight inside;
// - the items of a form's popup menus and of a skinned menu bar's
//   submenus are measured and drawn by the skin (skin_menu_draw.h), but
//   an item whose action has the Tag 999 keeps the system look;
// - a skinned window's menu bar is as high as the window's menu bar was,
//   starts its items where the skin says, makes each its caption and 10
//   pixels wide, and is drawn from the skin.

#include <QProxyStyle>

class QMenu;
class TSkinManage;
class TWinSkinPopMenu;
class TWinSkinForm;

// The Tag of a menu item that keeps the system look.
inline constexpr int SystemLookItemTag = 999;

class TSkinStyle : public QProxyStyle {
  Q_OBJECT

 public:
  explicit TSkinStyle(TSkinManage& manager);

  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override;
  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override;
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override;
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override;

 private:
  // The popup skin of a menu that shows with one (and a skin loaded).
  TWinSkinPopMenu* PopupOf(const QWidget* widget) const;
  // The skinned window of a menu bar the skin draws.
  TWinSkinForm* BarOwner(const QWidget* widget) const;
  bool SkinDrawsItem(const TWinSkinPopMenu& popup, const QMenu& menu, const QStyleOption* option) const;

  TSkinManage& manager_;
};
