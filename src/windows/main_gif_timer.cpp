#include "windows/main_gif_timer.h"

#include <QTimer>

#include <memory>

#include "formats/gif/gif_painter.h"
#include "windows/form_support.h"

namespace {

class TQtGIFAnimationTimer : public TGIFAnimationTimer {
 public:
  TQtGIFAnimationTimer() : timer_(new QTimer) {
    timer_->setSingleShot(true);
    QObject::connect(timer_, &QTimer::timeout, timer_, [this] {
      Guarded([this] {
        if (OnTimer) OnTimer();
      });
    });
  }
  ~TQtGIFAnimationTimer() override {
    // The painter may let go of its timer from inside OnTimer, while the
    // QTimer is still sending; it goes once that is over.
    timer_->stop();
    timer_->disconnect();
    timer_->deleteLater();
  }
  TQtGIFAnimationTimer(const TQtGIFAnimationTimer&) = delete;
  TQtGIFAnimationTimer& operator=(const TQtGIFAnimationTimer&) = delete;

  void Start(int milliseconds) override { timer_->start(milliseconds < 0 ? 0 : milliseconds); }
  void Stop() override { timer_->stop(); }

 private:
  QTimer* timer_;
};

}  // namespace

void InstallGIFAnimationTimers() {
  SetGIFAnimationTimerFactory([] { return std::make_unique<TQtGIFAnimationTimer>(); });
}

void RemoveGIFAnimationTimers() { SetGIFAnimationTimerFactory(nullptr); }
