#pragma once
// The window side for tests: records every message box, pump, clipboard
// write, font request and desktop opening, and answers message boxes with
// Answer. What the windows' tests need on top (Qt's events at each pump)
// they add in a subclass.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/gui_handler.h"

namespace testsupport {

class TRecordingGuiHandler : public TGuiHandler {
 public:
  struct TBox {
    std::string Text;
    int Kind;
    std::string Caption;
  };
  std::vector<TBox> Boxes;
  int Answer = idOK;

  int Pumps = 0;
  // Runs at every pump, before the events are handled.
  std::function<void(int pump)> OnPump;

  bool ClipboardWorks = true;
  std::vector<TClipboardFormat> Clipboard;

  // The forms that were asked to take a font, and the fonts.
  std::vector<std::pair<void*, TFontChoice>> Fonts;
  std::vector<void*> FontForms;

  // What was handed to the desktop to open.
  bool DesktopOpens = true;
  std::vector<std::string> Opened;

  int ShowMsg(const std::string& text, int kind, const std::string& caption) override {
    Boxes.push_back({text, kind, caption});
    return Answer;
  }
  void ProcessMessages() override {
    ++Pumps;
    if (OnPump) OnPump(Pumps);
  }
  bool SetClipboard(const std::vector<TClipboardFormat>& formats) override {
    if (!ClipboardWorks) return false;
    Clipboard = formats;
    return true;
  }
  void ApplyFont(void* form, const TFontChoice& font) override {
    Fonts.emplace_back(form, font);
    FontForms.push_back(form);
  }
  bool OpenWithDesktop(const std::string& pathOrUrl) override {
    Opened.push_back(pathOrUrl);
    return DesktopOpens;
  }
};

}  // namespace testsupport
