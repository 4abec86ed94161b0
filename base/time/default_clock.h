#ifndef BASE_TIME_DEFAULT_CLOCK_H_
#define BASE_TIME_DEFAULT_CLOCK_H_

#include "base/time/clock.h"

namespace base {

// The system's wall clock.
class DefaultClock : public Clock {
 public:
  ~DefaultClock() override;

  // Time::Now.
  Time Now() override;
};

}  // namespace base

#endif  // BASE_TIME_DEFAULT_CLOCK_H_
