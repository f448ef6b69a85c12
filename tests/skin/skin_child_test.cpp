// The control table of a skinned window: which skin object each kind of
// control is given (through a recording factory), the members each rule
// needs, the tags that force or forbid a skin, and what the table changes
// on controls itself and gives back on unskinning.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <map>

#include "skin/skin_child.h"
#include "skin/skin_form.h"
#include "skin/skin_manager.h"
#include "skin/skin_window_fixture.h"

using namespace skintest;

namespace {

struct TRecorded {
  TSkinChildKind Kind;
  int Option;
};

class TRecordingChild : public TSkinChildObject {
 public:
  TRecordingChild(QWidget* control, int& restored) : control_(control), restored_(restored) {}
  QWidget* Control() const override { return control_; }
  void Restore() override { ++restored_; }

 private:
  QWidget* control_;
  int& restored_;
};

}  // namespace

TEST_F(SkinWindowTest, ControlTable) {
  std::map<QString, TRecorded> made;
  int restored = 0;
  SetSkinChildFactory([&](const TSkinChildRequest& r) -> std::unique_ptr<TSkinChildObject> {
    made[r.Control->objectName()] = {r.Kind, r.Option};
    EXPECT_NE(r.Owner, nullptr);
    EXPECT_NE(r.Data, nullptr);
    return std::make_unique<TRecordingChild>(r.Control, restored);
  });
  TSkinData& data = ActiveSkin();
  data.Skin().Tabs = std::make_unique<TDataSkinBorder>("Tabs");

  QWidget form;
  form.resize(400, 300);
  auto* layout = new QVBoxLayout(&form);
  const auto add = [&](QWidget* w, const char* name) {
    w->setObjectName(name);
    layout->addWidget(w);
    return w;
  };
  add(new QCheckBox, "check");
  add(new QSlider, "slider");
  auto* radios = static_cast<QGroupBox*>(add(new QGroupBox, "radios"));
  (new QRadioButton(radios))->setObjectName("radio1");
  (new QRadioButton(radios))->setObjectName("radio2");
  auto* group = static_cast<QGroupBox*>(add(new QGroupBox, "group"));
  (new QPushButton("in", group))->setObjectName("inGroup");
  add(new QRadioButton, "radio");
  add(new QProgressBar, "progress");
  add(new QScrollBar, "scroll");
  add(new QComboBox, "combo");
  add(new QDateTimeEdit, "date");
  auto* calendar = new QDateTimeEdit;
  calendar->setCalendarPopup(true);
  add(calendar, "calendar");
  add(new QTextEdit, "rich");
  auto* icon = new QPushButton("icon");
  icon->setIcon(QIcon(QPixmap(8, 8)));
  add(icon, "bitButton");
  add(new QToolButton, "speed");
  auto* flat = new QTreeWidget;
  flat->setRootIsDecorated(false);
  add(flat, "listView");
  add(new QTreeWidget, "tree");
  add(new QListWidget, "listBox");
  add(new QPlainTextEdit, "memo");
  add(new QTableWidget, "grid");
  add(new QPushButton("b"), "button");
  add(new QLineEdit, "edit");
  add(new QSpinBox, "spin");
  add(new QTabWidget, "pages");
  auto* splitter = static_cast<QSplitter*>(add(new QSplitter, "splitter"));
  (new QLineEdit(splitter))->setObjectName("inSplitter");
  auto* panel = add(new QFrame, "panel");
  (new QCheckBox(panel))->setObjectName("inPanel");
  auto* tagged56 = add(new QLabel, "tag56");
  tagged56->setProperty("Tag", 56);
  add(new QLabel, "tag57")->setProperty("Tag", 57);
  add(new QLabel, "tag55")->setProperty("Tag", 55);
  add(new QPushButton, "disabled")->setProperty("Tag", 199);
  add(new QLabel, "label");

  ASSERT_TRUE(TSkinManage::Instance()->SkinWindow(&form));
  using K = TSkinChildKind;
  const std::map<QString, TRecorded> expected = {
      {"check", {K::CheckBox, 1}},    {"slider", {K::TrackBar, 0}},   {"radios", {K::Box, 1}},
      {"radio1", {K::RadioButton, 1}}, {"radio2", {K::RadioButton, 1}}, {"group", {K::Box, 1}},
      {"inGroup", {K::Button, 0}},    {"radio", {K::RadioButton, 1}}, {"progress", {K::Progress, 0}},
      {"scroll", {K::ScControl, 0}},  {"combo", {K::ComBox, 0}},      {"date", {K::Edit, 0}},
      {"calendar", {K::ComBox, 0}},   {"rich", {K::ScrollBar, 1}},    {"bitButton", {K::BitButton, 0}},
      {"speed", {K::SpeedButton, 0}}, {"listView", {K::ListView, 0}}, {"tree", {K::ScrollBar, 1}},
      {"listBox", {K::ScrollBar, 1}}, {"memo", {K::ScrollBar, 1}},    {"grid", {K::ScrollBar, 1}},
      {"button", {K::Button, 0}},     {"edit", {K::Edit, 0}},         {"spin", {K::Edit, 0}},
      {"pages", {K::Tab, 0}},         {"inSplitter", {K::Edit, 0}},   {"panel", {K::Box, 1}},
      {"inPanel", {K::CheckBox, 1}},  {"tag56", {K::ComBox, 0}},      {"tag57", {K::Edit, 0}},
      {"tag55", {K::ScrollBar, 1}},
  };
  for (const auto& [name, e] : expected) {
    auto it = made.find(name);
    ASSERT_NE(it, made.end()) << name.toStdString();
    EXPECT_EQ(it->second.Kind, e.Kind) << name.toStdString();
    EXPECT_EQ(it->second.Option, e.Option) << name.toStdString();
  }
  EXPECT_EQ(made.count("disabled"), 0u);
  EXPECT_EQ(made.count("label"), 0u);
  EXPECT_EQ(made.size(), expected.size());
  // The grid takes the face colour; unskinning gives it and every object
  // back.
  auto* grid = form.findChild<QTableWidget*>("grid");
  EXPECT_EQ(grid->palette().color(QPalette::Base), Face);
  ASSERT_TRUE(TSkinManage::Instance()->UnskinWindow(&form));
  EXPECT_EQ(restored, static_cast<int>(expected.size()));
  EXPECT_NE(grid->palette().color(QPalette::Base), Face);
  EXPECT_FALSE(grid->testAttribute(Qt::WA_SetPalette));
}

