#pragma once
// Warnings of the readers' decoders: a JPEG strip that ends before its
// rows, a message of the JPEG library. They are not errors (the picture
// loads), but the user is told, in a message box on the GUI thread.
//
// A load may run on the viewer's loader thread, which must never show a
// window. So a reader only posts its warning to this queue (at most one a
// load, see TReaderGraphic::Warning); the GUI side drains the queue and
// shows what it takes. The notifier, set once by the GUI side, is called
// after every post from the posting thread: it must only arrange for a
// drain on the GUI thread (a queued call), never show anything itself.
//
// Everything here is safe to call from any thread.
//
// A batch decodes on worker threads but tells the user everything in the
// order of its list: a worker holds a TReaderWarningCapture while it loads
// a file, and the GUI thread posts what it caught when that file's turn
// comes.

#include <functional>
#include <string>
#include <vector>

// Queues a warning and calls the notifier.
void PostReaderWarning(const std::string& text);

// Takes every queued warning, oldest first, and empties the queue.
std::vector<std::string> TakeReaderWarnings();

// The callback that arranges a drain; an empty function removes it.
void SetReaderWarningNotifier(std::function<void()> notifier);

// While one lives, warnings posted on the thread that made it are kept in
// it instead of being queued (and the notifier is not called). Captures
// nest: the newest one of a thread catches. Make and destroy it on the
// same thread.
class TReaderWarningCapture {
 public:
  TReaderWarningCapture();
  ~TReaderWarningCapture();
  TReaderWarningCapture(const TReaderWarningCapture&) = delete;
  TReaderWarningCapture& operator=(const TReaderWarningCapture&) = delete;

  // The warnings caught so far, oldest first; the capture starts empty
  // again.
  std::vector<std::string> Take();

 private:
  friend void PostReaderWarning(const std::string& text);
  std::vector<std::string> texts_;
  TReaderWarningCapture* previous_;
};

// The caption of the message box that shows a reader's warning.
inline constexpr const char* ReaderWarningCaption = "Warning";
