// The viewer's decisions without a window: zoom steps and fitting, the
// visible part, the window's size, navigation and the file-command rules.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "windows/viewer/view_navigation.h"
#include "windows/viewer/view_zoom.h"

namespace {

TViewZoom Model(TPoint picture, TPoint view, int zoom = 1000) {
  TViewZoom z;
  z.Picture = picture;
  z.View = view;
  z.Zoom = zoom;
  return z;
}

}  // namespace

TEST(ViewerZoom, StepsMoveThroughTheTableAndStopAtItsEnds) {
  struct Case {
    int from;
    bool in;
    int to;
  };
  const Case cases[] = {
      {1000, true, 1500}, {1500, true, 2000}, {1000, false, 700}, {700, false, 500},
      {300000, true, 300000}, {50, false, 50}, {1234, true, 1500}, {1234, false, 1000},
      {10, true, 50}, {999999, false, 300000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.from);
    EXPECT_EQ(c.in ? ZoomStepAbove(c.from) : ZoomStepBelow(c.from), c.to);
  }
  // Through the model: a 1 x 1 picture can be zoomed to the last step,
  // and nothing moves past either end.
  TViewZoom z = Model({1, 1}, {100, 100}, 300000);
  EXPECT_FALSE(z.ZoomIn());
  EXPECT_EQ(z.Zoom, 300000);
  z.Zoom = 50;
  z.Picture = {100, 100};
  EXPECT_FALSE(z.ZoomOut());
  EXPECT_EQ(z.Zoom, 50);
  // A zoomed picture beyond 32000 pixels is not zoomed in further.
  z = Model({20000, 10}, {100, 100}, 2000);
  EXPECT_FALSE(z.ZoomIn());
  EXPECT_EQ(z.Zoom, 2000);
  z = Model({800, 600}, {100, 100});
  EXPECT_TRUE(z.ZoomIn());
  EXPECT_TRUE(z.FitOverride);
  EXPECT_FALSE(z.FitEnlarge || z.FitShrink);
}

TEST(ViewerZoom, InitialZoomFollowsTheFittingRules) {
  struct Case {
    const char* name;
    bool override_, fullScreen, zoomFit, shrinkFit, lock;
    int before, want;
  };
  // Picture 800 x 400 in a view of 400 x 400: the fit ratio is 0.5.
  const Case cases[] = {
      {"window, plain", false, false, false, true, false, 700, 1000},
      {"window, override", true, false, false, true, false, 700, 500},
      {"override without fit settings", true, false, false, false, false, 700, 1000},
      {"full screen shrinks", false, true, false, true, false, 700, 500},
      {"full screen, no shrinking", false, true, true, false, false, 700, 1000},
      {"locked", true, true, true, true, true, 700, 700},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TViewZoom z = Model({800, 400}, {400, 400}, c.before);
    z.FitOverride = c.override_;
    z.FullScreen = c.fullScreen;
    z.SettingZoomFit = c.zoomFit;
    z.SettingShrinkFit = c.shrinkFit;
    z.ZoomLock = c.lock;
    z.ComputeInitialZoom();
    EXPECT_EQ(z.Zoom, c.want);
  }
  // Full screen enlarges a small picture with ViewZoomFit.
  TViewZoom z = Model({100, 50}, {400, 400});
  z.FullScreen = true;
  z.SettingZoomFit = true;
  z.ComputeInitialZoom();
  EXPECT_EQ(z.Zoom, 4000);
}

