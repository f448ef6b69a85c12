// What a skinned window does that a window manager takes part in: whether
// one is there, the caption's right click, minimising, the window's icon
// in the caption of every stored skin, the place the window system shows
// a window at, and (under xvfb-run with openbox, skipped without a window
// manager) the place a skin switch keeps and the place of dialogs shown
// one after the other.

#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPainter>
#include <QTest>

#include <cstdlib>
#include <cstring>

#include <dlfcn.h>

#if __has_include(<xcb/xcb.h>)
#include <xcb/xcb.h>
#define SW_TEST_XCB 1
#endif

#include "skin/skin_form.h"
#include "skin/skin_manager.h"
#include "skin/skin_window_fixture.h"
#include "skin/stored_skins.h"
#include "skin/window_manager.h"

using namespace skintest;

namespace {

TSkinManage& Manager() { return *TSkinManage::Instance(); }

#if defined(SW_TEST_XCB)
// What a task bar or pager does to bring a window back: it asks the
// window manager to activate it (_NET_ACTIVE_WINDOW from a pager), and
// Qt takes no part. The calls go to the xcb library Qt has loaded.
// Whether the tests run on X under a window manager. The one the test
// script starts with the test claims the display a moment later, so it is
// waited for.
bool WindowManagerRuns() {
  if (QGuiApplication::platformName() != "xcb") return false;
  if (std::getenv("STAMPWISE_WINDOW_MANAGER") != nullptr) {
    (void)QTest::qWaitFor([] {
      SetWindowManagerAnswer(std::nullopt);
      return HasWindowManager();
    });
  }
  return HasWindowManager();
}

bool ActivateAsAPager(const QWindow& window) {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* c = x11 ? x11->connection() : nullptr;
  void* library = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_NOLOAD);
  if (c == nullptr || library == nullptr) return false;
  const auto intern = reinterpret_cast<decltype(&xcb_intern_atom)>(dlsym(library, "xcb_intern_atom"));
  const auto internReply = reinterpret_cast<decltype(&xcb_intern_atom_reply)>(dlsym(library, "xcb_intern_atom_reply"));
  const auto setup = reinterpret_cast<decltype(&xcb_get_setup)>(dlsym(library, "xcb_get_setup"));
  const auto roots = reinterpret_cast<decltype(&xcb_setup_roots_iterator)>(dlsym(library, "xcb_setup_roots_iterator"));
  const auto send = reinterpret_cast<decltype(&xcb_send_event)>(dlsym(library, "xcb_send_event"));
  const auto flush = reinterpret_cast<decltype(&xcb_flush)>(dlsym(library, "xcb_flush"));
  bool sent = false;
  if (intern && internReply && setup && roots && send && flush) {
    static const char name[] = "_NET_ACTIVE_WINDOW";
    xcb_intern_atom_reply_t* atom = internReply(c, intern(c, 0, sizeof name - 1, name), nullptr);
    const xcb_screen_t* screen = roots(setup(c)).data;
    if (atom != nullptr && screen != nullptr) {
      xcb_client_message_event_t message;
      std::memset(&message, 0, sizeof message);
      message.response_type = XCB_CLIENT_MESSAGE;
      message.format = 32;
      message.window = static_cast<xcb_window_t>(window.winId());
      message.type = atom->atom;
      message.data.data32[0] = 2;  // a pager asks
      send(c, 0, screen->root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
           reinterpret_cast<const char*>(&message));
      flush(c);
      sent = true;
    }
    std::free(atom);
  }
  dlclose(library);
  return sent;
}
#else
bool ActivateAsAPager(const QWindow&) { return false; }
#endif

TEST(WindowManagerPresent, FollowsThePlatformAndTheCheckWindow) {
  struct Case {
    const char* Platform;
    std::optional<bool> Check;
    bool Present;
  };
  const Case cases[] = {
      {"xcb", true, true},          {"xcb", false, false},      {"xcb", std::nullopt, true},
      {"wayland", std::nullopt, true}, {"offscreen", std::nullopt, true}, {"minimal", std::nullopt, false},
      {"linuxfb", std::nullopt, false}, {"eglfs", std::nullopt, false},  {"vnc", std::nullopt, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WindowManagerPresent(c.Platform, c.Check), c.Present) << c.Platform;
  }
}

