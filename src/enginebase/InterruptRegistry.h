#pragma once
// Lets a blocked library call be stopped: an engine thread registers a check before a
// call that may block, and every format context the engine opens asks, through its
// interrupt callback, the first check registered for the thread it runs on.

#include <cstdint>
#include <mutex>
#include <vector>

extern "C" {
#include <libavformat/avio.h>
}

namespace engine {

// Returns true to make the library abort the blocking I/O of owner's call.
using TInterruptCheck = bool (*)(void* owner);

class TInterruptCB {
 public:
  // Nothing when the same thread, owner and check are already registered.
  void AddCheck(uint32_t thread, void* owner, TInterruptCheck check);
  // Removes the first entry matching all three.
  void RemoveCheck(uint32_t thread, void* owner, TInterruptCheck check);
  // The answer of the first check registered for the thread; false without one. The check
  // runs outside the registry's lock.
  bool RunCheck(uint32_t thread);

 private:
  struct Entry {
    uint32_t thread;
    TInterruptCheck check;
    void* owner;
  };
  std::mutex mutex_;
  std::vector<Entry> entries_;
};

TInterruptCB& InterruptRegistry();

// The library's interrupt callback: 1 when the calling thread's check asks to abort.
int InterruptCallback(void* unused);
// What every format context of the engine gets as its interrupt_callback.
AVIOInterruptCB EngineInterruptCB();

// Registers a check for the calling thread for the lifetime of the object.
class ScopedInterruptCheck {
 public:
  ScopedInterruptCheck(void* owner, TInterruptCheck check);
  ~ScopedInterruptCheck();
  ScopedInterruptCheck(const ScopedInterruptCheck&) = delete;
  ScopedInterruptCheck& operator=(const ScopedInterruptCheck&) = delete;

 private:
  uint32_t thread_;
  void* owner_;
  TInterruptCheck check_;
};

}  // namespace engine
