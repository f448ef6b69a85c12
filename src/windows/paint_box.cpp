#include "windows/paint_box.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include "windows/form_support.h"

TPaintBox::TPaintBox(QWidget* parent) : QWidget(parent) {}

void TPaintBox::paintEvent(QPaintEvent*) {
  Guarded([this] {
    QPainter painter(this);
    if (OnPaint) OnPaint(painter);
  });
}

void TPaintBox::mousePressEvent(QMouseEvent* event) {
  Guarded([&] {
    if (OnMouseDown) OnMouseDown(event->button(), event->buttons(), event->position().toPoint());
  });
}

void TPaintBox::mouseMoveEvent(QMouseEvent* event) {
  Guarded([&] {
    if (OnMouseMove) OnMouseMove(event->buttons(), event->position().toPoint());
  });
}

void TPaintBox::mouseReleaseEvent(QMouseEvent* event) {
  Guarded([&] {
    if (OnMouseUp) OnMouseUp(event->button(), event->position().toPoint());
  });
}

void TPaintBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (!OnDoubleClick) {
    QWidget::mouseDoubleClickEvent(event);
    return;
  }
  Guarded([&] { OnDoubleClick(event->button(), event->position().toPoint()); });
}

void TPaintBox::contextMenuEvent(QContextMenuEvent* event) {
  if (!OnContextMenu) {
    QWidget::contextMenuEvent(event);
    return;
  }
  Guarded([&] { OnContextMenu(event->globalPos()); });
}

void TPaintBox::wheelEvent(QWheelEvent* event) {
  if (!OnWheel) {
    QWidget::wheelEvent(event);
    return;
  }
  Guarded([&] { OnWheel(event->angleDelta().y()); });
}