class SkinnedWindowAndItsManager : public SkinWindowTest {
 protected:
  void TearDown() override {
    window_.reset();
    SetWindowManagerAnswer(std::nullopt);
    SetWindowOriginAnswer(std::nullopt);
    SkinWindowTest::TearDown();
  }
  TWinSkinForm& Open() {
    window_ = std::make_unique<QMainWindow>();
    window_->setCentralWidget(new QLabel("client"));
    window_->resize(300, 200);
    window_->show();
    window_->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    Settle();
    TWinSkinForm* form = Manager().SkinnedWindow(window_.get());
    EXPECT_NE(form, nullptr);
    return *form;
  }
  std::unique_ptr<QMainWindow> window_;
};

TEST_F(SkinnedWindowAndItsManager, OnlyAWindowManagerMinimises) {
  for (bool present : {true, false}) {
    SCOPED_TRACE(present);
    SetWindowManagerAnswer(present);
    ActiveSkin();
    TWinSkinForm& form = Open();
    EXPECT_EQ((form.CaptionButtons() & cbMinimize) != 0, present);
    QMenu* menu = form.SystemMenu();
    ASSERT_NE(menu, nullptr);
    auto* minimise = menu->findChild<QAction*>("scMinimize");
    ASSERT_NE(minimise, nullptr);
    EXPECT_EQ(minimise->isEnabled(), present);
    EXPECT_TRUE(menu->findChild<QAction*>("scClose")->isEnabled());
    window_.reset();
    skin_.reset();
    Settle();
  }
}

TEST_F(SkinnedWindowAndItsManager, ARightClickOnTheCaptionOpensOnlyTheSystemMenu) {
  ActiveSkin();
  TWinSkinForm& form = Open();
  int requests = 0;
  window_->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(window_.get(), &QWidget::customContextMenuRequested, [&] { ++requests; });
  const QPoint caption(window_->width() / 2, TopHeight / 2);
  QTest::mouseClick(window_.get(), Qt::RightButton, {}, caption);
  QContextMenuEvent onCaption(QContextMenuEvent::Mouse, caption, window_->mapToGlobal(caption));
  QCoreApplication::sendEvent(window_.get(), &onCaption);
  Settle();
  EXPECT_TRUE(form.SystemMenu()->isVisible());
  EXPECT_EQ(requests, 0);
  form.SystemMenu()->hide();
  // Inside the frame the window's own menu is the window's business.
  const QPoint inside(window_->width() / 2, window_->height() / 2);
  QContextMenuEvent onClient(QContextMenuEvent::Mouse, inside, window_->mapToGlobal(inside));
  QCoreApplication::sendEvent(window_.get(), &onClient);
  Settle();
  EXPECT_EQ(requests, 1);
}

TEST_F(SkinnedWindowAndItsManager, LinksTakeTheSkinsHighlight) {
  TSkinData& data = ActiveSkin();
  Open();
  const QColor accent = data.Colours().Hilight;
  EXPECT_EQ(window_->palette().color(QPalette::Link), accent);
  EXPECT_EQ(window_->palette().color(QPalette::LinkVisited), accent);
}

