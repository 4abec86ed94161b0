#include "base/timer/elapsed_timer.h"

namespace base {

ElapsedTimer::ElapsedTimer() : begin_(TimeTicks::Now()) {}

TimeDelta ElapsedTimer::Elapsed() const {
  return TimeTicks::Now() - begin_;
}

}  // namespace base
