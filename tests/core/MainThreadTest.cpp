#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/MainThread.h"

using core::MainThread;
using namespace std::chrono_literals;

class MainThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { MainThread::SetCurrentAsMain(); }
};

TEST_F(MainThreadTest, CallOnMainThreadRunsAtOnce) {
  int ran = 0;
  MainThread::Call([&] { ++ran; });
  EXPECT_EQ(ran, 1);
  EXPECT_TRUE(MainThread::IsMainThread());
}

TEST_F(MainThreadTest, WorkerCallsRunOnMainThreadInOrderAndBlock) {
  std::vector<int> order;
  std::atomic<bool> workerDone{false};
  std::thread worker([&] {
    EXPECT_FALSE(MainThread::IsMainThread());
    for (int i = 0; i < 3; ++i) {
      MainThread::Call([&, i] {
        EXPECT_TRUE(MainThread::IsMainThread());
        order.push_back(i);
      });
      // The call has returned, so its effect is visible to the worker.
      EXPECT_EQ(order.size(), static_cast<size_t>(i + 1));
    }
    workerDone = true;
  });
  EXPECT_TRUE(MainThread::WaitWhileServing([&] { return workerDone.load(); }, 5000ms));
  worker.join();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

TEST_F(MainThreadTest, ExceptionReachesTheWorker) {
  std::atomic<bool> caught{false};
  std::thread worker([&] {
    try {
      MainThread::Call([] { throw std::runtime_error("boom"); });
    } catch (const std::runtime_error& e) {
      caught = std::string(e.what()) == "boom";
    }
  });
  MainThread::WaitWhileServing([&] { return caught.load(); }, 5000ms);
  worker.join();
  EXPECT_TRUE(caught);
}

TEST_F(MainThreadTest, WaitTimesOutWhenNothingHappens) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(MainThread::WaitWhileServing([] { return false; }, 50ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
}

TEST_F(MainThreadTest, WakerIsToldAboutPostedWork) {
  std::atomic<int> wakes{0};
  MainThread::SetWaker([&] { ++wakes; });
  int ran = 0;
  MainThread::Post([&] { ++ran; });
  EXPECT_EQ(wakes.load(), 1);
  EXPECT_EQ(ran, 0);
  EXPECT_EQ(MainThread::ProcessPending(), 1);
  EXPECT_EQ(ran, 1);
  MainThread::SetWaker(nullptr);
}
