#ifndef BASE_TRACKED_OBJECTS_H_
#define BASE_TRACKED_OBJECTS_H_

#include <stdint.h>

#include <string>

#include "base/profiler/tracked_time.h"

// The task profiler's interface to the code that posts and runs tasks. For
// now it keeps no records: profiling never becomes active, so no birth is
// tallied, its clock reads the null time and runs are not recorded. Callers
// use it exactly as they will once records are kept, since what it records
// never changes what they do.

namespace base {

class Location;
struct PendingTask;
class TaskStopwatch;

// The profiler's record of the tasks posted from one location on one
// thread.
class Births;

// The profiler's per-thread record.
class ThreadData {
 public:
  ThreadData() = delete;

  // Names the calling thread's record, starting profiling on first use.
  static void InitializeThreadContext(const std::string& suggested_name);

  // The calling thread's record; null while profiling is off.
  static ThreadData* Get();

  // The birth record of |location| on the calling thread, counting one more
  // birth; null while profiling is off.
  static Births* TallyABirthIfActive(const Location& location);

  // The profiler's clock; the null time while timing is off.
  static TrackedTime Now();

  // Records that |pending_task| ran on a named thread, timed by the stopped
  // |stopwatch|.
  static void TallyRunOnNamedThreadIfTracking(const PendingTask& pending_task,
                                              const TaskStopwatch& stopwatch);

  // Records that a task of |births| posted at |time_posted| ran on a worker
  // thread, timed by the stopped |stopwatch|.
  static void TallyRunOnWorkerThreadIfTracking(const Births* births,
                                               const TrackedTime& time_posted,
                                               const TaskStopwatch& stopwatch);
};

// Times one task or one nested run on the calling thread.
class TaskStopwatch {
 public:
  TaskStopwatch();
  TaskStopwatch(const TaskStopwatch&) = delete;
  TaskStopwatch& operator=(const TaskStopwatch&) = delete;
  ~TaskStopwatch();

  void Start();
  void Stop();

  // When Start ran, by the profiler's clock.
  TrackedTime StartTime() const { return start_time_; }
  // Milliseconds between Start and Stop; 0 when timing is off.
  int32_t RunDurationMs() const { return wallclock_duration_ms_; }
  // The record of the thread that started the stopwatch, or null.
  ThreadData* GetThreadData() const { return current_thread_data_; }

 private:
  TrackedTime start_time_;
  int32_t wallclock_duration_ms_;
  ThreadData* current_thread_data_;
};

}  // namespace base

#endif  // BASE_TRACKED_OBJECTS_H_
