// The engine logger: line assembly from library fragments, folding of repeats, levels,
// the one-instance rule and delivery on the main thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/MainThread.h"
#include "log/FFLogger.h"

using namespace engine;
using namespace std::chrono_literals;

namespace {

struct Line {
  uint32_t thread;
  TLogLevel level;
  std::string text;
  bool onMainThread;
};

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core::MainThread::SetCurrentAsMain();
    logger_ = std::make_unique<TFFLogger>();
    logger_->OnLog = [this](const void*, uint32_t thread, TLogLevel level,
                            const std::string& text) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back({thread, level, text, core::MainThread::IsMainThread()});
    };
    // Lets the logger drive the library level without a library behind it.
    SetLibraryLevelSetter([this](int level) { libraryLevel_ = level; });
    logger_->SetLogLevel(llDebug);
  }
  void TearDown() override {
    logger_->SetLogLevel(llInfo);
    SetLibraryLevelSetter(nullptr);
    logger_.reset();
  }
  std::vector<Line> lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  std::vector<std::string> texts() {
    std::vector<std::string> out;
    for (const auto& l : lines()) out.push_back(l.text);
    return out;
  }

  std::unique_ptr<TFFLogger> logger_;
  std::mutex mutex_;
  std::vector<Line> lines_;
  int libraryLevel_ = 0;
};

TEST(LogLevelMapping, LibraryLevelsFallIntoEightSteps) {
  const struct {
    int library;
    TLogLevel level;
  } cases[] = {{-100, llQuiet}, {-8, llQuiet}, {-7, llPanic},  {0, llPanic},    {7, llPanic},
               {8, llFatal},    {15, llFatal}, {16, llError},  {23, llError},   {24, llWarning},
               {31, llWarning}, {32, llInfo},  {39, llInfo},   {40, llVerbose}, {47, llVerbose},
               {48, llDebug},   {56, llDebug}, {1000, llDebug}};
  for (const auto& c : cases) EXPECT_EQ(LibraryToLogLevel(c.library), c.level) << c.library;
  const int back[] = {-8, 0, 8, 16, 24, 32, 40, 48};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(LogLevelToLibrary(static_cast<TLogLevel>(i)), back[i]);
    EXPECT_EQ(LibraryToLogLevel(back[i]), static_cast<TLogLevel>(i));
  }
}

TEST_F(LoggerTest, LevelByNameAcceptsNamesInAnyCaseAndNumbers) {
  const struct {
    const char* text;
    TLogLevel level;
  } cases[] = {{"warning", llWarning}, {"WARNING", llWarning}, {"WaRnInG", llWarning},
               {"20", llError},        {"quiet", llQuiet},     {"-8", llQuiet},
               {"Debug", llDebug},     {"0", llPanic},         {"info", llInfo}};
  for (const auto& c : cases) {
    logger_->SetLogLevelByName(c.text);
    EXPECT_EQ(logger_->LogLevel(), c.level) << c.text;
    EXPECT_EQ(libraryLevel_, LogLevelToLibrary(c.level)) << c.text;
  }
  for (const char* bad : {"", "loud", "12x", " 3", "99999999999"}) {
    logger_->SetLogLevel(llWarning);
    EXPECT_THROW(logger_->SetLogLevelByName(bad), std::invalid_argument) << bad;
    EXPECT_EQ(logger_->LogLevel(), llWarning) << "unchanged after " << bad;
  }
}

TEST_F(LoggerTest, FragmentsOfOneThreadMakeOneLineWithThePrefixOnce) {
  LibraryFragment(32, "[ctx @ 0000ABCD]", " first part, ");
  EXPECT_TRUE(lines().empty()) << "text without a line feed stays pending";
  LibraryFragment(32, "[ctx @ 0000ABCD]", "second part\n");
  ASSERT_EQ(texts(), std::vector<std::string>{"[ctx @ 0000ABCD] first part, second part"});
  EXPECT_EQ(lines()[0].level, llInfo);
  EXPECT_EQ(lines()[0].thread, TFFLogger::CurrentThreadId());
}

TEST_F(LoggerTest, FragmentsOfTwoThreadsAreNotMixed) {
  LibraryFragment(24, "[A]", " a-start ");
  uint32_t threadB = 0;
  std::thread b([&] {
    threadB = TFFLogger::CurrentThreadId();
    LibraryFragment(16, "[B]", " b-whole\n");
  });
  b.join();
  // A library thread does not wait for the main thread: its line is queued for it.
  EXPECT_TRUE(lines().empty());
  EXPECT_TRUE(core::MainThread::WaitWhileServing([&] { return !lines().empty(); }, 2000ms));
  LibraryFragment(24, "[A]", "a-end\n");
  const auto got = lines();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].text, "[B] b-whole");
  EXPECT_EQ(got[0].thread, threadB);
  EXPECT_NE(got[0].thread, TFFLogger::CurrentThreadId());
  EXPECT_EQ(got[0].level, llError);
  EXPECT_TRUE(got[0].onMainThread);
  EXPECT_EQ(got[1].text, "[A] a-start a-end");
  EXPECT_EQ(got[1].level, llWarning);
}

TEST_F(LoggerTest, QueuedLibraryLinesComeBeforeTheNextMainThreadLine) {
  std::thread b([&] { LibraryFragment(16, "", "from a library thread\n"); });
  b.join();
  logger_->Log(nullptr, llError, "then the main thread");
  EXPECT_EQ(texts(), (std::vector<std::string>{"from a library thread", "then the main thread"}));
}

