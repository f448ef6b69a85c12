#pragma once
// The image viewer: a modal window that shows one picture at a time with
// the chosen marks drawn on it, zoomed, panned and fitted, in a window or
// full screen, steps through a list of the main window (loading the next
// picture ahead on a thread of its own), plays a slideshow, animates GIF
// files, and offers the effects and file commands of its popup menu.
//
// The decisions live in plain classes beside it: TViewZoom (zoom and
// centre), NavigateIndex and the file-command rules (view_navigation.h)
// and TPrefetcher (image_loader.h). This form wires widgets to them.

#include <QDialog>
#include <QMargins>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/routines.h"
#include "core/bitmap.h"
#include "windows/gui_handler_qt.h"
#include "windows/paint_box.h"
#include "windows/viewer/image_loader.h"
#include "windows/viewer/view_marks.h"
#include "windows/viewer/view_navigation.h"
#include "windows/viewer/view_zoom.h"

class QAction;
class QMenu;
class QPainter;
class QTimer;
class QToolBar;
class QToolButton;
class TGIFImage;
class TGLPanel;
class TfrmViewImage;

// A list of the main window the viewer walks through (vmShellList and
// vmConvList).
struct TViewList {
  std::function<int()> Count;
  std::function<std::string(int index)> FileName;
  // The list's current item, -1 for none.
  std::function<int()> ItemIndex;
  // Makes index the only selected item.
  std::function<void(int index)> Select;
  bool Valid() const { return Count && FileName && ItemIndex && Select; }
};

// What the viewer asks of the desktop and of other windows. Tests replace
// these so that no dialog blocks.
struct TViewerServices {
  // The settings window on a page (4: the viewer's).
  std::function<bool(int page)> ExecuteSetup;
  // The save dialog spdSave starting with a name; the chosen file and the
  // filter index (1 based) it was chosen with, or nothing.
  std::function<std::optional<std::string>(QWidget* owner, const std::string& startName, int& filterIndex)>
      ChooseSaveName;
  // Reads a picture file (the loader thread runs it too).
  TPictureLoader LoadPicture;
  // A random index below a count (slideshow order 2).
  TRandomIndex RandomIndex;
};

class TfrmViewImage : public QDialog {
  Q_OBJECT

 public:
  static TViewerServices& Services();
  static TViewerServices DefaultServices();

  // Shows the viewer modally: vmShellList and vmConvList walk list starting
  // at fileName, vmBitmap (and any other number) shows bitmap alone.
  // markFiles are drawn on every picture (bottom layer first) except on
  // the bitmap alone.
  static void Execute(QWidget* owner, const TBitmap& bitmap, int mode, const std::string& fileName,
                      const TViewList& list = {}, const std::vector<std::string>& markFiles = {});

  TfrmViewImage(QWidget* owner, const TBitmap& bitmap, int mode, const std::string& fileName, const TViewList& list,
                const std::vector<std::string>& markFiles);
  ~TfrmViewImage() override;

  // ---- Tool bar (in the cool bar) ----
  QWidget* cbTools;
  QToolBar* tbTools;
  QToolButton* tbNext;
  QToolButton* tbPrevious;
  QToolButton* tbSlideshow;
  QToolButton* tbZoomIn;
  QToolButton* tbZoomOut;
  QToolButton* tbZoomActual;
  QToolButton* tbZoomBest;
  QToolButton* tbZoomLock;
  QToolButton* tbReload;
  QToolButton* tbOptions;
  QToolButton* tbExit;

  // ---- Picture area ----
  TGLPanel* opGL;
  TPaintBox* pbPreview;

