#pragma once
// The controls of a skinned window: which skin object each control gets
// (the control table), and the hook through which the skinned controls
// attach themselves.
//
// The skinned controls are objects of their own (TSkinChildObject), made
// by the factory that their unit installs with SetSkinChildFactory. Until
// one is installed, a skinned window still walks its controls and does
// what the table does without an object (tool bars take the skin's face
// colour, status bars lose their size grips, grids and inner forms take
// the face colour), but no control is drawn by the skin.
//
// The control table, in the order its rules are tried (the first that
// matches decides; each needs its member of TSkinData::SkinControls):
//
// | rule | control | member | result (option) |
// |---|---|---|---|
// | 2 | QToolBar itself | | face colour, no background of its own; ToolBar (0) |
// | 3 | QTabBar (a tab strip of its own), with a Tabs element | xcTab | Tab |
// | 6 | QTabWidget (pages), with a Tabs element | xcTab | Tab |
// | 7 | QCheckBox | xcButton | CheckBox (1) |
// | 8 | QSlider | xcCheckBox | TrackBar (0) |
// | 10 | QGroupBox holding radio buttons and no other buttons | xcRadioButton | Box (1), RadioButton (1) on each |
// | 12 | QGroupBox, or a plain QFrame or QWidget (a panel) | xcPanel | Box (1), then its controls |
// | 13 | QRadioButton | xcRadioButton | RadioButton (1) |
// | 14 | a QToolBar of a class of its own | xcToolbar | (flat already) ToolBar (0) |
// | 15 | QStatusBar | xcStatusBar | size grip off, StatusBar (0) |
// | 16 | QProgressBar | xcProgress | Progress (0) |
// | 17 | QScrollBar | xcScrollbar | ScControl (0) |
// | 18 | QComboBox, or Tag 56 | xcCombo | ComBox (0) |
// | 19 | QDateTimeEdit | xcEdit | ComBox (0) with a calendar popup, else Edit (0) |
// | 20 | QTextEdit | xcScrollbar | ScrollBar (1) |
// | 23 | QPushButton with an icon | xcBitBtn | BitButton (0) |
// | 24 | QToolButton | xcSpeedButton | SpeedButton (0) |
// | 26 | a list: QTreeView without root decoration, QListView in icon mode | xcScrollbar | ListView (0) (*) |
// | 27 | QPlainTextEdit | xcScrollbar | ScrollBar (1) |
// | 28 | QTableView (a grid) | xcScrollbar | ScrollBar (1), base colour := face |
// | 29 | Tag 55, or any other scrolling view (list box, tree, scroll area) | xcScrollbar | ScrollBar (1) (*) |
// | 30 | QPushButton | xcButton | Button (0) |
// | 31 | QLineEdit, QAbstractSpinBox, or Tag 57 | xcEdit | Edit (0) |
// | 38 | a container: QSplitter, QStackedWidget, QDialogButtonBox | | its controls |
// | 39 | an inner form (QDialog or QMainWindow that is not a window) | | face colour, then its controls |
//
// (*) An item view among them keeps the system's text colour, for it draws
// on its own base colour (the form takes the skin's text colour).
//
// A control whose Tag mod 100 is the component's DisableTag, or that an
// object serves already, is passed over.

#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

class QWidget;
class TSkinData;
class TWinSkinForm;

enum class TSkinChildKind {
  Tab,
  CheckBox,
  TrackBar,
  Box,
  RadioButton,
  StatusBar,
  Progress,
  ScControl,
  ComBox,
  Edit,
  ScrollBar,
  ListView,
  Button,
  BitButton,
  SpeedButton,
  // A tool bar, whose buttons the application's style draws on the face.
  ToolBar,
};

// A skinned control. The skinned window owns it; before it is destroyed
// Restore gives the control back its own look.
class TSkinChildObject {
 public:
  virtual ~TSkinChildObject() = default;
  virtual QWidget* Control() const = 0;
  virtual void Restore() = 0;
  // The skin's colours are applied again (a skin change).
  virtual void Recolour() {}
  // A tab control draws itself anew (a skin change).
  virtual void Refresh() {}
  // The hover timer found the mouse away from this hot control.
  virtual void MouseLeave() {}
};

struct TSkinChildRequest {
  TSkinChildKind Kind;
  QWidget* Control = nullptr;
  TSkinData* Data = nullptr;
  // The option of the table (1: the control takes the face colour, or a
  // scrolling control handles presses on its bars itself).
  int Option = 0;
  TWinSkinForm* Owner = nullptr;
};

using TSkinChildFactory = std::function<std::unique_ptr<TSkinChildObject>(const TSkinChildRequest& request)>;
// Installs how skinned controls are made (nullptr: none are).
void SetSkinChildFactory(TSkinChildFactory factory);
const TSkinChildFactory& SkinChildFactory();

// What the table does with a control, without doing it.
enum class TChildEffect {
  None,
  ToolBarColour,  // rule 2
  StatusBarGrip,  // rule 15
  GridColour,     // rule 28
  FormColour,     // rule 39
  // Rules 26 and 29 for an item view: it draws on its own base colour, so
  // its text stays the system's whatever the form's becomes.
  ViewText,
};

struct TChildDecision {
  int Rule = 0;  // 0: no rule matched
  std::optional<TSkinChildKind> Kind;
  int Option = 0;
  bool Recurse = false;
  // Rule 10: a radio-button object on each radio button of the group.
  bool RadioButtons = false;
  TChildEffect Effect = TChildEffect::None;
};

TChildDecision DecideChildControl(const QWidget& control, const TSkinData& data);
