#include "base/synchronization/wait_milliseconds.h"

#include <stdint.h>

#include "gtest/gtest.h"

namespace base {
namespace internal {
namespace {

TEST(TimedWaitMillisecondsTest, RoundsUpAndStaysBelowInfinite) {
  const int64_t kTwoPow32 = int64_t{1} << 32;
  struct Case {
    int64_t microseconds;
    uint32_t milliseconds;
  } const cases[] = {
      {0, 0},
      {-1, 0},
      {-1500, 0},
      {-INT64_MAX, 0},
      {1, 1},
      {999, 1},
      {1000, 1},
      {1001, 2},
      {1500, 2},
      {(kTwoPow32 - 2) * 1000, 0xFFFFFFFE},
      // INFINITE itself and everything beyond must not reach the wait: not
      // as INFINITE, nor wrapped around into a short wait.
      {(kTwoPow32 - 1) * 1000, 0xFFFFFFFE},
      {(kTwoPow32 - 2) * 1000 + 1, 0xFFFFFFFE},
      {kTwoPow32 * 1000, 0xFFFFFFFE},
      {(kTwoPow32 + 5) * 1000, 0xFFFFFFFE},
      {(2 * kTwoPow32 - 1) * 1000, 0xFFFFFFFE},
      {INT64_MAX, 0xFFFFFFFE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.microseconds);
    EXPECT_EQ(c.milliseconds, TimedWaitMilliseconds(
                                  TimeDelta::FromMicroseconds(c.microseconds)));
  }
}

}  // namespace
}  // namespace internal
}  // namespace base