  // ---- Popup menu ----
  QMenu* PopupMenu1;
  QAction* mnuNext;
  QAction* mnuPrevious;
  QAction* mnuSlideshow;
  QAction* mnuZoomIn;
  QAction* mnuZoomOut;
  QAction* mnuZoomActual;
  QAction* mnuZoomBest;
  QAction* mnuZoomLock;
  QAction* mnuLocationLock;
  QAction* mnuReload;
  QAction* mnuFullScreen;
  QMenu* mnuEdit;
  QAction* mnuCopy;
  QAction* mnuCopyToClip;
  QAction* mnuCopyFileTo;
  QAction* mnuSave;
  QAction* mnuSaveAs;
  QAction* mnuDelete;
  QMenu* mnuRotate;
  QAction* mnuRotate90;
  QAction* mnuRotate180;
  QAction* mnuRotate270;
  QAction* mnuFilpHorizontal;
  QAction* mnuFilpVertical;
  QMenu* mnuEffect;
  QAction* mnuBlur;
  QAction* mnuSharpen;
  QAction* mnuGrayscale;
  QAction* mnuIncreaseBrightness;
  QAction* mnuDiminishBrightness;
  QAction* mnuIncreasecontrast;
  QAction* mnuDiminishcontrast;
  QAction* mnuOptions;
  QMenu* System1;
  QAction* mnuDisplaypertain;
  QAction* mnuExit;

  // ---- Timers ----
  QTimer* timSlideshow;
  QTimer* timGIF;

  // ---- Operations ----
  void ApplyLanguage();
  void ApplyOptions();
  // The keyboard table; the commands send their keys through here too.
  // True when the key was one of the viewer's.
  bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
  void LoadPicture(int index);
  void ApplyZoom();
  void RenderVisiblePart();
  void PaintView();
  void PaintBackground();
  void UpdateTitle();

  // ---- Commands ----
  void mnuSlideshowClick();
  void mnuReloadClick();
  void mnuCopyClick();
  void mnuCopyToClipClick();
  void mnuCopyFileToClick();
  void mnuSaveClick();
  void mnuSaveAsClick();
  void mnuDeleteClick();
  void mnuOptionsClick();
  void mnuDisplaypertainClick();
  void timSlideshowTimer();
  void timGIFTimer();
  // Runs an effect on the unmarked picture and marks a copy of it.
  void ApplyEffect(const std::function<void(TBitmap&)>& effect);

  // ---- Mouse, as the paint box reports it ----
  void PreviewMouseDown(Qt::MouseButton button, const QPoint& pos);
  void PreviewMouseMove(Qt::MouseButtons buttons, const QPoint& pos);
  void PreviewMouseUp(Qt::MouseButton button);
  void PreviewWheel(int delta);
  void PaintPreview(QPainter& painter, const QWidget& box);

