#include "formats/gif/gif_painter.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <limits>

#include "formats/gif/gif_extensions.h"
#include "formats/gif/gif_image.h"

namespace {

class TSteadyClock : public TGIFClock {
 public:
  std::int64_t NowMs() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
};

TGIFTimerFactory& TimerFactory() {
  static TGIFTimerFactory factory;
  return factory;
}

std::shared_ptr<TGIFClock>& Clock() {
  static std::shared_ptr<TGIFClock> clock = std::make_shared<TSteadyClock>();
  return clock;
}

// Why 12 ms per hundredth rather than 10 is not known; the animations of
// this program have always run at that pace.
constexpr int MsPerHundredth = 12;
constexpr int LongWait = 1000 * MsPerHundredth;

int DisposalOf(const TGIFSubImage& frame) {
  const auto* gce = frame.GraphicControlExtension();
  return gce ? gce->Disposal() : 1;
}

}  // namespace

void SetGIFAnimationTimerFactory(TGIFTimerFactory factory) { TimerFactory() = std::move(factory); }

void SetGIFClock(std::shared_ptr<TGIFClock> clock) {
  Clock() = clock ? std::move(clock) : std::make_shared<TSteadyClock>();
}

TGIFPainter::TGIFPainter(const TGIFImage& image, std::uint16_t drawOptions, const TRect& rect, const TBitmap* under,
                         std::uintptr_t target)
    : image_(const_cast<TGIFImage&>(image)),
      options_(drawOptions),
      rect_(rect),
      target_(target),
      speed_(image.AnimationSpeed()),
      clock_(Clock()) {
  if (image_.Images().Count() <= 1) options_ = static_cast<std::uint16_t>(options_ & ~(goAsync | goAnimate));
  hasEvent_ = (options_ & goAsync) && (options_ & goAnimate) && image_.Images().Count() >= 2 && speed_ >= 0;

  // The colour that disposal 2 restores.
  background_ = image_.DrawBackgroundColor;
  if (background_ == clNone) {
    background_ = image_.Header().ColorMap().Count() == 0 ? ColorToRGB(clWindow) : image_.Header().BackgroundColor();
  }
  background_ = ColorToRGB(background_);

  const int w = std::max(rect.Right - rect.Left, 0);
  const int h = std::max(rect.Bottom - rect.Top, 0);
  canvas_ = TBitmap(w, h, pf24bit);
  if (under && under->Width() == w && under->Height() == h) {
    canvas_.Canvas().CopyRect(::Rect(0, 0, w, h), under->Canvas(), ::Rect(0, 0, w, h));
    under_ = *under;
  } else {
    canvas_.Canvas().Brush.Color = background_;
    canvas_.Canvas().FillRect(::Rect(0, 0, w, h));
    under_ = canvas_;
  }

  bool disposal2 = (options_ & goClearOnLoop) != 0, disposal3 = false;
  for (const auto& frame : image_.Images()) {
    const int d = DisposalOf(*frame);
    disposal2 = disposal2 || d == 2;
    disposal3 = disposal3 || d == 3;
  }
  useBuffer_ = disposal2 || disposal3;
  if (useBuffer_) {
    buffer_ = canvas_;
    buffer_.Canvas().Brush.Color = background_;
    backup_ = TBitmap(w, h, pf24bit);
  }
  if (TimerFactory()) {
    timer_ = TimerFactory()();
    if (timer_) timer_->OnTimer = [this] { OnTimer(); };
  }
}

TGIFPainter::~TGIFPainter() {
  if (timer_) {
    timer_->OnTimer = nullptr;
    timer_->Stop();
  }
}

void TGIFPainter::Raise(const std::function<void(TGIFImage&)>& handler) {
  if (handler) handler(image_);
}

int TGIFPainter::FrameDelay(const TGIFSubImage& frame, bool threaded) {
  const auto* gce = frame.GraphicControlExtension();
  int delay = gce ? gce->GetDelay() : 0;
  if (delay == 0) return 10;
  delay = std::max(delay, 3);
  if (!threaded) delay = std::min(delay, 1000);
  return delay;
}

