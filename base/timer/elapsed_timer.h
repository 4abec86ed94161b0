#ifndef BASE_TIMER_ELAPSED_TIMER_H_
#define BASE_TIMER_ELAPSED_TIMER_H_

#include "base/time/time.h"

namespace base {

// Measures the time since its construction on the monotonic clock, for
// durations recorded in histograms.
class ElapsedTimer {
 public:
  ElapsedTimer();
  ElapsedTimer(const ElapsedTimer&) = delete;
  ElapsedTimer& operator=(const ElapsedTimer&) = delete;

  TimeDelta Elapsed() const;

 private:
  const TimeTicks begin_;
};

}  // namespace base

#endif  // BASE_TIMER_ELAPSED_TIMER_H_
