#include "formats/gif/gif_painter.h"

#include <gtest/gtest.h>

#include "formats/gif/gif_image.h"
#include "core/exceptions.h"
#include "support/test_support.h"

namespace {

struct FakeClock : TGIFClock {
  std::int64_t Now = 1000;
  std::int64_t NowMs() override { return Now; }
};

// Records the waits asked for; the test fires them after moving the clock.
struct FakeTimer : TGIFAnimationTimer {
  std::vector<int>* Waits;
  bool* Pending;
  FakeTimer(std::vector<int>* waits, bool* pending) : Waits(waits), Pending(pending) {}
  void Start(int ms) override {
    Waits->push_back(ms);
    *Pending = true;
  }
  void Stop() override { *Pending = false; }
};

class GifPainter : public testing::Test {
 protected:
  void SetUp() override {
    clock = std::make_shared<FakeClock>();
    SetGIFClock(clock);
    SetGIFAnimationTimerFactory([this] {
      auto t = std::make_unique<FakeTimer>(&waits, &pending);
      timer = t.get();
      return t;
    });
  }
  void TearDown() override {
    SetGIFAnimationTimerFactory(nullptr);
    SetGIFClock(nullptr);
  }
  // Lets the pending wait pass exactly and fires the timer.
  void Fire() {
    ASSERT_TRUE(pending);
    pending = false;
    clock->Now += waits.back();
    timer->OnTimer();
  }

  // Frames of one colour each (colour index i on a 4x4 screen), with the
  // given delays and disposals.
  void Build(TGIFImage& gif, const std::vector<int>& delays, const std::vector<int>& disposals = {},
             std::vector<std::pair<int, int>> offsets = {}) {
    for (int i = 0; i < 4; ++i) gif.Header().ColorMap().Add(RGB(i * 60, 0, 0));
    for (std::size_t i = 0; i < delays.size(); ++i) {
      auto frame = std::make_unique<TGIFSubImage>(&gif);
      auto* f = frame.get();
      const auto off = i < offsets.size() ? offsets[i] : std::pair<int, int>{0, 0};
      f->SetBoundsValue(1, off.first);
      f->SetBoundsValue(2, off.second);
      f->SetBoundsValue(3, 4 - off.first);
      f->SetBoundsValue(4, 4 - off.second);
      std::fill(f->MutableData().begin(), f->MutableData().end(), static_cast<std::uint8_t>(i % 4));
      if (delays[i] >= 0) {
        auto gce = std::make_unique<TGIFGraphicControlExtension>(f);
        gce->SetDelay(delays[i]);
        if (i < disposals.size()) gce->SetDisposal(disposals[i]);
        f->Extensions().Add(std::move(gce));
      }
      gif.Add(std::move(frame));
    }
  }

  std::shared_ptr<FakeClock> clock;
  std::vector<int> waits;
  bool pending = false;
  FakeTimer* timer = nullptr;
};

}  // namespace

TEST_F(GifPainter, DelaysBecomeWaits) {
  TGIFImage gif;
  Build(gif, {0, 1, 50, -1, 10, 10});
  TBitmap target(4, 4, pf24bit);
  target.Canvas().Draw(0, 0, gif);
  ASSERT_TRUE(gif.Painter());
  EXPECT_EQ(gif.Painter()->ActiveImage(), 1);
  // Delay 0 shows for 10 hundredths, at 12 ms each.
  ASSERT_EQ(waits, std::vector<int>{120});
  Fire();
  // Delay 1 is raised to 3.
  EXPECT_EQ(waits.back(), 36);
  Fire();
  EXPECT_EQ(waits.back(), 600);
  // Time spent painting beyond the wait is half taken off the next one.
  pending = false;
  clock->Now += 600 + 40;
  timer->OnTimer();
  EXPECT_EQ(waits.back(), 120 - 20);  // no graphic control extension: 10
  // A frame that took far longer than its delay is followed at once.
  pending = false;
  clock->Now += 100 + 5000;
  timer->OnTimer();
  EXPECT_EQ(waits.back(), 0);
  EXPECT_EQ(TGIFPainter::FrameDelay(*gif.Images()[2], false), 50);
}

TEST_F(GifPainter, SpeedScalesTheWaits) {
  TGIFImage gif;
  Build(gif, {10, 10, 10, 10, 10, 10});
  gif.SetAnimationSpeed(200);
  TBitmap target(4, 4, pf24bit);
  target.Canvas().Draw(0, 0, gif);
  EXPECT_EQ(waits.back(), 60);
  Fire();
  // Halving the speed ends the current wait at once; the next is doubled.
  gif.SetAnimationSpeed(50);
  EXPECT_EQ(waits.back(), 0);
  Fire();
  EXPECT_EQ(waits.back(), 240);
  // Speed 0 pauses a painter running on its own until the speed changes.
  gif.SetAnimationSpeed(0);
  Fire();
  EXPECT_EQ(gif.Painter()->PendingWait(), -1);
  EXPECT_FALSE(pending);
  gif.SetAnimationSpeed(100);
  EXPECT_TRUE(pending);
  EXPECT_EQ(gif.AnimationSpeed(), 100);
}

