// A skinned main window on the offscreen platform: its margins, the
// frame's pixels where the edges, strip and buttons lie (probed in what
// render() gives), the mask, active and inactive frames, the title buttons
// under the mouse, the caption band, the system menu, full screen, size
// grips, and the menu bar and popup menus drawn by the skin.

#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QStyleOptionMenuItem>
#include <QTest>

#include "skin/skin_events.h"
#include "skin/skin_form.h"
#include "skin/skin_manager.h"
#include "skin/skin_menu_draw.h"
#include "skin/skin_popup.h"
#include "skin/skin_window_fixture.h"

using namespace skintest;

namespace {

TSkinManage& Manager() { return *TSkinManage::Instance(); }

// Moves the mouse, the cursor with it (the hover timer looks at the
// cursor). A move to where the cursor is already is dropped, so the
// cursor first goes a pixel aside; QTest then moves it there (or, with a
// button held, sends the move to the window).
void Hover(QWidget& w, QPoint p) {
  QCursor::setPos(w.mapToGlobal(p) + QPoint(1, 1));
  QCoreApplication::processEvents();
  QTest::mouseMove(&w, p);
}

class SkinnedMainWindow : public SkinWindowTest {
 protected:
  void SetUp() override {
    SkinWindowTest::SetUp();
    ActiveSkin();
    window_ = std::make_unique<QMainWindow>();
    QMenu* file = window_->menuBar()->addMenu("&File");
    file->addAction("&Open");
    disabled_ = window_->menuBar()->addAction("&Gone");
    disabled_->setEnabled(false);
    window_->setCentralWidget(new QLabel("client"));
    window_->statusBar()->setSizeGripEnabled(true);
    window_->resize(300, 200);
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    Settle();
    form_ = Manager().SkinnedWindow(window_.get());
    ASSERT_NE(form_, nullptr);
    ASSERT_EQ(form_->State, TWinSkinForm::wsRunning);
  }
  void TearDown() override {
    window_.reset();
    SkinWindowTest::TearDown();
  }
  QMainWindow& W() { return *window_; }
  QPoint CloseCentre() { return {W().width() - 22 + 8, 3 + 7}; }
  QPoint CustomCentre() { return {4 + 8, 3 + 7}; }
  QPoint Caption() { return {W().width() / 2, 12}; }

  std::unique_ptr<QMainWindow> window_;
  QAction* disabled_ = nullptr;
  TWinSkinForm* form_ = nullptr;
};

}  // namespace

TEST_F(SkinnedMainWindow, MarginsSizeAndFramePixels) {
  EXPECT_EQ(W().contentsMargins(), QMargins(EdgeWidth, TopHeight, EdgeWidth, BottomHeight));
  EXPECT_EQ(W().size(), QSize(300 + 2 * EdgeWidth, 200 + TopHeight + BottomHeight));
  const int w = W().width();
  const int h = W().height();
  // What a layout places lies inside the frame.
  EXPECT_EQ(W().menuBar()->geometry().topLeft(), QPoint(EdgeWidth, TopHeight));
  const QImage image = Rendered(W());
  struct Probe {
    QPoint P;
    QColor Colour;
  };
  const Probe probes[] = {
      {{2, h / 2}, LeftActive},        {{w - 3, h / 2}, RightActive}, {{w / 2, h - 2}, BottomActive},
      {{w / 2 + 40, 10}, TopActive},   {CloseCentre(), CloseFrames[0]}, {{w - 42 + 8, 10}, MaxFrames[0]},
      {CustomCentre(), CustomFrames[0]},
  };
  for (const Probe& p : probes) EXPECT_EQ(At(image, p.P.x(), p.P.y()), p.Colour) << p.P.x() << "," << p.P.y();
  // The sizing bands show their cursors, the caption the window's own.
  struct Band {
    QPoint P;
    Qt::CursorShape Shape;
  };
  const Band bands[] = {{{2, h / 2}, Qt::SizeHorCursor},    {{w / 2, h - 2}, Qt::SizeVerCursor},
                        {{w - 2, h - 2}, Qt::SizeFDiagCursor}, {{w - 2, 2}, Qt::SizeBDiagCursor},
                        {{w / 2, 10}, Qt::ArrowCursor},       {{w / 2, h / 2}, Qt::ArrowCursor}};
  for (const Band& b : bands) {
    Hover(W(), b.P);
    EXPECT_EQ(W().cursor().shape(), b.Shape) << b.P.x() << "," << b.P.y();
  }
}

