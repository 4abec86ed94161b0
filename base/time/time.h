#ifndef BASE_TIME_TIME_H_
#define BASE_TIME_TIME_H_

#include <stdint.h>

#include <limits>

#include "base/numerics/checked_math.h"

struct _FILETIME;

namespace base {

class CPU;

// A signed duration in microseconds. Arithmetic saturates: a result above the
// range becomes the maximum (INT64_MAX, read as infinite), one below becomes
// -INT64_MAX, never INT64_MIN, so that every result can be negated.
class TimeDelta {
 public:
  constexpr TimeDelta() : delta_(0) {}

  static constexpr TimeDelta FromMicroseconds(int64_t us) {
    return TimeDelta(us);
  }
  static TimeDelta FromMilliseconds(int64_t ms);
  static TimeDelta FromSeconds(int64_t secs);
  static constexpr TimeDelta Max() {
    return TimeDelta(std::numeric_limits<int64_t>::max());
  }

  // A checked result as a duration: the value when it is valid, -INT64_MAX
  // below the range and INT64_MAX otherwise.
  static TimeDelta FromCheckedNumeric(
      const internal::CheckedValue<int64_t>& checked);

  // Sum and difference of two microsecond counts, saturated.
  static TimeDelta SaturatedAdd(int64_t a, int64_t b);
  static TimeDelta SaturatedSub(int64_t a, int64_t b);

  bool is_zero() const { return delta_ == 0; }
  bool is_max() const { return *this == Max(); }

  int64_t InMicroseconds() const { return delta_; }
  // Whole milliseconds, truncated toward zero; the maximum stays INT64_MAX.
  int64_t InMilliseconds() const;
  // The maximum gives +infinity.
  double InMillisecondsF() const;
  // Milliseconds rounded up, for waits that must not end early; the maximum
  // stays INT64_MAX.
  int64_t InMillisecondsRoundedUp() const;

  TimeDelta operator+(TimeDelta other) const {
    return SaturatedAdd(delta_, other.delta_);
  }
  TimeDelta operator-(TimeDelta other) const {
    return SaturatedSub(delta_, other.delta_);
  }
  TimeDelta operator-() const { return SaturatedSub(0, delta_); }
  TimeDelta& operator+=(TimeDelta other) { return *this = *this + other; }
  TimeDelta& operator-=(TimeDelta other) { return *this = *this - other; }

  constexpr bool operator==(TimeDelta other) const {
    return delta_ == other.delta_;
  }
  constexpr bool operator!=(TimeDelta other) const {
    return delta_ != other.delta_;
  }
  constexpr bool operator<(TimeDelta other) const {
    return delta_ < other.delta_;
  }
  constexpr bool operator<=(TimeDelta other) const {
    return delta_ <= other.delta_;
  }
  constexpr bool operator>(TimeDelta other) const {
    return delta_ > other.delta_;
  }
  constexpr bool operator>=(TimeDelta other) const {
    return delta_ >= other.delta_;
  }

 private:
  constexpr explicit TimeDelta(int64_t delta_us) : delta_(delta_us) {}

  int64_t delta_;
};

// Wall-clock time: microseconds since 1601-01-01 00:00:00 UTC, which is a
// Windows FILETIME divided by 10. Zero is the null time.
class Time {
 public:
  static constexpr int64_t kMicrosecondsPerMillisecond = 1000;
  static constexpr int64_t kMicrosecondsPerSecond = 1000000;
  // From 1601-01-01 to 1970-01-01.
  static constexpr int64_t kTimeTToMicrosecondsOffset = 11644473600000000;

  // A broken-down date in the order of a Windows SYSTEMTIME.
  struct Exploded {
    int year;
    int month;         // 1 to 12.
    int day_of_week;   // 0 is Sunday.
    int day_of_month;  // 1 to 31.
    int hour;
    int minute;
    int second;
    int millisecond;
  };

  constexpr Time() : us_(0) {}

