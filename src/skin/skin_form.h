#pragma once
// A skinned window: what the skin manager attaches to a top-level window
// it skins.
//
// The window loses the window system's frame (Qt::FramelessWindowHint,
// set before its native window exists when it is skinned before its first
// showing; a main window on screen is made anew with its geometry and
// state kept) and gets the skin's frame instead: its contents margins are
// the frame's sizes, so whatever its layout places moves inside, and the
// window grows by the frame so that its client area keeps its size. The
// skin paints the frame after the window's own painting, answers the
// mouse on it (the caption moves the window, the frame of a sizeable
// window sizes it, a double click on the caption maximises or restores,
// a right click opens the system menu, title buttons act), and cuts the
// window's shape from the transparent colour of the edge pictures
// (setMask). The window's menu bar stays its own QMenuBar, drawn by the
// skin's style; so do the items of the form's popup menus.
//
// Unskin gives back exactly what set-up took: the flags, contents
// margins, size and place of the client area, size limits, palettes,
// styles, mouse tracking, cursor, size grips and shape.
//
// Hooks for the skinned controls: SkinChildControls walks the window's
// controls by the control table of skin_child.h and asks the factory
// installed with SetSkinChildFactory for an object per control; the
// objects live in ChildObjects() until Unskin, which restores each.
// SetHotChild names the control the mouse is over, so that the hover
// timer can tell it when the mouse has left.

#include <QAction>
#include <QCursor>
#include <QFont>
#include <QImage>
#include <QMargins>
#include <QMenu>
#include <QMenuBar>
#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <QStyle>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

#include "skin/skin_child.h"
#include "skin/skin_frame.h"

class QMouseEvent;
class TSkinData;
class TSkinManage;
class TWinSkinForm;

// A clickable part of the frame; the owner keeps one hot at a time.
class TNCObject {
 public:
  explicit TNCObject(TWinSkinForm& owner) : owner_(owner) {}
  virtual ~TNCObject() = default;
  TNCObject(const TNCObject&) = delete;
  TNCObject& operator=(const TNCObject&) = delete;

  // Window coordinates.
  QRect Bounds;
  bool Enabled = true;
  // 1 normal, 2 pressed, 3 hot.
  int State = 1;

  virtual void MouseDown();
  virtual void MouseUp();
  virtual void MouseEnter();
  virtual void MouseLeave();
  virtual void Paint() {}

 protected:
  TWinSkinForm& owner_;
};

// A title-bar button: a BUTTON section of the skin.
class TWinSysButton : public TNCObject {
 public:
  TWinSysButton(TWinSkinForm& owner, std::size_t index) : TNCObject(owner), Index(index) {}
  const std::size_t Index;
  const TDataSkinSysButton& Element() const;
  // Draws the button in its state (through the window's frame).
  void Paint() override;
};

// One item of the window's menu bar as the skin knows it.
class TMenuBtn : public TNCObject {
 public:
  TMenuBtn(TWinSkinForm& owner, int index, QAction* action);
  const int Index;
  // At most 80 characters.
  QString Caption;
  bool ItemEnabled = true;
  QPointer<QMenu> SubMenu;
  QPointer<QAction> Command;
  void Paint() override;
};

// The window's menu bar while it is skinned: the real QMenuBar, given the
// skin's style, and what the style needs to draw it.
class TWinSkinMenu {
 public:
  // height: the bar's height before it was skinned.
  TWinSkinMenu(TWinSkinForm& owner, QMenuBar& bar, int height);
  ~TWinSkinMenu();
  TWinSkinMenu(const TWinSkinMenu&) = delete;
  TWinSkinMenu& operator=(const TWinSkinMenu&) = delete;

  // Reads the bar's items.
  void LoadMenu();
  QMenuBar* Bar() const { return bar_; }
  int Height() const { return height_; }
  const std::vector<std::unique_ptr<TMenuBtn>>& Items() const { return items_; }
  // The bar's background at its size, for the window's activity.
  const QImage& Background();
  // Forgets the background (the skin or the activity changed).
  void Invalidate();
  // Gives the bar back its own style.
  void Restore();
  // The bar is being destroyed with its window.
  void Forget() { bar_ = nullptr; }

 private:
  TWinSkinForm& owner_;
  QPointer<QMenuBar> bar_;
  int height_;
  bool ownStyle_ = false;
  QPointer<QStyle> oldStyle_;
  std::vector<std::unique_ptr<TMenuBtn>> items_;
  QImage background_;
  bool backgroundActive_ = true;
};

class TWinSkinForm : public QObject {
  Q_OBJECT

 public:
  enum TState { wsStarting = 0, wsRunning = 1, wsReloading = 3, wsClosing = 4, wsSizing = 5 };

  explicit TWinSkinForm(TSkinManage& manager);
  ~TWinSkinForm() override;

  // The window.
  QWidget* Handle() const { return window_; }
  TSkinData* Data() const { return data_; }
  int State = wsStarting;

  // Set-up: the form's part (its colour and popup menus), then the
  // window's.
  void InitFromForm(TSkinData& data, QWidget& form);
  void InitFromHandle(TSkinData& data);
  // Gives the window back (the manager then frees this object). A window
  // being destroyed is only let go.
  void Unskin();
  void SkinChildControls(QWidget& parent);
  // Re-lays the frame: its sizes and the title buttons.
  void FrameMetrics();
  // Applies the skin's colours again and fits the window to the frame.
  void Recolour();
  // Takes up its skin component's (new) skin.
  void ReloadSkin();
  // Paints the frame anew (the hot title button becomes normal).
  void RepaintFrame();
  // Gives the window the size of its client area plus the frame.
  void ReSizeToFrame();
  // Builds the window's shape again when its size changed (or force).
  void UpdateRegion(bool force = false);
  // The skin component went away: nothing more is drawn from it.
  void ClearSkinData();
  // The window is being destroyed: it is let go without being touched.
  void Forget();

