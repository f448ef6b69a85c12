#include <QApplication>

#include "app/settings.h"
#include "formats/registry.h"
#include "windows/gui_handler_qt.h"
#include "windows/main_form.h"
#include "windows/main_gif_timer.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Stampwise");
  QApplication::setApplicationDisplayName("Stampwise");
  // Before the settings: reading them may already need a message box.
  InstallGuiHandler();
  RegisterImageFormats();
  InstallGIFAnimationTimers();
  CreateProgramInfo();
  int result = 0;
  {
    // The only window made at start; it saves the settings as it goes.
    TfrmMain form;
    form.show();
    result = app.exec();
  }
  RemoveGIFAnimationTimers();
  FreeProgramInfo();
  SetGuiHandler(nullptr);
  return result;
}
