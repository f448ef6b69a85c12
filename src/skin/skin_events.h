#pragma once
// The skin engine's private messages. They keep the numbers they have
// always had and travel as events posted to (or sent to) a window.

#include <QEvent>
#include <QObject>
#include <QtGlobal>

enum TSkinMessage {
  // Re-applies the skin colours to a skinned window.
  smRecolour = 0x3401,
  // Repaints a skinned window's frame.
  smRepaintFrame = 0x3502,
  // Finishes a skinned window's set-up once the window's own creation is
  // complete (posted by the manager with LParam 1000).
  smFinishSetup = 0x3503,
  // A title button whose action the skin does not know was clicked
  // (WParam: the action); left to the application.
  smTitleAction = 0x3504,
};

// The event type of a message: QEvent::User + its number.
QEvent::Type SkinEventType(int message);

class TSkinMessageEvent : public QEvent {
 public:
  TSkinMessageEvent(int message, qintptr wParam = 0, qintptr lParam = 0)
      : QEvent(SkinEventType(message)), Message(message), WParam(wParam), LParam(lParam) {}
  const int Message;
  const qintptr WParam;
  const qintptr LParam;
};

// The message an event carries, or 0 for any other event.
int SkinMessageOf(const QEvent* event);

void PostSkinMessage(QObject* target, int message, qintptr wParam = 0, qintptr lParam = 0);
