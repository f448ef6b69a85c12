#pragma once
// The skin of one popup menu while it is on screen: the skin component it
// is drawn with, what kind of menu it is, and the picture of its frame.

#include <QImage>
#include <QPointer>
#include <QSize>

class QMenu;
class TSkinData;

class TWinSkinPopMenu {
 public:
  // road: TMenuRoad, whose items the skin draws (mrSystem: only the
  // border).
  void Attach(QMenu* menu, TSkinData* data, int road);
  void Detach();
  // The menu is being destroyed: nothing more is done to it.
  void Forget() { menu_ = nullptr; }
  bool Attached() const { return attached_; }
  QMenu* Menu() const { return menu_; }
  TSkinData* Data() const { return data_; }
  int Road() const { return road_; }
  // The skin component went away: the popup keeps the system look.
  void ClearSkinData();
  // The picture of the frame at the menu's size (made again when the size
  // changes); null without a MenuBackground element.
  const QImage& FrameImage(QSize size);

 private:
  QPointer<QMenu> menu_;
  TSkinData* data_ = nullptr;
  int road_ = 0;
  bool attached_ = false;
  QImage frame_;
};
