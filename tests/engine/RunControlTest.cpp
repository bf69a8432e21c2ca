// Run control of one job on real media and real threads: starting on a worker or in the
// caller's thread, the single report, stopping, the end of a never-started job, cleanup of
// the outputs, the time-out of a blocking open, preview flags and worker priorities.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "EngineMedia.h"
#include "LogCapture.h"
#include "OutputProbe.h"
#include "TestSupport.h"
#include "core/MainThread.h"
#include "engine/ConvertThread.h"
#include "engine/CustomFFmpeg.h"

using engine::TCustomFFmpeg;
using enginemedia::Media;
using testsupport::TempDir;
using namespace std::chrono_literals;

namespace {

// What the terminate link saw, and on which thread.
struct Reports {
  std::mutex mutex;
  int count = 0;
  std::thread::id thread;
  bool finished = false, hasError = false;
  std::string error;

  void Attach(TCustomFFmpeg& job) {
    job.TerminateLink = [this](TCustomFFmpeg& j) {
      std::lock_guard<std::mutex> lock(mutex);
      ++count;
      thread = std::this_thread::get_id();
      finished = j.Finished;
      hasError = j.HasError;
      error = j.ErrorMessage;
    };
  }
  int Count() {
    std::lock_guard<std::mutex> lock(mutex);
    return count;
  }
};

class RunControl : public ::testing::Test {
 protected:
  void SetUp() override { core::MainThread::SetCurrentAsMain(); }
};

TEST_F(RunControl, AJobThatCannotStartFailsOnceWithTheReasonTheOutputCheckFirst) {
  TempDir dir;
  struct Case {
    bool input, output;
    const char* text;
  };
  const Case cases[] = {
      {false, false, "At least one output file must be specified"},
      {true, false, "At least one output file must be specified"},
      {false, true, "At least one input file must be specified"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    LogCapture log;
    TCustomFFmpeg job;
    Reports reports;
    reports.Attach(job);
    if (c.input) {
      ASSERT_TRUE(job.OpenInput(Media("tone.wav"))) << job.LastError;
    }
    const std::string out = dir.str() + "/never.wav";
    if (c.output) {
      ASSERT_GT(job.OpenOutput(out, false), 0) << job.LastError;
    }
    EXPECT_EQ(job.Start(true), nullptr);
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_EQ(reports.thread, std::this_thread::get_id());
    EXPECT_TRUE(reports.hasError);
    EXPECT_FALSE(reports.finished);
    EXPECT_EQ(reports.error, c.text);
    EXPECT_TRUE(job.Terminated);
    EXPECT_FALSE(job.Running);
    EXPECT_EQ(log.Matching(engine::llQuiet, c.text).size(), 1u);
    // Released at once: no input stays open and the empty output file is gone.
    EXPECT_EQ(job.InputFileCount(), 0);
    EXPECT_EQ(job.OutputFileCount(), 0);
    EXPECT_FALSE(std::filesystem::exists(out));
    // An ended job is not started again and not reported again.
    EXPECT_EQ(job.Start(false), nullptr);
    job.StopJob(true);
    EXPECT_EQ(reports.Count(), 1);
  }
}

TEST_F(RunControl, AThreadedJobWaitsForResumeThenConvertsAndReportsOnceOnItsWorker) {
  TempDir dir;
  const std::string out = dir.str() + "/out.avi";
  TCustomFFmpeg job;
  Reports reports;
  reports.Attach(job);
  ASSERT_TRUE(job.OpenInput(Media("av.mp4"))) << job.LastError;
  ASSERT_GT(job.OpenOutput(out, false), 0) << job.LastError;
  engine::TConvertThread* worker = job.Start(true, engine::tpNormal);
  ASSERT_NE(worker, nullptr);
  EXPECT_EQ(job.WorkerThread, worker);
  EXPECT_TRUE(job.Running);
  // Made suspended: nothing runs until it is let go.
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(worker->Suspended());
  EXPECT_FALSE(job.RunDoneEvent.IsSet());
  EXPECT_EQ(reports.Count(), 0);
  EXPECT_EQ(job.Start(true), nullptr) << "a running job is not started twice";
  worker->Resume();
  ASSERT_TRUE(job.RunDoneEvent.Wait(60s));
  EXPECT_EQ(reports.Count(), 1);
  EXPECT_NE(reports.thread, std::this_thread::get_id());
  EXPECT_TRUE(reports.finished);
  EXPECT_FALSE(reports.hasError) << reports.error;
  EXPECT_FALSE(job.Running);
  EXPECT_TRUE(job.Terminated);
  EXPECT_EQ(job.WorkerThread, nullptr);
  EXPECT_EQ(job.InputFileCount(), 0);
  const auto probe = outputprobe::Read(out);
  ASSERT_TRUE(probe.ok) << probe.error;
  EXPECT_NEAR(probe.duration, 3.0, 0.2);
  EXPECT_EQ(job.Start(true), nullptr);
  EXPECT_EQ(reports.Count(), 1);
}

TEST_F(RunControl, ANeverStartedJobStoppedEndsOnceNotFinishedAndWithoutError) {
  TempDir dir;
  TCustomFFmpeg job;
  Reports reports;
  reports.Attach(job);
  ASSERT_TRUE(job.OpenInput(Media("tone.wav")));
  ASSERT_GT(job.OpenOutput(dir.str() + "/out.wav", false), 0);
  job.StopJob(true);
  EXPECT_EQ(reports.Count(), 1);
  EXPECT_NE(reports.thread, std::this_thread::get_id()) << "ended by a thread of its own";
  EXPECT_FALSE(reports.finished);
  EXPECT_FALSE(reports.hasError);
  EXPECT_TRUE(job.Terminated);
  job.StopJob(true);
  EXPECT_EQ(job.Start(false), nullptr);
  EXPECT_EQ(reports.Count(), 1);
}

TEST_F(RunControl, StoppingAWorkerHalfWayKeepsAPlayableFileAndReportsNotFinished) {
  TempDir dir;
  const std::string out = dir.str() + "/half.mp4";
  TCustomFFmpeg job;
  Reports reports;
  reports.Attach(job);
  ASSERT_TRUE(job.OpenInput(Media("av.mp4")));
  ASSERT_GT(job.OpenOutput(out, false), 0);
  job.RateEmulation = true;  // 3 s of media take 3 s
  std::atomic<int64_t> reached{0};
  job.ProgressIntervalUs = 100000;
  job.ProgressLink = [&](TCustomFFmpeg&, int, int, int, float, float, int64_t, int64_t duration,
                         int64_t) { reached = duration; };
  engine::TConvertThread* worker = job.Start(true);
  ASSERT_NE(worker, nullptr);
  worker->Resume();
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (reached < 1000000 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  ASSERT_GE(reached, 1000000);
  job.RequestStop(true);  // returns when the worker has finished
  EXPECT_TRUE(job.RunDoneEvent.IsSet());
  EXPECT_EQ(reports.Count(), 1);
  EXPECT_FALSE(reports.finished);
  EXPECT_FALSE(reports.hasError) << reports.error;
  const auto probe = outputprobe::Read(out);
  ASSERT_TRUE(probe.ok) << probe.error;
  EXPECT_GT(probe.duration, 0.8);
  EXPECT_LT(probe.duration, 2.8);
  EXPECT_EQ(outputprobe::DecodeErrors(out), "");
}

TEST_F(RunControl, DestroyingARunningJobStopsItAndWaitsForItsWorker) {
  TempDir dir;
  const std::string out = dir.str() + "/gone.avi";
  Reports reports;
  std::atomic<bool> linkRunning{false};
  {
    TCustomFFmpeg job;
    reports.Attach(job);
    ASSERT_TRUE(job.OpenInput(Media("av.mp4")));
    ASSERT_GT(job.OpenOutput(out, false), 0);
    job.RateEmulation = true;
    job.ProgressIntervalUs = 100000;
    job.ProgressLink = [&](TCustomFFmpeg&, int, int, int, float, float, int64_t, int64_t,
                           int64_t) {
      linkRunning = true;
      std::this_thread::sleep_for(50ms);  // the worker is busy in here when asked to stop
      linkRunning = false;
    };
    engine::TConvertThread* worker = job.Start(true);
    ASSERT_NE(worker, nullptr);
    worker->Resume();
    std::this_thread::sleep_for(500ms);
  }
  EXPECT_FALSE(linkRunning);
  EXPECT_EQ(reports.Count(), 1);
  EXPECT_FALSE(reports.finished);
  const auto probe = outputprobe::Read(out);
  ASSERT_TRUE(probe.ok) << probe.error;
  EXPECT_LT(probe.duration, 2.5);
}

TEST_F(RunControl, AnOutputLeftEmptyIsDeletedAtCleanupAndAWrittenOneIsKept) {
  TempDir dir;
  // The run fails before any header is written: the file it created stays empty.
  const std::string empty = dir.str() + "/nothing.avi";
  {
    LogCapture log;
    TCustomFFmpeg job;
    Reports reports;
    reports.Attach(job);
    ASSERT_TRUE(job.OpenInput(Media("av.mp4")));
    job.SetOption("vn", "");
    job.SetOption("an", "");
    ASSERT_GT(job.OpenOutput(empty, false), 0);
    ASSERT_TRUE(std::filesystem::exists(empty));
    EXPECT_EQ(job.Start(false), nullptr);
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_TRUE(reports.hasError);
    EXPECT_EQ(reports.error, "输出文件#0不包含任何流");
    EXPECT_EQ(log.Matching(engine::llQuiet, "输出文件#0不包含任何流").size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(empty));
  }
  // A job given up before it ran: its empty file goes with the job.
  const std::string opened = dir.str() + "/opened.wav";
  {
    TCustomFFmpeg job;
    ASSERT_TRUE(job.OpenInput(Media("tone.wav")));
    ASSERT_GT(job.OpenOutput(opened, false), 0);
    ASSERT_TRUE(std::filesystem::exists(opened));
  }
  EXPECT_FALSE(std::filesystem::exists(opened));
  // A file that was written stays, also when it is joined from several inputs.
  const std::string joined = dir.str() + "/joined.wav";
  TCustomFFmpeg job;
  ASSERT_TRUE(job.OpenInput(Media("tone.wav")));
  ASSERT_TRUE(job.OpenInput(Media("tone.wav")));
  ASSERT_GT(job.OpenOutput(joined, true), 0);
  job.JoinSetup();
  ASSERT_EQ(job.OutputFileCount(), 2);
  EXPECT_EQ(job.Start(false), nullptr);
  EXPECT_TRUE(job.Finished);
  EXPECT_FALSE(job.HasError) << job.ErrorMessage;
  EXPECT_EQ(job.OutputFileCount(), 0);
  const auto probe = outputprobe::Read(joined);
  ASSERT_TRUE(probe.ok) << probe.error;
  EXPECT_NEAR(probe.duration, 2.0, 0.1);
}

// The names in a folder, sorted.
std::vector<std::string> Names(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// While a job writes, its output lives under a temporary name beside the name asked for,
// and that name is taken (by the file the user had, or by an empty reserving file). The
// end decides: a failed job leaves the folder as it found it, a stopped or finished one
// puts its readable file under the name.
TEST_F(RunControl, AnOutputTakesItsNameOnlyOnceItsTrailerIsWritten) {
  struct Case {
    const char* name;
    bool existing;  // a file of that name was there before
    bool fail;      // the progress handler throws (else the job is stopped)
  };
  const Case cases[] = {
      {"failed, new name", false, true},
      {"failed, existing file", true, true},
      {"stopped, new name", false, false},
      {"stopped, existing file", true, false},
  };
  const std::string before(3000, 'u');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string out = dir.str() + "/clip.mp4";
    if (c.existing) dir.write("clip.mp4", before);
    TCustomFFmpeg job;
    Reports reports;
    reports.Attach(job);
    ASSERT_TRUE(job.OpenInput(Media("av.mp4")));
    job.SetOption("vcodec", "mpeg4");
    ASSERT_GT(job.OpenOutput(out, false), 0) << job.LastError;
    std::vector<std::string> whileRunning;
    uintmax_t sizeAtName = 0;
    job.RateEmulation = true;  // 3 s of media take 3 s
    job.ProgressIntervalUs = 100000;
    job.ProgressLink = [&](TCustomFFmpeg& j, int, int, int, float, float, int64_t, int64_t duration,
                           int64_t) {
      if (duration < 400000 || !whileRunning.empty()) return;
      whileRunning = Names(dir.path());
      sizeAtName = std::filesystem::file_size(out);
      if (c.fail) throw std::runtime_error("handler failed");
      j.StopRequested = true;
    };
    EXPECT_EQ(job.Start(false), nullptr);
    ASSERT_EQ(reports.Count(), 1);
    ASSERT_EQ(whileRunning.size(), 2u);
    EXPECT_EQ(whileRunning[0], "clip.mp4");
    EXPECT_EQ(whileRunning[1].rfind("clip.part-", 0), 0u) << whileRunning[1];
    EXPECT_EQ(whileRunning[1].substr(whileRunning[1].size() - 4), ".mp4");
    EXPECT_EQ(sizeAtName, c.existing ? before.size() : 0u);
    if (c.fail) {
      EXPECT_TRUE(reports.hasError);
      EXPECT_EQ(reports.error, "handler failed");
      if (c.existing) {
        EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"clip.mp4"});
        EXPECT_EQ(testsupport::ReadFile(out), before);
      } else {
        EXPECT_TRUE(Names(dir.path()).empty());
      }
    } else {
      EXPECT_FALSE(reports.hasError) << reports.error;
      EXPECT_FALSE(reports.finished);
      EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"clip.mp4"});
      const auto probe = outputprobe::Read(out);
      ASSERT_TRUE(probe.ok) << probe.error;
      EXPECT_GT(probe.duration, 0.3);
      EXPECT_LT(probe.duration, 2.5);
    }
  }
}

