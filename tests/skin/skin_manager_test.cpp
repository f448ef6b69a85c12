// The skin manager on the offscreen platform: its actions and their
// timer, start-up, the windows it refuses, which component skins a
// window, and a skin/unskin round trip that gives everything back.

#include <gtest/gtest.h>

#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include "skin/skin_form.h"
#include "skin/skin_manager.h"
#include "skin/skin_window_fixture.h"
#include "skin/window_flags.h"

using namespace skintest;

namespace {

TSkinManage& Manager() { return *TSkinManage::Instance(); }

// Switches skinning on or off, through the timer once a window has been
// activated.
void SwitchSkinning(bool on) {
  Manager().SetAction(on ? TSkinManagerLink::SkinAll : TSkinManagerLink::UnskinAll);
  if (Manager().ActivationCount() > 0) SkinWindowTest::RunAction();
}

// A window that was shown and activated.
void ShowActive(QWidget& w) {
  w.show();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  QCoreApplication::processEvents();
}

}  // namespace

TEST_F(SkinWindowTest, StartUpOnlySwitchesOnAndTheWaitingActionRunsAfterTheFirstActivation) {
  TSkinData& data = ActiveSkin();
  ASSERT_NE(TSkinManage::Instance(), nullptr);
  EXPECT_TRUE(Manager().Enabled());
  EXPECT_EQ(Manager().ActivationCount(), 0);
  EXPECT_FALSE(Manager().ActionTimerActive());
  int changed = 0;
  data.OnSkinChanged = [&](TSkinData&) { ++changed; };
  // A skin applied while the program starts: its action waits.
  data.ApplySkin();
  EXPECT_EQ(Manager().PendingAction(), TSkinManagerLink::SkinChanged);
  EXPECT_FALSE(Manager().ActionTimerActive());
  QMainWindow w;
  w.resize(300, 200);
  ShowActive(w);
  // Skinned as it came, without the timer.
  EXPECT_NE(Manager().SkinnedWindow(&w), nullptr);
  EXPECT_EQ(Manager().ActivationCount(), 1);
  EXPECT_TRUE(Manager().ActionTimerActive());
  EXPECT_EQ(changed, 0);
  RunAction();
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(Manager().CurrentSkinData(), nullptr);
}

TEST_F(SkinWindowTest, OfTwoActionsWithin250msOnlyTheLaterRuns) {
  TSkinData& data = ActiveSkin();
  int changed = 0;
  data.OnSkinChanged = [&](TSkinData&) { ++changed; };
  QMainWindow w;
  w.resize(300, 200);
  ShowActive(w);
  Settle();
  struct Row {
    int First;
    int Second;
    bool Skinned;
    int Changed;
  };
  const Row rows[] = {
      {TSkinManagerLink::UnskinAll, TSkinManagerLink::SkinChanged, true, 1},
      {TSkinManagerLink::SkinChanged, TSkinManagerLink::UnskinAll, false, 0},
      {TSkinManagerLink::UnskinAll, TSkinManagerLink::SkinAll, true, 0},
  };
  for (const Row& r : rows) {
    changed = 0;
    Manager().SetCurrentSkinData(&data);
    Manager().SetAction(r.First);
    Settle(100);
    Manager().SetAction(r.Second);
    EXPECT_EQ(Manager().PendingAction(), r.Second);
    // Nothing has run yet; the second call did not prolong the wait.
    EXPECT_TRUE(Manager().ActionTimerActive());
    RunAction();
    EXPECT_FALSE(Manager().ActionTimerActive());
    EXPECT_EQ(Manager().SkinnedWindow(&w) != nullptr, r.Skinned) << r.First << " then " << r.Second;
    EXPECT_EQ(changed, r.Changed) << r.First << " then " << r.Second;
    // Back to a skinned window for the next row.
    Manager().SetAction(TSkinManagerLink::SkinAll);
    RunAction();
    ASSERT_NE(Manager().SkinnedWindow(&w), nullptr);
  }
}

