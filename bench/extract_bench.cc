// Unpacks a 7z archive through LzmaExtractor, the way the installer unpacks
// a downloaded package, and reports how long it took and the process's peak
// working set.
//   extract_bench.exe ARCHIVE TARGET [PASSES]
// TARGET is removed before each pass. Prints one line per pass,
// "<seconds>", then "peak_working_set: <bytes>".

#include <windows.h>

#include <psapi.h>
#include <stdio.h>
#include <wchar.h>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "bench/bench_clock.h"
#include "desktop/launcher/installer/package_fetcher/lzma_util.h"

using bench::Now;

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: extract_bench ARCHIVE TARGET [PASSES]\n");
    return 2;
  }
  const base::FilePath archive(argv[1]);
  const base::FilePath target(argv[2]);
  const int passes = argc > 3 ? _wtoi(argv[3]) : 1;
  for (int pass = 0; pass < passes; ++pass) {
    base::DeleteFile(target, true);
    if (!base::CreateDirectory(target)) {
      fprintf(stderr, "extract_bench: cannot create %ls\n", argv[2]);
      return 1;
    }
    const double start = Now();
    vexlo::installer::LzmaExtractor extractor;
    const uint32_t opened = extractor.Open(archive);
    const int32_t result = opened ? -1 : extractor.Extract(target);
    const double seconds = Now() - start;
    if (opened || result) {
      fprintf(stderr, "extract_bench: open %u, extract %d\n", opened, result);
      return 1;
    }
    printf("%.6f\n", seconds);
  }
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) {
    fprintf(stderr, "extract_bench: no memory counters (%lu)\n",
            GetLastError());
    return 1;
  }
  printf("peak_working_set: %llu\n",
         static_cast<unsigned long long>(counters.PeakWorkingSetSize));
  return 0;
}
