#include "base/time/rollover_tick_clock.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace internal {
namespace {

// The counter the clock reads; the clock calls it under its lock.
uint32_t g_reading = 0;
uint32_t ReadFakeCounter() {
  return g_reading;
}

// A counter that moves a quarter of its range on every read, so that it
// wraps every fourth read.
uint32_t ReadQuarterSteppingCounter() {
  g_reading += 0x40000000;
  return g_reading;
}

TimeDelta Ms(int64_t ms) {
  return TimeDelta::FromMilliseconds(ms);
}

TEST(RolloverTickClockTest, WrapOfTheCounterMovesForward) {
  RolloverTickClock clock(&ReadFakeCounter);
  g_reading = 0xFFFFFFF0;
  TimeDelta before_wrap = clock.Now();
  EXPECT_EQ(Ms(0xFFFFFFF0), before_wrap);
  g_reading = 0x00000010;
  TimeDelta after_wrap = clock.Now();
  EXPECT_EQ(Ms(32), after_wrap - before_wrap);
}

TEST(RolloverTickClockTest, CountsEveryWrapAndNothingElse) {
  RolloverTickClock clock(&ReadFakeCounter);
  g_reading = 0;
  EXPECT_EQ(Ms(0), clock.Now());
  // Equal readings are not a wrap.
  EXPECT_EQ(Ms(0), clock.Now());
  g_reading = 5;
  EXPECT_EQ(Ms(5), clock.Now());
  EXPECT_EQ(Ms(5), clock.Now());
  for (int64_t wrap = 1; wrap <= 3; ++wrap) {
    g_reading = 0xFFFFFFFF;
    EXPECT_EQ(Ms((wrap - 1) * 0x100000000 + 0xFFFFFFFF), clock.Now());
    g_reading = 1;
    EXPECT_EQ(Ms(wrap * 0x100000000 + 1), clock.Now());
  }
}

TEST(RolloverTickClockTest, ClocksKeepTheirOwnWraps) {
  RolloverTickClock first(&ReadFakeCounter);
  RolloverTickClock second(&ReadFakeCounter);
  g_reading = 100;
  first.Now();
  g_reading = 50;
  EXPECT_EQ(Ms(0x100000000 + 50), first.Now());
  EXPECT_EQ(Ms(50), second.Now());
}

TEST(RolloverTickClockTest, ConcurrentReadersSeeEveryStepOnce) {
  RolloverTickClock clock(&ReadQuarterSteppingCounter);
  g_reading = 0;
  constexpr int kThreads = 8;
  constexpr int kReadsPerThread = 2000;
  std::vector<std::vector<int64_t>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&clock, &seen, t] {
      for (int i = 0; i < kReadsPerThread; ++i)
        seen[t].push_back(clock.Now().InMilliseconds());
    });
  }
  for (std::thread& thread : threads)
    thread.join();

  std::vector<int64_t> all;
  for (const std::vector<int64_t>& values : seen) {
    // Each thread sees its readings in increasing order...
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    all.insert(all.end(), values.begin(), values.end());
  }
  // ...and together they are exactly the steps 1 to N: the wrap count kept
  // step with the readings although the counter wrapped every fourth read.
  std::sort(all.begin(), all.end());
  ASSERT_EQ(static_cast<size_t>(kThreads * kReadsPerThread), all.size());
  for (size_t i = 0; i < all.size(); ++i)
    ASSERT_EQ(static_cast<int64_t>(i + 1) * 0x40000000, all[i]) << i;
}

}  // namespace
}  // namespace internal
}  // namespace base
