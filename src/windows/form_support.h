#pragma once
// What every form of the program shares: texts by number, the guard that
// keeps exceptions out of Qt's event loop, and the owner of a new modal
// window.

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QString>
#include <QTabWidget>
#include <QWidget>

#include <exception>
#include <string>

#include "app/routines.h"
#include "app/settings.h"

// The text of a message number in the current language.
inline QString MessageText(int number) { return QString::fromStdString(GetMessageText(number)); }

// The text of a message number, or fallback when the language has none
// (or only blanks) for it.
inline QString MessageTextOr(int number, const QString& fallback) {
  const std::string text = GetMessageText(number);
  return Trim(text).empty() ? fallback : QString::fromStdString(text);
}

// Runs an event handler; what it raises is shown in an error box, as the
// program shows every failure, and goes no further.
template <class F>
void Guarded(F&& handler) noexcept {
  try {
    handler();
  } catch (const std::exception& e) {
    ShowMsg(e.what(), mkError, SystemMessageCaption);
  } catch (...) {
    ShowMsg("Unknown error", mkError, SystemMessageCaption);
  }
}

// A new child control carrying the component name the language table and
// the tests know it by.
template <class W>
W* NewNamed(QWidget* parent, const QString& name) {
  auto* w = new W(parent);
  w->setObjectName(name);
  return w;
}

// Widths measured for text are measured in the font of the control's
// window, which the language font is set on.
inline QFontMetrics FormFontMetrics(const QWidget* control) { return control->window()->fontMetrics(); }

// Sets the caption of a control found by name: the tab of a page of pages,
// the text of a button or a label, the title of a group box. Anything else
// (or nothing) is left alone.
inline void SetControlCaption(QObject* control, QTabWidget* pages, const QString& text) {
  if (auto* page = qobject_cast<QWidget*>(control); page && pages != nullptr && pages->indexOf(page) >= 0) {
    pages->setTabText(pages->indexOf(page), text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    button->setText(text);
  } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
    group->setTitle(text);
  } else if (auto* label = qobject_cast<QLabel*>(control)) {
    label->setText(text);
  }
}

// The program's title: the main window's caption and that of the
// overwrite question. It is kept here rather than as Qt's display name,
// which Qt would append to the caption of every window.
inline QString& ApplicationTitleStore() {
  static QString title = QStringLiteral("Stampwise");
  return title;
}
inline QString ApplicationTitle() { return ApplicationTitleStore(); }
inline void SetApplicationTitle(const QString& title) { ApplicationTitleStore() = title; }

// The window a new modal window is centred on: the active one, if any.
inline QWidget* ModalOwner() { return QApplication::activeWindow(); }