TEST_F(SkinWindowTest, ControlTableMembers) {
  struct Row {
    TSkinControlType Left;
    const char* Name;
  };
  const Row rows[] = {{xcButton, "check"}, {xcCheckBox, "slider"}, {xcEdit, "edit"}, {xcScrollbar, "memo"},
                      {xcCombo, "combo"}, {xcPanel, "inPanel"}};
  for (const Row& r : rows) {
    std::vector<QString> made;
    SetSkinChildFactory([&](const TSkinChildRequest& req) -> std::unique_ptr<TSkinChildObject> {
      made.push_back(req.Control->objectName());
      return nullptr;
    });
    auto data = LoadTestSkin();
    data->SkinControls.Exclude(r.Left);
    QWidget form;
    form.resize(200, 200);
    (new QCheckBox(&form))->setObjectName("check");
    (new QSlider(&form))->setObjectName("slider");
    (new QLineEdit(&form))->setObjectName("edit");
    (new QPlainTextEdit(&form))->setObjectName("memo");
    (new QComboBox(&form))->setObjectName("combo");
    auto* panel = new QFrame(&form);
    (new QCheckBox(panel))->setObjectName("inPanel");
    TWinSkinForm skinned(*TSkinManage::Instance());
    skinned.InitFromForm(*data, form);
    EXPECT_EQ(std::count(made.begin(), made.end(), QString(r.Name)), 0) << r.Name;
    EXPECT_GE(made.size(), 4u) << r.Name;
    skinned.Unskin();
  }
}

TEST_F(SkinWindowTest, WithoutMainMenuTheFrameIsTheWindowSystems) {
  TSkinData& data = ActiveSkin();
  data.SkinControls.Exclude(xcMainMenu);
  QMainWindow w;
  w.resize(200, 150);
  w.statusBar()->setSizeGripEnabled(true);
  auto* bar = w.addToolBar("tools");
  w.show();
  Settle();
  TWinSkinForm* form = TSkinManage::Instance()->SkinnedWindow(&w);
  ASSERT_NE(form, nullptr);
  EXPECT_FALSE(form->FrameTaken());
  EXPECT_FALSE(w.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(w.contentsMargins(), QMargins());
  EXPECT_TRUE(w.mask().isEmpty());
  // The controls are still skinned.
  EXPECT_FALSE(w.statusBar()->isSizeGripEnabled());
  EXPECT_EQ(bar->palette().color(QPalette::Window), Face);
  // Giving the window back repaints it; a maximised one stays so.
  w.showMaximized();
  Settle();
  ASSERT_TRUE(TSkinManage::Instance()->UnskinWindow(&w));
  Settle();
  EXPECT_TRUE(w.isMaximized());
  EXPECT_TRUE(w.statusBar()->isSizeGripEnabled());
  EXPECT_FALSE(bar->testAttribute(Qt::WA_SetPalette));
}
