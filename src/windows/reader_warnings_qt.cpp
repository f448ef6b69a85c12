#include "windows/reader_warnings_qt.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "app/routines.h"
#include "formats/common/reader_warnings.h"
#include "windows/form_support.h"

void ShowReaderWarnings() {
  Guarded([] {
    for (const std::string& text : TakeReaderWarnings()) ShowMsg(text, mkWarning, ReaderWarningCaption);
  });
}

void InstallReaderWarningDisplay() {
  SetReaderWarningNotifier([] {
    // From any thread: the call runs later on the application's thread.
    if (QCoreApplication* app = QCoreApplication::instance()) {
      QMetaObject::invokeMethod(app, &ShowReaderWarnings, Qt::QueuedConnection);
    }
  });
}

void RemoveReaderWarningDisplay() { SetReaderWarningNotifier(nullptr); }
