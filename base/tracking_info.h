#ifndef BASE_TRACKING_INFO_H_
#define BASE_TRACKING_INFO_H_

#include "base/profiler/tracked_time.h"
#include "base/time/time.h"

namespace base {

class Births;
class Location;

// What the task profiler keeps about a posted task, and when a delayed task
// falls due.
struct TrackingInfo {
  TrackingInfo();
  // Tallies the birth of a task posted from |posted_from| and stamps the
  // posting time.
  TrackingInfo(const Location& posted_from, TimeTicks delayed_run_time);
  ~TrackingInfo();

  // The profiler's birth record of the posting location; null while
  // profiling is off.
  Births* birth_tally;
  // When the task was posted, by the profiler's clock.
  TrackedTime time_posted;
  // When a delayed task falls due; null for a task to run as soon as
  // possible.
  TimeTicks delayed_run_time;
};

}  // namespace base

#endif  // BASE_TRACKING_INFO_H_