TEST_F(SkinnedMainWindow, MaskAndRenderFollowTheCutOuts) {
  const QRegion mask = W().mask();
  const int w = W().width();
  ASSERT_FALSE(mask.isEmpty());
  EXPECT_FALSE(mask.contains(QPoint(0, 0)));
  EXPECT_FALSE(mask.contains(QPoint(w - 1, 0)));
  EXPECT_FALSE(mask.contains(QPoint(w / 2, 0)));
  EXPECT_TRUE(mask.contains(QPoint(w / 2, 1)));
  EXPECT_TRUE(mask.contains(QPoint(w / 2, W().height() / 2)));
  const QColor sentinel(1, 254, 1);
  const QImage image = Rendered(W(), sentinel);
  EXPECT_EQ(At(image, 0, 0), sentinel);
  EXPECT_EQ(At(image, w / 2, 0), sentinel);
  EXPECT_NE(At(image, w / 2, 1), sentinel);
  // A new size gives a new shape at once.
  W().resize(400, 260);
  Settle();
  EXPECT_FALSE(W().mask().contains(QPoint(W().width() - 1, 0)));
  EXPECT_TRUE(W().mask().contains(QPoint(W().width() - 3, 0)));
  EXPECT_EQ(W().mask().boundingRect(), QRect(0, 0, 400, 260));
}

TEST_F(SkinnedMainWindow, InactiveFrameAndButtons) {
  QWidget other;
  other.resize(100, 100);
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  Settle();
  EXPECT_FALSE(form_->Active());
  EXPECT_FALSE(form_->HoverTimerActive());
  const QImage image = Rendered(W());
  EXPECT_EQ(At(image, 2, W().height() / 2), LeftInactive);
  EXPECT_EQ(At(image, W().width() / 2 + 40, 10), TopInactive);
  EXPECT_EQ(At(image, CloseCentre().x(), CloseCentre().y()), CloseFrames[3]);
  // The Visibility 3 button has gone.
  EXPECT_EQ(At(image, CustomCentre().x(), CustomCentre().y()), TopInactive);
  EXPECT_EQ(form_->ObjectAt(CustomCentre()), nullptr);
  // Moves over an inactive frame make nothing hot.
  Hover(W(), CloseCentre());
  Settle();
  EXPECT_EQ(form_->HotObject(), nullptr);
  W().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&W()));
  Settle();
  EXPECT_TRUE(form_->HoverTimerActive());
  EXPECT_EQ(At(Rendered(W()), CustomCentre().x(), CustomCentre().y()), CustomFrames[0]);
}

TEST_F(SkinnedMainWindow, TitleButtonHoverPressAndRelease) {
  TNCObject* close = form_->ObjectAt(CloseCentre());
  ASSERT_NE(close, nullptr);
  struct Step {
    const char* What;
    std::function<void()> Do;
    int State;
    QColor Colour;
  };
  const Step steps[] = {
      {"hover", [&] { Hover(W(), CloseCentre()); }, 3, CloseFrames[2]},
      {"press", [&] { QTest::mousePress(&W(), Qt::LeftButton, {}, CloseCentre()); }, 2, CloseFrames[1]},
      {"leave", [&] { Hover(W(), Caption()); }, 1, CloseFrames[0]},
      // Released away from it: nothing happens.
      {"release away", [&] { QTest::mouseRelease(&W(), Qt::LeftButton, {}, Caption()); }, 1, CloseFrames[0]},
  };
  for (const Step& s : steps) {
    s.Do();
    Settle();
    EXPECT_EQ(close->State, s.State) << s.What;
    EXPECT_EQ(At(Rendered(W()), CloseCentre().x(), CloseCentre().y()), s.Colour) << s.What;
  }
  EXPECT_TRUE(W().isVisible());
  // The hover timer lets go of a button the mouse has left.
  Hover(W(), CloseCentre());
  Settle();
  ASSERT_EQ(form_->HotObject(), close);
  QCursor::setPos(W().mapToGlobal(QPoint(W().width() / 2, W().height() / 2)));
  EXPECT_TRUE(QTest::qWaitFor([&] { return form_->HotObject() == nullptr; }, 5000));
  // Pressed and released on it: the window closes.
  Hover(W(), CloseCentre());
  QTest::mousePress(&W(), Qt::LeftButton, {}, CloseCentre());
  QTest::mouseRelease(&W(), Qt::LeftButton, {}, CloseCentre());
  Settle(10);
  EXPECT_FALSE(W().isVisible());
}

