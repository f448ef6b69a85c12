#include "skin/window_flags.h"

#include <QWidget>
#include <QWindow>

void SetWindowFlagLive(QWidget& window, Qt::WindowType flag, bool on) {
  const Qt::WindowFlags wanted = on ? (window.windowFlags() | flag) : (window.windowFlags() & ~flag);
  if (wanted == window.windowFlags()) return;
  QWindow* native = window.windowHandle();
  if (native == nullptr) {
    window.setWindowFlag(flag, on);
    return;
  }
  window.overrideWindowFlags(wanted);
  native->setFlags(wanted);
}

void RecreateWithFlag(QWidget& window, Qt::WindowType flag, bool on) {
  if (((window.windowFlags() & flag) != 0) == on) return;
  if (!window.isVisible()) {
    window.setWindowFlag(flag, on);
    return;
  }
  const Qt::WindowStates state = window.windowState();
  const QRect normal = state & (Qt::WindowMaximized | Qt::WindowFullScreen) ? window.normalGeometry() : window.geometry();
  const bool active = window.isActiveWindow();
  window.setWindowFlag(flag, on);
  if (normal.isValid()) window.setGeometry(normal);
  window.setWindowState(state);
  window.show();
  if (active) window.activateWindow();
}
