#pragma once
// Animation of a GIF image: a painter steps through the frames with their
// delays, disposal methods and loop count, composing each into a picture
// of its own that drawing the image shows.
//
// The painter never blocks. It waits through an animation timer that the
// windowing layer supplies (SetGIFAnimationTimerFactory); the timer calls
// back on the thread that drives the windows, so frames and pictures are
// only ever touched by that one thread. Without a timer factory (batch
// work, tests) a painter composes the first frame and then waits for ever.
//
// Option bit 0 ("on its own") selects the arithmetic of an independent
// painter: a Loops value of 0 plays for ever, delays are not cut to 10 s
// and a speed of 0 pauses until the speed changes. Without bit 0 a Loops
// value of 0 plays once, a delay is cut to 1000 hundredths and a speed of
// 0 waits 12 s between frames.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

#include "core/bitmap.h"
#include "core/types.h"

class TGIFImage;
class TGIFSubImage;

// A one-shot timer of the windowing layer.
class TGIFAnimationTimer {
 public:
  virtual ~TGIFAnimationTimer() = default;
  // Calls OnTimer once after the given milliseconds (0: as soon as the
  // event loop runs again). Starting again replaces a pending call.
  virtual void Start(int milliseconds) = 0;
  virtual void Stop() = 0;
  std::function<void()> OnTimer;
};

// Milliseconds of a monotonic clock.
class TGIFClock {
 public:
  virtual ~TGIFClock() = default;
  virtual std::int64_t NowMs() = 0;
};

using TGIFTimerFactory = std::function<std::unique_ptr<TGIFAnimationTimer>()>;
// Installed once by the windowing layer; an empty factory switches
// animation off.
void SetGIFAnimationTimerFactory(TGIFTimerFactory factory);
// Replaces the steady clock (tests); nullptr restores it.
void SetGIFClock(std::shared_ptr<TGIFClock> clock);

class TGIFPainter {
 public:
  // rect: where the image is drawn; under: the picture below rect when
  // drawing started (the background of transparent frames), may be null.
  TGIFPainter(const TGIFImage& image, std::uint16_t drawOptions, const TRect& rect, const TBitmap* under,
              std::uintptr_t target);
  ~TGIFPainter();
  TGIFPainter(const TGIFPainter&) = delete;
  TGIFPainter& operator=(const TGIFPainter&) = delete;

  // Raises the start event, paints the first frame at once and schedules
  // the next one.
  void Start();
  // Stops waiting; the picture keeps the frame last painted.
  void Stop();
  bool Stopped() const { return stopped_; }
  bool Ended() const { return ended_; }
  bool Threaded() const { return (options_ & 1) != 0; }

  // The composed picture, of the rectangle's size.
  const TBitmap& Picture() const { return canvas_; }
  const TRect& Rect() const { return rect_; }
  std::uintptr_t Target() const { return target_; }
  std::uint16_t DrawOptions() const { return options_; }

  // An error met while stepping on a timer call (the painter stopped
  // there); the image raises it at its next drawing.
  std::exception_ptr Error() const { return error_; }

  // The frame being shown; -1 when none is.
  int ActiveImage() const { return activeImage_; }
  void SetActiveImage(int index) { activeImage_ = index; }
  int LoopCounter() const { return loopCounter_; }
  int AnimationSpeed() const { return speed_; }
  // Clamped to 0..1000; a change ends the current wait at once (or, for a
  // painter that cannot be woken, restarts the run after the frame).
  void SetAnimationSpeed(int speed);

  // The delay of a frame in hundredths of a second: 10 without a graphic
  // control extension or with delay 0, else at least 3, and at most 1000
  // unless threaded.
  static int FrameDelay(const TGIFSubImage& frame, bool threaded);
  // The wait in milliseconds before the next frame, from the delay of the
  // frame on show and the time taken since the last wait started; -1
  // means for ever. Updates the remembered time and wait.
  int NextWait(int delay, std::int64_t now);
  // The wait last scheduled (-1 for ever).
  int PendingWait() const { return pendingWait_; }

 private:
  void BeginRun();
  void ScheduleNext();
  void OnTimer();
  void PaintActive();
  void RestoreBackground(TBitmap& target, const TGIFSubImage& frame);
  TRect FrameRect(const TGIFSubImage& frame) const;
  void Raise(const std::function<void(TGIFImage&)>& handler);
  void Finish();

  TGIFImage& image_;
  std::uint16_t options_;
  TRect rect_;
  std::uintptr_t target_;
  int speed_;
  bool hasEvent_ = false;
  int activeImage_ = -1;
  int loopCounter_ = 1;
  bool loopsApplied_ = false;
  int previousDisposal_ = 1;
  int currentDisposal_ = 1;
  bool restoreBackup_ = false;
  bool stopped_ = false;
  bool ended_ = false;
  bool restart_ = false;
  bool firstOfRun_ = true;
  int delay_ = 10;
  std::int64_t lastTime_ = 0;
  int lastWait_ = 0;
  int pendingWait_ = 0;
  TColor background_ = clWhite;
  bool useBuffer_ = false;
  TBitmap canvas_;
  TBitmap buffer_;
  TBitmap backup_;
  TBitmap under_;
  std::unique_ptr<TGIFAnimationTimer> timer_;
  std::shared_ptr<TGIFClock> clock_;
  std::exception_ptr error_;
};
