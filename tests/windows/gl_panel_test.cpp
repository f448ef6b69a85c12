// The OpenGL panel. The on-screen cases need a display with OpenGL: they
// run in the "windows_gl_xvfb" test (xvfb-run with the xcb platform) and
// skip elsewhere; the plain-panel cases run on the offscreen platform.

#include <GL/gl.h>

#include <QGuiApplication>
#include <QLabel>
#include <QOpenGLWidget>

#include "core/exceptions.h"
#include "windows/gl_panel.h"
#include "windows/windows_fixture.h"

namespace {

class GLPanelTest : public WindowsTest {};

TEST_F(GLPanelTest, PlainPanelWithoutOpenGL) {
  if (TGLPanel::OpenGLAvailable()) GTEST_SKIP() << "this platform offers OpenGL";
  TGLPanel panel;
  auto* child = new QLabel("preview", &panel);
  panel.resize(200, 100);
  panel.show();
  EXPECT_TRUE(child->isVisible());
  EXPECT_EQ(panel.GLView(), nullptr);
  EXPECT_FALSE(panel.HasContext());

  int fired = 0;
  const auto count = [&fired](TGLPanel&) { ++fired; };
  for (auto set : {&TGLPanel::SetOnInit, &TGLPanel::SetOnPaint, &TGLPanel::SetOnResize}) {
    try {
      (panel.*set)(count);
      ADD_FAILURE() << "setting an OpenGL event did not raise";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "ChoosePixelFormat failed!");
    }
    (panel.*set)(nullptr);  // clearing is always fine
  }
  EXPECT_FALSE(panel.OnInit());
  EXPECT_FALSE(panel.OnPaint());
  EXPECT_FALSE(panel.OnResize());
  panel.resize(300, 150);
  panel.update();
  QCoreApplication::processEvents();
  EXPECT_EQ(fired, 0);
  EXPECT_EQ(panel.GLView(), nullptr);
}

class GLPanelOnScreen : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs a display (run under xvfb-run)";
    if (!TGLPanel::OpenGLAvailable()) GTEST_SKIP() << "the display offers no OpenGL";
  }
};

TEST_F(GLPanelOnScreen, PaintsThroughOnPaintAndTellsInitAndResize) {
  TGLPanel panel;
  panel.resize(64, 48);
  int inits = 0;
  int paints = 0;
  int resizes = 0;
  GLint viewport[4] = {};
  GLint matrixMode = 0;
  GLboolean lighting = GL_FALSE;
  GLboolean depthTest = GL_FALSE;
  panel.SetOnInit([&](TGLPanel&) {
    ++inits;
    glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
    lighting = glIsEnabled(GL_LIGHTING);
    depthTest = glIsEnabled(GL_DEPTH_TEST);
  });
  panel.SetOnResize([&](TGLPanel&) {
    ++resizes;
    glGetIntegerv(GL_VIEWPORT, viewport);
  });
  panel.SetOnPaint([&](TGLPanel&) {
    ++paints;
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  });
  auto* child = new QLabel("on top", &panel);
  child->move(0, 0);
  panel.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
  ASSERT_TRUE(WaitFor([&] { return paints > 0; }));
  EXPECT_TRUE(panel.HasContext());
  EXPECT_EQ(inits, 1);
  EXPECT_EQ(matrixMode, GL_MODELVIEW);
  EXPECT_TRUE(lighting);
  EXPECT_TRUE(depthTest);
  EXPECT_GE(resizes, 1);
  EXPECT_EQ(viewport[2], static_cast<GLint>(64 * panel.devicePixelRatioF()));

  const QImage frame = panel.GLView()->grabFramebuffer();
  ASSERT_FALSE(frame.isNull());
  EXPECT_EQ(frame.pixelColor(frame.width() / 2, frame.height() / 2), QColor(255, 0, 0));
  // The panel's other children stay above the OpenGL view.
  EXPECT_EQ(panel.childAt(child->geometry().center()), child);

  panel.resize(80, 60);
  ASSERT_TRUE(WaitFor([&] { return viewport[2] == static_cast<GLint>(80 * panel.devicePixelRatioF()); }));
  EXPECT_EQ(inits, 1);
}

TEST_F(GLPanelOnScreen, WhatAnEventRaisesIsShownAndPaintingGoesOn) {
  TGLPanel panel;
  panel.resize(32, 32);
  int paints = 0;
  panel.SetOnPaint([&](TGLPanel&) {
    // Not a standard exception: it must not get past the panel either.
    if (++paints == 1) throw 42;
  });
  panel.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
  ASSERT_TRUE(WaitFor([&] { return paints > 0; }));
  ASSERT_EQ(handler_.Boxes.size(), 1u);
  EXPECT_EQ(handler_.Boxes[0].Kind, mkError);
  panel.GLView()->update();
  EXPECT_TRUE(WaitFor([&] { return paints > 1; }));
  EXPECT_EQ(handler_.Boxes.size(), 1u);
}

}  // namespace
