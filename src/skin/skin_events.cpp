#include "skin/skin_events.h"

#include <QCoreApplication>

QEvent::Type SkinEventType(int message) { return static_cast<QEvent::Type>(QEvent::User + message); }

int SkinMessageOf(const QEvent* event) {
  if (event == nullptr) return 0;
  for (int m : {smRecolour, smRepaintFrame, smFinishSetup, smTitleAction}) {
    if (event->type() == SkinEventType(m)) return m;
  }
  return 0;
}

void PostSkinMessage(QObject* target, int message, qintptr wParam, qintptr lParam) {
  if (target != nullptr) QCoreApplication::postEvent(target, new TSkinMessageEvent(message, wParam, lParam));
}
