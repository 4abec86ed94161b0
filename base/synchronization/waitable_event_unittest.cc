#include "base/synchronization/waitable_event.h"

#include <stdint.h>

#include <thread>

#include "base/synchronization/cancellation_flag.h"
#include "base/synchronization/wait_milliseconds.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(WaitableEventTest, ResetKindDecidesHowLongASignalLasts) {
  // S signal, R reset, W wait; + a timed wait of no time, or less, that
  // finds the event signalled, - one that does not.
  const struct {
    bool manual_reset;
    bool initially_signaled;
    const char* steps;
  } kCases[] = {
      {true, false, "-S+W++R-"},
      {false, true, "+-SS+-"},
      {false, false, "SR-"},
  };
  for (const auto& c : kCases) {
    WaitableEvent event(c.manual_reset, c.initially_signaled);
    for (int i = 0; c.steps[i]; ++i) {
      SCOPED_TRACE(testing::Message() << c.steps << " at " << i);
      if (c.steps[i] == 'S')
        event.Signal();
      else if (c.steps[i] == 'R')
        event.Reset();
      else if (c.steps[i] == 'W')
        event.Wait();
      else
        EXPECT_EQ(c.steps[i] == '+',
                  event.TimedWait(TimeDelta::FromMicroseconds(-(i % 2))));
    }
  }
}

TEST(TimedWaitMillisecondsTest, RoundsUpAndStaysBelowInfinite) {
  // Beyond the longest wait: neither INFINITE nor wrapped around.
  const struct {
    int64_t microseconds;
    uint32_t milliseconds;
  } kCases[] = {
      {-INT64_MAX, 0},
      {0, 0},
      {1, 1},
      {1001, 2},
      {4294967294001, 0xFFFFFFFE},
      {INT64_MAX, 0xFFFFFFFE},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.milliseconds, internal::TimedWaitMilliseconds(
                                  TimeDelta::FromMicroseconds(c.microseconds)))
        << c.microseconds;
  }
}

TEST(CancellationFlagTest, OnceSetStaysSetOnEveryThread) {
  CancellationFlag flag;
  EXPECT_FALSE(flag.IsSet());
  std::thread([&flag] { flag.Set(); }).join();
  EXPECT_TRUE(flag.IsSet());
}

}  // namespace
}  // namespace base
