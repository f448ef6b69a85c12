#pragma once
// Changing a window's flags without the traps of QWidget::setWindowFlags,
// which hides a window that is on screen and makes its native window
// anew: a dialog inside exec() would leave it, and an OpenGL view would
// lose its context.

#include <QSize>
#include <Qt>

class QWidget;

// Sets or clears one flag. A window without a native window just takes the
// flag. One with a native window keeps it, on screen or not (Qt makes the
// native window before it polishes a window it shows, and making it anew
// half-way through showing leaves the widget believing it has none): the
// widget's flags change and the window system is told of the new ones.
void SetWindowFlagLive(QWidget& window, Qt::WindowType flag, bool on);

// Switches a window on screen to or from the borderless look by making its
// native window anew, as only a main window may be: the window is shown
// again with the state (maximised, full screen) and the activation it had.
// In the normal state the visible window keeps its top-left corner (its
// frame's, whichever frame it has before and after) and takes clientSize
// (its own size when that is empty). A window not on screen just takes the
// flag.
void RecreateWithFlag(QWidget& window, Qt::WindowType flag, bool on, QSize clientSize = QSize());
