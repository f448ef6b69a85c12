#include "formats/common/reader_warnings.h"

#include <deque>
#include <mutex>

namespace {

// Warnings nobody drains (a program without a window side) are kept up to
// this many; older ones are dropped.
constexpr std::size_t kMaxQueued = 64;

struct TWarningQueue {
  std::mutex Mutex;
  std::deque<std::string> Texts;
  std::function<void()> Notifier;
};

TWarningQueue& Queue() {
  static TWarningQueue queue;
  return queue;
}

// The capture of this thread, if any.
thread_local TReaderWarningCapture* t_capture = nullptr;

}  // namespace

void PostReaderWarning(const std::string& text) {
  if (t_capture != nullptr) {
    // Bounded like the queue: a file's loads post at most one each.
    if (t_capture->texts_.size() >= kMaxQueued) t_capture->texts_.erase(t_capture->texts_.begin());
    t_capture->texts_.push_back(text);
    return;
  }
  TWarningQueue& q = Queue();
  std::function<void()> notify;
  {
    std::lock_guard<std::mutex> lock(q.Mutex);
    if (q.Texts.size() >= kMaxQueued) q.Texts.pop_front();
    q.Texts.push_back(text);
    notify = q.Notifier;
  }
  // Outside the lock: the notifier may post an event that drains at once.
  if (notify) notify();
}

std::vector<std::string> TakeReaderWarnings() {
  TWarningQueue& q = Queue();
  std::lock_guard<std::mutex> lock(q.Mutex);
  std::vector<std::string> taken(q.Texts.begin(), q.Texts.end());
  q.Texts.clear();
  return taken;
}

void SetReaderWarningNotifier(std::function<void()> notifier) {
  TWarningQueue& q = Queue();
  std::lock_guard<std::mutex> lock(q.Mutex);
  q.Notifier = std::move(notifier);
}

TReaderWarningCapture::TReaderWarningCapture() : previous_(t_capture) { t_capture = this; }

TReaderWarningCapture::~TReaderWarningCapture() { t_capture = previous_; }

std::vector<std::string> TReaderWarningCapture::Take() {
  std::vector<std::string> taken = std::move(texts_);
  texts_.clear();
  return taken;
}
