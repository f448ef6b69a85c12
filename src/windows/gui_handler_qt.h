#pragma once
// The window side of the program's message boxes, message pump,
// clipboard, fonts and desktop hand-over, installed at start-up.

#include <QPointer>

#include "app/gui_handler.h"

class QWidget;

class TQtGuiHandler : public TGuiHandler {
 public:
  // A modal message box over MessageBoxParent(); without a running
  // application the kind's default answer.
  int ShowMsg(const std::string& text, int kind, const std::string& caption) override;
  void ProcessMessages() override;
  bool SetClipboard(const std::vector<TClipboardFormat>& formats) override;
  // form is the QWidget* of the window.
  void ApplyFont(void* form, const TFontChoice& font) override;
  // A path becomes a file address; anything with a scheme ("https:",
  // "mailto:") goes as it is.
  bool OpenWithDesktop(const std::string& pathOrUrl) override;
};

// Installs the one handler of the program (idempotent) and returns it.
TQtGuiHandler& InstallGuiHandler();

// While one lives, message boxes sit on its window (unless a dialog is up
// over it), whichever window is active: right after a file dialog closes
// none is, and a box without a parent counts as a window of its own, whose
// closing would end the program while the main window is hidden. Owners
// nest; each puts back the one before it.
class TMessageBoxOwner {
 public:
  explicit TMessageBoxOwner(QWidget* window);
  ~TMessageBoxOwner();
  TMessageBoxOwner(const TMessageBoxOwner&) = delete;
  TMessageBoxOwner& operator=(const TMessageBoxOwner&) = delete;

 private:
  QPointer<QWidget> previous_;
};

// The parent of a new message box: the modal window that is up, else the
// visible owner of the boxes, else the active window (nullptr for none).
QWidget* MessageBoxParent();
