// The Windows clocks behind Time, TimeTicks and ThreadTicks, and the
// conversions between Time and the Windows time representations.

#include <windows.h>

#include <intrin.h>
#include <mmsystem.h>

#include <atomic>
#include <limits>

#include "base/cpu.h"
#include "base/lazy_instance.h"
#include "base/synchronization/lock.h"
#include "base/time/rollover_tick_clock.h"
#include "base/time/time.h"

namespace base {

namespace {

constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t kInt64Min = std::numeric_limits<int64_t>::min();

// FILETIMEs count 100-nanosecond units.
constexpr int64_t kFileTimeUnitsPerMicrosecond = 10;

// Above this many counts the product with 1,000,000 would leave 64 bits.
constexpr int64_t kQPCOverflowThreshold = 9223372036855;

// How long the wall clock follows the tick clock before it reads the system
// clock again, so that changes of the system clock show within a minute.
constexpr int64_t kMaxMillisecondsToAvoidDrift = 60000;

// The timer period while high-resolution work is pending.
constexpr unsigned kHighResolutionPeriodMs = 4;

// Thread CPU time needs at least this long between the two samples that
// measure the time-stamp-counter frequency.
constexpr double kMinimumTSCMeasuringSeconds = 0.05;

// The tick source, chosen on the first reading. The frequency is published
// before the source, so a thread that sees the source sees the frequency.
std::atomic<TimeTicks::TickFunction> g_now_function{
    &TimeTicks::InitialNowFunction};
std::atomic<int64_t> g_qpc_frequency{0};

// The wall-clock anchor: the system time and the tick reading taken together.
// The pair is read and written under a lock: a reader that mixed the time of
// one anchor with the ticks of another would be off by as much as a minute.
struct WallClockAnchor {
  int64_t time_us = 0;  // 0 until the first anchor is taken.
  TimeTicks ticks;
};
LazyInstance::Leaky<Lock> g_anchor_lock;
WallClockAnchor g_anchor;

// The timer-resolution state.
LazyInstance::Leaky<Lock> g_timer_lock;
uint32_t g_high_resolution_activations = 0;
std::atomic<internal::TimerPeriodFunction> g_begin_period{&timeBeginPeriod};
std::atomic<internal::TimerPeriodFunction> g_end_period{&timeEndPeriod};

// The thread-CPU-time state.
std::atomic<bool> g_thread_cycle_time_looked_up{false};
std::atomic<internal::ThreadCycleTimeFunction> g_thread_cycle_time{nullptr};
std::atomic<int> g_thread_ticks_supported{-1};  // -1 until computed.
std::atomic<double> g_tsc_ticks_per_second{0.0};

internal::RolloverTickClock& GetRolloverTickClock() {
  // Never destroyed: threads that outlive the module's static destructors
  // may still read the clock.
  static internal::RolloverTickClock* const clock =
      new internal::RolloverTickClock(&ReadMillisecondTicks);
  return *clock;
}

int64_t FileTimeToInt64(const FILETIME& ft) {
  return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) |
                              ft.dwLowDateTime);
}

FILETIME Int64ToFileTime(int64_t value) {
  uint64_t bits = static_cast<uint64_t>(value);
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(bits);
  ft.dwHighDateTime = static_cast<DWORD>(bits >> 32);
  return ft;
}

WallClockAnchor TakeWallClockAnchor() {
  WallClockAnchor anchor;
  anchor.ticks = TimeTicks::Now();
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  anchor.time_us = FileTimeToInt64(ft) / kFileTimeUnitsPerMicrosecond;
  AutoLock locked(g_anchor_lock.Get());
  g_anchor = anchor;
  return anchor;
}

WallClockAnchor ReadWallClockAnchor() {
  AutoLock locked(g_anchor_lock.Get());
  return g_anchor;
}

bool FitsInSystemTimeField(int value) {
  return value >= 0 && value <= 0xFFFF;
}

