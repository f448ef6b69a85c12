#pragma once
// The animation timer the GIF painter waits through: a one-shot QTimer on
// the GUI thread, so frames are only ever touched by that thread.

// Installs the timer factory for every GIF painter made from now on.
void InstallGIFAnimationTimers();
// Removes it again (animations then show their first frame only).
void RemoveGIFAnimationTimers();