  // ---- State, for the tests ----
  TViewMode Mode() const { return mode_; }
  const std::string& FileName() const { return fileName_; }
  const TViewZoom& ZoomModel() const { return zoom_; }
  // The shown picture with its marks, and the picture without them (read
  // again from the file when no effect changed it).
  const TBitmap& PictureBitmap() const { return pictureBitmap_; }
  const TBitmap& BasePicture();
  const TBitmap& BackBuffer() const { return backBuffer_; }
  const TRenderPlan& Plan() const { return plan_; }
  bool SlideshowRunning() const { return slideRunning_; }
  bool Animating() const { return gif_ != nullptr; }
  int GifRedraws() const { return gifRedraws_; }
  // How many pictures came from the loader thread, and how many were read
  // on the GUI thread.
  int PrefetchHits() const { return prefetchHits_; }
  int DirectLoads() const { return directLoads_; }
  std::string PrefetchPending() const { return prefetcher_.Pending(); }
  bool PrefetchReady() const { return prefetcher_.Ready(); }
  // The pictures the viewer holds now, those the loader thread is reading
  // (or was, for a load set aside) included.
  int PicturesHeld() const;
  QString TitleText() const { return titleText_; }
  bool FullScreen() const { return zoom_.FullScreen; }

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void done(int result) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The popup menu with its commands, in menu order; the submenus are
  // built by their own members.
  void CreateMenus();
  void CreateEditMenu();
  void CreateRotateMenu();
  void CreateEffectMenu();
  void CreateToolBar();
  void FormShow();
  void FormDestroy();
  void Navigate(TNavigateKey key);
  // Loads fileName_ and marks it into the shown picture (the GIF image
  // for an animation), from what was loaded ahead when it is that file. A
  // file that does not load leaves no picture; gives back why (empty when
  // it loaded).
  std::string ReadPicture(bool useAhead);
  // Keeps picture as spare_ unless there is one already.
  void KeepSpare(TBitmap picture);
  // base_ holds the picture without marks (read again from the file when
  // need be; raises when it cannot be read).
  void EnsureBase();
  // The shown picture from base_: the marks drawn on a copy.
  void MarkPicture();
  // After a new picture: zoom and centre reset unless locked, the window
  // fitted, the initial zoom, render and paint.
  void ShowNewPicture();
  void AdjustWindowToPicture();
  // The frame a window manager puts around the window (none before it has
  // framed it, nor without one).
  QMargins WindowManagerFrame() const;
  // The screen's room for the client area, every frame taken off.
  QRect RoomForClient();
  // Gives the window the client rectangle client of room (plus the tool
  // bar's height).
  void PlaceClient(const QRect& room, const TRect& client, int toolbar);
  // Fits the window again once a window manager's frame is known.
  void RefitToFrame();
  void ComputeInitialZoom();
  void PrefetchNeighbour();
  void LayoutView();
  void LoadTilePicture();
  void SetFullScreen(bool on);
  void UpdateCursor();
  // The lock menu items and the lock tool button show the zoom model's
  // locks.
  void ShowLocks();
  // The tool buttons that keep the mouse cursor on them while their
  // command resizes the window under it (the slideshow's steps too).
  enum class TCursorButton { None = -1, Next = 0, Previous = 1, Slideshow = 2, ZoomIn = 3, ZoomOut = 4 };
  QToolButton* CursorButton(TCursorButton button) const;
  void KeepCursorOnButton();
  void ToolButtonCommand(TCursorButton cursorButton, const std::function<void()>& action);
  // The slideshow stopped and the window no longer top-most, for a dialog
  // of the viewer's; gives back whether the slideshow ran.
  bool PauseSlideshow();
  void ResumeSlideshow(bool wasRunning);
  // Runs a command that opens a dialog with the slideshow paused and the
  // window lowered from top-most; both come back afterwards, also when the
  // command fails.
  void WithSlideshowPaused(const std::function<void()>& command);
  void StartSlideshow();
  void StopSlideshow();
  bool AskReplace(const std::string& target);
  int ToolbarMinWidth() const;
  int ToolbarHeight() const;
  void StopLoader();

  // Every message box and question of the viewer sits on it.
  TMessageBoxOwner boxOwner_;
  TViewMode mode_;
  std::string fileName_;
  TBitmap given_;  // the bitmap of Execute (vmBitmap)
  TViewList list_;
  std::vector<std::string> markFiles_;
  TViewMarks marks_;
  TImageType imageType_ = itOther;

  // The pictures of a step, each picture-sized: the shown one with its
  // marks, the one loaded ahead, spare_, a picture no longer shown whose
  // memory the next load ahead reads into, and base_, the shown one
  // without marks, held only once an effect changed it or one asked for
  // it (else it is the file's, read again when needed; given_ in vmBitmap,
  // the first frame's in a GIF).
  TBitmap base_;
  TBitmap spare_;
  TBitmap pictureBitmap_;
  TBitmap cropBitmap_;
  TBitmap displayBitmap_;
  TBitmap backgroundBitmap_;
  TBitmap backBuffer_;
  TBitmap tilePicture_;
  std::unique_ptr<TGIFImage> gif_;
  TBitmap gifCanvas_;
  int gifRedraws_ = 0;

  TViewZoom zoom_;
  TRenderPlan plan_;
  TPictureLoader loader_;
  TPrefetcher prefetcher_;
  std::string nextFileName_;
  int prefetchTarget_ = -1;
  int prefetchHits_ = 0;
  int directLoads_ = 0;

  // The window manager's frame when the window was last fitted, and
  // whether that fit was for an explicit zoom (ApplyZoom) or for a new
  // picture.
  QMargins fittedFrame_;
  bool fittedToZoom_ = false;
  bool refitPosted_ = false;
  bool ready_ = false;
  bool settingBounds_ = false;
  bool firstShow_ = true;
  QString titleText_;
  bool slideRunning_ = false;
  bool keepCursor_ = false;
  TCursorButton cursorButton_ = TCursorButton::Next;
  bool panning_ = false;
  QPoint panStart_;
  TPoint panCenter_;
  bool destroyed_ = false;
};
