#include "skin/skin_child.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "skin/skin_data.h"
#include "skin/skin_manager.h"

namespace {

TSkinChildFactory& Factory() {
  static TSkinChildFactory factory;
  return factory;
}

template <class T>
bool Is(const QWidget& w) {
  return qobject_cast<const T*>(&w) != nullptr;
}

template <class T>
bool Exactly(const QWidget& w) {
  return w.metaObject() == &T::staticMetaObject;
}

bool IsRadioGroup(const QWidget& w) {
  if (!Is<QGroupBox>(w)) return false;
  const QList<QAbstractButton*> buttons = w.findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly);
  if (buttons.isEmpty()) return false;
  for (const QAbstractButton* b : buttons) {
    if (qobject_cast<const QRadioButton*>(b) == nullptr) return false;
  }
  return true;
}

bool IsListView(const QWidget& w) {
  if (const auto* tree = qobject_cast<const QTreeView*>(&w)) return !tree->rootIsDecorated();
  if (const auto* list = qobject_cast<const QListView*>(&w)) return list->viewMode() == QListView::IconMode;
  return false;
}

bool IsInnerForm(const QWidget& w) { return !w.isWindow() && (Is<QDialog>(w) || Is<QMainWindow>(w)); }

TChildDecision Attach(int rule, TSkinChildKind kind, int option, bool recurse = false,
                      TChildEffect effect = TChildEffect::None) {
  TChildDecision d;
  d.Rule = rule;
  d.Kind = kind;
  d.Option = option;
  d.Recurse = recurse;
  d.Effect = effect;
  return d;
}

TChildDecision Plain(int rule, bool recurse, TChildEffect effect = TChildEffect::None) {
  TChildDecision d;
  d.Rule = rule;
  d.Recurse = recurse;
  d.Effect = effect;
  return d;
}

}  // namespace

void SetSkinChildFactory(TSkinChildFactory factory) { Factory() = std::move(factory); }
const TSkinChildFactory& SkinChildFactory() { return Factory(); }

TChildDecision DecideChildControl(const QWidget& w, const TSkinData& data) {
  const TSkinControls& kinds = data.SkinControls;
  const auto has = [&](TSkinControlType k) { return kinds.Contains(k); };
  const bool tabs = data.Skin().Tabs != nullptr;
  const int tag = TagOf(&w);

  if (Exactly<QToolBar>(w)) return Attach(2, TSkinChildKind::ToolBar, 0, false, TChildEffect::ToolBarColour);
  if (Is<QTabBar>(w) && tabs && has(xcTab)) return Attach(3, TSkinChildKind::Tab, 0);
  if (Is<QTabWidget>(w) && tabs && has(xcTab)) return Attach(6, TSkinChildKind::Tab, 0);
  if (Is<QCheckBox>(w) && has(xcButton)) return Attach(7, TSkinChildKind::CheckBox, 1);
  if (Is<QSlider>(w) && has(xcCheckBox)) return Attach(8, TSkinChildKind::TrackBar, 0);
  if (IsRadioGroup(w) && has(xcRadioButton)) {
    TChildDecision d = Attach(10, TSkinChildKind::Box, 1);
    d.RadioButtons = true;
    return d;
  }
  if ((Is<QGroupBox>(w) || Exactly<QFrame>(w) || Exactly<QWidget>(w)) && has(xcPanel)) {
    return Attach(12, TSkinChildKind::Box, 1, true);
  }
  if (Is<QRadioButton>(w) && has(xcRadioButton)) return Attach(13, TSkinChildKind::RadioButton, 1);
  if (Is<QToolBar>(w) && has(xcToolbar)) return Attach(14, TSkinChildKind::ToolBar, 0);
  if (Is<QStatusBar>(w) && has(xcStatusBar)) {
    return Attach(15, TSkinChildKind::StatusBar, 0, false, TChildEffect::StatusBarGrip);
  }
  if (Is<QProgressBar>(w) && has(xcProgress)) return Attach(16, TSkinChildKind::Progress, 0);
  if (Is<QScrollBar>(w) && has(xcScrollbar)) return Attach(17, TSkinChildKind::ScControl, 0);
  if ((Is<QComboBox>(w) || tag == 56) && has(xcCombo)) return Attach(18, TSkinChildKind::ComBox, 0);
  if (const auto* dt = qobject_cast<const QDateTimeEdit*>(&w); dt != nullptr && has(xcEdit)) {
    return Attach(19, dt->calendarPopup() ? TSkinChildKind::ComBox : TSkinChildKind::Edit, 0);
  }
  if (Is<QTextEdit>(w) && has(xcScrollbar)) return Attach(20, TSkinChildKind::ScrollBar, 1);
  if (const auto* b = qobject_cast<const QPushButton*>(&w); b != nullptr && !b->icon().isNull() && has(xcBitBtn)) {
    return Attach(23, TSkinChildKind::BitButton, 0);
  }
  if (Is<QToolButton>(w) && has(xcSpeedButton)) return Attach(24, TSkinChildKind::SpeedButton, 0);
  const TChildEffect view = Is<QAbstractItemView>(w) ? TChildEffect::ViewText : TChildEffect::None;
  if (IsListView(w) && has(xcScrollbar)) return Attach(26, TSkinChildKind::ListView, 0, false, view);
  if (Is<QPlainTextEdit>(w) && has(xcScrollbar)) return Attach(27, TSkinChildKind::ScrollBar, 1);
  if (Is<QTableView>(w) && has(xcScrollbar)) {
    return Attach(28, TSkinChildKind::ScrollBar, 1, false, TChildEffect::GridColour);
  }
  if ((tag == 55 || Is<QAbstractScrollArea>(w)) && has(xcScrollbar)) {
    return Attach(29, TSkinChildKind::ScrollBar, 1, false, view);
  }
  if (Is<QPushButton>(w) && has(xcButton)) return Attach(30, TSkinChildKind::Button, 0);
  if ((Is<QLineEdit>(w) || Is<QAbstractSpinBox>(w) || tag == 57) && has(xcEdit)) {
    return Attach(31, TSkinChildKind::Edit, 0);
  }
  if (Is<QSplitter>(w) || Is<QStackedWidget>(w) || Is<QDialogButtonBox>(w)) return Plain(38, true);
  if (IsInnerForm(w)) return Plain(39, true, TChildEffect::FormColour);
  return {};
}