TEST_F(SkinnedMainWindow, AButtonWithAnActionOfItsOwnPostsIt) {
  struct TCatcher : QObject {
    std::vector<qintptr> Actions;
    bool eventFilter(QObject*, QEvent* e) override {
      if (SkinMessageOf(e) == smTitleAction) Actions.push_back(static_cast<TSkinMessageEvent*>(e)->WParam);
      return false;
    }
  } catcher;
  W().installEventFilter(&catcher);
  Hover(W(), CustomCentre());
  QTest::mousePress(&W(), Qt::LeftButton, {}, CustomCentre());
  QTest::mouseRelease(&W(), Qt::LeftButton, {}, CustomCentre());
  Settle();
  EXPECT_EQ(catcher.Actions, std::vector<qintptr>{40});
  EXPECT_TRUE(W().isVisible());
  EXPECT_FALSE(W().isMaximized());
}

TEST_F(SkinnedMainWindow, CaptionMovesDoubleClickMaximisesRightClickOpensTheSystemMenu) {
  // Without a window manager the window is moved by hand.
  const QPoint before = W().pos();
  QTest::mousePress(&W(), Qt::LeftButton, {}, Caption());
  QTest::mouseMove(&W(), Caption() + QPoint(30, 20));
  QTest::mouseRelease(&W(), Qt::LeftButton, {}, Caption() + QPoint(30, 20));
  Settle();
  EXPECT_EQ(W().pos(), before + QPoint(30, 20));
  // A double click on a title button does not maximise.
  QTest::mouseDClick(&W(), Qt::LeftButton, {}, CustomCentre());
  Settle();
  EXPECT_FALSE(W().isMaximized());
  QTest::mouseDClick(&W(), Qt::LeftButton, {}, Caption());
  Settle(50);
  EXPECT_TRUE(W().isMaximized());
  EXPECT_EQ(form_->ShowState(), ssMaximized);
  // A maximised window is not dragged.
  const QPoint maxPos = W().pos();
  QTest::mousePress(&W(), Qt::LeftButton, {}, Caption());
  QTest::mouseMove(&W(), Caption() + QPoint(40, 40));
  QTest::mouseRelease(&W(), Qt::LeftButton, {}, Caption() + QPoint(40, 40));
  Settle();
  EXPECT_EQ(W().pos(), maxPos);
  // The system menu offers what a maximised window allows.
  QTest::mousePress(&W(), Qt::RightButton, {}, Caption());
  Settle();
  QMenu* menu = form_->SystemMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(menu->isVisible());
  struct Command {
    const char* Name;
    bool On;
  };
  const Command commands[] = {{"scRestore", true},   {"scMove", false},    {"scSize", false},
                              {"scMinimize", true}, {"scMaximize", false}, {"scClose", true}};
  for (const Command& c : commands) {
    auto* a = menu->findChild<QAction*>(c.Name);
    ASSERT_NE(a, nullptr) << c.Name;
    EXPECT_EQ(a->isEnabled(), c.On) << c.Name;
  }
  menu->findChild<QAction*>("scRestore")->trigger();
  Settle(50);
  menu->hide();
  EXPECT_FALSE(W().isMaximized());
}