TEST_F(SkinWindowTest, WindowsThatAreNeverSkinned) {
  TSkinData& data = ActiveSkin();
  data.OnFormSkin = [](TSkinData&, const std::string& name, bool& doSkin) {
    if (name == "QDialog") doSkin = false;
  };
  QWidget tagged;
  tagged.setProperty("Tag", 99);
  QWidget popup(nullptr, Qt::Popup);
  QWidget tip(nullptr, Qt::ToolTip);
  QWidget splash(nullptr, Qt::SplashScreen);
  QDialog refusedClass;
  QWidget parent;
  QWidget child(&parent);
  QWidget empty;
  empty.resize(0, 50);
  QWidget plain;
  plain.resize(100, 100);
  struct Row {
    QWidget* Window;
    bool Skinned;
    const char* Why;
  };
  const Row rows[] = {{&tagged, false, "Tag 99"},      {&popup, false, "popup"},
                      {&tip, false, "tool tip"},       {&splash, false, "splash screen"},
                      {&refusedClass, false, "class"}, {&child, false, "child"},
                      {&empty, false, "no area"},      {&plain, true, "plain window"}};
  for (const Row& r : rows) {
    r.Window->resize(r.Window == &empty ? QSize(0, 50) : QSize(120, 80));
    EXPECT_EQ(Manager().SkinWindow(r.Window), r.Skinned) << r.Why;
  }
  // Tag 99 holds whatever the component's DisableTag says.
  data.DisableTag = 5;
  EXPECT_FALSE(Manager().SkinWindow(&tagged));
  // Not twice.
  EXPECT_FALSE(Manager().SkinWindow(&plain));
  // Switched off, nothing is skinned.
  QWidget later;
  later.resize(100, 100);
  Manager().SetAction(TSkinManagerLink::UnskinAll);
  EXPECT_FALSE(Manager().SkinWindow(&later));
}

TEST_F(SkinWindowTest, ChooseSkinDataByKindAndOwner) {
  QMainWindow main;
  QDialog own;
  QMessageBox box;
  QFileDialog files;
  QWidget other;
  auto mainData = LoadTestSkin();
  auto dialogData = LoadTestSkin();
  dialogData->SkinFormtype = sfDialog;
  auto onlyData = LoadTestSkin();
  onlyData->SkinFormtype = sfOnlyThisForm;
  onlyData->OwnerForm = &own;
  auto laterMain = LoadTestSkin();
  struct Row {
    QWidget* Window;
    TSkinData* Expected;
  };
  const Row rows[] = {{&own, onlyData.get()},
                      {&main, laterMain.get()},  // the last main-form one
                      {&other, laterMain.get()},
                      {&box, dialogData.get()},
                      {&files, dialogData.get()}};
  for (const Row& r : rows) EXPECT_EQ(Manager().ChooseSkinData(r.Window), r.Expected) << r.Window->metaObject()->className();
  mainData.reset();
  laterMain.reset();
  // Without a main-form one, the first registered.
  EXPECT_EQ(Manager().ChooseSkinData(&other), dialogData.get());
  dialogData.reset();
  onlyData.reset();
  EXPECT_EQ(Manager().ChooseSkinData(&other), nullptr);
}

TEST_F(SkinWindowTest, RemovingAComponentClearsEveryReferenceToIt) {
  TSkinData& data = ActiveSkin();
  QMainWindow w;
  w.resize(300, 200);
  ShowActive(w);
  Manager().SetCurrentSkinData(&data);
  ASSERT_NE(Manager().SkinnedWindow(&w), nullptr);
  skin_.reset();
  EXPECT_EQ(Manager().CurrentSkinData(), nullptr);
  EXPECT_EQ(Manager().SkinnedWindow(&w)->Data(), nullptr);
  EXPECT_TRUE(Manager().SkinDataList().empty());
  // Painting and events go on without it.
  w.update();
  Settle(10);
  w.setWindowTitle("after");
  Settle();
}

