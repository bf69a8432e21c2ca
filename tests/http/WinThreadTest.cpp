// The worker-thread wrapper: fresh workers, calls into the main thread, wait mode, hard
// stops and priorities.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "core/MainThread.h"
#include "http/WinThread.h"

using http::TCustomWinThread;
using namespace std::chrono_literals;

namespace {

// A number per thread that no later thread reuses (thread ids are reused after a join).
int ThreadSerial() {
  static std::atomic<int> next{1};
  thread_local int serial = next++;
  return serial;
}

class WinThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { core::MainThread::SetCurrentAsMain(); }
};

TEST_F(WinThreadTest, EachRunUsesAFreshWorkerEvenAfterACooperativeStop) {
  TCustomWinThread t;
  std::mutex m;
  std::vector<int> ids;
  std::atomic<int> runs{0};
  t.SetWorkHandler([&](TCustomWinThread& self) {
    {
      std::lock_guard<std::mutex> lock(m);
      ids.push_back(ThreadSerial());
    }
    ++runs;
    // The first run never reaches its end by itself: it waits for a stop request.
    while (runs == 1 && !self.IsTerminated()) std::this_thread::sleep_for(1ms);
  });
  ASSERT_TRUE(t.Run());
  ASSERT_TRUE(core::MainThread::WaitWhileServing([&] { return runs == 1; }, 2s));
  t.Stop(false);
  ASSERT_TRUE(t.Run());
  ASSERT_TRUE(
      core::MainThread::WaitWhileServing([&] { return runs == 2 && !t.IsExecuting(); }, 2s));
  std::lock_guard<std::mutex> lock(m);
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_NE(ids[0], ids[1]);
}

TEST_F(WinThreadTest, WaitModeReturnsAfterTheEndAndServesTheWorkersCalls) {
  TCustomWinThread t;
  t.WaitThread = true;
  std::vector<std::string> order;
  t.SetWorkHandler([&](TCustomWinThread& self) {
    for (int i = 0; i < 3; ++i) {
      std::this_thread::sleep_for(20ms);
      self.CallInMainThread([&, i] {
        EXPECT_TRUE(core::MainThread::IsMainThread());
        order.push_back("call" + std::to_string(i));
      });
    }
  });
  t.SetTerminationHandler([&] { order.push_back("end"); });
  int pumped = 0;
  TCustomWinThread::SetWaitHooks({[&] { ++pumped; }, nullptr});
  EXPECT_TRUE(t.Run());
  TCustomWinThread::SetWaitHooks({});
  EXPECT_EQ(order, (std::vector<std::string>{"call0", "call1", "call2", "end"}));
  EXPECT_FALSE(t.IsExecuting());
  EXPECT_GT(pumped, 3);  // the user interface was given its turns while waiting
}

TEST_F(WinThreadTest, WaitTimeoutHandlerDecidesWhetherTheWorkerIsStopped) {
  for (bool terminate : {true, false}) {
    SCOPED_TRACE(terminate ? "stop it" : "let it go on");
    TCustomWinThread t;
    t.WaitThread = true;
    t.WaitTimeout = 100;
    std::atomic<bool> release{false};
    bool lateCallRan = false;
    bool ended = false;
    t.SetWorkHandler([&](TCustomWinThread& self) {
      // Its check point is the only way a stop can reach it.
      while (!release && !self.IsTerminated()) std::this_thread::sleep_for(1ms);
      self.CallInMainThread([&] { lateCallRan = true; });
    });
    t.SetTerminationHandler([&] { ended = true; });
    int asked = 0;
    t.OnWaitTimeoutExpired = [&](TCustomWinThread&, bool& terminateThread) {
      ++asked;
      terminateThread = terminate;
    };
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(t.Run(), !terminate);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    EXPECT_EQ(asked, 1);
    release = true;
    core::MainThread::WaitWhileServing([&] { return ended; }, 1s);
    // A stopped worker runs nothing more on the main thread, not even its end.
    EXPECT_EQ(lateCallRan, !terminate);
    EXPECT_EQ(ended, !terminate);
  }
}

TEST_F(WinThreadTest, AWorkerNeverStartedIsFreedAtOnceWithoutRunningItsWork) {
  bool ran = false;
  const auto started = std::chrono::steady_clock::now();
  {
    TCustomWinThread t;
    t.SetWorkHandler([&](TCustomWinThread&) { ran = true; });
    EXPECT_TRUE(t.IsSuspended());
  }
  EXPECT_FALSE(ran);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 100ms);
}

