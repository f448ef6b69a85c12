#pragma once
// A panel with an OpenGL view of its own: the parent of the preview paint
// boxes. The OpenGL view is made only when an OpenGL event is set; until
// then (and for the previews, which paint with QPainter) it is a plain
// panel, so it works on platforms without OpenGL too.

#include <QFrame>
#include <QSurfaceFormat>

#include <functional>

class QOpenGLWidget;

class TGLPanel : public QFrame {
  Q_OBJECT

 public:
  using TNotifyEvent = std::function<void(TGLPanel& sender)>;

  explicit TGLPanel(QWidget* parent = nullptr);
  ~TGLPanel() override;

  // Setting an event makes the OpenGL view; where no OpenGL context can be
  // had they raise Exception("ChoosePixelFormat failed!") and leave the
  // event unset. Clearing an event never raises.
  //
  // OnInit fires once the view's context is set up (projection, lighting
  // and eye point in place), with the context current. OnPaint fires with
  // the context current whenever the view repaints. OnResize fires after
  // the viewport was set to the new size.
  void SetOnInit(TNotifyEvent event);
  void SetOnPaint(TNotifyEvent event);
  void SetOnResize(TNotifyEvent event);
  const TNotifyEvent& OnInit() const { return onInit_; }
  const TNotifyEvent& OnPaint() const { return onPaint_; }
  const TNotifyEvent& OnResize() const { return onResize_; }

  // The OpenGL view, or nullptr while the panel is plain.
  QOpenGLWidget* GLView() const;
  // True once the view has its context.
  bool HasContext() const;

  // The pixel format asked for: double-buffered RGBA, 16 colour bits and
  // 32 depth bits at least, fixed-function OpenGL.
  static QSurfaceFormat PanelFormat();
  // Whether this platform can give the panel an OpenGL context (asked
  // once).
  static bool OpenGLAvailable();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  class TView;
  void EnsureView();

  TNotifyEvent onInit_;
  TNotifyEvent onPaint_;
  TNotifyEvent onResize_;
  TView* view_ = nullptr;
};
