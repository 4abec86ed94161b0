#include "base/profiler/tracked_time.h"

namespace base {

TrackedTime::TrackedTime(const TimeTicks& time)
    : ms_(static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(
          time.ToInternalValue() / Time::kMicrosecondsPerMillisecond)))) {}

// static
TrackedTime TrackedTime::Now() {
  return TrackedTime(TimeTicks::Now());
}

int32_t TrackedTime::operator-(const TrackedTime& other) const {
  return static_cast<int32_t>(static_cast<uint32_t>(ms_) -
                              static_cast<uint32_t>(other.ms_));
}

}  // namespace base
