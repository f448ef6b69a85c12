#include "skin/skin_style.h"

#include <QApplication>
#include <QFontInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

#include "skin/skin_data.h"
#include "skin/skin_form.h"
#include "skin/skin_manager.h"
#include "skin/skin_menu_draw.h"
#include "skin/skin_popup.h"

namespace {

QStyle* ApplicationStyleCopy() {
  QStyle* copy = QApplication::style() != nullptr ? QStyleFactory::create(QApplication::style()->name()) : nullptr;
  return copy != nullptr ? copy : QStyleFactory::create("fusion");
}

bool HasMenuBackground(const TSkinData& data) {
  const TDataSkinObject* e = data.Skin().MenuBackground.get();
  return e != nullptr && !e->Bitmap.isNull();
}

}  // namespace

TSkinStyle::TSkinStyle(TSkinManage& manager) : QProxyStyle(ApplicationStyleCopy()), manager_(manager) {
  setObjectName("SkinStyle");
}

TWinSkinPopMenu* TSkinStyle::PopupOf(const QWidget* widget) const {
  const auto* menu = qobject_cast<const QMenu*>(widget);
  if (menu == nullptr || !manager_.Enabled()) return nullptr;
  TWinSkinPopMenu* popup = manager_.PopupSkin(menu);
  if (popup == nullptr || !popup->Attached() || popup->Data() == nullptr || !popup->Data()->SkinLoaded()) {
    return nullptr;
  }
  return popup;
}

TWinSkinForm* TSkinStyle::BarOwner(const QWidget* widget) const {
  if (qobject_cast<const QMenuBar*>(widget) == nullptr) return nullptr;
  TWinSkinForm* form = manager_.WindowOfMenuBar(widget);
  if (form == nullptr || form->MenuBar() == nullptr || form->Data() == nullptr || !form->Data()->SkinLoaded()) {
    return nullptr;
  }
  return form;
}

bool TSkinStyle::SkinDrawsItem(const TWinSkinPopMenu& popup, const QMenu& menu, const QStyleOption* option) const {
  if (popup.Road() == mrSystem || option == nullptr) return false;
  const QAction* action = menu.actionAt(option->rect.center());
  return action == nullptr || TagOf(action) != SystemLookItemTag;
}

int TSkinStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const {
  switch (metric) {
    case PM_MenuPanelWidth:
    case PM_MenuHMargin:
    case PM_MenuVMargin:
      if (TWinSkinPopMenu* popup = PopupOf(widget); popup != nullptr && HasMenuBackground(*popup->Data())) {
        return metric == PM_MenuPanelWidth ? PopupBorderWidth : 0;
      }
      break;
    case PM_MenuBarHMargin:
      if (TWinSkinForm* form = BarOwner(widget)) return MenuBarStartX(*form->Data(), widget->width());
      break;
    case PM_MenuBarVMargin:
    case PM_MenuBarPanelWidth:
    case PM_MenuBarItemSpacing:
      if (BarOwner(widget) != nullptr) return 0;
      break;
    default:
      break;
  }
  return QProxyStyle::pixelMetric(metric, option, widget);
}

QSize TSkinStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                   const QWidget* widget) const {
  switch (type) {
    case CT_MenuItem:
      if (TWinSkinPopMenu* popup = PopupOf(widget)) {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (item != nullptr && SkinDrawsItem(*popup, *static_cast<const QMenu*>(widget), option)) {
          const QSize proposed = QProxyStyle::sizeFromContents(type, option, size, widget);
          const bool separator = item->menuItemType == QStyleOptionMenuItem::Separator;
          return SkinMenuItemSize(popup->Road(), proposed, size, separator, item->text.isEmpty());
        }
      }
      break;
    case CT_MenuBarItem:
      if (TWinSkinForm* form = BarOwner(widget)) {
        return {size.width() + MenuBarItemPadding, form->MenuBar()->Height() - 1};
      }
      break;
    case CT_MenuBar:
      if (TWinSkinForm* form = BarOwner(widget)) return {size.width(), form->MenuBar()->Height()};
      break;
    default:
      break;
  }
  return QProxyStyle::sizeFromContents(type, option, size, widget);
}

int TSkinStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                          QStyleHintReturn* returnData) const {
  if (hint == SH_MainWindow_SpaceBelowMenuBar && BarOwner(widget) != nullptr) return 0;
  return QProxyStyle::styleHint(hint, option, widget, returnData);
}

void TSkinStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                               const QWidget* widget) const {
  switch (element) {
    case PE_FrameMenu:
      if (TWinSkinPopMenu* popup = PopupOf(widget)) {
        const QImage& frame = popup->FrameImage(widget->size());
        if (!frame.isNull()) {
          PaintPopupBorder(*painter, frame);
          return;
        }
      }
      break;
    case PE_PanelMenu:
      if (TWinSkinPopMenu* popup = PopupOf(widget); popup != nullptr && popup->Road() != mrSystem) {
        const QImage& frame = popup->FrameImage(widget->size());
        if (frame.isNull()) {
          painter->fillRect(option->rect, popup->Data()->Colours().Menu);
        } else {
          painter->drawImage(option->rect, frame, option->rect);
        }
        return;
      }
      break;
    case PE_PanelMenuBar:
      if (BarOwner(widget) != nullptr) return;
      break;
    default:
      break;
  }
  QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void TSkinStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                             const QWidget* widget) const {
  switch (element) {
    case CE_MenuItem:
      if (TWinSkinPopMenu* popup = PopupOf(widget)) {
        const auto* opt = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (opt != nullptr && SkinDrawsItem(*popup, *static_cast<const QMenu*>(widget), option)) {
          TSkinMenuItem item;
          item.Rect = opt->rect;
          item.Road = popup->Road();
          const qsizetype tab = opt->text.indexOf('\t');
          item.Caption = tab < 0 ? opt->text : opt->text.left(tab);
          item.Shortcut = tab < 0 ? QString() : opt->text.mid(tab + 1);
          item.Separator = opt->menuItemType == QStyleOptionMenuItem::Separator;
          item.SubMenu = opt->menuItemType == QStyleOptionMenuItem::SubMenu;
          item.Selected = (opt->state & State_Selected) != 0;
          item.Enabled = (opt->state & State_Enabled) != 0;
          item.Checked = opt->checkType != QStyleOptionMenuItem::NotCheckable && opt->checked;
          item.Default = opt->menuItemType == QStyleOptionMenuItem::DefaultItem;
          item.RightToLeft = opt->direction == Qt::RightToLeft;
          item.ShowMnemonic = proxy()->styleHint(SH_UnderlineShortcut, option, widget) != 0;
          item.Icon = opt->icon;
          // Sized in pixels, so that the item's picture shows it as the menu
          // measured it.
          item.Font = opt->font;
          item.Font.setPixelSize(QFontInfo(opt->font).pixelSize());
          DrawSkinMenuItem(*painter, *popup->Data(), popup->FrameImage(widget->size()), item);
          return;
        }
      }
      break;
    case CE_MenuEmptyArea:
      if (TWinSkinPopMenu* popup = PopupOf(widget); popup != nullptr && popup->Road() != mrSystem) {
        drawPrimitive(PE_PanelMenu, option, painter, widget);
        return;
      }
      break;
    case CE_MenuBarEmptyArea:
      if (TWinSkinForm* form = BarOwner(widget)) {
        painter->drawImage(QPoint(0, 0), form->MenuBar()->Background());
        return;
      }
      break;
    case CE_MenuBarItem:
      if (TWinSkinForm* form = BarOwner(widget)) {
        if (const auto* opt = qstyleoption_cast<const QStyleOptionMenuItem*>(option)) {
          const bool hot = (opt->state & (State_Selected | State_Sunken)) != 0;
          DrawSkinMenuBarItem(*painter, *form->Data(), form->MenuBar()->Background(), opt->rect, opt->text,
                              (opt->state & State_Enabled) != 0, hot, opt->font,
                              proxy()->styleHint(SH_UnderlineShortcut, option, widget) != 0);
          return;
        }
      }
      break;
    default:
      break;
  }
  QProxyStyle::drawControl(element, option, painter, widget);
}
