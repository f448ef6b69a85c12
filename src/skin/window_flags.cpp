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

void RecreateWithFlag(QWidget& window, Qt::WindowType flag, bool on, QSize clientSize) {
  if (((window.windowFlags() & flag) != 0) == on) return;
  if (!window.isVisible()) {
    window.setWindowFlag(flag, on);
    return;
  }
  const Qt::WindowStates state = window.windowState();
  const bool normalState = !(state & (Qt::WindowMaximized | Qt::WindowFullScreen));
  const QRect normal = normalState ? window.geometry() : window.normalGeometry();
  const QPoint corner = window.frameGeometry().topLeft();
  if (clientSize.isEmpty()) clientSize = normal.size();
  const bool active = window.isActiveWindow();
  window.setWindowFlag(flag, on);
  if (normalState) {
    // A move before the window is shown again places its frame, which a
    // window manager adds only later; a move after it would place the
    // inner area there and shift the window by the frame on every switch.
    window.resize(clientSize);
    window.move(corner);
  } else if (normal.isValid()) {
    window.setGeometry(normal);
  }
  window.setWindowState(state);
  window.show();
  if (active) window.activateWindow();
}
