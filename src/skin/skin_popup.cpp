#include "skin/skin_popup.h"

#include <QMenu>

#include "skin/skin_data.h"
#include "skin/skin_menu_draw.h"

void TWinSkinPopMenu::Attach(QMenu* menu, TSkinData* data, int road) {
  menu_ = menu;
  data_ = data;
  road_ = road;
  attached_ = true;
  frame_ = QImage();
  if (menu != nullptr) menu->update();
}

void TWinSkinPopMenu::Detach() {
  if (!attached_) return;
  attached_ = false;
  frame_ = QImage();
  if (menu_) menu_->update();
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