  // ---- What the window is ----
  bool Active() const { return active_; }
  int ShowState() const { return showState_; }
  int FrameKind() const;
  int CaptionButtons() const { return captionButtons_; }
  bool Sizeable() const;
  // The frame is the skin's (not with xcMainMenu left out).
  bool FrameTaken() const { return frameTaken_; }
  // The frame is drawn now: skinned, set up, not minimised, not borderless.
  bool FramePainted() const;
  const TFrameSizes& Frame() const { return frame_; }
  // The frame's margins as the window has them now.
  QMargins AppliedFrame() const { return applied_; }
  const std::vector<std::unique_ptr<TWinSysButton>>& TitleButtons() const { return buttons_; }
  TNCObject* HotObject() const { return hot_; }
  void SetHotObject(TNCObject* object) { hot_ = object; }
  // The title button (shown, with an action) or nothing under a point in
  // window coordinates.
  TNCObject* ObjectAt(QPoint point);
  TWinSkinMenu* MenuBar() const { return menu_.get(); }
  QMenu* SystemMenu();
  // The window's small icon on the transparent colour.
  const QImage& IconBitmap() const { return icon_; }
  // The composed frame at the window's present size and look.
  const TFramePicture& Picture();
  // Which of the window's menus the skin draws the items of.
  int MenuRoad(const QMenu* menu) const;
  bool HoverTimerActive() const { return hover_.isActive(); }
  // The window's client area on the screen (its geometry without the
  // skinned frame).
  QRect ClientGeometry() const;

  // ---- The skinned controls ----
  std::vector<std::unique_ptr<TSkinChildObject>>& ChildObjects() { return children_; }
  void SetHotChild(TSkinChildObject* child) { hotChild_ = child; }
  TSkinChildObject* HotChild() const { return hotChild_; }

  // A title button's click, released at a point on the screen.
  void PerformTitleAction(const TWinSysButton& button, QPoint globalPoint);
  void ShowSystemMenu(QPoint globalPoint);
  // A frame part asks to be painted again.
  void InvalidateFrame(const QRect& area);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct TControlChange;

  void TakeFrame();
  void GiveFrameBack();
  // Sets the frame's margins; with keepClient the window grows or shrinks
  // so that its client area keeps its size, its top-left corner staying at
  // keptCorner (where it is now when none is given).
  void ApplyMargins(const QMargins& frame, bool keepClient = true, std::optional<QPoint> keptCorner = {});
  void FinishSetup();
  // Follows a change to or from full screen.
  void SyncFrameKind();
  void UpdateLook();
  void MakeIconBitmap();
  void CollectPopupMenus();
  void ApplyColour();
  void RestoreControls();
  bool HandleMouse(QMouseEvent* event);
  void SetFrameCursor(int hit);
  void RestoreCursor();
  void BeginMove(QPoint globalPoint);
  void BeginResize(int hit, QPoint globalPoint);
  void DragTo(QPoint globalPoint);
  void HoverTick();
  void PaintNonClient();
  void AddControlChange(QWidget& control, TChildEffect effect);
  void StartMoveByMenu();
  void StartSizeByMenu();
  // Tells Qt where the window system shows the window, when the two
  // differ once the window is on screen.
  void KeepPlaceShown();

  TSkinManage& manager_;
  QPointer<QWidget> window_;
  TSkinData* data_ = nullptr;
  QTimer hover_;
  QFont captionFont_;
  QImage icon_;

  // What set-up found.
  Qt::WindowFlags flags_;
  bool addedFrameless_ = false;
  bool frameTaken_ = false;
  QMargins oldMargins_;
  QSize oldMin_;
  QSize oldMax_;
  bool limitsGrown_ = false;
  bool ownPalette_ = false;
  QPalette oldPalette_;
  bool oldTracking_ = false;
  bool dialogGrip_ = false;
  bool translucent_ = false;
  int baseFrameKind_ = fkFramed;
  int appliedKind_ = fkFramed;
  int captionButtons_ = 0;
  QString caption_;

  // The present look.
  bool active_ = false;
  int showState_ = ssNormal;
  TFrameSizes frame_;
  std::vector<std::unique_ptr<TWinSysButton>> buttons_;
  TNCObject* hot_ = nullptr;
  TNCObject* pressed_ = nullptr;
  std::unique_ptr<TWinSkinMenu> menu_;
  std::vector<QPointer<QMenu>> popupMenus_;
  QPointer<QMenu> systemMenu_;
  TFramePicture picture_;
  bool pictureDirty_ = true;
  QMargins applied_;
  QSize regionSize_;
  QRegion region_;
  bool maskSet_ = false;
  // From a showing until the window system has exposed the window.
  bool placeCheck_ = false;

  // The mouse on the frame.
  enum TDrag { dgNone, dgPending, dgMove, dgResize };
  TDrag drag_ = dgNone;
  int dragHit_ = 0;
  QPoint dragStart_;
  QRect dragGeometry_;
  bool dragByMenu_ = false;
  bool cursorSet_ = false;
  bool hadCursor_ = false;
  QCursor oldCursor_;

  std::vector<std::unique_ptr<TSkinChildObject>> children_;
  TSkinChildObject* hotChild_ = nullptr;
  std::vector<TControlChange> changes_;
};
