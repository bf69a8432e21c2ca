#include "enginebase/RunInMainThread.h"

#include "core/MainThread.h"

namespace engine {

void RunInMainThread(const std::function<void()>& routine) { core::MainThread::Call(routine); }

}  // namespace engine