// The fields as a SYSTEMTIME; false when one of them does not fit, since
// cutting it to 16 bits could turn a wrong date into a valid one.
bool ExplodedToSystemTime(const Time::Exploded& exploded, SYSTEMTIME* st) {
  const int fields[] = {exploded.year,        exploded.month,
                        exploded.day_of_week, exploded.day_of_month,
                        exploded.hour,        exploded.minute,
                        exploded.second,      exploded.millisecond};
  for (int field : fields) {
    if (!FitsInSystemTimeField(field))
      return false;
  }
  st->wYear = static_cast<WORD>(exploded.year);
  st->wMonth = static_cast<WORD>(exploded.month);
  st->wDayOfWeek = static_cast<WORD>(exploded.day_of_week);
  st->wDay = static_cast<WORD>(exploded.day_of_month);
  st->wHour = static_cast<WORD>(exploded.hour);
  st->wMinute = static_cast<WORD>(exploded.minute);
  st->wSecond = static_cast<WORD>(exploded.second);
  st->wMilliseconds = static_cast<WORD>(exploded.millisecond);
  return true;
}

// Whether |st| names a date and time that exists. Some implementations of
// SystemTimeToFileTime quietly move a day that the month lacks (such as
// February 29 of a common year) into the next month; converting back shows
// the move.
bool IsRealDate(const SYSTEMTIME& st) {
  FILETIME ft;
  SYSTEMTIME back;
  if (!SystemTimeToFileTime(&st, &ft) || !FileTimeToSystemTime(&ft, &back))
    return false;
  return back.wYear == st.wYear && back.wMonth == st.wMonth &&
         back.wDay == st.wDay && back.wHour == st.wHour &&
         back.wMinute == st.wMinute && back.wSecond == st.wSecond &&
         back.wMilliseconds == st.wMilliseconds;
}

void SystemTimeToExploded(const SYSTEMTIME& st, Time::Exploded* exploded) {
  exploded->year = st.wYear;
  exploded->month = st.wMonth;
  exploded->day_of_week = st.wDayOfWeek;
  exploded->day_of_month = st.wDay;
  exploded->hour = st.wHour;
  exploded->minute = st.wMinute;
  exploded->second = st.wSecond;
  exploded->millisecond = st.wMilliseconds;
}

internal::ThreadCycleTimeFunction GetThreadCycleTimeFunction() {
  if (!g_thread_cycle_time_looked_up.load(std::memory_order_acquire)) {
    // Only some Windows versions export it.
    FARPROC address = GetProcAddress(GetModuleHandleW(L"kernel32.dll"),
                                     "QueryThreadCycleTime");
    g_thread_cycle_time.store(
        reinterpret_cast<internal::ThreadCycleTimeFunction>(
            reinterpret_cast<void*>(address)),
        std::memory_order_release);
    g_thread_cycle_time_looked_up.store(true, std::memory_order_release);
  }
  return g_thread_cycle_time.load(std::memory_order_acquire);
}

struct TSCSample {
  uint64_t tsc;
  int64_t qpc;
};

TSCSample TakeTSCSample() {
  TSCSample sample;
  sample.tsc = __rdtsc();
  LARGE_INTEGER qpc;
  QueryPerformanceCounter(&qpc);
  sample.qpc = qpc.QuadPart;
  return sample;
}

}  // namespace

// Time ----------------------------------------------------------------------

// static
Time Time::Now() {
  WallClockAnchor anchor = ReadWallClockAnchor();
  if (anchor.time_us == 0)
    anchor = TakeWallClockAnchor();
  while (true) {
    TimeDelta elapsed = TimeTicks::Now() - anchor.ticks;
    if (elapsed.InMilliseconds() <= kMaxMillisecondsToAvoidDrift)
      return Time(
          TimeDelta::SaturatedAdd(elapsed.InMicroseconds(), anchor.time_us)
              .InMicroseconds());
    anchor = TakeWallClockAnchor();
  }
}

// static
Time Time::FromFileTime(const FILETIME& ft) {
  if (ft.dwLowDateTime == 0 && ft.dwHighDateTime == 0)
    return Time();
  if (ft.dwLowDateTime == 0xFFFFFFFF && ft.dwHighDateTime == 0xFFFFFFFF)
    return Max();
  return Time(FileTimeToInt64(ft) / kFileTimeUnitsPerMicrosecond);
}

