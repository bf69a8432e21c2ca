#pragma once
// The process-wide preview lock: guards every job's preview flags and fresh-bitmap request
// against the preview step of its worker.

#include <mutex>

namespace engine {

inline std::mutex& PreviewLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace engine
