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

}  // namespace

void PostReaderWarning(const std::string& text) {
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
