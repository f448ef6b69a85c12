#pragma once
// Whether a window manager looks after the program's windows. Without one
// (a bare X server) nothing frames, iconifies or moves a window: the skin
// then offers no command that only a window manager can carry out.

#include <QPoint>

#include <optional>
#include <string>

class QWindow;

// The decision from what the desktop tells: the platform's name and, on
// X11, whether the root window names the check window that a running
// window manager keeps there (nothing when it could not be asked).
bool WindowManagerPresent(const std::string& platform, std::optional<bool> x11ManagerCheck);

// The answer for this run, found on the first call and kept.
bool HasWindowManager();

// Tests give the answer themselves; nothing finds it again on the next
// call.
void SetWindowManagerAnswer(std::optional<bool> present);

// Where the window system shows a window's top-left corner, asked of the
// X server at the time of the call. Qt keeps the place last reported, and
// a window manager that frames a window without a border (every skinned
// window) can report it at the new frame's corner, 0,0, before it moves
// the frame to where the window asked to be, and then report nothing
// more. Nothing where it cannot be asked (other platforms, a window
// without its native window).
std::optional<QPoint> WindowOriginOnScreen(const QWindow& window);

// Asks the window system to put a window's corner at origin and nothing
// more: a request with the size Qt knows would undo a resize the window
// manager has not carried out yet. The window manager answers with the
// window's place and size, which Qt then keeps. False where it cannot be
// asked (other platforms, and while tests give the answer themselves).
bool AskToPlaceWindow(const QWindow& window, QPoint origin);

// Tests give the answer themselves (nothing: ask the window system).
void SetWindowOriginAnswer(std::optional<QPoint> origin);

// Qt minimising a window itself also marks it, in the hints the window
// manager reads whenever the window is mapped, to be shown minimised;
// when the window manager restores it (from a task bar), Qt leaves that
// mark, so the next time the window is hidden and shown again (a skin
// switch, the main window coming back after the viewer) it is minimised
// once more. Takes the mark away; true when there was one to take.
bool ForgetIconicStart(const QWindow& window);
