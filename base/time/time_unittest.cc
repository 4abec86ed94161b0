#include "base/time/time.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "base/cpu.h"
#include "base/time/rollover_tick_clock.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kMaxMs = kMax / 1000;
constexpr int64_t kEpochOffset = 11644473600000000;  // 1601 to 1970, in us.

TimeDelta Us(int64_t us) {
  return TimeDelta::FromMicroseconds(us);
}

FILETIME MakeFileTime(uint64_t bits) {
  return {static_cast<DWORD>(bits), static_cast<DWORD>(bits >> 32)};
}

uint64_t FileTimeBits(const FILETIME& ft) {
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

// Year, month, day of week, day of month, hour, minute, second, ms.
using Fields = std::vector<int>;
Fields FieldsOf(const Time::Exploded& e) {
  return {e.year, e.month,  e.day_of_week, e.day_of_month,
          e.hour, e.minute, e.second,      e.millisecond};
}

// The processor the CPUID seam describes.
const char* g_vendor;
uint32_t g_signature;
bool g_non_stop_tsc;
void FakeCpuid(uint32_t leaf, uint32_t registers[4]) {
  registers[0] = registers[1] = registers[2] = registers[3] = 0;
  if (leaf == 0) {
    registers[0] = 1;
    memcpy(&registers[1], g_vendor, 4);
    memcpy(&registers[3], g_vendor + 4, 4);
    memcpy(&registers[2], g_vendor + 8, 4);
  }
  registers[0] |= leaf == 1 ? g_signature : leaf == 0x80000000 ? 0x80000008 : 0;
  registers[3] |= leaf == 0x80000007 && g_non_stop_tsc ? 1u << 8 : 0;
}

// Results saturate at both ends, never at INT64_MIN, and are exact inside.
TEST(TimeDeltaTest, SaturatedArithmetic) {
  const std::tuple<int64_t, int64_t, int64_t, int64_t> kCases[] = {
      {kMax, 1, kMax, kMax - 1},     {kMax, -1, kMax - 1, kMax},
      {-kMax, -2, -kMax, -kMax + 2}, {-kMax, 2, -kMax + 2, -kMax},
      {kMin, kMin, -kMax, 0},        {0, kMin, kMin, kMax},
  };
  for (const auto& [a, b, sum, difference] : kCases) {
    EXPECT_EQ(Us(sum), TimeDelta::SaturatedAdd(a, b)) << a << " " << b;
    EXPECT_EQ(Us(difference), TimeDelta::SaturatedSub(a, b)) << a << " " << b;
  }
  EXPECT_EQ(Us(-kMax), -TimeDelta::Max());
}

// Truncated toward zero, or rounded up without wrapping near the top.
TEST(TimeDeltaTest, MillisecondConversions) {
  const std::tuple<int64_t, int64_t, int64_t> kCases[] = {
      {-1500, -1, 0}, {1999, 1, 2},    {1, 0, 1},         {1000, 1, 1},
      {-1, 0, 0},     {-1999, -1, -1}, {kMax, kMax, kMax}};
  for (const auto& [us, ms, rounded_up] : kCases) {
    EXPECT_EQ(ms, Us(us).InMilliseconds()) << us;
    EXPECT_EQ(rounded_up, Us(us).InMillisecondsRoundedUp()) << us;
  }
  EXPECT_EQ(kMaxMs + 1, Us(kMax - 1).InMillisecondsRoundedUp());
  // Durations made from larger units saturate on the side they left.
  EXPECT_EQ(TimeDelta::Max(), TimeDelta::FromMilliseconds(kMaxMs + 1));
  EXPECT_EQ(Us(-kMax), TimeDelta::FromSeconds(-kMax / 1000000 - 1));
  EXPECT_EQ(-0.001, Us(-1).InMillisecondsF());
  EXPECT_TRUE(std::isinf(TimeDelta::Max().InMillisecondsF()));
  EXPECT_FALSE(std::isinf(Us(kMax - 1).InMillisecondsF()));
}

// Truncated toward zero on both sides of 1970, without overflow.
TEST(TimeTest, ToTimeT) {
  const std::pair<int64_t, int64_t> kCases[] = {
      {0, 0},
      {kEpochOffset - 1, 0},
      {kEpochOffset - 1500000, -1},
      {kMin, kMin / 1000000 - 11644473600},
      {0x7FD6A169B779BFFF, kMax}};
  for (const auto& c : kCases)
    EXPECT_EQ(c.second, Time::FromInternalValue(c.first).ToTimeT()) << c.first;
}

// Only the all-ones FILETIME is the maximum; times beyond a FILETIME give
// it or the lowest one, never a wrapped value.
TEST(TimeTest, FileTimeConversions) {
  const std::pair<uint64_t, int64_t> kFromFileTime[] = {
      {0, 0}, {~uint64_t{0}, kMax}, {15, 1}, {0xFFFFFFFFFFFFFFF0, -1}};
  for (const auto& c : kFromFileTime) {
    EXPECT_EQ(c.second,
              Time::FromFileTime(MakeFileTime(c.first)).ToInternalValue());
  }
  const std::tuple<int64_t, uint64_t, int64_t> kToFileTime[] = {
      {1, 10, 1},
      {kMax / 10, kMax / 10 * 10, kMax / 10},
      {kMax / 10 + 1, ~uint64_t{0}, kMax},
      {kMin / 10, static_cast<uint64_t>(kMin / 10 * 10), kMin / 10},
      {kMin / 10 - 1, uint64_t{1} << 63, kMin / 10},
  };
  for (const auto& [us, bits, back] : kToFileTime) {
    const FILETIME ft = Time::FromInternalValue(us).ToFileTime();
    EXPECT_EQ(bits, FileTimeBits(ft)) << us;
    EXPECT_EQ(back, Time::FromFileTime(ft).ToInternalValue()) << us;
  }
}

// Times before 1601 or past a FILETIME (ten times the last one wraps to 4,
// a time in 1601) have no date: every field becomes 0.
TEST(TimeTest, Explode) {
  const Fields kNone(8, 0);
  const std::pair<int64_t, Fields> kCases[] = {
      {0, {1601, 1, 1, 1, 0, 0, 0, 0}},
      {kEpochOffset - 1000, {1969, 12, 3, 31, 23, 59, 59, 999}},
      {1709214330250999 + kEpochOffset, {2024, 2, 4, 29, 13, 45, 30, 250}},
      {kMax / 10, {30828, 9, 4, 14, 2, 48, 5, 477}},
      {-1, kNone},
      {kMax / 10 + 1, kNone},
      {1844674407370955162, kNone},
  };
  for (const auto& c : kCases) {
    Time::Exploded exploded = {1, 2, 3, 4, 5, 6, 7, 8};
    Time::FromInternalValue(c.first).Explode(c.first < 0, &exploded);
    EXPECT_EQ(c.second, FieldsOf(exploded)) << c.first;
  }
}

TEST(TimeTest, FromExploded) {
  // The day of the week is an output only.
  EXPECT_EQ(Time::FromInternalValue(1709214330250000 + kEpochOffset),
            Time::FromExploded(false, {2024, 2, 6, 29, 13, 45, 30, 250}));
  // Local time: explode and rebuild give back the time to the millisecond.
  for (int64_t us : {kEpochOffset + 86400000000, int64_t{13400000000123000}}) {
    Time::Exploded local;
    Time::FromInternalValue(us).Explode(true, &local);
    ASSERT_NE(0, local.year);
    EXPECT_EQ(us, Time::FromExploded(true, local).ToInternalValue());
  }
  // Invalid dates give the null time, also those that a 16-bit cut would
  // make valid: -63512 reads as 2024, -65535 as 1.
  const Time::Exploded kInvalid[] = {
      {2024, 13, 0, 1, 0, 0, 0, 0},          {2023, 2, 0, 29, 0, 0, 0, 0},
      {2024, 1, 0, 1, 24, 0, 0, 0},          {2024, 1, 0, 1, 0, 0, 0, 1000},
      {1600, 12, 0, 31, 23, 59, 59, 999},    {-63512, 1, 0, 1, 0, 0, 0, 0},
      {2024, -65535, 0, 1, 0, 0, 0, 0},      {2024, 1, 0, -65535, 0, 0, 0, 0},
      {2024, 1, 0, 1, 0, -65536, 0, 0},      {2024, 1, -65536, 1, 0, 0, 0, 0},
      {0x10000 + 2024, 1, 0, 1, 0, 0, 0, 0},
  };
  for (const Time::Exploded& fields : kInvalid) {
    EXPECT_TRUE(Time::FromExploded(false, fields).is_null())
        << testing::PrintToString(FieldsOf(fields));
    EXPECT_TRUE(Time::FromExploded(true, fields).is_null());
  }
}

TEST(TimeTest, NowFollowsTheSystemClock) {
  FILETIME before;
  FILETIME after;
  GetSystemTimeAsFileTime(&before);
  const Time now = Time::Now();
  GetSystemTimeAsFileTime(&after);
  const TimeDelta slack = TimeDelta::FromSeconds(2);
  EXPECT_GE(now, Time::FromFileTime(before) - slack);
  EXPECT_LE(now, Time::FromFileTime(after) + slack);
}

TEST(TimeTicksTest, NowNeverGoesBackwards) {
  TimeTicks last = TimeTicks::Now();
  for (int i = 0; i < 20000; ++i) {
    const TimeTicks now = TimeTicks::Now();
    ASSERT_GE(now, last);
    last = now;
  }
  // Both sources advance.
  const TimeDelta qpc = TimeTicks::QPCNow();
  const TimeDelta rollover = TimeTicks::RolloverProtectedNow();
  Sleep(20);
  EXPECT_GT(TimeTicks::QPCNow(), qpc);
  EXPECT_GT(TimeTicks::RolloverProtectedNow(), rollover);
}

// Both sides of the split between the direct product and whole seconds
// plus the rest give the exact quotient.
TEST(TimeTicksTest, PerformanceCounterConversionIsExactAcrossTheSplit) {
  for (int64_t frequency : {int64_t{1}, int64_t{3579545}, kMax / 1000000}) {
    for (int64_t count : {int64_t{9223372036854}, int64_t{9223372036855},
                          int64_t{123456789012345678}, kMax}) {
      const __int128 exact = static_cast<__int128>(count) * 1000000 / frequency;
      if (exact <= kMax) {
        EXPECT_EQ(static_cast<int64_t>(exact),
                  internal::QPCValueToMicroseconds(count, frequency))
            << count << " at " << frequency;
      }
    }
  }
  EXPECT_EQ(0, internal::QPCValueToMicroseconds(12345, 0));
}

// Base family 15 of the one vendor, whatever the extended family says, or a
// counter that stops, rules out the performance counter and thread times.
TEST(TimeTicksTest, TickSourceAndThreadTicksSupport) {
  const std::tuple<const char*, uint32_t, bool, bool> kCases[] = {
      {"GenuineIntel", 0x000906EA, true, true},
      {"GenuineIntel", 0x000906EA, false, false},
      {"AuthenticAMD", 0x00A20F10, true, false},
      {"AuthenticAMD", 0x00000660, true, true},
      {"AuthenticAmd", 0x00000F00, true, true},
  };
  for (const auto& [vendor, signature, non_stop_tsc, usable] : kCases) {
    g_vendor = vendor;
    g_signature = signature;
    g_non_stop_tsc = non_stop_tsc;
    const CPU cpu(&FakeCpuid);
    EXPECT_EQ(usable, internal::ShouldUseQPCTicks(1, cpu)) << vendor;
    EXPECT_FALSE(internal::ShouldUseQPCTicks(0, cpu));
    EXPECT_EQ(usable, internal::CanMeasureThreadTicks(true, cpu));
    EXPECT_FALSE(internal::CanMeasureThreadTicks(false, cpu));
  }
}

// Thread-cycle readers for the seam.
unsigned long long g_fake_cycles = 0;
int __stdcall FakeCycleTime(void*, unsigned long long* cycles) {
  *cycles = g_fake_cycles ? g_fake_cycles : 987654321;  // Garbage on failure.
  return g_fake_cycles != 0;
}

TEST(ThreadTicksTest, NowConvertsCyclesAtTheMeasuredFrequency) {
  EXPECT_EQ(0, internal::ThreadCyclesToMicroseconds(123456789, 0.0));
  EXPECT_EQ(2000000, internal::ThreadCyclesToMicroseconds(6000000000, 3e9));
  EXPECT_EQ(kMax, internal::ThreadCyclesToMicroseconds(~uint64_t{0}, 1.0));
  // The frequency is known, and kept, once 50 ms lie between two samples.
  double ticks_per_second = 0.0;
  for (int i = 0; i < 200 && ticks_per_second == 0.0; ++i) {
    Sleep(i == 0 ? 0 : 10);
    ticks_per_second = ThreadTicks::TSCTicksPerSecond();
  }
  ASSERT_GT(ticks_per_second, 0.0);
  EXPECT_EQ(ticks_per_second, ThreadTicks::TSCTicksPerSecond());

  const internal::ThreadCycleTimeFunction real =
      internal::SetThreadCycleTimeFunctionForTesting(&FakeCycleTime);
  g_fake_cycles = static_cast<unsigned long long>(ticks_per_second * 3);
  EXPECT_NEAR(3000000, ThreadTicks::Now().ToInternalValue(), 1);
  // A failed or missing cycle count gives no measurement.
  g_fake_cycles = 0;
  EXPECT_TRUE(ThreadTicks::Now().is_null());
  internal::SetThreadCycleTimeFunctionForTesting(nullptr);
  EXPECT_TRUE(ThreadTicks::Now().is_null());
  internal::SetThreadCycleTimeFunctionForTesting(real);
}

// Timer-period functions for the seam; they count the calls with 4 ms.
int g_begin_calls = 0;
int g_end_calls = 0;
unsigned __stdcall FakeBeginPeriod(unsigned period) {
  g_begin_calls += period == 4;
  return 0;
}
unsigned __stdcall FakeEndPeriod(unsigned period) {
  g_end_calls += period == 4;
  return 0;
}

TEST(TimeTest, HighResolutionTimerFollowsTheOutermostActivation) {
  internal::SetTimerPeriodFunctionsForTesting(&FakeBeginPeriod, &FakeEndPeriod);
  g_begin_calls = g_end_calls = 0;
  EXPECT_FALSE(Time::ActivateHighResolutionTimer(true));
  EXPECT_EQ(1, g_begin_calls);
  Time::ActivateHighResolutionTimer(true);
  EXPECT_FALSE(Time::ActivateHighResolutionTimer(false));
  EXPECT_EQ(1, g_begin_calls);  // One activation is still in force.
  EXPECT_EQ(0, g_end_calls);
  Time::ActivateHighResolutionTimer(false);
  EXPECT_EQ(1, g_end_calls);
  internal::SetTimerPeriodFunctionsForTesting(nullptr, nullptr);
}

// The counter the rollover clock reads; the clock calls it under its lock.
uint32_t g_reading = 0;
uint32_t ReadFakeCounter() {
  return g_reading;
}
// Moves a quarter of the range on every read, so it wraps every fourth.
uint32_t ReadQuarterSteppingCounter() {
  return g_reading += 0x40000000;
}

// Each wrap of the 32-bit counter adds 2^32 ms; each clock counts its own.
TEST(RolloverTickClockTest, CountsEveryWrapAndNothingElse) {
  internal::RolloverTickClock clock(&ReadFakeCounter);
  internal::RolloverTickClock other(&ReadFakeCounter);
  const int64_t kWrap = 0x100000000;
  const std::pair<uint32_t, int64_t> kSteps[] = {
      {0, 0},
      {0xFFFFFFF0, 0xFFFFFFF0},
      {0x10, kWrap + 0x10},
      {0x10, kWrap + 0x10},
      {0xFFFFFFFF, kWrap + 0xFFFFFFFF},
      {0, 2 * kWrap},
  };
  for (const auto& step : kSteps) {
    g_reading = step.first;
    EXPECT_EQ(TimeDelta::FromMilliseconds(step.second), clock.Now());
  }
  EXPECT_EQ(TimeDelta::FromMilliseconds(0), other.Now());
}

// Readers on many threads see every step once, in order on each thread.
TEST(RolloverTickClockTest, ConcurrentReadersSeeEveryStepOnce) {
  internal::RolloverTickClock clock(&ReadQuarterSteppingCounter);
  g_reading = 0;
  std::vector<std::vector<int64_t>> seen(8);
  std::vector<std::thread> threads;
  for (std::vector<int64_t>& values : seen) {
    threads.emplace_back([&clock, &values] {
      for (int i = 0; i < 2000; ++i)
        values.push_back(clock.Now().InMilliseconds());
    });
  }
  std::vector<int64_t> all;
  for (size_t t = 0; t < threads.size(); ++t) {
    threads[t].join();
    EXPECT_TRUE(std::is_sorted(seen[t].begin(), seen[t].end()));
    all.insert(all.end(), seen[t].begin(), seen[t].end());
  }
  std::sort(all.begin(), all.end());
  ASSERT_EQ(8u * 2000, all.size());
  for (size_t i = 0; i < all.size(); ++i)
    ASSERT_EQ(static_cast<int64_t>(i + 1) * 0x40000000, all[i]) << i;
}

}  // namespace
}  // namespace base
