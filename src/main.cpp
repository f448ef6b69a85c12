#include <QApplication>
#include <QMainWindow>

#include "app/settings.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
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
  return result;
}
