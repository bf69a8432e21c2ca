#include "StepOneSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <thread>

#include "core/MainThread.h"
#include "enginebase/LibraryBinding.h"

namespace mwtest {

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    core::MainThread::ProcessPending();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void LoadCodecs() {
  if (!engine::EngineLibrariesLoaded()) {
    ASSERT_TRUE(engine::LoadEngineLibraries("lib")) << engine::LastLoadError();
  }
}

void AddAndWait(app::TFormMain& window, const std::vector<std::string>& paths) {
  LoadCodecs();
  window.AddFiles(paths);
  ASSERT_TRUE(WaitFor([&] { return !window.AddingFiles(); }));
}

}  // namespace mwtest