TEST_F(GifPainter, LoopCountsAreAppliedOncePerRun) {
  TGIFImage gif;
  Build(gif, {5, 5});
  auto loop = std::make_unique<TGIFAppExtNSLoop>(gif.Images()[0]);
  loop->Loops = 2;
  auto* loopPtr = loop.get();
  gif.Images()[0]->Extensions().Add(std::move(loop));
  int loops = 0, ends = 0;
  gif.OnLoop = [&](TGIFImage&) { ++loops; };
  gif.OnEndPaint = [&](TGIFImage&) { ++ends; };
  TBitmap target(4, 4, pf24bit);
  target.Canvas().Draw(0, 0, gif);
  for (int i = 0; i < 20 && pending; ++i) Fire();
  EXPECT_EQ(loops, 1);  // two passes
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(gif.Painter()->ActiveImage(), -1);

  // Loops 0: for ever on its own, once without (unless looping for ever).
  loopPtr->Loops = 0;
  gif.StopDraw();
  loops = 0;
  TBitmap again(4, 4, pf24bit);
  again.Canvas().Draw(0, 0, gif);
  for (int i = 0; i < 30 && pending; ++i) Fire();
  EXPECT_TRUE(pending);
  EXPECT_GE(loops, 10);
  EXPECT_EQ(gif.Painter()->LoopCounter(), -1);

  gif.SetDrawOptions(static_cast<std::uint16_t>(gif.DrawOptions() & ~goAsync));
  loops = 0;
  TBitmap once(4, 4, pf24bit);
  once.Canvas().Draw(0, 0, gif);
  for (int i = 0; i < 30 && pending; ++i) Fire();
  EXPECT_EQ(loops, 0);
  EXPECT_FALSE(pending);
}

TEST_F(GifPainter, DisposalMethodsCompose) {
  // Frame 0 fills the 4x4 screen with colour 0; frames 1..3 cover the
  // 3x3 corner at (1, 1) with colours 1, 2 and 3; frame 4 is one pixel
  // at (3, 3). Frame 1 stays (disposal 1), frame 2 goes back to the
  // background (2), frame 3 to what was there before it (3).
  TGIFImage gif;
  Build(gif, {10, 10, 10, 10, 10}, {1, 1, 2, 3, 1}, {{0, 0}, {1, 1}, {1, 1}, {1, 1}, {3, 3}});
  gif.DrawBackgroundColor = RGB(77, 0, 0);
  gif.SetDrawOptions(static_cast<std::uint16_t>(gif.DrawOptions() & ~goTransparent));
  TBitmap target(4, 4, pf24bit);
  target.Canvas().Draw(0, 0, gif);
  const TGIFPainter* p = gif.Painter();
  auto at = [&](int x, int y) { return GetRValue(p->Picture().GetPixelColor(x, y)); };
  EXPECT_EQ(at(2, 2), 0);
  Fire();
  EXPECT_EQ(at(2, 2), 60);
  EXPECT_EQ(at(0, 0), 0);
  Fire();
  EXPECT_EQ(at(2, 2), 120);
  Fire();
  EXPECT_EQ(at(2, 2), 180);
  EXPECT_EQ(at(0, 0), 0);
  Fire();
  // Frame 3 was taken back to the picture before it, in which frame 2
  // had been replaced by the background.
  EXPECT_EQ(at(2, 2), 77);
  EXPECT_EQ(at(1, 1), 77);
  EXPECT_EQ(at(3, 3), 0);
  EXPECT_EQ(at(0, 0), 0);
  // Drawing again on the same target shows the painter's picture.
  target.Canvas().Draw(0, 0, gif);
  EXPECT_EQ(GetRValue(target.GetPixelColor(2, 2)), 77);
}

TEST_F(GifPainter, WithoutATimerTheFirstFrameStays) {
  SetGIFAnimationTimerFactory(nullptr);
  TGIFImage gif;
  Build(gif, {10, 10});
  TBitmap target(4, 4, pf24bit);
  target.Canvas().Draw(0, 0, gif);
  EXPECT_EQ(GetRValue(target.GetPixelColor(1, 1)), 0);
  EXPECT_EQ(gif.Painter()->ActiveImage(), 1);
}

