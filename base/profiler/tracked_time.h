#ifndef BASE_PROFILER_TRACKED_TIME_H_
#define BASE_PROFILER_TRACKED_TIME_H_

#include <stdint.h>

#include "base/time/time.h"

namespace base {

// The task profiler's clock reading: whole milliseconds of a TimeTicks value
// cut to 32 bits. 0 is the null time, used when timing is off.
class TrackedTime {
 public:
  TrackedTime() : ms_(0) {}
  explicit TrackedTime(const TimeTicks& time);

  // The current TimeTicks as a tracked time.
  static TrackedTime Now();

  bool is_null() const { return ms_ == 0; }

  // The 32-bit difference in milliseconds; it wraps with the clock.
  int32_t operator-(const TrackedTime& other) const;

  bool operator==(const TrackedTime& other) const { return ms_ == other.ms_; }
  bool operator!=(const TrackedTime& other) const { return ms_ != other.ms_; }

 private:
  int32_t ms_;
};

}  // namespace base

#endif  // BASE_PROFILER_TRACKED_TIME_H_
