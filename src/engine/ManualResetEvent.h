#pragma once
// An event that stays set until it is reset, with timed waits.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace engine {

class ManualResetEvent {
 public:
  explicit ManualResetEvent(bool initiallySet) : set_(initiallySet) {}

  void Set() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      set_ = true;
    }
    changed_.notify_all();
  }
  void Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = false;
  }
  bool IsSet() {
    std::lock_guard<std::mutex> lock(mutex_);
    return set_;
  }
  // True when the event was set within the time (a negative time waits without limit).
  bool Wait(std::chrono::milliseconds timeout = std::chrono::milliseconds(-1)) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (timeout.count() < 0) {
      changed_.wait(lock, [this] { return set_; });
      return true;
    }
    return changed_.wait_for(lock, timeout, [this] { return set_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool set_;
};

}  // namespace engine
