#pragma once
// The GUI side of the readers' warnings (formats/common/reader_warnings.h):
// every post, from whichever thread loads, queues a call on the GUI
// thread's event loop that takes the queued warnings and shows each in a
// "Warning" message box with the exclamation icon.

// Connects the queue to the event loop of the running QApplication.
void InstallReaderWarningDisplay();
// Disconnects it; warnings posted afterwards stay queued.
void RemoveReaderWarningDisplay();
// Shows every queued warning now (on the GUI thread).
void ShowReaderWarnings();
