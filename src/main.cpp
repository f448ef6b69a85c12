#include <QApplication>

#include <exception>

#include "app/routines.h"
#include "app/settings.h"
#include "formats/registry.h"
#include "skin/skin_controls.h"
#include "skin/skin_manager.h"
#include "windows/form_support.h"
#include "windows/gui_handler_qt.h"
#include "windows/main_form.h"
#include "windows/main_gif_timer.h"
#include "windows/program_icon.h"
#include "windows/reader_warnings_qt.h"

int main(int argc, char* argv[]) {
  // Skin pictures are drawn pixel for pixel: a fractional screen scale is
  // rounded to a whole one, so frames and window shapes stay exact.
  QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::Round);
  QApplication app(argc, argv);
  QApplication::setApplicationName("Stampwise");
  // The program's title; no display name, which Qt would append to every
  // window's caption.
  SetApplicationTitle("Stampwise");
  // Every window, and the system-menu button of a skinned caption, shows it.
  QApplication::setWindowIcon(ProgramIcon());
  // Before the settings: reading them may already need a message box.
  InstallGuiHandler();
  RegisterImageFormats();
  InstallGIFAnimationTimers();
  InstallReaderWarningDisplay();
  CreateProgramInfo();
  // The main window's skin component makes the manager.
  InstallSkinManager();
  InstallSkinControls();
  int result = 0;
  try {
    // The only window made at start; it saves the settings as it goes.
    TfrmMain form;
    QuitWithMainWindow(form);
    form.show();
    result = app.exec();
  } catch (const std::exception& e) {
    // A window that cannot be made ends the program with the reason
    // shown, not silently.
    ShowMsg(e.what(), mkError, SystemMessageCaption);
    result = 1;
  }
  DestroySkinManager();
  RemoveReaderWarningDisplay();
  RemoveGIFAnimationTimers();
  UnregisterImageFormats();
  FreeProgramInfo();
  SetGuiHandler(nullptr);
  return result;
}