int TGIFPainter::NextWait(int delay, std::int64_t now) {
  int wait;
  if (speed_ > 0) {
    // The time spent beyond the last wait (painting) is half taken off.
    const std::int64_t overrun = (now - lastTime_ - lastWait_) / 2;
    const std::int64_t numerator = static_cast<std::int64_t>(delay) * MsPerHundredth - overrun;
    const std::int64_t scaled = numerator * 100;
    // Rounded half away from zero, as a 64-bit MulDiv does.
    std::int64_t result = (std::llabs(scaled) + speed_ / 2) / speed_;
    if (scaled < 0) result = -result;
    if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min()) {
      wait = LongWait;
      lastWait_ = 0;
    } else {
      // A frame that took longer than its delay is shown at once, not
      // "negatively".
      wait = static_cast<int>(std::max<std::int64_t>(result, 0));
      lastWait_ = wait;
    }
  } else {
    wait = Threaded() ? -1 : LongWait;
    lastWait_ = wait < 0 ? 0 : wait;
  }
  lastTime_ = now;
  return wait;
}

void TGIFPainter::BeginRun() {
  Raise(image_.OnStartPaint);
  activeImage_ = 0;
  loopCounter_ = 1;
  loopsApplied_ = false;
  lastWait_ = Threaded() ? 0 : 1;
  lastTime_ = clock_->NowMs();
  firstOfRun_ = true;
  restart_ = false;
}

void TGIFPainter::Start() {
  if (stopped_ || ended_) return;
  if (image_.Images().Count() == 0 || rect_.Left >= rect_.Right || rect_.Top >= rect_.Bottom) {
    Finish();
    return;
  }
  BeginRun();
  PaintActive();
}

void TGIFPainter::Stop() {
  stopped_ = true;
  if (timer_) timer_->Stop();
}

void TGIFPainter::Finish() {
  if (ended_) return;
  ended_ = true;
  activeImage_ = -1;
  if (timer_) timer_->Stop();
  Raise(image_.OnEndPaint);
}

void TGIFPainter::SetAnimationSpeed(int speed) {
  speed = std::clamp(speed, 0, 1000);
  if (speed == speed_) return;
  speed_ = speed;
  if (stopped_ || ended_) return;
  if (hasEvent_) {
    // The wait in progress ends now; the next frame follows at once.
    lastWait_ = 0;
    lastTime_ = clock_->NowMs();
    pendingWait_ = 0;
    if (timer_) timer_->Start(0);
  } else {
    restart_ = true;
  }
}

// Paints the active frame, then decides which frame follows and when.
void TGIFPainter::PaintActive() {
  if (stopped_ || ended_) return;
  const int count = image_.Images().Count();
  if (activeImage_ < 0 || activeImage_ >= count) {
    Finish();
    return;
  }
  TGIFSubImage& frame = *image_.Images()[activeImage_];
  frame.GetBitmap();  // prepared before its turn
  Raise(image_.OnPaint);

  previousDisposal_ = currentDisposal_;
  currentDisposal_ = DisposalOf(frame);
  // The looping extension sets the count once per run; applied again on
  // every pass it would never run out.
  for (const auto& ext : frame.Extensions()) {
    if (auto* loop = dynamic_cast<const TGIFAppExtNSLoop*>(ext.get())) {
      if (!loopsApplied_) {
        loopsApplied_ = true;
        loopCounter_ = loop->Loops;
        if ((loop->Loops == 0 || (options_ & goLoopContinously)) && Threaded()) loopCounter_ = -1;
      }
      break;
    }
  }

  const bool transparent = (options_ & goTransparent) != 0;
  const bool tile = (options_ & goTile) != 0;
  const TRect all = ::Rect(0, 0, canvas_.Width(), canvas_.Height());
  if (!useBuffer_) {
    image_.PaintFrame(canvas_, all, activeImage_, transparent, tile);
  } else {
    if ((options_ & goClearOnLoop) && activeImage_ == 0) RestoreBackground(buffer_, frame);
    if (restoreBackup_) {
      // The frame before was "restore to previous".
      buffer_ = backup_;
      restoreBackup_ = false;
    }
    if (currentDisposal_ == 3) {
      if (previousDisposal_ == 0 || previousDisposal_ == 1) {
        // The buffer keeps the picture from before this frame.
        canvas_ = buffer_;
        image_.PaintFrame(canvas_, all, activeImage_, transparent, tile);
      } else {
        backup_ = buffer_;
        image_.PaintFrame(buffer_, all, activeImage_, transparent, tile);
        canvas_ = buffer_;
        restoreBackup_ = true;
      }
    } else {
      image_.PaintFrame(buffer_, all, activeImage_, transparent, tile);
      canvas_ = buffer_;
      if (currentDisposal_ == 2) RestoreBackground(buffer_, frame);
    }
  }

  delay_ = FrameDelay(frame, Threaded());
  const int shown = activeImage_;
  Raise(image_.OnAfterPaint);
  if (activeImage_ == shown) ++activeImage_;
  firstOfRun_ = false;
  ScheduleNext();
}