TEST_F(LoggerTest, RepeatedLinesAreFoldedIntoOneCount) {
  for (int i = 0; i < 3; ++i) LibraryFragment(32, "", "same line\n");
  LibraryFragment(32, "", "other line\n");
  EXPECT_EQ(texts(), (std::vector<std::string>{"same line", "    Last message repeated 2 times",
                                               "other line"}));
}

TEST_F(LoggerTest, TextWithTwoLineFeedsGivesTwoLines) {
  LibraryFragment(32, "[p]", " one\ntwo\n");
  EXPECT_EQ(texts(), (std::vector<std::string>{"[p] one", "two"}));
}

TEST_F(LoggerTest, ThresholdsForLibraryAndEngineMessages) {
  logger_->SetLogLevel(llError);
  EXPECT_EQ(libraryLevel_, 16);
  EXPECT_EQ(CurrentLibraryLevel(), 16);
  LibraryFragment(24, "", "library warning\n");
  LibraryFragment(16, "", "library error\n");
  logger_->Log(this, llVerbose, "engine verbose");
  logger_->Log(this, llWarning, "engine warning");
  logger_->Log(this, llInfo, "engine info");
  logger_->LogFmt(this, llError, "engine %s #%d at %0.3f", "error", 7, 1.5);
  EXPECT_EQ(texts(), (std::vector<std::string>{"library error", "engine verbose",
                                               "engine error #7 at 1.500"}));
  logger_->SetLogLevel(llQuiet);
  logger_->Log(this, llVerbose, "quiet verbose");
  EXPECT_EQ(lines().size(), 3u) << "llQuiet silences verbose lines too";
}

TEST_F(LoggerTest, OnlyOneProgramLoggerButItReplacesTheAutomaticOne) {
  try {
    TFFLogger second;
    FAIL() << "a second program logger was allowed";
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "Allow creating only one instance of TFFLogger.");
  }
  EXPECT_EQ(&DefaultLogger(), logger_.get());
  logger_.reset();
  TFFLogger& automatic = DefaultLogger();
  EXPECT_EQ(&DefaultLogger(), &automatic);
  logger_ = std::make_unique<TFFLogger>();  // frees the automatic one
  EXPECT_EQ(&DefaultLogger(), logger_.get());
  logger_->OnLog = [this](const void*, uint32_t, TLogLevel level, const std::string& text) {
    lines_.push_back({0, level, text, true});
  };
  LibraryFragment(32, "", "reaches the new logger\n");
  EXPECT_EQ(texts(), std::vector<std::string>{"reaches the new logger"});
}

TEST_F(LoggerTest, WorkerWaitsUntilTheMainThreadHandlerHasRun) {
  std::atomic<bool> handlerDone{false};
  std::atomic<bool> sawHandlerDone{false};
  logger_->OnLog = [&](const void*, uint32_t, TLogLevel, const std::string&) {
    EXPECT_TRUE(core::MainThread::IsMainThread());
    std::this_thread::sleep_for(20ms);
    handlerDone = true;
  };
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    logger_->Log(nullptr, llError, "from worker");
    sawHandlerDone = handlerDone.load();
    finished = true;
  });
  EXPECT_TRUE(core::MainThread::WaitWhileServing([&] { return finished.load(); }, 5000ms));
  worker.join();
  EXPECT_TRUE(sawHandlerDone);
}

TEST_F(LoggerTest, MainThreadLoggingWhileAWorkerWaitsDoesNotDeadlock) {
  std::atomic<bool> workerQueued{false};
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    workerQueued = true;
    logger_->Log(nullptr, llError, "worker line");
    finished = true;
  });
  while (!workerQueued) std::this_thread::yield();
  std::this_thread::sleep_for(20ms);  // the worker is now waiting for this thread
  LibraryFragment(16, "", "main library line\n");
  logger_->Log(nullptr, llError, "main engine line");
  EXPECT_TRUE(core::MainThread::WaitWhileServing([&] { return finished.load(); }, 5000ms));
  worker.join();
  auto got = texts();
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got,
            (std::vector<std::string>{"main engine line", "main library line", "worker line"}));
  for (const auto& l : lines()) EXPECT_TRUE(l.onMainThread) << l.text;
}

TEST_F(LoggerTest, HandlerLoggingAgainIsQueuedBehindItsOwnLine) {
  logger_->OnLog = [this](const void*, uint32_t, TLogLevel, const std::string& text) {
    lines_.push_back({0, llError, text, true});
    if (text == "outer") logger_->Log(nullptr, llError, "inner");
    if (text == "outer") lines_.push_back({0, llError, "outer done", true});
  };
  logger_->Log(nullptr, llError, "outer");
  EXPECT_EQ(texts(), (std::vector<std::string>{"outer", "outer done", "inner"}));
}

TEST_F(LoggerTest, HandlerOnTheCallingThreadWhenAskedTo) {
  logger_->SetTriggerEventInMainThread(false);
  bool onWorker = false;
  logger_->OnLog = [&](const void*, uint32_t, TLogLevel, const std::string&) {
    onWorker = !core::MainThread::IsMainThread();
  };
  std::thread worker([&] { logger_->Log(nullptr, llError, "direct"); });
  worker.join();  // no serving needed: the handler ran on the worker
  EXPECT_TRUE(onWorker);
}

}  // namespace
