#ifndef BASE_SYNCHRONIZATION_WAIT_MILLISECONDS_H_
#define BASE_SYNCHRONIZATION_WAIT_MILLISECONDS_H_

#include <stdint.h>

#include "base/time/time.h"

namespace base {
namespace internal {

// The wait of |max_time| as the millisecond count of a Windows timed wait:
// rounded up so that the wait cannot end before |max_time|, 0 for negative
// times, and at most 0xFFFFFFFE. A longer time must neither wrap around into
// a short wait nor become INFINITE (0xFFFFFFFF): a timed wait stays timed.
uint32_t TimedWaitMilliseconds(TimeDelta max_time);

}  // namespace internal
}  // namespace base

#endif  // BASE_SYNCHRONIZATION_WAIT_MILLISECONDS_H_