  // The current time: the system clock, followed between re-readings by the
  // tick clock for a finer grain.
  static Time Now();
  static constexpr Time Max() {
    return Time(std::numeric_limits<int64_t>::max());
  }
  static constexpr Time FromInternalValue(int64_t us) { return Time(us); }

  // A FILETIME of 0 is the null time and one with every bit set the maximum.
  static Time FromFileTime(const _FILETIME& ft);
  // The inverse of FromFileTime. Times too large for a FILETIME give the
  // all-ones FILETIME (which reads back as the maximum); times too far
  // before 1601 give the smallest signed FILETIME.
  _FILETIME ToFileTime() const;

  // Seconds since 1970-01-01 00:00:00 UTC (negative before); the null time
  // gives 0 and times too late for the range give INT64_MAX.
  int64_t ToTimeT() const;

  // Fills |exploded| with the date in local time or UTC; times before 1601
  // or beyond what Windows can convert give all eight fields 0.
  void Explode(bool is_local, Exploded* exploded) const;
  // The time of a local or UTC date; the null time when the date is invalid.
  static Time FromExploded(bool is_local, const Exploded& exploded);

  // Raises the system timer resolution to 4 ms on the first activation and
  // restores it at the matching last deactivation. Every deactivation must
  // follow an activation. Returns false (nothing reads the result).
  static bool ActivateHighResolutionTimer(bool activating);

  bool is_null() const { return us_ == 0; }
  bool is_max() const { return *this == Max(); }
  int64_t ToInternalValue() const { return us_; }

  Time operator+(TimeDelta delta) const {
    return Time(
        TimeDelta::SaturatedAdd(delta.InMicroseconds(), us_).InMicroseconds());
  }
  Time operator-(TimeDelta delta) const {
    return Time(
        TimeDelta::SaturatedSub(us_, delta.InMicroseconds()).InMicroseconds());
  }
  TimeDelta operator-(Time other) const {
    return TimeDelta::SaturatedSub(us_, other.us_);
  }

  constexpr bool operator==(Time other) const { return us_ == other.us_; }
  constexpr bool operator!=(Time other) const { return us_ != other.us_; }
  constexpr bool operator<(Time other) const { return us_ < other.us_; }
  constexpr bool operator<=(Time other) const { return us_ <= other.us_; }
  constexpr bool operator>(Time other) const { return us_ > other.us_; }
  constexpr bool operator>=(Time other) const { return us_ >= other.us_; }

 private:
  constexpr explicit Time(int64_t us) : us_(us) {}

  int64_t us_;
};

// A monotonic clock for timeouts, delays and scheduling: microseconds from an
// arbitrary origin. The source (performance counter or the wrap-protected
// millisecond counter) is chosen on the first reading of the process.
class TimeTicks {
 public:
  using TickFunction = TimeDelta (*)();

  constexpr TimeTicks() : ticks_(0) {}

  static TimeTicks Now();
  static constexpr TimeTicks FromInternalValue(int64_t us) {
    return TimeTicks(us);
  }

  // The first reading: chooses the source, then reads it.
  static TimeDelta InitialNowFunction();
  // Chooses the tick source for the rest of the process.
  static void ChooseNowFunction();
  // The two sources.
  static TimeDelta QPCNow();
  static TimeDelta RolloverProtectedNow();

  bool is_null() const { return ticks_ == 0; }
  int64_t ToInternalValue() const { return ticks_; }

  TimeTicks operator+(TimeDelta delta) const {
    return TimeTicks(TimeDelta::SaturatedAdd(delta.InMicroseconds(), ticks_)
                         .InMicroseconds());
  }
  TimeTicks operator-(TimeDelta delta) const {
    return TimeTicks(TimeDelta::SaturatedSub(ticks_, delta.InMicroseconds())
                         .InMicroseconds());
  }
  TimeDelta operator-(TimeTicks other) const {
    return TimeDelta::SaturatedSub(ticks_, other.ticks_);
  }
  TimeTicks& operator+=(TimeDelta delta) { return *this = *this + delta; }