TEST_F(WinThreadTest, ExceptionsGoToTheErrorHandlerAndTheEndStillRuns) {
  struct Case {
    const char* name;
    bool workThrows;
    bool callThrows;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"work throws", true, false, {"error", "end"}},
      {"main-thread call throws", false, true, {"after call", "end"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TCustomWinThread t;
    std::vector<std::string> seen;
    t.SetWorkHandler([&](TCustomWinThread& self) {
      if (c.workThrows) throw std::runtime_error("broken");
      // With HandleException on, an exception in a main-thread call stays there.
      self.CallInMainThread([] { throw std::runtime_error("handler broke"); });
      self.CallInMainThread([&] { seen.push_back("after call"); });
    });
    t.SetErrorHandler([&] {
      EXPECT_TRUE(core::MainThread::IsMainThread());
      seen.push_back("error");
    });
    t.SetTerminationHandler([&] { seen.push_back("end"); });
    ASSERT_TRUE(t.Run());
    ASSERT_TRUE(core::MainThread::WaitWhileServing(
        [&] { return !t.IsExecuting() && seen.size() >= 2; }, 2s));
    EXPECT_EQ(seen, c.expected);
  }
}

TEST_F(WinThreadTest, HardStopFromInsideTheWorkersOwnCallDoesNotDeadlock) {
  TCustomWinThread t;
  std::atomic<bool> afterCall{false};
  bool ended = false;
  t.SetWorkHandler([&](TCustomWinThread& self) {
    self.CallInMainThread([&] { self.Stop(true); });
    afterCall = true;  // never reached: the worker ends when the call returns
  });
  t.SetTerminationHandler([&] { ended = true; });
  ASSERT_TRUE(t.Run());
  core::MainThread::WaitWhileServing([] { return false; }, 200ms);
  EXPECT_FALSE(afterCall);
  EXPECT_FALSE(ended);
  EXPECT_FALSE(t.IsExecuting());
  // And the wrapper runs again.
  std::atomic<bool> second{false};
  t.SetWorkHandler([&](TCustomWinThread&) { second = true; });
  ASSERT_TRUE(t.Run());
  EXPECT_TRUE(core::MainThread::WaitWhileServing([&] { return second.load(); }, 2s));
}

TEST_F(WinThreadTest, HardStopOfABusyWorkerEndsItAtItsNextCheckPoint) {
  TCustomWinThread t;
  std::atomic<int> checks{0};
  bool ended = false;
  t.SetWorkHandler([&](TCustomWinThread& self) {
    while (!self.IsTerminated()) {
      ++checks;
      std::this_thread::sleep_for(1ms);
    }
    self.CallInMainThread([&] { ended = true; });  // a stopped worker gets nothing run
  });
  ASSERT_TRUE(t.Run());
  ASSERT_TRUE(core::MainThread::WaitWhileServing([&] { return checks > 5; }, 2s));
  const auto asked = std::chrono::steady_clock::now();
  t.Stop(true);
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 100ms);
  EXPECT_FALSE(t.IsExecuting());
  core::MainThread::WaitWhileServing([] { return false; }, 50ms);
  EXPECT_FALSE(ended);
}

TEST_F(WinThreadTest, LoweredPriorityReachesTheWorkerThread) {
  TCustomWinThread t;
  EXPECT_TRUE(t.SetPriority(http::tpLower));
  std::atomic<int> seen{-100};
  t.SetWorkHandler([&](TCustomWinThread&) {
    errno = 0;
    seen = getpriority(PRIO_PROCESS, 0);  // on Linux: the calling thread
  });
  ASSERT_TRUE(t.Run());
  ASSERT_TRUE(core::MainThread::WaitWhileServing([&] { return seen != -100; }, 2s));
  EXPECT_EQ(seen.load(), 5);
  EXPECT_EQ(t.GetPriority(), http::tpLower);
  EXPECT_TRUE(t.PriorityApplied());
}

TEST_F(WinThreadTest, SuspendedWorkerWaitsAtItsCheckPointUntilResumed) {
  TCustomWinThread t;
  std::atomic<int> checks{0};
  t.SetWorkHandler([&](TCustomWinThread& self) {
    while (!self.IsTerminated()) {
      ++checks;
      std::this_thread::sleep_for(1ms);
    }
  });
  ASSERT_TRUE(t.Run());
  ASSERT_TRUE(core::MainThread::WaitWhileServing([&] { return checks > 3; }, 2s));
  t.SetSuspended(true);
  EXPECT_TRUE(t.IsSuspended());
  std::this_thread::sleep_for(20ms);
  const int paused = checks;
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(checks.load(), paused);
  t.SetSuspended(false);
  EXPECT_FALSE(t.IsSuspended());
  EXPECT_TRUE(core::MainThread::WaitWhileServing([&] { return checks > paused + 3; }, 2s));
  t.Stop(false);
  EXPECT_TRUE(core::MainThread::WaitWhileServing([&] { return !t.IsExecuting(); }, 2s));
}

}  // namespace