// A loopback server that takes connections but never answers.
class SilentServer {
 public:
  SilentServer() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd_, 4);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~SilentServer() { close(fd_); }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/clip.mp4"; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

TEST_F(RunControl, ABlockingOpenGivesUpAfterTheTimeOutOrWhenCancelled) {
  struct Case {
    const char* name;
    int ioTimeout;
    bool cancel;
    const char* line;
  };
  const Case cases[] = {
      {"time-out", 400, false, "connecting/reading/writing timeout"},
      {"cancel", 10000, true, "connecting/reading/writing canceled"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SilentServer server;
    LogCapture log;
    TCustomFFmpeg job;
    job.IoTimeout = c.ioTimeout;
    std::thread canceller;
    if (c.cancel)
      canceller = std::thread([&job] {
        std::this_thread::sleep_for(400ms);
        job.RequestStop(false);  // no worker: the open under way is cancelled
      });
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(job.OpenInput(server.Url()));
    const auto took = std::chrono::steady_clock::now() - begin;
    if (canceller.joinable()) canceller.join();
    EXPECT_GE(took, 350ms);
    EXPECT_LT(took, 4s);
    EXPECT_NE(job.LastError.find("Immediate exit requested"), std::string::npos) << job.LastError;
    EXPECT_FALSE(log.Matching(engine::llInfo, c.line).empty());
    EXPECT_EQ(job.IoStartTime, std::numeric_limits<int64_t>::max());
    EXPECT_EQ(job.InputFileCount(), 0);
  }
  // The check was removed with the open: a job on this thread opens normally.
  TCustomFFmpeg other;
  other.IoTimeout = 1;
  EXPECT_TRUE(other.OpenInput(Media("tone.wav"))) << other.LastError;
}

struct CountingWindow : engine::IPreviewWindow {
  explicit CountingWindow(std::atomic<int>& destroyed) : destroyed_(destroyed) {}
  ~CountingWindow() override { ++destroyed_; }
  bool Show(const engine::TBitmap&, int, int64_t) override { return true; }
  std::atomic<int>& destroyed_;
};

TEST_F(RunControl, ClearingThePreviewWindowBitDestroysTheWindowAndEveryChangeAsksAFreshBitmap) {
  std::atomic<int> destroyed{0};
  TCustomFFmpeg job;
  job.SetPreviewFlags(3);
  job.PreviewWindow = std::make_unique<CountingWindow>(destroyed);
  job.FreshPreviewWanted = false;
  job.SetPreviewFlags(1);  // the bitmap bit goes, the window stays
  EXPECT_EQ(job.PreviewFlags, 1);
  EXPECT_EQ(destroyed, 0);
  EXPECT_TRUE(job.FreshPreviewWanted);
  job.FreshPreviewWanted = false;
  job.SetPreviewFlags(1);  // unchanged: still a fresh bitmap is asked for
  EXPECT_TRUE(job.FreshPreviewWanted);
  job.SetPreviewFlags(2);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(job.PreviewWindow, nullptr);
  EXPECT_EQ(job.PreviewFlags, 2);
}

TEST_F(RunControl, TheWorkerRunsAtTheNiceValueOfItsPriority) {
  struct Case {
    engine::TThreadPriority priority;
    int nice;
  };
  const Case cases[] = {{engine::tpIdle, 19}, {engine::tpLower, 5}, {engine::tpNormal, 0}};
  const int callerNice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.nice);
    TempDir dir;
    TCustomFFmpeg job;
    ASSERT_TRUE(job.OpenInput(Media("tone.wav")));
    ASSERT_GT(job.OpenOutput(dir.str() + "/out.wav", false), 0);
    std::atomic<int> seen{-100};
    job.TerminateLink = [&](TCustomFFmpeg&) {
      seen = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    };
    engine::TConvertThread* worker = job.Start(true, c.priority);
    ASSERT_NE(worker, nullptr);
    EXPECT_EQ(worker->Priority(), c.priority);
    worker->Resume();
    ASSERT_TRUE(job.RunDoneEvent.Wait(30s));
    EXPECT_EQ(seen, c.nice);
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), callerNice)
        << "the caller's thread keeps its own";
  }
}

}  // namespace