TEST(ViewerZoom, ZoomNeverReachesZeroAndEmptyPicturesRenderNothing) {
  // A picture far larger than its view shrinks to the smallest zoom, 1.
  TViewZoom z = Model({1000000, 1000000}, {100, 100});
  z.FitOverride = true;
  z.FullScreen = true;
  z.ComputeInitialZoom();
  EXPECT_EQ(z.Zoom, 1);
  z.FitOverride = false;
  z.Zoom = 1000;
  TRenderPlan plan = z.RenderVisiblePart();
  EXPECT_GE(z.Zoom, 1);
  EXPECT_FALSE(plan.Empty);
  EXPECT_GT(z.ArrowStep(), 0);
  z.Pan({0, 0}, 10, 10);  // divides by the zoom

  for (TPoint picture : {TPoint{0, 0}, TPoint{0, 10}, TPoint{10, 0}}) {
    for (TPoint view : {TPoint{0, 0}, TPoint{100, 100}}) {
      TViewZoom e = Model(picture, view);
      e.FitOverride = true;
      e.ComputeInitialZoom();
      EXPECT_GE(e.Zoom, 1);
      EXPECT_TRUE(e.RenderVisiblePart().Empty);
      EXPECT_FALSE(e.ZoomOut());
    }
  }
  TViewZoom noView = Model({10, 10}, {0, 0});
  EXPECT_TRUE(noView.RenderVisiblePart().Empty);
}

TEST(ViewerZoom, VisiblePartIsCroppedAroundAClampedCentre) {
  struct Case {
    const char* name;
    TPoint picture, view;
    int zoom;
    TPoint centre;
    TRect source, dest;
  };
  const Case cases[] = {
      // 2:1 in a 200 x 100 view shows 100 x 50 picture pixels.
      {"top-left", {400, 300}, {200, 100}, 2000, {0, 0}, {0, 0, 100, 50}, {0, 0, 200, 100}},
      {"middle", {400, 300}, {200, 100}, 2000, {200, 150}, {150, 125, 250, 175}, {0, 0, 200, 100}},
      {"past the end", {400, 300}, {200, 100}, 2000, {9999, 9999}, {300, 250, 400, 300}, {0, 0, 200, 100}},
      // A picture smaller than the view: all of it, centred.
      {"small", {50, 20}, {200, 100}, 1000, {7, 7}, {0, 0, 50, 20}, {75, 40, 125, 60}},
      {"small zoomed", {50, 20}, {200, 100}, 2000, {0, 0}, {0, 0, 50, 20}, {50, 30, 150, 70}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TViewZoom z = Model(c.picture, c.view, c.zoom);
    z.OverrideFit();
    z.CenterX = c.centre.X;
    z.CenterY = c.centre.Y;
    const TRenderPlan plan = z.RenderVisiblePart();
    ASSERT_FALSE(plan.Empty);
    EXPECT_EQ(plan.Source, c.source);
    EXPECT_EQ(plan.Dest, c.dest);
    EXPECT_EQ(z.Zoom, c.zoom);
  }
  // Without an override the zoom comes from the fitted picture.
  TViewZoom fit = Model({800, 600}, {400, 300});
  const TRenderPlan plan = fit.RenderVisiblePart();
  EXPECT_EQ(fit.Zoom, 500);
  EXPECT_EQ(plan.Dest, (TRect{0, 0, 400, 300}));
}

TEST(ViewerZoom, ArrowsPanningAndLocks) {
  TViewZoom z = Model({3000, 3000}, {300, 300}, 2000);
  // round(300 / 2 / 15) = 10 picture pixels a step.
  EXPECT_EQ(z.ArrowStep(), 10);
  z.CenterX = z.CenterY = 500;
  z.Move(1, 0);
  z.Move(0, -1);
  EXPECT_EQ(z.CenterX, 510);
  EXPECT_EQ(z.CenterY, 490);
  // Dragging right by 40 view pixels at 2:1 moves the centre 20 left.
  z.Pan({500, 500}, 40, -41);
  EXPECT_EQ(z.CenterX, 480);
  EXPECT_EQ(z.CenterY, 520);

  struct Case {
    bool zoomLock, locationLock;
    int zoom;
    TPoint centre;
  };
  // A new picture keeps what is locked.
  for (const Case& c : {Case{false, false, 1000, {0, 0}}, Case{true, false, 2000, {0, 0}},
                        Case{false, true, 1000, {480, 520}}, Case{true, true, 2000, {480, 520}}}) {
    TViewZoom n = z;
    n.ZoomLock = c.zoomLock;
    n.LocationLock = c.locationLock;
    n.ResetForNewPicture();
    EXPECT_EQ(n.Zoom, c.zoom);
    EXPECT_EQ((TPoint{n.CenterX, n.CenterY}), c.centre);
  }
}

TEST(ViewerZoom, WindowSizesForPicturesAndZooms) {
  const TPoint screen{1000, 800};
  // A picture that fits keeps its size, centred; a wide toolbar widens it.
  EXPECT_EQ(WindowRectForPicture(screen, {400, 200}, false, true, 0), (TRect{300, 300, 700, 500}));
  EXPECT_EQ(WindowRectForPicture(screen, {100, 200}, false, true, 300), (TRect{350, 300, 650, 500}));
  // Too large: shrunk to the screen, or kept (and put at 0, 0) when
  // shrinking is off.
  EXPECT_EQ(WindowRectForPicture(screen, {2000, 800}, false, true, 0), (TRect{0, 200, 1000, 600}));
  EXPECT_EQ(WindowRectForPicture(screen, {2000, 900}, false, false, 0), (TRect{0, 0, 2000, 900}));
  EXPECT_EQ(WindowRectForZoom(screen, {3000, 100}, false, 0), (TRect{0, 350, 1000, 450}));
  EXPECT_EQ(WindowRectForZoom(screen, {3000, 100}, true, 0), (TRect{0, 350, 3000, 450}));
}

TEST(ViewerZoom, RenderedPixelsAreTheNearestSourcePixels) {
  // A picture whose pixels name their own place.
  TBitmap picture(40, 30, pf24bit);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      std::uint8_t* p = picture.ScanLine(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(x);
      p[1] = static_cast<std::uint8_t>(y);
      p[2] = 7;
    }
  }
  for (int zoom : {1000, 3000, 700, 1500}) {
    SCOPED_TRACE(zoom);
    TViewZoom z = Model({40, 30}, {50, 40}, zoom);
    z.OverrideFit();
    z.CenterX = 20;
    z.CenterY = 15;
    const TRenderPlan plan = z.RenderVisiblePart();
    TBitmap crop, display;
    RenderPlanInto(picture, plan, crop, display);
    const int sw = plan.Source.Right - plan.Source.Left, sh = plan.Source.Bottom - plan.Source.Top;
    const int dw = plan.Dest.Right - plan.Dest.Left, dh = plan.Dest.Bottom - plan.Dest.Top;
    ASSERT_EQ(display.Width(), dw);
    ASSERT_EQ(display.Height(), dh);
    for (int y = 0; y < dh; ++y) {
      for (int x = 0; x < dw; ++x) {
        // Nearest neighbour by pixel centres, no smoothing.
        const int sx = plan.Source.Left + static_cast<int>((2LL * x + 1) * sw / (2LL * dw));
        const int sy = plan.Source.Top + static_cast<int>((2LL * y + 1) * sh / (2LL * dh));
        const std::uint8_t* p = display.ScanLine(y) + 3 * x;
        ASSERT_EQ(p[0], sx) << x << "," << y;
        ASSERT_EQ(p[1], sy) << x << "," << y;
      }
    }
  }
}

