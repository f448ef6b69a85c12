#include <QApplication>
#include <QMainWindow>

#include "app/settings.h"
#include "windows/gui_handler_qt.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Stampwise");
  QApplication::setApplicationDisplayName("Stampwise");
  // Before the settings: reading them may already need a message box.
  InstallGuiHandler();
  CreateProgramInfo();
  int result = 0;
  {
    QMainWindow window;
    window.setWindowTitle("Stampwise");
    window.resize(800, 600);
    window.show();
    result = app.exec();
  }
  FreeProgramInfo();
  SetGuiHandler(nullptr);
  return result;
}