FILETIME Time::ToFileTime() const {
  if (us_ > kInt64Max / kFileTimeUnitsPerMicrosecond)
    return Int64ToFileTime(-1);  // Every bit set: the maximum.
  if (us_ < kInt64Min / kFileTimeUnitsPerMicrosecond)
    return Int64ToFileTime(kInt64Min);
  return Int64ToFileTime(us_ * kFileTimeUnitsPerMicrosecond);
}

void Time::Explode(bool is_local, Exploded* exploded) const {
  *exploded = Exploded();
  // Times before 1601 have no date, and times whose FILETIME would not fit
  // in 64 bits must not wrap around into some other valid date.
  if (us_ < 0 || us_ > kInt64Max / kFileTimeUnitsPerMicrosecond)
    return;
  FILETIME ft = ToFileTime();
  SYSTEMTIME utc;
  if (!FileTimeToSystemTime(&ft, &utc))
    return;
  SYSTEMTIME st = utc;
  if (is_local && !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &st))
    return;
  SystemTimeToExploded(st, exploded);
}

// static
Time Time::FromExploded(bool is_local, const Exploded& exploded) {
  SYSTEMTIME st;
  if (!ExplodedToSystemTime(exploded, &st) || !IsRealDate(st))
    return Time();
  if (is_local) {
    SYSTEMTIME utc;
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &st, &utc))
      return Time();
    st = utc;
  }
  FILETIME ft;
  if (!SystemTimeToFileTime(&st, &ft))
    return Time();
  return Time(FileTimeToInt64(ft) / kFileTimeUnitsPerMicrosecond);
}

// static
bool Time::ActivateHighResolutionTimer(bool activating) {
  AutoLock locked(g_timer_lock.Get());
  if (activating) {
    if (++g_high_resolution_activations == 1)
      g_begin_period.load()(kHighResolutionPeriodMs);
  } else {
    if (--g_high_resolution_activations == 0)
      g_end_period.load()(kHighResolutionPeriodMs);
  }
  return false;
}

// TimeTicks -----------------------------------------------------------------

// static
TimeTicks TimeTicks::Now() {
  TickFunction now = g_now_function.load(std::memory_order_acquire);
  return TimeTicks() + now();
}

// static
TimeDelta TimeTicks::InitialNowFunction() {
  ChooseNowFunction();
  return g_now_function.load(std::memory_order_acquire)();
}

// static
void TimeTicks::ChooseNowFunction() {
  LARGE_INTEGER frequency;
  int64_t qpc_frequency =
      QueryPerformanceFrequency(&frequency) ? frequency.QuadPart : 0;
  CPU cpu;
  TickFunction now = internal::ShouldUseQPCTicks(qpc_frequency, cpu)
                         ? &TimeTicks::QPCNow
                         : &TimeTicks::RolloverProtectedNow;
  // Racing threads store the same values.
  g_qpc_frequency.store(qpc_frequency, std::memory_order_release);
  g_now_function.store(now, std::memory_order_release);
}

// static
TimeDelta TimeTicks::QPCNow() {
  LARGE_INTEGER count;
  QueryPerformanceCounter(&count);
  return TimeDelta::FromMicroseconds(internal::QPCValueToMicroseconds(
      count.QuadPart, g_qpc_frequency.load(std::memory_order_acquire)));
}

// static
TimeDelta TimeTicks::RolloverProtectedNow() {
  return GetRolloverTickClock().Now();
}

// ThreadTicks ---------------------------------------------------------------

// static
bool ThreadTicks::IsSupported() {
  int supported = g_thread_ticks_supported.load(std::memory_order_acquire);
  if (supported < 0) {
    supported = internal::CanMeasureThreadTicks(
        GetThreadCycleTimeFunction() != nullptr, CPU());
    g_thread_ticks_supported.store(supported, std::memory_order_release);
  }
  return supported != 0;
}

