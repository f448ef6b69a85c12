#pragma once
// The skinned controls: the objects a skinned window attaches to its
// controls by the control table (skin_child.h), made by the factory that
// InstallSkinControls installs.
//
// Each object puts an event filter in front of its control for what the
// skin changes in its behaviour (the hot and pressed bits, repainting on
// focus and enabling) and gives the control, and the parts of it that
// draw on their own (the scroll bars and the corner of a scroll area, a
// view's header, a spin box's line edit, a tab bar's scroll buttons, a
// tool bar's buttons, the buttons on a page control's pages), the one
// shared skin style, which draws them from
// the skin's elements and leaves whatever the skin does not draw to the
// application's style, but for the dark single-colour glyphs of buttons:
// those take the skin's button-text colour (SkinnedIcon).
// Qt's own scroll-bar drag serves the thumb; the skin supplies the
// geometry of the parts through the style's sub-control rectangles, so
// that drawing, hit testing and dragging all follow one geometry.
//
// Restore gives back exactly what was taken (style, hover tracking,
// colours, event filter) and may run any number of times; once its
// control is destroyed an object touches it no more and its window drops
// it.

#include <QPointer>
#include <QStyle>
#include <QWidget>

#include <optional>
#include <vector>

#include "skin/skin_child.h"
#include "skin/skin_control_draw.h"

class QPainter;
class QStyleOption;
class QStyleOptionComplex;
class TSkinData;
class TWinSkinForm;

// What a widget is to the object that serves it.
enum TServedRole {
  srControl,     // the control itself
  srScrollBar,   // a scroll bar of a scrolling control (its frame's bars)
  srHeader,      // the header of a list
  srTabBar,      // the tab bar of a page control
  srScrollButton,  // a scroll button of a tab bar
  srInner,       // a line edit inside a spin or combo box
  srPanel,       // a panel (label) of a status bar
  srBarButton,   // a button of a tool bar
  srPageButton,  // a button on a page of a page control
};

class TSkinControl : public QObject, public TSkinChildObject {
  Q_OBJECT

 public:
  explicit TSkinControl(const TSkinChildRequest& request);
  ~TSkinControl() override;

  // Takes the control over (called once by the factory).
  virtual void Init();
  QWidget* Control() const override { return control_; }
  void Restore() override;
  void Recolour() override;
  // A new skin: its colours, and the control drawn anew.
  void Refresh() override;
  void MouseLeave() override;

  TSkinChildKind Kind() const { return kind_; }
  // The skin to draw from: null when the window has lost its component or
  // no skin is loaded.
  const TSkinData* Data() const;
  bool Hot() const { return hot_; }
  bool Pressed() const { return pressed_; }
  bool Restored() const { return restored_; }

  // ---- What the shared style asks (false or nothing: the application's
  // style draws) ----
  virtual bool DrawPrimitive(QStyle::PrimitiveElement, const QStyleOption*, QPainter*, const QWidget*, TServedRole) {
    return false;
  }
  virtual bool DrawControl(QStyle::ControlElement, const QStyleOption*, QPainter*, const QWidget*, TServedRole) {
    return false;
  }
  virtual bool DrawComplex(QStyle::ComplexControl, const QStyleOptionComplex*, QPainter*, const QWidget*, TServedRole) {
    return false;
  }
  virtual std::optional<QRect> SubControlRect(QStyle::ComplexControl, const QStyleOptionComplex*, QStyle::SubControl,
                                              const QWidget*, TServedRole) {
    return std::nullopt;
  }
  virtual std::optional<QStyle::SubControl> HitTest(QStyle::ComplexControl, const QStyleOptionComplex*, QPoint,
                                                    const QWidget*, TServedRole) {
    return std::nullopt;
  }
  virtual std::optional<int> PixelMetric(QStyle::PixelMetric, const QStyleOption*, const QWidget*, TServedRole) {
    return std::nullopt;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Before the control sees an event: true passes it on.
  virtual bool BeforeMessage(QWidget* watched, QEvent* event, TServedRole role);
  // Gives w the skin style and this filter.
  void Serve(QWidget* w, TServedRole role);
  void Repaint();
  void SetHot(bool hot);

  QPointer<QWidget> control_;
  TSkinChildKind kind_;
  int option_ = 0;
  QPointer<TWinSkinForm> owner_;
  TSkinData* data_ = nullptr;
  bool hot_ = false;
  bool pressed_ = false;

 private:
  struct TServed {
    QPointer<QWidget> Widget;
    TServedRole Role;
    bool OwnStyle;
    QPointer<QStyle> OldStyle;
    bool Hover;
  };
  void ControlGone();
  void Unserve(TServed& s);

  std::vector<TServed> served_;
  bool restored_ = false;
  bool colourTaken_ = false;
  bool ownPalette_ = false;
  QPalette oldPalette_;
};

// The object serving a widget, and in which role; null when none does.
TSkinControl* SkinControlOf(const QWidget* widget, TServedRole* role = nullptr);

// Installs the factory of the skinned controls with SetSkinChildFactory.
void InstallSkinControls();

// The panels a status bar shows: its message in simple mode, otherwise
// one per shown label on it (its "Bevel" property 1 lowered, 2 raised,
// 3 none; lowered when it has none).
class QStatusBar;
TStatusPanels StatusPanelsOf(const QStatusBar& bar);