TEST(ViewerNavigation, KeysLeadToTheirPictures) {
  const auto random = [](int count) { return count - 2; };
  struct Case {
    TNavigateKey key;
    int current, count, sequence, want;
  };
  const Case cases[] = {
      {TNavigateKey::Space, 2, 3, ssForward, 0},     // wraps forwards
      {TNavigateKey::Space, 0, 3, ssForward, 1},
      {TNavigateKey::Space, 0, 3, ssBackward, 2},    // wraps backwards
      {TNavigateKey::Space, 2, 3, ssBackward, 1},
      {TNavigateKey::Space, 0, 5, ssRandom, 3},
      {TNavigateKey::PageUp, 0, 3, ssForward, 0},    // stays at the first
      {TNavigateKey::PageDown, 2, 3, ssForward, 2},  // and at the last
      {TNavigateKey::PageDown, 0, 3, ssForward, 1},
      {TNavigateKey::End, 2, 3, ssForward, 2},
      {TNavigateKey::Home, 2, 3, ssForward, 0},
      {TNavigateKey::PageDown, -1, 3, ssForward, 1},  // no current item: the first
      {TNavigateKey::PageUp, 9, 3, ssForward, 0},
      {TNavigateKey::Space, 0, 0, ssRandom, -1},     // an empty list: nothing
      {TNavigateKey::End, -1, 0, ssForward, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.key) << " from " << c.current << " of " << c.count);
    EXPECT_EQ(NavigateIndex(c.key, c.current, c.count, c.sequence, random), c.want);
  }
}