// static
ThreadTicks ThreadTicks::Now() {
  internal::ThreadCycleTimeFunction query_cycles = GetThreadCycleTimeFunction();
  unsigned long long cycles = 0;
  // The function can exist and still fail (it does under some emulation
  // layers); no cycle count means no measurement.
  if (!query_cycles || !query_cycles(GetCurrentThread(), &cycles))
    return ThreadTicks();
  return ThreadTicks(
      internal::ThreadCyclesToMicroseconds(cycles, TSCTicksPerSecond()));
}

// static
double ThreadTicks::TSCTicksPerSecond() {
  double cached = g_tsc_ticks_per_second.load(std::memory_order_acquire);
  if (cached != 0.0)
    return cached;

  // A higher priority makes it less likely that the thread is preempted
  // between reading the two counters of a sample.
  HANDLE thread = GetCurrentThread();
  int previous_priority = GetThreadPriority(thread);
  SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
  static const TSCSample first = TakeTSCSample();
  TSCSample now = TakeTSCSample();
  SetThreadPriority(thread, previous_priority);

  LARGE_INTEGER qpc_frequency;
  if (!QueryPerformanceFrequency(&qpc_frequency) || qpc_frequency.QuadPart < 1)
    return 0.0;
  double elapsed_seconds =
      static_cast<double>(static_cast<uint64_t>(now.qpc - first.qpc)) /
      static_cast<double>(qpc_frequency.QuadPart);
  if (elapsed_seconds < kMinimumTSCMeasuringSeconds)
    return 0.0;
  double ticks_per_second =
      static_cast<double>(now.tsc - first.tsc) / elapsed_seconds;
  g_tsc_ticks_per_second.store(ticks_per_second, std::memory_order_release);
  return ticks_per_second;
}

// Free functions --------------------------------------------------------------

bool IsAuthenticAMDFamily15(const CPU& cpu) {
  return cpu.vendor_name() == "AuthenticAMD" && cpu.family() == 15;
}

uint32_t ReadMillisecondTicks() {
  return timeGetTime();
}

namespace internal {

int64_t QPCValueToMicroseconds(int64_t count, int64_t frequency) {
  if (frequency < 1)
    return 0;
  if (count < kQPCOverflowThreshold)
    return count * Time::kMicrosecondsPerSecond / frequency;
  // Split into whole seconds and the rest so that no product leaves 64 bits.
  int64_t whole_seconds = count / frequency;
  int64_t leftover_counts = count % frequency;
  return whole_seconds * Time::kMicrosecondsPerSecond +
         leftover_counts * Time::kMicrosecondsPerSecond / frequency;
}

bool ShouldUseQPCTicks(int64_t qpc_frequency, const CPU& cpu) {
  return qpc_frequency >= 1 && cpu.has_non_stop_time_stamp_counter() &&
         !IsAuthenticAMDFamily15(cpu);
}

bool CanMeasureThreadTicks(bool has_thread_cycle_time, const CPU& cpu) {
  return has_thread_cycle_time && cpu.has_non_stop_time_stamp_counter() &&
         !IsAuthenticAMDFamily15(cpu);
}

int64_t ThreadCyclesToMicroseconds(uint64_t cycles, double ticks_per_second) {
  if (ticks_per_second == 0.0)
    return 0;
  double us = static_cast<double>(cycles) / ticks_per_second *
              static_cast<double>(Time::kMicrosecondsPerSecond);
  // Converting a double beyond the range of int64_t is undefined.
  if (us >= 9223372036854775807.0)
    return kInt64Max;
  return static_cast<int64_t>(us);
}

ThreadCycleTimeFunction SetThreadCycleTimeFunctionForTesting(
    ThreadCycleTimeFunction function) {
  GetThreadCycleTimeFunction();  // Looks the system's function up first.
  return g_thread_cycle_time.exchange(function);
}

void SetTimerPeriodFunctionsForTesting(TimerPeriodFunction begin,
                                       TimerPeriodFunction end) {
  g_begin_period.store(begin ? begin : &timeBeginPeriod);
  g_end_period.store(end ? end : &timeEndPeriod);
}

}  // namespace internal

}  // namespace base
