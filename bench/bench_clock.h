#ifndef BENCH_BENCH_CLOCK_H_
#define BENCH_BENCH_CLOCK_H_

#include <windows.h>

namespace bench {

// Seconds on the performance counter, the finest clock the benchmarks have.
inline double Now() {
  LARGE_INTEGER frequency;
  LARGE_INTEGER counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

}  // namespace bench

#endif  // BENCH_BENCH_CLOCK_H_
