#include "core/ThreadPriority.h"

#include <sys/resource.h>

#include <array>
#include <cstddef>

namespace core {
namespace {
constexpr std::array<int, 7> kNiceValues = {19, 10, 5, 0, -5, -10, -20};
}  // namespace

int NiceValueOf(TThreadPriority priority) {
  const auto i = static_cast<std::size_t>(priority);
  return i < kNiceValues.size() ? kNiceValues[i] : 0;
}

TThreadPriority PriorityOfNiceValue(int nice) {
  for (std::size_t i = 0; i < kNiceValues.size(); ++i) {
    if (kNiceValues[i] == nice) return static_cast<TThreadPriority>(i);
  }
  return tpNormal;
}

bool ApplyThreadPriority(int tid, TThreadPriority priority) {
  return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), NiceValueOf(priority)) == 0;
}

}  // namespace core
