#include "windows/viewer/view_zoom.h"

#include <algorithm>
#include <cstdint>

#include "app/settings.h"
#include "core/bitmap.h"
#include "core/numbers.h"
#include "imaging/drawing.h"

namespace {

using I64 = std::int64_t;

int ClampToInt(long double v) {
  if (v > 2147483647.0L) return 2147483647;
  if (v < -2147483648.0L) return -2147483647 - 1;
  return static_cast<int>(v);
}

// round(side x zoom / 1000), at least 1 for a side with pixels.
int Scaled(int side, int zoom) {
  if (side <= 0) return 0;
  const long double v = static_cast<long double>(side) * zoom / 1000.0L;
  return std::max(1, ClampToInt(static_cast<long double>(Round(std::min<long double>(v, 2147483647.0L)))));
}

TRect Centred(TPoint screen, TPoint size) {
  const I64 left = std::max<I64>(0, (static_cast<I64>(screen.X) - size.X) / 2);
  const I64 top = std::max<I64>(0, (static_cast<I64>(screen.Y) - size.Y) / 2);
  return TRect{static_cast<int>(left), static_cast<int>(top), static_cast<int>(left + size.X),
               static_cast<int>(top + size.Y)};
}

}  // namespace

int ZoomStepAbove(int zoom) {
  for (int step : ZoomSteps) {
    if (step > zoom) return step;
  }
  return zoom;
}

int ZoomStepBelow(int zoom) {
  for (auto it = ZoomSteps.rbegin(); it != ZoomSteps.rend(); ++it) {
    if (*it < zoom) return *it;
  }
  return zoom;
}

void TViewZoom::SetZoom(long double zoom) {
  // A zoom of 0 would divide by zero wherever the visible part is worked
  // out; a huge picture in a small view rounds down to 1 instead.
  Zoom = zoom >= 2147483647.0L ? 2147483647 : std::max<int>(1, static_cast<int>(Round(zoom)));
}

void TViewZoom::ReadFitSettings(const TProgramInfo& settings) {
  SettingZoomFit = settings.ViewZoomFit;
  SettingShrinkFit = settings.ViewShrinkFit;
}

void TViewZoom::ReadLocks(const TProgramInfo& settings) {
  ZoomLock = settings.ZoomLock;
  LocationLock = settings.LocationLock;
}

void TViewZoom::WriteLocks(TProgramInfo& settings) const {
  settings.ZoomLock = ZoomLock;
  settings.LocationLock = LocationLock;
}

long double TViewZoom::FitRatio() const {
  if (Picture.X <= 0 || Picture.Y <= 0 || View.X <= 0 || View.Y <= 0) return 0;
  return std::min(static_cast<long double>(View.X) / Picture.X, static_cast<long double>(View.Y) / Picture.Y) *
         1000.0L;
}

void TViewZoom::ComputeInitialZoom() {
  if (ZoomLock) return;
  const long double m = FitRatio();
  if (FitOverride && m > 0) {
    SetZoom(m);
  } else {
    Zoom = 1000;
  }
  if (FullScreen) {
    Zoom = 1000;
    if (m > 0) {
      if (SettingShrinkFit && Zoom > m) SetZoom(m);
      if (SettingZoomFit && Zoom < m) SetZoom(m);
    }
  }
  if (!SettingShrinkFit && !SettingZoomFit) Zoom = 1000;
  if (Zoom <= 0) Zoom = 1000;
}

void TViewZoom::ResetForNewPicture() {
  if (!LocationLock) CenterX = CenterY = 0;
  if (!ZoomLock) Zoom = 1000;
}

TPoint TViewZoom::ZoomedSize() const { return TPoint{Scaled(Picture.X, Zoom), Scaled(Picture.Y, Zoom)}; }

int TViewZoom::VisiblePart(int pictureSide, int viewSide) const {
  if (pictureSide <= 0) return 0;
  if (Scaled(pictureSide, Zoom) <= viewSide) return pictureSide;
  const I64 visible = static_cast<I64>(std::max(viewSide, 0)) * 1000 / std::max(Zoom, 1);
  return static_cast<int>(std::clamp<I64>(visible, 1, pictureSide));
}

void TViewZoom::ClampCenter() {
  const auto clampAxis = [](int& centre, int visible, int side) {
    const I64 left = std::clamp<I64>(static_cast<I64>(centre) - visible / 2, 0, std::max(0, side - visible));
    centre = static_cast<int>(left + visible / 2);
  };
  clampAxis(CenterX, VisiblePart(Picture.X, View.X), Picture.X);
  clampAxis(CenterY, VisiblePart(Picture.Y, View.Y), Picture.Y);
}

