// Probing on the worker: results in order, batches one after another, cancel and
// destruction while files are still being probed.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "MediaFiles.h"
#include "TestSupport.h"
#include "convert/TaskProber.h"
#include "core/MainThread.h"
#include "enginebase/LibraryBinding.h"

namespace fs = std::filesystem;

namespace convert {
namespace {

// Runs the event loop (and the calls workers hand to the main thread) until done().
bool waitFor(const std::function<bool()>& done, int timeoutMs = 20000) {
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

class TaskProberTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine::LoadEngineLibraries("lib")) << engine::LastLoadError();
    prober_ = std::make_unique<TaskProber>();
    prober_->OnBatchStarted = [this] { events_.push_back("start"); };
    prober_->OnProbed = [this](ProbeOutcome o) {
      events_.push_back((o.Opened ? "ok " : "failed ") + fs::path(o.Facts.Path).filename().string());
      EXPECT_TRUE(core::MainThread::IsMainThread());
    };
    prober_->OnBatchFinished = [this] { events_.push_back("end"); };
  }
  std::unique_ptr<TaskProber> prober_;
  std::vector<std::string> events_;
  testsupport::TempDir dir_;
};

TEST_F(TaskProberTest, ResultsArriveOnTheMainThreadInOrderBatchAfterBatch) {
  const std::string video = testsupport::Media("av.mp4");
  const std::string audio = testsupport::Media("audio.mp3");
  const fs::path broken = dir_.write("broken.mp4", "not a movie");
  prober_->Probe({video, broken.string(), audio});
  prober_->Probe({});  // nothing queued for an empty list
  prober_->Probe({audio});
  EXPECT_EQ(prober_->PendingBatches(), 2);
  EXPECT_TRUE(prober_->Busy());
  EXPECT_TRUE(events_.empty()) << "nothing is delivered before the event loop runs";
  ASSERT_TRUE(waitFor([&] { return !prober_->Busy(); }));
  EXPECT_EQ(events_, (std::vector<std::string>{"start", "ok av.mp4", "failed broken.mp4",
                                               "ok audio.mp3", "end", "start", "ok audio.mp3",
                                               "end"}));
}

TEST_F(TaskProberTest, TheEventLoopKeepsRunningWhileFilesAreProbed) {
  // Twelve copies: probing them takes many event-loop turns, and rows come one by one.
  std::vector<std::string> paths;
  for (int i = 0; i < 12; ++i) {
    const fs::path p = dir_.path() / ("copy" + std::to_string(i) + ".mp4");
    fs::copy_file(testsupport::Media("av.mp4"), p);
    paths.push_back(p.string());
  }
  int ticks = 0;
  std::vector<int> ticksAtResult;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(1);
  prober_->OnProbed = [&](ProbeOutcome o) {
    EXPECT_TRUE(o.Opened) << o.Error;
    ticksAtResult.push_back(ticks);
  };
  prober_->Probe(paths);
  ASSERT_TRUE(waitFor([&] { return !prober_->Busy(); }));
  ASSERT_EQ(ticksAtResult.size(), paths.size());
  EXPECT_LT(ticksAtResult.front(), ticksAtResult.back())
      << "the timer ran between the first and the last result";
}

TEST_F(TaskProberTest, CancelDropsWhatIsNotDeliveredYet) {
  std::vector<std::string> paths(30, testsupport::Media("av.mp4"));
  prober_->Probe(paths);
  prober_->Probe(paths);
  ASSERT_TRUE(waitFor([&] { return events_.size() >= 2; }));
  prober_->Cancel();
  EXPECT_FALSE(prober_->Busy());
  const size_t seen = events_.size();
  waitFor([] { return false; }, 300);
  EXPECT_EQ(events_.size(), seen) << "nothing more after the cancel";
  EXPECT_LT(seen, 10u);

  // The prober still works afterwards.
  events_.clear();
  prober_->Probe({testsupport::Media("audio.mp3")});
  ASSERT_TRUE(waitFor([&] { return !prober_->Busy(); }));
  EXPECT_EQ(events_, (std::vector<std::string>{"start", "ok audio.mp3", "end"}));
}

TEST_F(TaskProberTest, DestroyedWhileProbingReturnsPromptly) {
  std::vector<std::string> paths(50, testsupport::Media("av.mp4"));
  prober_->Probe(paths);
  ASSERT_TRUE(waitFor([&] { return events_.size() >= 2; }));
  QElapsedTimer timer;
  timer.start();
  prober_.reset();
  EXPECT_LT(timer.elapsed(), 3000);
  // Results that were on their way are not delivered to the gone prober.
  waitFor([] { return false; }, 100);
}

}  // namespace
}  // namespace convert
