#ifndef BASE_TIME_ROLLOVER_TICK_CLOCK_H_
#define BASE_TIME_ROLLOVER_TICK_CLOCK_H_

#include <stdint.h>

#include "base/synchronization/lock.h"
#include "base/time/time.h"

namespace base {
namespace internal {

// A millisecond clock that never runs backwards, built on a 32-bit
// millisecond counter that wraps to 0 every 2^32 ms (49.7 days): each reading
// below the previous one counts as one wrap. It must be read at least once
// per wrap period, which every running message loop does.
class RolloverTickClock {
 public:
  using ReadFunction = uint32_t (*)();

  explicit RolloverTickClock(ReadFunction read);
  RolloverTickClock(const RolloverTickClock&) = delete;
  RolloverTickClock& operator=(const RolloverTickClock&) = delete;

  // The counter's reading plus the wraps seen so far, as a duration.
  TimeDelta Now();

 private:
  static constexpr int64_t kRolloverMilliseconds = int64_t{1} << 32;

  const ReadFunction read_;
  // Held while the counter is read, so that |last_seen_| keeps step with
  // the readings of every thread.
  Lock lock_;
  uint32_t last_seen_ = 0;
  int64_t rollover_ms_ = 0;
};

}  // namespace internal
}  // namespace base

#endif  // BASE_TIME_ROLLOVER_TICK_CLOCK_H_