TRenderPlan TViewZoom::RenderVisiblePart() {
  TRenderPlan plan;
  if (Zoom < 1) Zoom = 1;
  if (Picture.X <= 0 || Picture.Y <= 0 || View.X <= 0 || View.Y <= 0) return plan;
  bool enlarge = FitOverride ? FitEnlarge : SettingZoomFit;
  const bool shrink = FitOverride ? FitShrink : SettingShrinkFit;
  if (!FullScreen && Zoom < 1000) enlarge = true;
  const TRect fitted = FitRect(View, ZoomedSize(), enlarge, shrink, 0, 0);
  if (!FitOverride) {
    if (fitted.Right - fitted.Left <= 0 || fitted.Bottom - fitted.Top <= 0) {
      Zoom = 1000;
    } else {
      SetZoom(std::min(static_cast<long double>(fitted.Right - fitted.Left) / Picture.X,
                       static_cast<long double>(fitted.Bottom - fitted.Top) / Picture.Y) *
              1000.0L);
    }
  }
  ClampCenter();
  const int visibleW = VisiblePart(Picture.X, View.X);
  const int visibleH = VisiblePart(Picture.Y, View.Y);
  const int left = CenterX - visibleW / 2;
  const int top = CenterY - visibleH / 2;
  plan.Source = TRect{left, top, left + visibleW, top + visibleH};
  const TPoint shown{std::min(Scaled(visibleW, Zoom), View.X), std::min(Scaled(visibleH, Zoom), View.Y)};
  plan.Dest = Centred(View, shown);
  plan.Empty = false;
  return plan;
}

void TViewZoom::OverrideFit() {
  FitOverride = true;
  FitEnlarge = false;
  FitShrink = false;
}

bool TViewZoom::ZoomIn() {
  const TPoint zoomed = ZoomedSize();
  if (zoomed.X > MaxZoomedSide || zoomed.Y > MaxZoomedSide) return false;
  const int next = ZoomStepAbove(Zoom);
  if (next == Zoom) return false;
  Zoom = next;
  OverrideFit();
  return true;
}

bool TViewZoom::ZoomOut() {
  const long double w = static_cast<long double>(Picture.X) * Zoom / 1000.0L;
  const long double h = static_cast<long double>(Picture.Y) * Zoom / 1000.0L;
  if (w < 1 || h < 1) return false;
  const int next = ZoomStepBelow(Zoom);
  if (next == Zoom) return false;
  Zoom = next;
  OverrideFit();
  return true;
}

void TViewZoom::ZoomActual() {
  Zoom = 1000;
  OverrideFit();
}

void TViewZoom::ZoomBest() {
  FitOverride = true;
  FitEnlarge = true;
  FitShrink = true;
  if (FullScreen) {
    const long double m = FitRatio();
    if (m > 0) SetZoom(m);
  } else {
    ComputeInitialZoom();
  }
}

int TViewZoom::ArrowStep() const {
  const long double step = static_cast<long double>(View.X) / (static_cast<long double>(Zoom) / 1000.0L) / 15.0L;
  return std::max(1, ClampToInt(static_cast<long double>(Round(std::min<long double>(step, 2147483647.0L)))));
}

void TViewZoom::Move(int dx, int dy) {
  const int step = ArrowStep();
  CenterX = ClampToInt(static_cast<long double>(CenterX) + static_cast<long double>(dx) * step);
  CenterY = ClampToInt(static_cast<long double>(CenterY) + static_cast<long double>(dy) * step);
  OverrideFit();
}

void TViewZoom::Pan(TPoint startCenter, int dx, int dy) {
  const int zoom = std::max(Zoom, 1);
  CenterX = ClampToInt(static_cast<long double>(startCenter.X) - static_cast<long double>(static_cast<I64>(dx) * 1000 / zoom));
  CenterY = ClampToInt(static_cast<long double>(startCenter.Y) - static_cast<long double>(static_cast<I64>(dy) * 1000 / zoom));
  OverrideFit();
}

TRect WindowRectForPicture(TPoint screen, TPoint wanted, bool zoomFit, bool shrinkFit, int minWidth) {
  const TRect fitted = FitRect(screen, wanted, zoomFit, shrinkFit, 0, 0);
  TPoint size{fitted.Right - fitted.Left, fitted.Bottom - fitted.Top};
  if (size.X <= 0 || size.Y <= 0) size = TPoint{std::max(wanted.X, 1), std::max(wanted.Y, 1)};
  size.X = std::max(size.X, minWidth);
  return Centred(screen, size);
}

TRect WindowRectForZoom(TPoint screen, TPoint zoomed, bool mayEnlarge, int minWidth) {
  TPoint size{std::max(zoomed.X, 1), std::max(zoomed.Y, 1)};
  if (!mayEnlarge && screen.X > 0 && screen.Y > 0) {
    size.X = std::min(size.X, screen.X);
    size.Y = std::min(size.Y, screen.Y);
  }
  size.X = std::max(size.X, minWidth);
  return Centred(screen, size);
}

void RenderPlanInto(const TBitmap& picture, const TRenderPlan& plan, TBitmap& crop, TBitmap& display) {
  if (plan.Empty) {
    display.Clear();
    return;
  }
  const TRect& src = plan.Source;
  const int sw = src.Right - src.Left, sh = src.Bottom - src.Top;
  const int dw = plan.Dest.Right - plan.Dest.Left, dh = plan.Dest.Bottom - plan.Dest.Top;
  if (plan.Unscaled()) {
    // 1:1: the visible part copied as it is.
    display.SetSizeForDecoding(sw, sh, pf24bit);
    display.Canvas().CopyRect(TRect{0, 0, sw, sh}, picture.Canvas(), src);
    return;
  }
  // Only the visible part is read, each shown pixel taking its nearest
  // source pixel: the crop and the stretch in one pass, so a large
  // picture is never copied whole first. crop is not needed for it.
  crop.Clear();
  display.SetSizeForDecoding(dw, dh, pf24bit);
  display.Canvas().CopyRect(TRect{0, 0, dw, dh}, picture.Canvas(), src);
}
