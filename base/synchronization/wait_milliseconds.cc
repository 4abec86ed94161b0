#include "base/synchronization/wait_milliseconds.h"

namespace base {
namespace internal {

namespace {

// One below INFINITE, which the wait functions read as no time limit.
constexpr int64_t kLongestTimedWaitMilliseconds = 0xFFFFFFFE;

}  // namespace

uint32_t TimedWaitMilliseconds(TimeDelta max_time) {
  const int64_t milliseconds = max_time.InMillisecondsRoundedUp();
  if (milliseconds <= 0)
    return 0;
  if (milliseconds > kLongestTimedWaitMilliseconds)
    return static_cast<uint32_t>(kLongestTimedWaitMilliseconds);
  return static_cast<uint32_t>(milliseconds);
}

}  // namespace internal
}  // namespace base
