#pragma once
// Whether a window manager looks after the program's windows. Without one
// (a bare X server) nothing frames, iconifies or moves a window: the skin
// then offers no command that only a window manager can carry out.

#include <optional>
#include <string>

// The decision from what the desktop tells: the platform's name and, on
// X11, whether the root window names the check window that a running
// window manager keeps there (nothing when it could not be asked).
bool WindowManagerPresent(const std::string& platform, std::optional<bool> x11ManagerCheck);

// The answer for this run, found on the first call and kept.
bool HasWindowManager();

// Tests give the answer themselves; nothing finds it again on the next
// call.
void SetWindowManagerAnswer(std::optional<bool> present);