TEST_F(GifPainter, ComposedFramesMatchPillow) {
  if (!testsupport::HavePillow()) GTEST_SKIP() << "Pillow is not installed for /usr/bin/python3";
  // Five frames with every disposal method over an 8x6 screen.
  TGIFImage gif;
  for (int i = 0; i < 8; ++i) gif.Header().ColorMap().Add(RGB(i * 30, 200 - i * 20, (i * 70) & 255));
  gif.Header().BackgroundColorIndex = 5;
  const struct {
    int Left, Top, Width, Height, Disposal;
  } frames[] = {{0, 0, 8, 6, 1}, {2, 1, 4, 3, 2}, {1, 2, 5, 3, 3}, {0, 0, 3, 3, 1}, {4, 3, 4, 3, 0}};
  int n = 0;
  for (const auto& wanted : frames) {
    auto frame = std::make_unique<TGIFSubImage>(&gif);
    auto* f = frame.get();
    f->SetBoundsValue(1, wanted.Left);
    f->SetBoundsValue(2, wanted.Top);
    f->SetBoundsValue(3, wanted.Width);
    f->SetBoundsValue(4, wanted.Height);
    for (std::size_t k = 0; k < f->MutableData().size(); ++k)
      f->MutableData()[k] = static_cast<std::uint8_t>((k + static_cast<std::size_t>(n) * 3) % 8);
    auto gce = std::make_unique<TGIFGraphicControlExtension>(f);
    gce->SetDelay(10);
    gce->SetDisposal(wanted.Disposal);
    f->Extensions().Add(std::move(gce));
    gif.Add(std::move(frame));
    ++n;
  }
  testsupport::TempDir dir;
  gif.SaveToFile(dir.File("disposal.gif"));
  const std::string script =
      "import sys\n"
      "from PIL import Image\n"
      "im = Image.open(sys.argv[1])\n"
      "for i in range(im.n_frames):\n"
      "    im.seek(i)\n"
      "    sys.stdout.buffer.write(im.convert('RGB').tobytes())\n";
  auto r = testsupport::Run({"/usr/bin/python3", "-c", script, dir.File("disposal.gif")});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  ASSERT_EQ(r.Out.size(), 5u * 8 * 6 * 3);

  gif.SetDrawOptions(static_cast<std::uint16_t>(gif.DrawOptions() & ~goTransparent));
  TBitmap target(8, 6, pf24bit);
  target.Canvas().Draw(0, 0, gif);
  for (int i = 0; i < 5; ++i) {
    if (i > 0) Fire();
    const TBitmap& picture = gif.Painter()->Picture();
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 8; ++x) {
        const std::size_t at = ((static_cast<std::size_t>(i) * 6 + static_cast<std::size_t>(y)) * 8 + static_cast<std::size_t>(x)) * 3;
        const TColor theirs = RGB(static_cast<std::uint8_t>(r.Out[at]), static_cast<std::uint8_t>(r.Out[at + 1]),
                                  static_cast<std::uint8_t>(r.Out[at + 2]));
        EXPECT_EQ(picture.GetPixelColor(x, y), theirs) << "frame " << i << " at " << x << "," << y;
      }
  }
}

TEST_F(GifPainter, ErrorsOnATimerCallReachTheNextDrawing) {
  TGIFImage gif;
  Build(gif, {10, 10, 10});
  int paints = 0;
  gif.OnPaint = [&](TGIFImage&) {
    if (++paints == 2) throw GIFException("boom");
  };
  TBitmap target(4, 4, pf24bit);
  target.Canvas().Draw(0, 0, gif);
  EXPECT_NO_THROW(Fire());  // the timer call itself never throws
  EXPECT_TRUE(gif.Painter()->Stopped());
  EXPECT_THROW(target.Canvas().Draw(0, 0, gif), GIFException);
  EXPECT_EQ(gif.Painter(), nullptr);
}

TEST_F(GifPainter, SpeedChangeWithoutAWakeUpRestartsTheRun) {
  TGIFImage gif;
  Build(gif, {10, 10, 10, 10});
  gif.SetDrawOptions(static_cast<std::uint16_t>(gif.DrawOptions() & ~goAsync));
  int starts = 0;
  gif.OnStartPaint = [&](TGIFImage&) { ++starts; };
  TBitmap target(4, 4, pf24bit);
  target.Canvas().Draw(0, 0, gif);
  Fire();
  EXPECT_EQ(gif.Painter()->ActiveImage(), 2);
  gif.SetAnimationSpeed(50);
  EXPECT_EQ(waits.back(), 120);  // the frame on show keeps its wait
  Fire();
  EXPECT_EQ(starts, 2);
  EXPECT_EQ(gif.Painter()->ActiveImage(), 1);  // frame 0 was painted again
  EXPECT_EQ(waits.back(), 240);
}