// The stored skins leave the system-menu button without a picture of its
// own: it shows the window's icon.
TEST_F(SkinnedWindowAndItsManager, EveryStoredSkinShowsTheWindowIconInTheCaption) {
  const QColor iconColour(10, 200, 30);
  QPixmap pixmap(32, 32);
  pixmap.fill(iconColour);
  TSkinStore store;
  LoadStoredSkins(store);
  for (int i = 0; i < StoredSkinCount; ++i) {
    SCOPED_TRACE(i);
    skin_ = std::make_unique<TSkinData>();
    skin_->LoadFromCollection(store, i);
    ASSERT_TRUE(skin_->SkinLoaded());
    skin_->SetActive(true);
    window_ = std::make_unique<QMainWindow>();
    window_->setWindowIcon(QIcon(pixmap));
    window_->setCentralWidget(new QLabel("client"));
    window_->resize(300, 200);
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    Settle();
    TWinSkinForm* form = Manager().SkinnedWindow(window_.get());
    ASSERT_NE(form, nullptr);
    const TFramePicture& picture = form->Picture();
    const std::vector<TDataSkinSysButton>& buttons = skin_->Skin().SysButtons;
    bool found = false;
    for (std::size_t b = 0; b < buttons.size(); ++b) {
      if (!IsSystemMenuButton(buttons[b])) continue;
      found = true;
      ASSERT_TRUE(picture.Buttons[b].Shown);
      const QPoint centre = picture.Buttons[b].Bounds.center();
      EXPECT_EQ(At(picture.Strip, centre.x(), centre.y()), iconColour);
    }
    EXPECT_TRUE(found);
    window_.reset();
    skin_.reset();
    Settle();
  }
}

// Qt may keep a place a skinned (borderless) window never took; once the
// window is exposed the window system's word counts, and only under a
// window manager (without one nobody moves a window behind Qt's back).
TEST_F(SkinnedWindowAndItsManager, AnExposedWindowTakesThePlaceTheWindowSystemShows) {
  struct Case {
    const char* Name;
    bool Manager;
    bool Skinned;
    std::optional<QPoint> Shown;
    QPoint Expected;
  };
  const QPoint asked(120, 90);
  const Case cases[] = {
      {"shown elsewhere", true, true, QPoint(0, 0), QPoint(0, 0)},
      {"shown further on", true, true, QPoint(321, 123), QPoint(321, 123)},
      {"shown where asked", true, true, asked, asked},
      {"nothing to ask", true, true, std::nullopt, asked},
      {"no window manager", false, true, QPoint(0, 0), asked},
      {"the window system's own frame", true, false, QPoint(0, 0), asked},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    SetWindowManagerAnswer(c.Manager);
    SetWindowOriginAnswer(c.Shown);
    skin_ = LoadTestSkin();
    skin_->SetActive(true);
    QDialog dialog;
    // The skin leaves a window of Tag 99 alone.
    if (!c.Skinned) dialog.setProperty("Tag", 99);
    dialog.resize(200, 120);
    dialog.move(asked);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    Settle();
    EXPECT_EQ(Manager().SkinnedWindow(&dialog) != nullptr, c.Skinned);
    EXPECT_EQ(dialog.frameGeometry().topLeft(), c.Expected);
    dialog.hide();
    skin_.reset();
    Settle();
  }
}

// A skinned dialog shown again and again opens where it was put, and Qt
// knows the place the window system shows it at: a popup opens next to
// what it belongs to and the place stored on closing is the right one.
TEST_F(SkinnedWindowAndItsManager, DialogsShownAgainKeepTheirPlaceUnderAWindowManager) {
  if (!WindowManagerRuns()) {
    GTEST_SKIP() << "needs an X display with a window manager (openbox under xvfb-run)";
  }
  skin_ = LoadTestSkin();
  skin_->SetActive(true);
  const QPoint asked(333, 222);
  for (int showing = 0; showing < 12; ++showing) {
    SCOPED_TRACE(showing);
    QDialog dialog;
    dialog.resize(240, 160);
    dialog.move(asked);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    ASSERT_NE(Manager().SkinnedWindow(&dialog), nullptr);
    ASSERT_NE(dialog.windowHandle(), nullptr);
    // The window manager has framed the window once X shows it where
    // it was put.
    ASSERT_TRUE(QTest::qWaitFor([&] { return WindowOriginOnScreen(*dialog.windowHandle()) == asked; }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.geometry().topLeft() == asked; }))
        << dialog.geometry().x() << "," << dialog.geometry().y();
    dialog.hide();
    Settle();
  }
}

