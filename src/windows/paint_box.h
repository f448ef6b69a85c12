#pragma once
// A paint box: a widget that hands its painting, the mouse and the wheel
// to handlers its owner sets. What a handler raises is shown in an error
// box and goes no further, as for every event of the program. An event
// without a handler gets Qt's default: a double click is another press,
// the context menu and the wheel go on to the parent.

#include <QPoint>
#include <QWidget>

#include <functional>

class QPainter;

class TPaintBox : public QWidget {
  Q_OBJECT

 public:
  explicit TPaintBox(QWidget* parent = nullptr);

  // The painter is open on the box.
  std::function<void(QPainter&)> OnPaint;
  std::function<void(Qt::MouseButton, Qt::MouseButtons, QPoint)> OnMouseDown;
  std::function<void(Qt::MouseButtons, QPoint)> OnMouseMove;
  std::function<void(Qt::MouseButton, QPoint)> OnMouseUp;
  std::function<void(Qt::MouseButton, QPoint)> OnDoubleClick;
  std::function<void(QPoint globalPos)> OnContextMenu;
  // The wheel's vertical turn in eighths of a degree.
  std::function<void(int delta)> OnWheel;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
};