TEST_F(SkinnedMainWindow, TheFrameSizesTheWindowByHand) {
  const QSize before = W().size();
  const QPoint corner(W().width() - 2, W().height() - 2);
  QTest::mousePress(&W(), Qt::LeftButton, {}, corner);
  QTest::mouseMove(&W(), corner + QPoint(25, 15));
  QTest::mouseRelease(&W(), Qt::LeftButton, {}, corner + QPoint(25, 15));
  Settle();
  EXPECT_EQ(W().size(), before + QSize(25, 15));
  // A fixed window has no sizing band.
  W().setFixedSize(W().size());
  const QSize fixed = W().size();
  QTest::mousePress(&W(), Qt::LeftButton, {}, QPoint(W().width() - 2, W().height() - 2));
  QTest::mouseMove(&W(), QPoint(W().width() + 20, W().height() + 20));
  QTest::mouseRelease(&W(), Qt::LeftButton, {}, QPoint(W().width() + 20, W().height() + 20));
  Settle();
  EXPECT_EQ(W().size(), fixed);
}

TEST_F(SkinnedMainWindow, ACaptionChangeRepaintsTheStrip) {
  W().setWindowTitle(QString(12, QChar(0x2588)));
  Settle();
  const QImage image = Rendered(W());
  bool white = false;
  for (int x = EdgeWidth + 30; x < EdgeWidth + 80; ++x) white = white || At(image, x, 10) == QColor(255, 255, 255);
  EXPECT_TRUE(white);
}

TEST_F(SkinnedMainWindow, FinishingTheSetUpPaintsEveryEdge) {
  // The window was painted whole, without its frame, before its set-up
  // finished (a window on screen when it is skinned): finishing it must
  // paint the frame even though the size does not change.
  class PaintLog : public QObject {
   public:
    QRegion Painted;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) Painted += static_cast<QPaintEvent*>(e)->region();
      return false;
    }
  } log;
  W().repaint();
  W().installEventFilter(&log);
  form_->State = TWinSkinForm::wsStarting;
  TSkinMessageEvent finish(smFinishSetup, 0, 1000);
  QCoreApplication::sendEvent(&W(), &finish);
  Settle(20);
  W().removeEventFilter(&log);
  EXPECT_EQ(form_->State, TWinSkinForm::wsRunning);
  const int w = W().width();
  const int h = W().height();
  for (const QPoint p : {QPoint(1, h / 2), QPoint(w - 2, h / 2), QPoint(w / 2, h - 2), QPoint(w / 2, 5)}) {
    EXPECT_TRUE(log.Painted.contains(p)) << p.x() << "," << p.y();
  }
}

TEST_F(SkinnedMainWindow, FullScreenHasNoFrame) {
  W().showFullScreen();
  Settle(20);
  EXPECT_EQ(form_->FrameKind(), fkBorderless);
  EXPECT_EQ(W().contentsMargins(), QMargins());
  EXPECT_TRUE(W().mask().isEmpty());
  W().showNormal();
  Settle(20);
  EXPECT_EQ(W().contentsMargins(), QMargins(EdgeWidth, TopHeight, EdgeWidth, BottomHeight));
  EXPECT_FALSE(W().mask().isEmpty());
}

TEST_F(SkinnedMainWindow, MenuBarKeepsItsHeightAndIsDrawnFromTheSkin) {
  TWinSkinMenu* menu = form_->MenuBar();
  ASSERT_NE(menu, nullptr);
  QMenuBar* bar = W().menuBar();
  EXPECT_EQ(bar->height(), menu->Height());
  ASSERT_EQ(menu->Items().size(), 2u);
  EXPECT_EQ(menu->Items()[0]->Caption, "&File");
  EXPECT_FALSE(menu->Items()[1]->ItemEnabled);
  // Items start after the bar's left cap and 4 pixels, each its caption
  // and 10 wide.
  const QRect first = bar->actionGeometry(bar->actions().at(0));
  EXPECT_EQ(first.left(), 2 + 4);
  EXPECT_EQ(first.width(), QFontMetrics(bar->font()).size(Qt::TextShowMnemonic, "&File").width() + 10);
  const QImage image = Rendered(W());
  const QPoint empty = bar->mapTo(&W(), QPoint(bar->width() - 5, 3));
  EXPECT_EQ(At(image, empty.x(), empty.y()), BarActive);
  // A disabled command does nothing when clicked.
  int triggered = 0;
  QObject::connect(disabled_, &QAction::triggered, [&] { ++triggered; });
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(disabled_).center());
  Settle();
  EXPECT_EQ(triggered, 0);
}

