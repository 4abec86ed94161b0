// Posts and runs a million trivial tasks on the calling thread's message
// loop, the way the installer's threads move work, and reports how long it
// took, first before the task profiler is active (no thread named yet), then
// after the thread names itself, which starts the profiler's tallies. Trace
// recording stays off throughout, as it does in the installer.
//   task_bench.exe [PASSES] [TASKS] [--profiler-timing=0]
// Prints one line per pass and phase: "<phase> <tasks> <seconds>"; the
// second phase is "named-untimed" when the profiler's timing is off.

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "base/at_exit.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/threading/platform_thread.h"
#include "bench/bench_clock.h"

using bench::Now;

namespace {

void Increment(int* count) {
  ++*count;
}

// Seconds to post |tasks| tasks to |loop| and run them all.
double PostAndRun(base::MessageLoop* loop, int tasks) {
  int count = 0;
  const double start = Now();
  for (int i = 0; i < tasks; ++i)
    loop->PostTask(LOCATION_FROM_HERE("PostAndRun"),
                   base::Bind(&Increment, &count));
  base::RunLoop run_loop;
  loop->PostTask(LOCATION_FROM_HERE("PostAndRun"), run_loop.QuitClosure());
  run_loop.Run();
  const double seconds = Now() - start;
  if (count != tasks) {
    fprintf(stderr, "task_bench: %d of %d tasks ran\n", count, tasks);
    exit(1);
  }
  return seconds;
}

void RunPhase(const char* phase,
              base::MessageLoop* loop,
              int passes,
              int tasks) {
  for (int pass = 0; pass < passes; ++pass)
    printf("%s %d %.6f\n", phase, tasks, PostAndRun(loop, tasks));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int passes = argc > 1 ? _wtoi(argv[1]) : 1;
  const int tasks = argc > 2 ? _wtoi(argv[2]) : 1000000;
  if (passes < 1 || tasks < 1) {
    fprintf(stderr,
            "usage: task_bench [PASSES] [TASKS] [--profiler-timing=0]\n");
    return 2;
  }
  base::AtExitManager at_exit;
  base::CommandLine::Init();
  const bool untimed =
      base::CommandLine::ForCurrentProcess()->GetSwitchValueASCII(
          "profiler-timing") == "0";
  base::MessageLoop loop;
  RunPhase("unnamed", &loop, passes, tasks);
  base::PlatformThread::SetName("TaskBench");
  RunPhase(untimed ? "named-untimed" : "named", &loop, passes, tasks);
  return 0;
}