// Switching between the window system's frame and the skin's keeps the
// visible window where it is, however often it happens.
TEST_F(SkinnedWindowAndItsManager, SkinSwitchesKeepThePlaceUnderAWindowManager) {
  if (!WindowManagerRuns()) {
    GTEST_SKIP() << "needs an X display with a window manager (openbox under xvfb-run)";
  }
  // The component (and with it the manager) is there before the window
  // is first activated; it is switched on only later.
  skin_ = LoadTestSkin();
  window_ = std::make_unique<QMainWindow>();
  window_->setCentralWidget(new QLabel("client"));
  window_->setGeometry(200, 150, 300, 200);
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  // The window manager frames the window after it is mapped.
  ASSERT_TRUE(QTest::qWaitFor([&] { return window_->frameGeometry().topLeft() != window_->geometry().topLeft(); }));
  const QPoint corner = window_->frameGeometry().topLeft();
  const QRect client = window_->geometry();
  for (int trip = 0; trip < 4; ++trip) {
    SCOPED_TRACE(trip);
    skin_->SetActive(true);
    RunAction();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Manager().SkinnedWindow(window_.get()) != nullptr; }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window_->frameGeometry().topLeft() == corner; }))
        << window_->frameGeometry().x() << "," << window_->frameGeometry().y();
    skin_->SetActive(false);
    RunAction();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window_->geometry() == client; }))
        << window_->geometry().x() << "," << window_->geometry().y() << " " << window_->geometry().width() << "x"
        << window_->geometry().height() << " for " << client.x() << "," << client.y() << " " << client.width() << "x"
        << client.height();
    EXPECT_EQ(window_->frameGeometry().topLeft(), corner);
  }
}

// Minimised by the skin's system menu and restored from the window
// manager's side (a task bar or pager activates it), the window comes
// back as it was the next time it is hidden and shown, as the main
// window is around the viewer and at a skin switch.
TEST_F(SkinnedWindowAndItsManager, AWindowRestoredByTheWindowManagerIsShownAgainUnderAWindowManager) {
  if (!WindowManagerRuns()) {
    GTEST_SKIP() << "needs an X display with a window manager (openbox under xvfb-run)";
  }
  ActiveSkin();
  TWinSkinForm& form = Open();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  QMenu* menu = form.SystemMenu();
  ASSERT_NE(menu, nullptr);
  QAction* minimise = menu->findChild<QAction*>("scMinimize");
  ASSERT_NE(minimise, nullptr);
  minimise->trigger();
  // Minimised once the window manager has taken it off the screen.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window_->windowHandle()->isExposed(); }));
  Settle(100);
  ASSERT_TRUE(ActivateAsAPager(*window_->windowHandle()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return (window_->windowState() & Qt::WindowMinimized) == 0; }))
      << "the window manager did not restore the window";
  Settle(100);
  window_->hide();
  Settle(100);
  window_->show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  Settle(300);
  EXPECT_FALSE(window_->windowState() & Qt::WindowMinimized);
  EXPECT_TRUE(window_->windowHandle()->isExposed());
}

// Qt can keep a place the window manager reported while it framed the
// skinned window (its new frame's corner, 0,0) after the one check made
// when the window was first exposed: giving the frame back puts the
// plain window where the skinned one is shown, not at that place.
TEST_F(SkinnedWindowAndItsManager, TheFrameGivenBackTakesThePlaceTheWindowIsShownAt) {
  SetWindowManagerAnswer(true);
  ActiveSkin();
  Open();
  const QPoint shown = window_->pos() + QPoint(37, 23);
  SetWindowOriginAnswer(shown);
  skin_->SetActive(false);
  RunAction();
  Settle();
  ASSERT_EQ(Manager().SkinnedWindow(window_.get()), nullptr);
  ASSERT_FALSE(window_->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(window_->frameGeometry().topLeft(), shown)
      << window_->frameGeometry().x() << "," << window_->frameGeometry().y();
}

}  // namespace
