#pragma once
// Runs a routine on the main thread and waits for it (at once when already there).

#include <functional>

namespace engine {

void RunInMainThread(const std::function<void()>& routine);

}  // namespace engine