  constexpr bool operator==(TimeTicks other) const {
    return ticks_ == other.ticks_;
  }
  constexpr bool operator!=(TimeTicks other) const {
    return ticks_ != other.ticks_;
  }
  constexpr bool operator<(TimeTicks other) const {
    return ticks_ < other.ticks_;
  }
  constexpr bool operator<=(TimeTicks other) const {
    return ticks_ <= other.ticks_;
  }
  constexpr bool operator>(TimeTicks other) const {
    return ticks_ > other.ticks_;
  }
  constexpr bool operator>=(TimeTicks other) const {
    return ticks_ >= other.ticks_;
  }

 private:
  constexpr explicit TimeTicks(int64_t us) : ticks_(us) {}

  int64_t ticks_;
};

// CPU time consumed by the calling thread, in microseconds, from the thread's
// cycle count and the measured time-stamp-counter frequency.
class ThreadTicks {
 public:
  constexpr ThreadTicks() : ticks_(0) {}

  // Whether thread CPU time can be measured on this machine; computed once.
  static bool IsSupported();
  // The calling thread's CPU time; 0 while the counter frequency is not yet
  // known or when the thread's cycle count cannot be read. Callers check
  // IsSupported first.
  static ThreadTicks Now();
  // The time-stamp counter's ticks per second, measured against the
  // performance counter; 0.0 until at least 50 ms lie between the process's
  // first measurement and this one.
  static double TSCTicksPerSecond();

  static constexpr ThreadTicks FromInternalValue(int64_t us) {
    return ThreadTicks(us);
  }
  bool is_null() const { return ticks_ == 0; }
  int64_t ToInternalValue() const { return ticks_; }

  TimeDelta operator-(ThreadTicks other) const {
    return TimeDelta::SaturatedSub(ticks_, other.ticks_);
  }

 private:
  constexpr explicit ThreadTicks(int64_t us) : ticks_(us) {}

  int64_t ticks_;
};

// True for the processors whose time-stamp counter cannot be trusted across
// cores: vendor "AuthenticAMD" with (base) family 15.
bool IsAuthenticAMDFamily15(const CPU& cpu);

// The 32-bit millisecond counter behind the rollover-protected tick source
// (the multimedia timer); it wraps every 2^32 ms.
uint32_t ReadMillisecondTicks();

// Pieces of the Windows clocks, separate so that tests can reach them.
namespace internal {

// Microseconds of a performance-counter reading, exact and free of overflow
// for every non-negative count.
int64_t QPCValueToMicroseconds(int64_t count, int64_t frequency);

// Whether the performance counter may drive TimeTicks on this processor.
bool ShouldUseQPCTicks(int64_t qpc_frequency, const CPU& cpu);

// Whether thread CPU time can be measured with this processor.
bool CanMeasureThreadTicks(bool has_thread_cycle_time, const CPU& cpu);

// Microseconds of a thread cycle count at a time-stamp-counter frequency; 0
// while the frequency is unknown (0.0).
int64_t ThreadCyclesToMicroseconds(uint64_t cycles, double ticks_per_second);

// Replaces the thread-cycle-time reader (QueryThreadCycleTime's signature)
// and returns the previous one, which is null when the system has none.
using ThreadCycleTimeFunction = int(__stdcall*)(void* thread,
                                                unsigned long long* cycles);
ThreadCycleTimeFunction SetThreadCycleTimeFunctionForTesting(
    ThreadCycleTimeFunction function);

// The functions that raise and restore the timer period (timeBeginPeriod and
// timeEndPeriod). Null restores the system's function.
using TimerPeriodFunction = unsigned(__stdcall*)(unsigned period_ms);
void SetTimerPeriodFunctionsForTesting(TimerPeriodFunction begin,
                                       TimerPeriodFunction end);

}  // namespace internal

}  // namespace base

#endif  // BASE_TIME_TIME_H_
