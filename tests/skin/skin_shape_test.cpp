// A skinned window on a real display (run under xvfb-run with the xcb
// platform by the skin_shape_xvfb test; skipped elsewhere): the window
// system shows it in the shape cut from its edges, what lies behind shows
// through the cut-outs.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QDialog>
#include <QMainWindow>
#include <QTimer>
#include <QScreen>
#include <QTest>

#include "skin/skin_manager.h"
#include "skin/skin_window_fixture.h"

using namespace skintest;

TEST_F(SkinWindowTest, ShapeOnARealDisplay) {
  if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs a display";
  ActiveSkin();
  const QColor behind(0, 255, 0);
  QWidget back(nullptr, Qt::FramelessWindowHint);
  back.setProperty("Tag", NeverSkinTag);
  QPalette p = back.palette();
  p.setColor(QPalette::Window, behind);
  back.setPalette(p);
  back.setGeometry(0, 0, 500, 400);
  back.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&back));
  QMainWindow w;
  w.setGeometry(100, 100, 300, 200);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  w.raise();
  w.activateWindow();
  Settle(300);
  ASSERT_NE(TSkinManage::Instance()->SkinnedWindow(&w), nullptr);
  const QPoint origin = w.geometry().topLeft();
  const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
  const int width = w.width();
  struct Probe {
    QPoint P;
    bool Behind;
  };
  const Probe probes[] = {{{0, 0}, true},         {{width - 1, 0}, true}, {{width / 2, 0}, true},
                          {{width / 2, 1}, false}, {{2, 40}, false},      {{width / 2, w.height() / 2}, false}};
  for (const Probe& pr : probes) {
    const QPoint at = origin + pr.P;
    EXPECT_EQ(At(screen, at.x(), at.y()) == behind, pr.Behind) << pr.P.x() << "," << pr.P.y();
  }
  EXPECT_EQ(At(screen, origin.x() + 2, origin.y() + 40), LeftActive);
}

TEST_F(SkinWindowTest, FullScreenOnARealDisplayHasNoShape) {
  if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs a display";
  ActiveSkin();
  QDialog w;
  w.resize(300, 200);
  bool checked = false;
  QTimer::singleShot(300, &w, [&] {
    EXPECT_FALSE(w.windowHandle()->mask().isEmpty());
    w.setWindowState(w.windowState() | Qt::WindowFullScreen);
    w.setGeometry(w.screen()->geometry());
    QTimer::singleShot(300, &w, [&] {
      EXPECT_TRUE(w.windowHandle()->mask().isEmpty());
      EXPECT_EQ(w.contentsMargins(), QMargins());
      checked = true;
      w.accept();
    });
  });
  w.exec();
  EXPECT_TRUE(checked);
}