TEST_F(SkinWindowTest, SkinAndUnskinGiveEverythingBack) {
  ActiveSkin();
  for (bool shown : {false, true}) {
    // No layout: the window's own limits grow with the frame.
    QWidget w;
    w.setGeometry(100, 120, 300, 200);
    w.setContentsMargins(1, 2, 3, 4);
    w.setMinimumSize(50, 40);
    QPalette own = w.palette();
    own.setColor(QPalette::Base, QColor(1, 2, 3));
    w.setPalette(own);
    QLabel label("inside", &w);
    const QPalette palette = w.palette();
    const Qt::WindowFlags flags = w.windowFlags();
    SwitchSkinning(false);
    if (shown) {
      w.show();
      Settle();
    }
    const QRect geometry = w.geometry();
    SwitchSkinning(true);
    if (Manager().SkinnedWindow(&w) == nullptr) {
      ASSERT_TRUE(Manager().SkinWindow(&w));
    }
    Settle();
    TWinSkinForm* form = Manager().SkinnedWindow(&w);
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(w.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(w.contentsMargins(), QMargins(1 + EdgeWidth, 2 + TopHeight, 3 + EdgeWidth, 4 + BottomHeight));
    // The client area keeps its size.
    EXPECT_EQ(form->ClientGeometry().size(), geometry.size());
    EXPECT_EQ(w.minimumSize(), QSize(50 + 2 * EdgeWidth, 40 + TopHeight + BottomHeight));
    EXPECT_TRUE(w.hasMouseTracking());
    EXPECT_EQ(w.palette().color(QPalette::Window), Face);
    EXPECT_FALSE(w.mask().isEmpty());
    EXPECT_TRUE(Manager().UnskinWindow(&w));
    Settle();
    EXPECT_EQ(w.windowFlags(), flags) << "shown " << shown;
    EXPECT_EQ(w.geometry(), geometry) << "shown " << shown;
    EXPECT_EQ(w.contentsMargins(), QMargins(1, 2, 3, 4));
    EXPECT_EQ(w.minimumSize(), QSize(50, 40));
    EXPECT_EQ(w.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    EXPECT_FALSE(w.hasMouseTracking());
    EXPECT_TRUE(w.mask().isEmpty());
    EXPECT_EQ(w.palette(), palette);
    EXPECT_TRUE(w.testAttribute(Qt::WA_SetPalette));
  }
}

TEST_F(SkinWindowTest, AWindowSkinnedBeforeItsFirstShowingHasNoFrameOfTheWindowSystem) {
  ActiveSkin();
  QDialog dialog;
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel("text"));
  bool seen = false;
  bool created = true;
  QTimer::singleShot(50, &dialog, [&] {
    seen = Manager().SkinnedWindow(&dialog) != nullptr;
    created = dialog.windowHandle() != nullptr && (dialog.windowHandle()->flags() & Qt::FramelessWindowHint);
    // Switching a flag while shown keeps the dialog in exec().
    SetWindowFlagLive(dialog, Qt::WindowStaysOnTopHint, true);
  });
  QTimer::singleShot(200, &dialog, [&] { dialog.accept(); });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_TRUE(seen);
  EXPECT_TRUE(created);
  EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
}

// A shaped skin leaves no shape behind on the window it gave back: the
// plain window, and a later skin without cut-outs, are shown whole.
TEST_F(SkinWindowTest, UnskinningAWindowOnScreenLeavesNoShape) {
  QMainWindow w;
  w.menuBar()->addMenu("File");
  w.setCentralWidget(new QLabel("inside"));
  w.setGeometry(100, 120, 300, 200);
  TSkinData& skin = ActiveSkin();
  ShowActive(w);
  Settle();
  ASSERT_NE(Manager().SkinnedWindow(&w), nullptr);
  ASSERT_FALSE(w.mask().isEmpty());
  skin.SetActive(false);
  RunAction();
  Settle();
  ASSERT_EQ(Manager().SkinnedWindow(&w), nullptr);
  EXPECT_FALSE(w.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(w.mask().isEmpty()) << w.mask().boundingRect().width() << "x" << w.mask().boundingRect().height();
}
