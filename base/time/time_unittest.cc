#include "base/time/time.h"

#include <windows.h>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "base/cpu.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kEpochOffset = 11644473600000000;  // 1601 to 1970, in us.

TimeDelta Us(int64_t us) {
  return TimeDelta::FromMicroseconds(us);
}

FILETIME MakeFileTime(uint32_t high, uint32_t low) {
  FILETIME ft;
  ft.dwHighDateTime = high;
  ft.dwLowDateTime = low;
  return ft;
}

uint64_t FileTimeBits(const FILETIME& ft) {
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

Time::Exploded MakeExploded(int year,
                            int month,
                            int day_of_month,
                            int hour,
                            int minute,
                            int second,
                            int millisecond) {
  Time::Exploded exploded = {};
  exploded.year = year;
  exploded.month = month;
  exploded.day_of_month = day_of_month;
  exploded.hour = hour;
  exploded.minute = minute;
  exploded.second = second;
  exploded.millisecond = millisecond;
  return exploded;
}

bool IsAllZero(const Time::Exploded& e) {
  return e.year == 0 && e.month == 0 && e.day_of_week == 0 &&
         e.day_of_month == 0 && e.hour == 0 && e.minute == 0 && e.second == 0 &&
         e.millisecond == 0;
}

// A processor described by the test, served through the CPUID seam.
struct FakeProcessor {
  char vendor[13];
  uint32_t signature;
  bool non_stop_tsc;
};
FakeProcessor g_fake_processor;

void FakeCpuid(uint32_t leaf, uint32_t registers[4]) {
  registers[0] = registers[1] = registers[2] = registers[3] = 0;
  switch (leaf) {
    case 0:
      registers[0] = 1;
      memcpy(&registers[1], g_fake_processor.vendor, 4);
      memcpy(&registers[3], g_fake_processor.vendor + 4, 4);
      memcpy(&registers[2], g_fake_processor.vendor + 8, 4);
      break;
    case 1:
      registers[0] = g_fake_processor.signature;
      break;
    case 0x80000000:
      registers[0] = 0x80000008;
      break;
    case 0x80000007:
      registers[3] = g_fake_processor.non_stop_tsc ? 1u << 8 : 0;
      break;
  }
}

CPU MakeCpu(const char (&vendor)[13], uint32_t signature, bool non_stop_tsc) {
  memcpy(g_fake_processor.vendor, vendor, sizeof(vendor));
  g_fake_processor.signature = signature;
  g_fake_processor.non_stop_tsc = non_stop_tsc;
  return CPU(&FakeCpuid);
}

TEST(TimeDeltaTest, SaturatesAtBothEndsAndNeverReachesInt64Min) {
  EXPECT_EQ(TimeDelta::Max(), TimeDelta::SaturatedAdd(kMax, 1));
  EXPECT_EQ(TimeDelta::Max(), TimeDelta::SaturatedAdd(1, kMax));
  EXPECT_EQ(TimeDelta::Max(), TimeDelta::SaturatedAdd(kMax, kMax));
  EXPECT_EQ(Us(-kMax), TimeDelta::SaturatedAdd(-kMax, -2));
  EXPECT_EQ(Us(-kMax), TimeDelta::SaturatedAdd(kMin, -1));
  EXPECT_EQ(Us(-kMax), TimeDelta::SaturatedAdd(kMin, kMin));
  EXPECT_EQ(TimeDelta::Max(), TimeDelta::SaturatedSub(kMax, -1));
  EXPECT_EQ(TimeDelta::Max(), TimeDelta::SaturatedSub(0, kMin));
  EXPECT_EQ(Us(-kMax), TimeDelta::SaturatedSub(-kMax, 2));
  EXPECT_EQ(Us(-kMax), TimeDelta::SaturatedSub(-2, kMax));

  // Results that fit are exact, right up to the limits.
  EXPECT_EQ(Us(kMax - 1), TimeDelta::SaturatedAdd(kMax, -1));
  EXPECT_EQ(Us(kMax), TimeDelta::SaturatedAdd(kMax - 5, 5));
  EXPECT_EQ(Us(-kMax), TimeDelta::SaturatedAdd(kMin, 1));
  EXPECT_EQ(Us(kMin), TimeDelta::SaturatedSub(-kMax, 1));
  EXPECT_EQ(Us(-1), TimeDelta::SaturatedSub(kMax, kMax) - Us(1));
  EXPECT_EQ(Us(0), TimeDelta::SaturatedSub(kMin, kMin));

  // Negation and the operators go through the same saturation.
  EXPECT_EQ(Us(-kMax), -TimeDelta::Max());
  EXPECT_EQ(TimeDelta::Max(), -Us(-kMax));
  EXPECT_EQ(TimeDelta::Max(), -Us(kMin));
  EXPECT_EQ(TimeDelta::Max(), TimeDelta::Max() + Us(1));
  EXPECT_EQ(Us(-kMax), Us(-kMax) - Us(2));
  TimeDelta delta = Us(kMax - 10);
  delta += Us(100);
  EXPECT_EQ(TimeDelta::Max(), delta);
  delta = Us(-kMax + 10);
  delta -= Us(100);
  EXPECT_EQ(Us(-kMax), delta);
}

TEST(TimeDeltaTest, FactoriesSaturateThroughTheCheckedProduct) {
  EXPECT_EQ(Us(-3000), TimeDelta::FromMilliseconds(-3));
  EXPECT_EQ(Us(5000000), TimeDelta::FromSeconds(5));
  EXPECT_EQ(Us(kMax / 1000 * 1000), TimeDelta::FromMilliseconds(kMax / 1000));
  EXPECT_EQ(TimeDelta::Max(), TimeDelta::FromMilliseconds(kMax / 1000 + 1));
  EXPECT_EQ(TimeDelta::Max(), TimeDelta::FromMilliseconds(kMax));
  EXPECT_EQ(Us(-kMax), TimeDelta::FromMilliseconds(kMin));
  EXPECT_EQ(Us(-kMax), TimeDelta::FromMilliseconds(-(kMax / 1000) - 1));
  EXPECT_EQ(TimeDelta::Max(), TimeDelta::FromSeconds(kMax / 1000000 + 1));
  EXPECT_EQ(Us(-kMax), TimeDelta::FromSeconds(-(kMax / 1000000) - 1));
  // 0xFFFFFFFF milliseconds (an infinite wait) still fits.
  EXPECT_EQ(Us(0xFFFFFFFFLL * 1000), TimeDelta::FromMilliseconds(0xFFFFFFFF));

  EXPECT_EQ(Us(7), TimeDelta::FromCheckedNumeric({7, internal::RANGE_VALID}));
  EXPECT_EQ(Us(-kMax),
            TimeDelta::FromCheckedNumeric({7, internal::RANGE_UNDERFLOW}));
  EXPECT_EQ(TimeDelta::Max(),
            TimeDelta::FromCheckedNumeric({7, internal::RANGE_OVERFLOW}));
  EXPECT_EQ(TimeDelta::Max(),
            TimeDelta::FromCheckedNumeric({7, internal::RANGE_INVALID}));
}

TEST(TimeDeltaTest, MillisecondConversions) {
  EXPECT_EQ(-1, Us(-1500).InMilliseconds());
  EXPECT_EQ(1, Us(1999).InMilliseconds());
  EXPECT_EQ(0, Us(999).InMilliseconds());
  EXPECT_EQ(kMax, TimeDelta::Max().InMilliseconds());
  EXPECT_EQ(kMax / 1000, Us(kMax - 1).InMilliseconds());
  EXPECT_EQ(-(kMax / 1000), Us(-kMax).InMilliseconds());

  EXPECT_EQ(0, Us(0).InMillisecondsRoundedUp());
  EXPECT_EQ(1, Us(1).InMillisecondsRoundedUp());
  EXPECT_EQ(1, Us(1000).InMillisecondsRoundedUp());
  EXPECT_EQ(2, Us(1001).InMillisecondsRoundedUp());
  EXPECT_EQ(kMax, TimeDelta::Max().InMillisecondsRoundedUp());
  // Just below the maximum, rounding up must not wrap around.
  EXPECT_EQ(kMax / 1000 + 1, Us(kMax - 1).InMillisecondsRoundedUp());
  // Negative durations (waits that are already over) round toward zero.
  EXPECT_EQ(0, Us(-1).InMillisecondsRoundedUp());
  EXPECT_EQ(0, Us(-1001).InMillisecondsRoundedUp());
  EXPECT_EQ(-1, Us(-1999).InMillisecondsRoundedUp());
  EXPECT_EQ((-kMax + 999) / 1000, Us(-kMax).InMillisecondsRoundedUp());

  EXPECT_EQ(1.5, Us(1500).InMillisecondsF());
  EXPECT_EQ(-0.001, Us(-1).InMillisecondsF());
  double infinite = TimeDelta::Max().InMillisecondsF();
  EXPECT_TRUE(std::isinf(infinite) && infinite > 0);
  EXPECT_FALSE(std::isinf(Us(kMax - 1).InMillisecondsF()));
}

TEST(TimeTest, ToTimeTAtTheEpochAndTheLimits) {
  EXPECT_EQ(0, Time().ToTimeT());
  EXPECT_EQ(0, Time::FromInternalValue(kEpochOffset).ToTimeT());
  EXPECT_EQ(1, Time::FromInternalValue(kEpochOffset + 1500000).ToTimeT());
  // Before 1970 the seconds are negative and truncated toward zero.
  EXPECT_EQ(0, Time::FromInternalValue(kEpochOffset - 1).ToTimeT());
  EXPECT_EQ(-1, Time::FromInternalValue(kEpochOffset - 1500000).ToTimeT());
  EXPECT_EQ(-11644473599, Time::FromInternalValue(1).ToTimeT());
  // Before 1601 too, and without overflow at the very bottom.
  EXPECT_EQ(-11644473600, Time::FromInternalValue(-1).ToTimeT());
  EXPECT_EQ(-11644473601, Time::FromInternalValue(-1000001).ToTimeT());
  EXPECT_EQ(kMin / 1000000 - 11644473600,
            Time::FromInternalValue(kMin).ToTimeT());

  EXPECT_EQ(kMax, Time::Max().ToTimeT());
  EXPECT_EQ(kMax, Time::FromInternalValue(0x7FD6A169B779BFFF).ToTimeT());
  EXPECT_EQ((0x7FD6A169B779BFFE - kEpochOffset) / 1000000,
            Time::FromInternalValue(0x7FD6A169B779BFFE).ToTimeT());
}

TEST(TimeTest, FileTimeConversionsAndRoundTrips) {
  EXPECT_TRUE(Time::FromFileTime(MakeFileTime(0, 0)).is_null());
  EXPECT_EQ(Time::Max(),
            Time::FromFileTime(MakeFileTime(0xFFFFFFFF, 0xFFFFFFFF)));
  EXPECT_EQ(1, Time::FromFileTime(MakeFileTime(0, 15)).ToInternalValue());
  EXPECT_EQ(0x7FFFFFFFFFFFFFFF / 10,
            Time::FromFileTime(MakeFileTime(0x7FFFFFFF, 0xFFFFFFFF))
                .ToInternalValue());
  // Only the all-ones value means the maximum; its neighbour is a time.
  EXPECT_EQ(-1, Time::FromFileTime(MakeFileTime(0xFFFFFFFF, 0xFFFFFFF0))
                    .ToInternalValue());

  // FILETIME -> Time -> FILETIME keeps every whole microsecond.
  for (uint64_t bits : {uint64_t{10}, uint64_t{133405545694778990},
                        uint64_t{0x7FFFFFFFFFFFFFF8}}) {
    FILETIME ft = MakeFileTime(static_cast<uint32_t>(bits >> 32),
                               static_cast<uint32_t>(bits));
    EXPECT_EQ(bits, FileTimeBits(Time::FromFileTime(ft).ToFileTime()));
  }
  // Time -> FILETIME -> Time, at the edges of what a FILETIME holds.
  for (int64_t us : {int64_t{1}, kEpochOffset, kMax / 10, int64_t{-5}}) {
    Time time = Time::FromInternalValue(us);
    EXPECT_EQ(time, Time::FromFileTime(time.ToFileTime())) << us;
  }
  EXPECT_EQ(0u, FileTimeBits(Time().ToFileTime()));
  // Beyond a FILETIME, the maximum's marker (which reads back as the
  // maximum) instead of a wrapped value.
  EXPECT_EQ(~uint64_t{0}, FileTimeBits(Time::Max().ToFileTime()));
  EXPECT_EQ(~uint64_t{0},
            FileTimeBits(Time::FromInternalValue(kMax / 10 + 1).ToFileTime()));
  EXPECT_EQ(Time::Max(), Time::FromFileTime(Time::Max().ToFileTime()));
  EXPECT_EQ(uint64_t{1} << 63,
            FileTimeBits(Time::FromInternalValue(kMin).ToFileTime()));
}

TEST(TimeTest, ExplodeInUtc) {
  Time::Exploded exploded;
  Time::FromInternalValue(kEpochOffset).Explode(false, &exploded);
  EXPECT_EQ(1970, exploded.year);
  EXPECT_EQ(1, exploded.month);
  EXPECT_EQ(4, exploded.day_of_week);  // Thursday.
  EXPECT_EQ(1, exploded.day_of_month);
  EXPECT_EQ(0, exploded.hour);
  EXPECT_EQ(0, exploded.minute);
  EXPECT_EQ(0, exploded.second);
  EXPECT_EQ(0, exploded.millisecond);

  // The first microsecond of the null time is still 1601-01-01, a Monday.
  Time().Explode(false, &exploded);
  EXPECT_EQ(1601, exploded.year);
  EXPECT_EQ(1, exploded.day_of_week);

  // One millisecond before the epoch.
  Time::FromInternalValue(kEpochOffset - 1000).Explode(false, &exploded);
  EXPECT_EQ(1969, exploded.year);
  EXPECT_EQ(12, exploded.month);
  EXPECT_EQ(31, exploded.day_of_month);
  EXPECT_EQ(23, exploded.hour);
  EXPECT_EQ(59, exploded.minute);
  EXPECT_EQ(59, exploded.second);
  EXPECT_EQ(999, exploded.millisecond);

  // The latest time a FILETIME can carry.
  Time::FromInternalValue(kMax / 10).Explode(false, &exploded);
  EXPECT_EQ(30828, exploded.year);
}

TEST(TimeTest, ExplodeRefusesTimesWithoutADate) {
  Time::Exploded exploded;
  Time::FromInternalValue(-1).Explode(false, &exploded);
  EXPECT_TRUE(IsAllZero(exploded));
  Time::FromInternalValue(kMin).Explode(true, &exploded);
  EXPECT_TRUE(IsAllZero(exploded));
  Time::Max().Explode(false, &exploded);
  EXPECT_TRUE(IsAllZero(exploded));
  Time::FromInternalValue(kMax / 10 + 1).Explode(true, &exploded);
  EXPECT_TRUE(IsAllZero(exploded));
  // Ten times this wraps around 64 bits to 4, which is a valid FILETIME in
  // 1601: a date must not come out of it.
  Time::FromInternalValue(1844674407370955162).Explode(false, &exploded);
  EXPECT_TRUE(IsAllZero(exploded));
  // Explode overwrites whatever the structure held.
  exploded = MakeExploded(2000, 1, 1, 0, 0, 0, 0);
  Time::FromInternalValue(-1).Explode(false, &exploded);
  EXPECT_TRUE(IsAllZero(exploded));
}

TEST(TimeTest, ExplodedRoundTrips) {
  Time::Exploded leap_day = MakeExploded(2024, 2, 29, 13, 45, 30, 250);
  Time time = Time::FromExploded(false, leap_day);
  ASSERT_FALSE(time.is_null());
  EXPECT_EQ(1709214330250000 + kEpochOffset, time.ToInternalValue());
  Time::Exploded back;
  time.Explode(false, &back);
  EXPECT_EQ(2024, back.year);
  EXPECT_EQ(2, back.month);
  EXPECT_EQ(4, back.day_of_week);  // Thursday.
  EXPECT_EQ(29, back.day_of_month);
  EXPECT_EQ(13, back.hour);
  EXPECT_EQ(45, back.minute);
  EXPECT_EQ(30, back.second);
  EXPECT_EQ(250, back.millisecond);
  // The day of the week is an output only.
  leap_day.day_of_week = 6;
  EXPECT_EQ(time, Time::FromExploded(false, leap_day));

  // Local time: explode and rebuild give back the time to the millisecond.
  for (int64_t us : {kEpochOffset + 86400000000, int64_t{13380000000000000},
                     int64_t{13400000000123000}}) {
    Time original = Time::FromInternalValue(us);
    Time::Exploded local;
    original.Explode(true, &local);
    ASSERT_FALSE(IsAllZero(local));
    EXPECT_EQ(original, Time::FromExploded(true, local)) << us;
  }
  // Sub-millisecond parts are dropped by the round trip, not rounded.
  Time::Exploded exploded;
  Time::FromInternalValue(kEpochOffset + 1999).Explode(false, &exploded);
  EXPECT_EQ(Time::FromInternalValue(kEpochOffset + 1000),
            Time::FromExploded(false, exploded));
}

TEST(TimeTest, FromExplodedRefusesInvalidDates) {
  const Time::Exploded invalid[] = {
      MakeExploded(2024, 13, 1, 0, 0, 0, 0),
      MakeExploded(2024, 0, 1, 0, 0, 0, 0),
      MakeExploded(2024, 1, 32, 0, 0, 0, 0),
      MakeExploded(2024, 1, 0, 0, 0, 0, 0),
      MakeExploded(2023, 2, 29, 0, 0, 0, 0),
      MakeExploded(2024, 4, 31, 0, 0, 0, 0),
      MakeExploded(2024, 1, 1, 24, 0, 0, 0),
      MakeExploded(2024, 1, 1, 0, 60, 0, 0),
      MakeExploded(2024, 1, 1, 0, 0, 60, 0),
      MakeExploded(2024, 1, 1, 0, 0, 0, 1000),
      MakeExploded(1600, 12, 31, 23, 59, 59, 999),
      MakeExploded(-1, 1, 1, 0, 0, 0, 0),
      MakeExploded(2024, 1, 1, -1, 0, 0, 0),
      // Fields that a 16-bit cut would turn into a valid date.
      MakeExploded(2024, 0x10001, 1, 0, 0, 0, 0),
      MakeExploded(0x10000 + 2024, 1, 1, 0, 0, 0, 0),
      MakeExploded(2024, 1, 0x10001, 0, 0, 0, 0),
      MakeExploded(2024, 1, 1, 0x10000, 0, 0, 0),
  };
  for (const Time::Exploded& exploded : invalid) {
    EXPECT_TRUE(Time::FromExploded(false, exploded).is_null())
        << exploded.year << "-" << exploded.month << "-"
        << exploded.day_of_month << " " << exploded.hour << ":"
        << exploded.minute << ":" << exploded.second << "."
        << exploded.millisecond;
    EXPECT_TRUE(Time::FromExploded(true, exploded).is_null());
  }
  Time::Exploded bad_day_of_week = MakeExploded(2024, 1, 1, 0, 0, 0, 0);
  bad_day_of_week.day_of_week = 0x10000;
  EXPECT_TRUE(Time::FromExploded(false, bad_day_of_week).is_null());
}

TEST(TimeTest, NowFollowsTheSystemClock) {
  FILETIME before_ft;
  GetSystemTimeAsFileTime(&before_ft);
  Time now = Time::Now();
  FILETIME after_ft;
  GetSystemTimeAsFileTime(&after_ft);
  Time before = Time::FromFileTime(before_ft);
  Time after = Time::FromFileTime(after_ft);
  // The tick clock between anchors may drift a little from the system
  // clock, far less than this.
  TimeDelta slack = TimeDelta::FromSeconds(2);
  EXPECT_GE(now, before - slack);
  EXPECT_LE(now, after + slack);
}

TEST(TimeTicksTest, NowNeverGoesBackwards) {
  auto check_monotonic = [] {
    TimeTicks last = TimeTicks::Now();
    for (int i = 0; i < 20000; ++i) {
      TimeTicks now = TimeTicks::Now();
      if (now < last)
        return false;
      last = now;
    }
    return true;
  };
  std::vector<std::thread> threads;
  bool results[4] = {};
  for (bool& result : results)
    threads.emplace_back(
        [&result, check_monotonic] { result = check_monotonic(); });
  for (std::thread& thread : threads)
    thread.join();
  for (bool result : results)
    EXPECT_TRUE(result);
  EXPECT_FALSE(TimeTicks::Now().is_null());
}

TEST(TimeTicksTest, BothSourcesAdvance) {
  TimeTicks::Now();  // Chooses the source and learns the frequency.
  TimeDelta qpc_first = TimeTicks::QPCNow();
  TimeDelta rollover_first = TimeTicks::RolloverProtectedNow();
  Sleep(20);
  EXPECT_GT(TimeTicks::QPCNow(), qpc_first);
  EXPECT_GT(TimeTicks::RolloverProtectedNow(), rollover_first);
}

TEST(TimeTicksTest, PerformanceCounterConversionIsExactAcrossTheSplit) {
  // Below the split the direct product is used, above it whole seconds and
  // the rest: the two must agree with the exact quotient everywhere.
  const int64_t frequencies[] = {1, 3579545, 10000000, 2533330000,
                                 kMax / 1000000};
  const int64_t counts[] = {
      0,   1, 9223372036854, 9223372036855, 9223372036856, 123456789012345678,
      kMax};
  for (int64_t frequency : frequencies) {
    for (int64_t count : counts) {
      __int128 exact = static_cast<__int128>(count) * 1000000 / frequency;
      if (exact > kMax)
        continue;  // No microsecond count holds it.
      EXPECT_EQ(static_cast<int64_t>(exact),
                internal::QPCValueToMicroseconds(count, frequency))
          << count << " at " << frequency;
    }
  }
  // At one count per microsecond the count is the result on both sides.
  EXPECT_EQ(9223372036854,
            internal::QPCValueToMicroseconds(9223372036854, 1000000));
  EXPECT_EQ(9223372036855,
            internal::QPCValueToMicroseconds(9223372036855, 1000000));
  EXPECT_EQ(kMax, internal::QPCValueToMicroseconds(kMax, 1000000));
  EXPECT_EQ(0, internal::QPCValueToMicroseconds(12345, 0));
}

TEST(TimeTicksTest, TickSourceChoice) {
  CPU intel = MakeCpu("GenuineIntel", 0x000906EA, true);
  EXPECT_TRUE(internal::ShouldUseQPCTicks(10000000, intel));
  EXPECT_TRUE(internal::ShouldUseQPCTicks(1, intel));
  EXPECT_FALSE(internal::ShouldUseQPCTicks(0, intel));

  CPU unsteady_tsc = MakeCpu("GenuineIntel", 0x000906EA, false);
  EXPECT_FALSE(internal::ShouldUseQPCTicks(10000000, unsteady_tsc));

  // Base family 15, whatever the extended family says.
  CPU amd_family_15 = MakeCpu("AuthenticAMD", 0x00A20F10, true);
  EXPECT_TRUE(IsAuthenticAMDFamily15(amd_family_15));
  EXPECT_FALSE(internal::ShouldUseQPCTicks(10000000, amd_family_15));

  CPU amd_family_6 = MakeCpu("AuthenticAMD", 0x00000660, true);
  EXPECT_FALSE(IsAuthenticAMDFamily15(amd_family_6));
  EXPECT_TRUE(internal::ShouldUseQPCTicks(10000000, amd_family_6));

  // The vendor must match exactly.
  CPU other_family_15 = MakeCpu("AuthenticAmd", 0x00000F00, true);
  EXPECT_FALSE(IsAuthenticAMDFamily15(other_family_15));
  EXPECT_TRUE(internal::ShouldUseQPCTicks(10000000, other_family_15));
}

TEST(ThreadTicksTest, SupportNeedsTheFunctionAndASteadyCounter) {
  CPU intel = MakeCpu("GenuineIntel", 0x000906EA, true);
  EXPECT_TRUE(internal::CanMeasureThreadTicks(true, intel));
  EXPECT_FALSE(internal::CanMeasureThreadTicks(false, intel));
  CPU unsteady_tsc = MakeCpu("GenuineIntel", 0x000906EA, false);
  EXPECT_FALSE(internal::CanMeasureThreadTicks(true, unsteady_tsc));
  CPU amd_family_15 = MakeCpu("AuthenticAMD", 0x00000F00, true);
  EXPECT_FALSE(internal::CanMeasureThreadTicks(true, amd_family_15));

  // Computed once: the answer does not change.
  bool supported = ThreadTicks::IsSupported();
  EXPECT_EQ(supported, ThreadTicks::IsSupported());
}

TEST(ThreadTicksTest, CycleConversion) {
  EXPECT_EQ(0, internal::ThreadCyclesToMicroseconds(123456789, 0.0));
  EXPECT_EQ(2000000, internal::ThreadCyclesToMicroseconds(6000000000, 3e9));
  EXPECT_EQ(0, internal::ThreadCyclesToMicroseconds(2999, 3e9));
  EXPECT_EQ(kMax, internal::ThreadCyclesToMicroseconds(~uint64_t{0}, 1.0));
}

// Thread-cycle readers for the seam.
unsigned long long g_fake_cycles = 0;
int __stdcall SucceedingCycleTime(void*, unsigned long long* cycles) {
  *cycles = g_fake_cycles;
  return TRUE;
}
int __stdcall FailingCycleTime(void*, unsigned long long* cycles) {
  *cycles = 987654321;  // Garbage that must not be used.
  return FALSE;
}

class ScopedThreadCycleTime {
 public:
  explicit ScopedThreadCycleTime(internal::ThreadCycleTimeFunction function)
      : previous_(internal::SetThreadCycleTimeFunctionForTesting(function)) {}
  ~ScopedThreadCycleTime() {
    internal::SetThreadCycleTimeFunctionForTesting(previous_);
  }

 private:
  internal::ThreadCycleTimeFunction previous_;
};

// The frequency is known once 50 ms lie between the first and a later
// measurement.
double WaitForTSCFrequency() {
  double ticks_per_second = 0.0;
  for (int i = 0; i < 200 && ticks_per_second == 0.0; ++i) {
    ticks_per_second = ThreadTicks::TSCTicksPerSecond();
    if (ticks_per_second == 0.0)
      Sleep(10);
  }
  return ticks_per_second;
}

TEST(ThreadTicksTest, FailedOrMissingCycleCountGivesZero) {
  ASSERT_GT(WaitForTSCFrequency(), 0.0);
  {
    ScopedThreadCycleTime failing(&FailingCycleTime);
    EXPECT_TRUE(ThreadTicks::Now().is_null());
  }
  {
    ScopedThreadCycleTime missing(nullptr);
    EXPECT_TRUE(ThreadTicks::Now().is_null());
  }
}

TEST(ThreadTicksTest, NowConvertsCyclesAtTheMeasuredFrequency) {
  double ticks_per_second = WaitForTSCFrequency();
  ASSERT_GT(ticks_per_second, 0.0);
  // Once measured, the frequency is kept.
  EXPECT_EQ(ticks_per_second, ThreadTicks::TSCTicksPerSecond());

  ScopedThreadCycleTime fake(&SucceedingCycleTime);
  g_fake_cycles = static_cast<unsigned long long>(ticks_per_second * 3);
  int64_t us = ThreadTicks::Now().ToInternalValue();
  EXPECT_GE(us, 2999999);
  EXPECT_LE(us, 3000000);
  g_fake_cycles = 0;
  EXPECT_TRUE(ThreadTicks::Now().is_null());
}

// Timer-period functions for the seam; they record what they were asked.
int g_begin_calls = 0;
int g_end_calls = 0;
unsigned g_last_period = 0;
unsigned __stdcall FakeBeginPeriod(unsigned period) {
  ++g_begin_calls;
  g_last_period = period;
  return 0;
}
unsigned __stdcall FakeEndPeriod(unsigned period) {
  ++g_end_calls;
  g_last_period = period;
  return 0;
}

TEST(TimeTest, HighResolutionTimerFollowsTheOutermostActivation) {
  internal::SetTimerPeriodFunctionsForTesting(&FakeBeginPeriod, &FakeEndPeriod);
  EXPECT_FALSE(Time::ActivateHighResolutionTimer(true));
  EXPECT_EQ(1, g_begin_calls);
  EXPECT_EQ(4u, g_last_period);
  Time::ActivateHighResolutionTimer(true);
  Time::ActivateHighResolutionTimer(false);
  // One activation is still in force.
  EXPECT_EQ(1, g_begin_calls);
  EXPECT_EQ(0, g_end_calls);
  EXPECT_FALSE(Time::ActivateHighResolutionTimer(false));
  EXPECT_EQ(1, g_end_calls);
  EXPECT_EQ(4u, g_last_period);

  // Activations from many threads pair up the same way.
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([] {
      for (int j = 0; j < 500; ++j) {
        Time::ActivateHighResolutionTimer(true);
        Time::ActivateHighResolutionTimer(false);
      }
    });
  }
  Time::ActivateHighResolutionTimer(true);  // Holds the period throughout.
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(g_begin_calls, g_end_calls + 1);
  Time::ActivateHighResolutionTimer(false);
  EXPECT_EQ(g_begin_calls, g_end_calls);
  internal::SetTimerPeriodFunctionsForTesting(nullptr, nullptr);
}

}  // namespace
}  // namespace base
