#include "windows/gl_panel.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QResizeEvent>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cerrno>
#include <string>

#include "app/routines.h"
#include "core/exceptions.h"
#include "windows/form_support.h"

// The OpenGL view: fills the panel below its other children.
class TGLPanel::TView : public QOpenGLWidget {
 public:
  explicit TView(TGLPanel* panel) : QOpenGLWidget(panel), panel_(panel) {
    setObjectName("glView");
    setFormat(PanelFormat());
  }

  bool Initialised() const { return initialised_; }

 protected:
  void initializeGL() override {
    // The scene every panel starts with: an orthographic box looked at
    // from (2, 4, 6), lit by light 0, colours taken as materials.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glOrtho(-1.0, 1.0, -1.0, 1.0, -1.0, 50.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_COLOR_MATERIAL);
    glShadeModel(GL_SMOOTH);
    gluLookAt(2.0, 4.0, 6.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    initialised_ = true;
    if (panel_->onInit_) {
      makeCurrent();
      if (QOpenGLContext::currentContext() != context()) {
        ShowMsg("wglMakeCurrent:" + std::to_string(errno), mkError, SystemMessageCaption);
        return;
      }
      Fire(panel_->onInit_);
    }
  }

  void paintGL() override {
    if (panel_->onPaint_) Fire(panel_->onPaint_);
  }

  void resizeGL(int w, int h) override {
    if (!panel_->onResize_) return;
    const qreal ratio = devicePixelRatioF();
    glViewport(0, 0, static_cast<GLsizei>(w * ratio), static_cast<GLsizei>(h * ratio));
    Fire(panel_->onResize_);
  }

 private:
  // Events run inside Qt's painting; what they raise is shown, not let out.
  void Fire(const TNotifyEvent& event) {
    Guarded([&] { event(*panel_); });
  }

  TGLPanel* panel_;
  bool initialised_ = false;
};

TGLPanel::TGLPanel(QWidget* parent) : QFrame(parent) {}

TGLPanel::~TGLPanel() = default;

QSurfaceFormat TGLPanel::PanelFormat() {
  QSurfaceFormat format;
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setProfile(QSurfaceFormat::CompatibilityProfile);
  format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
  format.setRedBufferSize(5);
  format.setGreenBufferSize(6);
  format.setBlueBufferSize(5);
  format.setDepthBufferSize(32);
  return format;
}

bool TGLPanel::OpenGLAvailable() {
  static const bool available = [] {
    QOpenGLContext context;
    context.setFormat(PanelFormat());
    if (!context.create()) return false;
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface)) return false;
    context.doneCurrent();
    return true;
  }();
  return available;
}

QOpenGLWidget* TGLPanel::GLView() const { return view_; }

bool TGLPanel::HasContext() const { return view_ && view_->Initialised() && view_->context(); }

void TGLPanel::EnsureView() {
  if (view_) return;
  if (!OpenGLAvailable()) throw Exception("ChoosePixelFormat failed!");
  view_ = new TView(this);
  view_->setGeometry(contentsRect());
  view_->lower();  // the panel's other children stay on top
  view_->show();
}

void TGLPanel::SetOnInit(TNotifyEvent event) {
  if (event) EnsureView();
  onInit_ = std::move(event);
}

void TGLPanel::SetOnPaint(TNotifyEvent event) {
  if (event) EnsureView();
  onPaint_ = std::move(event);
  if (view_) view_->update();
}

void TGLPanel::SetOnResize(TNotifyEvent event) {
  if (event) EnsureView();
  onResize_ = std::move(event);
}

void TGLPanel::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  if (view_) view_->setGeometry(contentsRect());
}
