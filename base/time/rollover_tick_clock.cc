#include "base/time/rollover_tick_clock.h"

#include "base/numerics/checked_math.h"

namespace base {
namespace internal {

RolloverTickClock::RolloverTickClock(ReadFunction read) : read_(read) {}

TimeDelta RolloverTickClock::Now() {
  AutoLock locked(lock_);
  uint32_t reading = read_();
  if (reading < last_seen_)
    rollover_ms_ += kRolloverMilliseconds;
  last_seen_ = reading;
  return TimeDelta::FromCheckedNumeric(CheckedMul<int64_t>(
      reading + rollover_ms_, Time::kMicrosecondsPerMillisecond));
}

}  // namespace internal
}  // namespace base
