#include "enginebase/InterruptRegistry.h"

#include <algorithm>

#include "log/FFLogger.h"

namespace engine {

void TInterruptCB::AddCheck(uint32_t thread, void* owner, TInterruptCheck check) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& e : entries_)
    if (e.thread == thread && e.owner == owner && e.check == check) return;
  entries_.push_back({thread, check, owner});
}

void TInterruptCB::RemoveCheck(uint32_t thread, void* owner, TInterruptCheck check) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
    return e.thread == thread && e.owner == owner && e.check == check;
  });
  if (it != entries_.end()) entries_.erase(it);
}

bool TInterruptCB::RunCheck(uint32_t thread) {
  Entry found{};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [thread](const Entry& e) { return e.thread == thread; });
    if (it == entries_.end()) return false;
    found = *it;
  }
  // Run outside the lock: a check may log, and logging may wait for the main thread,
  // which may itself be asking the registry. Only the registering thread removes its
  // entry, so the owner outlives this call.
  return found.check && found.check(found.owner);
}

TInterruptCB& InterruptRegistry() {
  static TInterruptCB* registry = new TInterruptCB;  // library threads may ask until exit
  return *registry;
}

int InterruptCallback(void*) {
  return InterruptRegistry().RunCheck(TFFLogger::CurrentThreadId()) ? 1 : 0;
}

AVIOInterruptCB EngineInterruptCB() { return AVIOInterruptCB{&InterruptCallback, nullptr}; }

ScopedInterruptCheck::ScopedInterruptCheck(void* owner, TInterruptCheck check)
    : thread_(TFFLogger::CurrentThreadId()), owner_(owner), check_(check) {
  InterruptRegistry().AddCheck(thread_, owner_, check_);
}

ScopedInterruptCheck::~ScopedInterruptCheck() {
  InterruptRegistry().RemoveCheck(thread_, owner_, check_);
}

}  // namespace engine
