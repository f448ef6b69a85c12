#pragma once
// The windows' tests: one QApplication for the test program, a program
// folder of its own for each test (with the English texts), a recording
// window side that answers message boxes, and a driver for modal windows
// that acts on them from the event loop instead of blocking.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

#include "app/gui_handler.h"
#include "app/settings.h"
#include "core/files.h"
#include "support/recording_gui_handler.h"
#include "support/test_support.h"

// Every pump handles Qt's pending events too; there is no clipboard.
class TWindowsRecorder : public testsupport::TRecordingGuiHandler {
 public:
  TWindowsRecorder() { ClipboardWorks = false; }
  void ProcessMessages() override {
    TRecordingGuiHandler::ProcessMessages();
    QCoreApplication::processEvents();
  }
};

class WindowsTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  const std::string& Dir() const { return dir_.Path(); }
  // Replaces one text of the loaded language.
  void SetText(int number, const std::string& text);

  testsupport::TempDir dir_;
  TWindowsRecorder handler_;
};

// Calls action with the first visible modal window of type T once it is
// up, polling from the event loop. When none comes within the time, the
// modal window that is up (if any) is closed so that the test goes on, and
// the test fails.
template <class T>
void WhenModal(std::function<void(T*)> action, int timeoutMs = 10000) {
  auto* timer = new QTimer(qApp);
  auto* clock = new QElapsedTimer;
  clock->start();
  QObject::connect(timer, &QTimer::timeout, timer, [timer, clock, action, timeoutMs] {
    QWidget* modal = QApplication::activeModalWidget();
    if (T* window = qobject_cast<T*>(modal); window && window->isVisible()) {
      timer->stop();
      timer->deleteLater();
      delete clock;
      action(window);
      return;
    }
    if (clock->elapsed() > timeoutMs) {
      timer->stop();
      timer->deleteLater();
      delete clock;
      ADD_FAILURE() << "no modal " << T::staticMetaObject.className() << " came up";
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    }
  });
  timer->start(10);
}

// Clicks a child button of a window by its name.
void ClickChild(QWidget* window, const char* name);

// Writes folder + "spm/" + name + ".spm": a mark of one colour in the
// top-left corner, drawn fully opaque. Gives the file's path.
std::string WriteOneColourMark(const std::string& folder, const std::string& name, int w, int h, TColor color);

// Runs the event loop until done() holds or the time is up.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000);
