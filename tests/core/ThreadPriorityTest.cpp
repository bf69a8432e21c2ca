// The one priority table of the program's worker threads.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <thread>

#include "core/ThreadPriority.h"

namespace {

TEST(ThreadPriorityTest, MapsToNiceValuesBothWaysAndAppliesToOneThreadOnly) {
  using core::TThreadPriority;
  const std::pair<TThreadPriority, int> table[] = {
      {core::tpIdle, 19},   {core::tpLowest, 10},   {core::tpLower, 5},         {core::tpNormal, 0},
      {core::tpHigher, -5}, {core::tpHighest, -10}, {core::tpTimeCritical, -20}};
  for (const auto& [p, nice] : table) {
    EXPECT_EQ(core::NiceValueOf(p), nice);
    EXPECT_EQ(core::PriorityOfNiceValue(nice), p);
  }
  EXPECT_EQ(core::PriorityOfNiceValue(3), core::tpNormal);
  EXPECT_EQ(core::PriorityOfNiceValue(-19), core::tpNormal);

  const int callerNice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
  int seen = 99;
  bool applied = false;
  std::thread worker([&] {
    applied = core::ApplyThreadPriority(gettid(), core::tpLower);
    seen = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
  });
  worker.join();
  // Lowering is always allowed; from an already lower caller it needs privileges.
  if (callerNice <= 5) {
    EXPECT_TRUE(applied);
  }
  EXPECT_EQ(seen, applied ? 5 : callerNice);
  EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), callerNice);
}

}  // namespace
