#include <QApplication>

#include <exception>

#include "app/routines.h"
#include "app/settings.h"
#include "formats/registry.h"
#include "windows/form_support.h"
#include "windows/gui_handler_qt.h"
#include "windows/main_form.h"
#include "windows/main_gif_timer.h"
#include "windows/reader_warnings_qt.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Stampwise");
  // The program's title; no display name, which Qt would append to every
  // window's caption.
  SetApplicationTitle("Stampwise");
  // Before the settings: reading them may already need a message box.
  InstallGuiHandler();
  RegisterImageFormats();
  InstallGIFAnimationTimers();
  InstallReaderWarningDisplay();
  CreateProgramInfo();
  int result = 0;
  try {
    // The only window made at start; it saves the settings as it goes.
    TfrmMain form;
    form.show();
    result = app.exec();
  } catch (const std::exception& e) {
    // A window that cannot be made ends the program with the reason
    // shown, not silently.
    ShowMsg(e.what(), 0, SystemMessageCaption);
    result = 1;
  }
  RemoveReaderWarningDisplay();
  RemoveGIFAnimationTimers();
  UnregisterImageFormats();
  FreeProgramInfo();
  SetGuiHandler(nullptr);
  return result;
}