TEST(ViewerNavigation, TheNextPictureInTheDirectionOfTravelIsLoadedAhead) {
  struct Case {
    TNavigateKey key;
    int index, count, sequence, want;
  };
  const Case cases[] = {
      {TNavigateKey::PageDown, 1, 3, ssForward, 2}, {TNavigateKey::PageDown, 2, 3, ssForward, -1},
      {TNavigateKey::PageUp, 1, 3, ssForward, 0},   {TNavigateKey::PageUp, 0, 3, ssForward, -1},
      {TNavigateKey::Home, 0, 3, ssForward, 1},     {TNavigateKey::End, 2, 3, ssForward, 1},
      {TNavigateKey::Space, 2, 3, ssForward, 0},    {TNavigateKey::Space, 0, 3, ssBackward, 2},
      {TNavigateKey::Space, 1, 3, ssRandom, -1},    {TNavigateKey::Space, 0, 1, ssForward, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.key) << " at " << c.index);
    EXPECT_EQ(PrefetchIndex(c.key, c.index, c.count, c.sequence), c.want);
  }
}

TEST(ViewerCommands, SavingAndSlideshowRules) {
  struct SaveCase {
    TViewMode mode;
    const char* file;
    bool inPlace;
  };
  for (const SaveCase& c : {SaveCase{vmShellList, "/a/b.jpg", true}, SaveCase{vmConvList, "/a/b.PNG", true},
                            SaveCase{vmShellList, "/a/b.tga", true}, SaveCase{vmShellList, "/a/b.tif", false},
                            SaveCase{vmConvList, "/a/b.psd", false}, SaveCase{vmBitmap, "/a/b.jpg", false},
                            SaveCase{vmShellList, "", false}}) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(CanSaveInPlace(c.mode, c.file), c.inPlace);
  }
  EXPECT_EQ(SaveAsTarget("/a/x.tif", 3), "/a/x.tif.gif");
  EXPECT_EQ(SaveAsTarget("/a/x", 9), "/a/x.bmp");
  EXPECT_EQ(SaveAsTarget("/a/x.pcx", 1), "/a/x.pcx");
  const std::vector<std::string> exts = {"bmp", "jpg", "jpeg", "gif", "bmp", "png", "bmp"};
  for (int i = 0; i < static_cast<int>(exts.size()); ++i) EXPECT_EQ(SaveDefaultExt(i), exts[static_cast<std::size_t>(i)]);
  EXPECT_EQ(SaveDialogName(vmBitmap, "/a/b.jpg"), "newfile1");
  EXPECT_EQ(SaveDialogName(vmShellList, "/a/b.jpg"), "b.jpg");
  EXPECT_EQ(SlideInterval(0), MinSlideInterval);
  EXPECT_EQ(SlideInterval(-5), MinSlideInterval);
  EXPECT_EQ(SlideInterval(2000), 2000);
}

// A new picture's window is fitted around the picture, or around the
// zoomed picture while the zoom is locked.
TEST(ViewerZoom, TheWindowFollowsTheZoomOnlyWhileItIsLocked) {
  TViewZoom z = Model({800, 400}, {400, 400}, 500);
  EXPECT_EQ(z.WindowPictureSize(), (TPoint{800, 400}));
  z.ToggleZoomLock();
  EXPECT_EQ(z.WindowPictureSize(), (TPoint{400, 200}));
  z.ToggleZoomLock();
  EXPECT_FALSE(z.ZoomLock);
  EXPECT_EQ(z.WindowPictureSize(), (TPoint{800, 400}));
}
