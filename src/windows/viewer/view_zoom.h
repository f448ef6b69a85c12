#pragma once
// The viewer's zoom and centre: which part of the picture shows in the
// view, at what scale, and how large the window wants to be. Plain
// arithmetic on sizes, so it is tested without a window.
//
// Zoom is in thousandths (1000 = 100 %) and never below 1; the centre is
// the picture point shown in the middle of the view. A picture or a view
// without pixels renders nothing.

#include <array>

#include "core/types.h"

class TProgramInfo;

// The steps zoom in and out move through, in thousandths (5 % to 30000 %).
inline constexpr std::array<int, 22> ZoomSteps = {50,    70,    100,   150,   200,    300,    500,   700,
                                                  1000,  1500,  2000,  3000,  5000,   7000,   10000, 20000,
                                                  30000, 50000, 70000, 100000, 200000, 300000};
// Zoom in stops while the zoomed picture is wider or higher than this.
inline constexpr int MaxZoomedSide = 32000;

// The first step above zoom (zoom itself at or past the last step).
int ZoomStepAbove(int zoom);
// The last step below zoom (zoom itself at or before the first step).
int ZoomStepBelow(int zoom);

// What RenderVisiblePart works out: the part of the picture to crop
// (Source, picture pixels) and where its zoomed copy goes in the view
// (Dest, view pixels). Empty when there is nothing to draw.
struct TRenderPlan {
  bool Empty = true;
  TRect Source;
  TRect Dest;
  // The crop is drawn as it is (no stretching) when its size is Dest's.
  bool Unscaled() const {
    return Source.Right - Source.Left == Dest.Right - Dest.Left && Source.Bottom - Source.Top == Dest.Bottom - Dest.Top;
  }
};

class TViewZoom {
 public:
  // ---- What the settings tell the model ----
  // The fitting settings (again after the options dialog).
  void ReadFitSettings(const TProgramInfo& settings);
  // The two locks live in the model while the viewer is open; the menu
  // items and the tool button show them. They are read when the viewer
  // opens and stored when it closes.
  void ReadLocks(const TProgramInfo& settings);
  void WriteLocks(TProgramInfo& settings) const;
  void ToggleZoomLock() { ZoomLock = !ZoomLock; }
  void ToggleLocationLock() { LocationLock = !LocationLock; }

  // ---- What the viewer tells the model ----
  TPoint Picture;           // picture size
  TPoint View;              // the paint box's size
  bool FullScreen = false;  // the window has no border
  bool ZoomLock = false;    // mnuZoomLock: a new picture keeps the zoom
  bool LocationLock = false;
  // The settings ViewZoomFit (fitting may enlarge) and ViewShrinkFit
  // (fitting may shrink).
  bool SettingZoomFit = false;
  bool SettingShrinkFit = true;

  // ---- The model's state ----
  int Zoom = 1000;
  int CenterX = 0;
  int CenterY = 0;
  // While FitOverride is set, fitting uses FitEnlarge and FitShrink
  // instead of the settings, and an explicit zoom is not re-fitted.
  bool FitOverride = false;
  bool FitEnlarge = false;
  bool FitShrink = false;

  // Sets the zoom, never below 1.
  void SetZoom(long double zoom);
  // min(view width / picture width, view height / picture height) x 1000;
  // 0 without a picture or a view.
  long double FitRatio() const;

  // The zoom of a newly shown picture (nothing while ZoomLock is set).
  void ComputeInitialZoom();
  // A new picture: the centre and zoom go back to the start unless
  // locked.
  void ResetForNewPicture();
  // The visible part of the picture (in picture pixels) along one side.
  int VisiblePart(int pictureSide, int viewSide) const;
  // Keeps the centre at least half a visible part from each picture edge.
  void ClampCenter();
  // Crop, then stretch: re-derives the zoom from the fitted picture unless
  // FitOverride is set, clamps the centre and gives the two rectangles.
  TRenderPlan RenderVisiblePart();

  // An explicit zoom (arrow keys, zoom in and out, actual size): fitting
  // is overridden with both flags clear, so the zoom is kept as set.
  void OverrideFit();
  // Numpad +, Numpad -: false when the step was refused (at the last or
  // first step, or the zoomed picture too large or too small).
  bool ZoomIn();
  bool ZoomOut();
  // Numpad /.
  void ZoomActual();
  // Numpad *: fitting enlarges and shrinks.
  void ZoomBest();
  // The arrow keys' step in picture pixels (at least 1).
  int ArrowStep() const;
  // An arrow key: dx, dy of -1, 0 or 1.
  void Move(int dx, int dy);
  // Panning with the mouse: the centre the drag started from and how far
  // the mouse went in view pixels.
  void Pan(TPoint startCenter, int dx, int dy);

  // The picture size times the zoom.
  TPoint ZoomedSize() const;
  // What the window is fitted around for a new picture: the zoomed
  // picture while the zoom is locked, else the picture.
  TPoint WindowPictureSize() const { return ZoomLock ? ZoomedSize() : Picture; }
};

// The client rectangle the window takes for a new picture
// (AdjustWindowToPicture): wanted is fitted into the screen (enlarging and
// shrinking as given), widened to minWidth and centred; a negative left
// or top becomes 0.
TRect WindowRectForPicture(TPoint screen, TPoint wanted, bool zoomFit, bool shrinkFit, int minWidth);
// The client rectangle after an explicit zoom (ApplyZoom): the zoomed
// size, held within the screen unless fitting may enlarge, widened to
// minWidth and centred on the screen.
TRect WindowRectForZoom(TPoint screen, TPoint zoomed, bool mayEnlarge, int minWidth);

class TBitmap;
// Crop, then stretch: display gets plan.Source of picture at the size of
// plan.Dest, each pixel the nearest source pixel (no smoothing), reading
// only the visible part; at 1:1 it is the visible part as it is. crop is
// left empty (scratch for callers that crop first). An empty plan leaves
// display empty.
void RenderPlanInto(const TBitmap& picture, const TRenderPlan& plan, TBitmap& crop, TBitmap& display);