TEST_F(SkinnedMainWindow, SizeGripsAreOffWhileSkinned) {
  EXPECT_FALSE(W().statusBar()->isSizeGripEnabled());
  Manager().SetAction(TSkinManagerLink::UnskinAll);
  RunAction();
  EXPECT_EQ(Manager().SkinnedWindow(&W()), nullptr);
  EXPECT_TRUE(W().statusBar()->isSizeGripEnabled());
  EXPECT_EQ(W().contentsMargins(), QMargins());
  EXPECT_EQ(W().size(), QSize(300, 200));
  EXPECT_FALSE(W().windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(W().isVisible());
}

// ---- Popup menus -------------------------------------------------------------

TEST_F(SkinnedMainWindow, PopupMenusGetTheSkinsBorderAndItems) {
  // A popup menu of the form, made before it was skinned: owner-drawn.
  Manager().SetAction(TSkinManagerLink::UnskinAll);
  RunAction();
  auto* popup = new QMenu(&W());
  QAction* first = popup->addAction("First");
  popup->addSeparator();
  QAction* system = popup->addAction("System");
  system->setProperty("Tag", 999);
  Manager().SetAction(TSkinManagerLink::SkinAll);
  RunAction();
  form_ = Manager().SkinnedWindow(&W());
  ASSERT_NE(form_, nullptr);
  EXPECT_EQ(form_->MenuRoad(popup), mrFormPopup);
  EXPECT_EQ(form_->MenuRoad(W().menuBar()->actions().at(0)->menu()), mrWindowMenu);
  // A menu made afterwards by someone else keeps the system's items.
  QMenu later(&W());
  EXPECT_EQ(form_->MenuRoad(&later), mrSystem);

  popup->popup(W().mapToGlobal(QPoint(50, 50)));
  Settle();
  ASSERT_TRUE(popup->isVisible());
  TWinSkinPopMenu* skin = Manager().PopupSkin(popup);
  ASSERT_NE(skin, nullptr);
  EXPECT_EQ(popup->style()->pixelMetric(QStyle::PM_MenuPanelWidth, nullptr, popup), PopupBorderWidth);
  popup->setActiveAction(first);
  Settle();
  QImage image(popup->size(), QImage::Format_RGB32);
  popup->render(&image);
  EXPECT_EQ(At(image, 0, 0), PopupBorder);
  EXPECT_EQ(At(image, 1, popup->height() / 2), PopupBorder);
  const QRect firstRect = popup->actionGeometry(first);
  EXPECT_EQ(firstRect.left(), PopupBorderWidth);
  EXPECT_EQ(At(image, firstRect.right() - 3, firstRect.center().y()), ItemSelected);
  // The Tag 999 item is the style's own even when selected.
  popup->setActiveAction(system);
  Settle();
  popup->render(&image);
  const QRect systemRect = popup->actionGeometry(system);
  EXPECT_NE(At(image, systemRect.right() - 3, systemRect.center().y()), ItemSelected);
  popup->hide();
  Settle();
  EXPECT_EQ(Manager().PopupSkin(popup), nullptr);
  EXPECT_FALSE(Manager().PopupOpen());
}

TEST_F(SkinnedMainWindow, ASubmenuIsSizedForTheSkinsItems) {
  // A menu asks its submenu's size before the submenu shows (to place it),
  // while the submenu still has no skin: once skinned it must measure its
  // items again, or the last ones are cut off.
  QMenu* file = W().menuBar()->actions().at(0)->menu();
  QMenu* sub = file->addMenu("&Skin");
  for (const char* text : {"Plain", "One", "Two", "Three", "Four"}) sub->addAction(text);
  // First in the plain look, then skinned, twice.
  Manager().SetAction(TSkinManagerLink::UnskinAll);
  RunAction();
  for (int round = 0; round < 3; ++round) {
    if (round == 1) {
      Manager().SetAction(TSkinManagerLink::SkinAll);
      RunAction();
    }
    file->popup(W().mapToGlobal(QPoint(20, 40)));
    Settle();
    ASSERT_TRUE(file->isVisible());
    file->setActiveAction(sub->menuAction());
    ASSERT_TRUE(QTest::qWaitFor([&] { return sub->isVisible(); }, 5000));
    Settle();
    EXPECT_EQ(Manager().PopupSkin(sub) != nullptr, round > 0);
    for (QAction* a : sub->actions()) {
      EXPECT_TRUE(sub->rect().contains(sub->actionGeometry(a))) << a->text().toStdString() << " round " << round;
    }
    file->hide();
    Settle();
  }
}

TEST(SkinMenuItems, SizesByKind) {
  struct Row {
    int Road;
    bool Separator;
    bool EmptyText;
    QSize Proposed;
    QSize Size;
  };
  const QSize text(50, 14);
  const Row rows[] = {{mrFormPopup, false, false, {80, 22}, {108, 22}},
                      {mrFormPopup, true, false, {80, 22}, {108, 22}},
                      // A separator the style makes 2 high holds the skin's strip.
                      {mrFormPopup, true, false, {80, 2}, {108, 8}},
                      {mrWindowMenu, false, false, {80, 22}, {76, 26}},
                      {mrWindowMenu, true, false, {80, 2}, {76, 8}},
                      {mrWindowMenu, false, true, {80, 22}, {76, 8}}};
  for (const Row& r : rows) {
    EXPECT_EQ(SkinMenuItemSize(r.Road, r.Proposed, text, r.Separator, r.EmptyText), r.Size) << r.Proposed.height();
  }
}

TEST(SkinMenuItems, DrawnFromTheElementOrPlain) {
  auto data = LoadTestSkin();
  const QColor background(33, 44, 55);
  QImage frame(60, 60, QImage::Format_RGB32);
  frame.fill(background);
  struct Row {
    const char* What;
    bool Element;
    bool Separator;
    int Road;
    bool Selected;
    QPoint Probe;
    QColor Colour;
  };
  const Row rows[] = {
      {"normal item: the frame shows through", true, false, mrFormPopup, false, {50, 5}, background},
      {"selected item: frame 4", true, false, mrFormPopup, true, {50, 5}, ItemSelected},
      {"form separator: frame 2's bottom rows", true, true, mrFormPopup, false, {30, 9}, SeparatorRows},
      {"window-menu separator: an etched line", true, true, mrWindowMenu, false, {30, 9}, background},
      {"plain selected", false, false, mrFormPopup, true, {50, 5}, QColor(11, 12, 13)},
      {"plain normal", false, false, mrFormPopup, false, {50, 5}, Face},
  };
  for (const Row& r : rows) {
    auto skin = LoadTestSkin();
    if (!r.Element) skin->Skin().MenuItem.reset();
    QImage target(60, 30, QImage::Format_RGB32);
    target.fill(Qt::black);
    QPainter p(&target);
    TSkinMenuItem item;
    item.Rect = QRect(0, 0, 60, r.Separator ? 10 : 12);
    item.Road = r.Road;
    item.Separator = r.Separator;
    item.Selected = r.Selected;
    item.Caption = "";
    DrawSkinMenuItem(p, *skin, frame, item);
    p.end();
    EXPECT_EQ(At(target, r.Probe.x(), r.Probe.y()), r.Colour) << r.What;
  }
  // Disabled text: the skin's shadow, or the system's when it is the
  // skin's text colour as well.
  EXPECT_EQ(DisabledMenuTextColour(*data), ShadowColour);
  data->Skin().Colours.ButtonShadow = data->Skin().Colours.MenuText;
  EXPECT_EQ(DisabledMenuTextColour(*data), QApplication::palette().color(QPalette::Dark));
}
