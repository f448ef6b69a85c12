#pragma once
// The window side of the program's message boxes, message pump,
// clipboard, fonts and desktop hand-over, installed at start-up.

#include "app/gui_handler.h"

class TQtGuiHandler : public TGuiHandler {
 public:
  // A modal message box over the active window; without a running
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