void TGIFPainter::ScheduleNext() {
  if (stopped_ || ended_) return;
  const int count = image_.Images().Count();
  if (activeImage_ >= count) {
    bool again = false;
    if ((options_ & goAnimate) && (options_ & goLoop)) {
      if (loopCounter_ > 0) --loopCounter_;
      again = loopCounter_ != 0 || (options_ & goLoopContinously);
    }
    if (!again) {
      // The last frame stays on show for its delay before the end.
      Finish();
      return;
    }
    Raise(image_.OnLoop);
    activeImage_ = 0;
  }
  const int wait = NextWait(delay_, clock_->NowMs());
  pendingWait_ = wait;
  if (!timer_ || wait < 0) return;  // for ever, or until the speed changes
  timer_->Start(wait);
}

void TGIFPainter::OnTimer() {
  if (stopped_ || ended_) return;
  // Called from the windows' event loop, which no exception may reach.
  try {
    // A speed change that could not end the wait starts the run again
    // once the frame on show has had its time.
    if (restart_) BeginRun();
    PaintActive();
  } catch (...) {
    error_ = std::current_exception();
    Stop();
  }
}

TRect TGIFPainter::FrameRect(const TGIFSubImage& frame) const {
  const std::int64_t iw = std::max<std::int64_t>(image_.Width(), 1);
  const std::int64_t ih = std::max<std::int64_t>(image_.Height(), 1);
  const std::int64_t rw = canvas_.Width(), rh = canvas_.Height();
  return TRect{static_cast<int>(frame.Left() * rw / iw), static_cast<int>(frame.Top() * rh / ih),
               static_cast<int>((frame.Left() + frame.Width()) * rw / iw),
               static_cast<int>((frame.Top() + frame.Height()) * rh / ih)};
}

void TGIFPainter::RestoreBackground(TBitmap& target, const TGIFSubImage& frame) {
  const bool tile = (options_ & goTile) && frame.Width() < image_.Width() && frame.Height() < image_.Height();
  std::vector<TRect> areas;
  if (tile) {
    const int iw = std::max(image_.Width(), 1), ih = std::max(image_.Height(), 1);
    for (std::int64_t y = frame.Top(); y < target.Height(); y += ih)
      for (std::int64_t x = frame.Left(); x < target.Width(); x += iw)
        areas.push_back(TRect{static_cast<int>(x), static_cast<int>(y), static_cast<int>(x + frame.Width()),
                              static_cast<int>(y + frame.Height())});
  } else {
    areas.push_back(FrameRect(frame));
  }
  for (const TRect& r : areas) {
    if (options_ & goTransparent) {
      target.Canvas().CopyRect(r, under_.Canvas(), r);
    } else {
      target.Canvas().Brush.Color = background_;
      target.Canvas().Brush.Style = bsSolid;
      target.Canvas().FillRect(r);
    }
  }
}
