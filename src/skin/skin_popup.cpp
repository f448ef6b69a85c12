#include "skin/skin_popup.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMenu>

#include "skin/skin_data.h"
#include "skin/skin_menu_draw.h"

namespace {

// A menu keeps the item sizes it measured last (its parent asks for its
// size before it shows, still without a skin): it measures them again.
void Remeasure(QMenu* menu) {
  if (menu == nullptr) return;
  QEvent change(QEvent::StyleChange);
  QCoreApplication::sendEvent(menu, &change);
}

}  // namespace

void TWinSkinPopMenu::Attach(QMenu* menu, TSkinData* data, int road) {
  menu_ = menu;
  data_ = data;
  road_ = road;
  attached_ = true;
  frame_ = QImage();
  Remeasure(menu);
}

void TWinSkinPopMenu::Detach() {
  if (!attached_) return;
  attached_ = false;
  frame_ = QImage();
  Remeasure(menu_);
}

void TWinSkinPopMenu::ClearSkinData() {
  data_ = nullptr;
  frame_ = QImage();
}

const QImage& TWinSkinPopMenu::FrameImage(QSize size) {
  if (data_ == nullptr) {
    frame_ = QImage();
  } else if (frame_.size() != size) {
    frame_ = MakePopupFrameImage(*data_, size);
  }
  return frame_;
}
