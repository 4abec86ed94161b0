#ifndef BASE_TRACKED_OBJECTS_H_
#define BASE_TRACKED_OBJECTS_H_

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <map>
#include <string>
#include <unordered_map>

#include "base/location.h"
#include "base/profiler/tracked_time.h"
#include "base/synchronization/lock.h"

// The task profiler: per thread, how many tasks were posted from each
// location (births) and, per birth record, how many of them ran and how
// long they waited and ran (deaths). Profiling starts with the first thread
// that names itself and stays on; times are 32-bit milliseconds, and sums
// wrap.

namespace base {

struct PendingTask;
class TaskStopwatch;
class ThreadData;

// The tasks posted from one location on one thread; never freed.
class Births {
 public:
  Births(const Location& location, const ThreadData& current);
  Births(const Births&) = delete;
  Births& operator=(const Births&) = delete;

  const Location& location() const { return location_; }
  const ThreadData* birth_thread() const { return birth_thread_; }
  int32_t birth_count() const { return birth_count_; }
  void RecordBirth();

 private:
  const Location location_;
  const ThreadData* const birth_thread_;
  int32_t birth_count_;
};

// The runs of one birth record's tasks on one thread.
class DeathData {
 public:
  DeathData();

  // Counts saturate; sums wrap. The durations become the samples when
  // |random_number| picks this run.
  void RecordDeath(int32_t queue_duration,
                   int32_t run_duration,
                   uint32_t random_number);

  int32_t count() const { return count_; }
  int32_t sample_probability_count() const { return sample_probability_count_; }
  int32_t run_duration_sum() const { return run_duration_sum_; }
  int32_t queue_duration_sum() const { return queue_duration_sum_; }
  int32_t run_duration_max() const { return run_duration_max_; }
  int32_t queue_duration_max() const { return queue_duration_max_; }
  int32_t run_duration_sample() const { return run_duration_sample_; }
  int32_t queue_duration_sample() const { return queue_duration_sample_; }

 private:
  int32_t count_;
  int32_t sample_probability_count_;
  int32_t run_duration_sum_;
  int32_t queue_duration_sum_;
  int32_t run_duration_max_;
  int32_t queue_duration_max_;
  int32_t run_duration_sample_;
  int32_t queue_duration_sample_;
};

// The profiler's record of one thread: a named thread's, or a numbered
// worker record that unnamed pool threads reuse when they end. Records are
// never freed; only their own thread writes their maps.
class ThreadData {
 public:
  enum Status {
    UNINITIALIZED = 0,
    DORMANT_DURING_TESTS = 1,
    DEACTIVATED = 2,
    PROFILING_ACTIVE = 3,
  };

  // Where births are kept: by file and line, not by function.
  struct BirthKey {
    const char* file_name;
    int32_t line_number;
    bool operator==(const BirthKey& other) const {
      return file_name == other.file_name && line_number == other.line_number;
    }
  };
  struct BirthKeyHash {
    size_t operator()(const BirthKey& key) const;
  };
  typedef std::unordered_map<BirthKey, Births*, BirthKeyHash> BirthMap;
  typedef std::map<const Births*, DeathData> DeathMap;

  ThreadData() = delete;
  ThreadData(const ThreadData&) = delete;
  ThreadData& operator=(const ThreadData&) = delete;

  // Starts profiling (once) and gives the calling thread a record named
  // |suggested_name| unless it has one.
  static void InitializeThreadContext(const std::string& suggested_name);
  static void Initialize();
  static Status status();

  // The calling thread's record: its own, a retired worker record, or a new
  // one; null before profiling starts.
  static ThreadData* Get();

  // The birth record of |location| on the calling thread, counting one more
  // birth; null while profiling is off.
  static Births* TallyABirthIfActive(const Location& location) {
    return IsActive() ? TallyABirthOnCurrentThread(location) : nullptr;
  }

  // The profiler's clock; the null time while timing is off.
  static TrackedTime Now() {
    return IsActive() ? NowWhileActive() : TrackedTime();
  }
  // Off only when the switch "profiler-timing" is "0".
  static bool IsProfilerTimingEnabled();

  // Records that |pending_task| ran on a named thread, timed by the stopped
  // |stopwatch|.
  static inline void TallyRunOnNamedThreadIfTracking(
      const PendingTask& pending_task,
      const TaskStopwatch& stopwatch);
  // Records that a task of |births| posted at |time_posted| ran on a worker
  // thread, timed by the stopped |stopwatch|.
  static void TallyRunOnWorkerThreadIfTracking(const Births* births,
                                               const TrackedTime& time_posted,
                                               const TaskStopwatch& stopwatch);

  const std::string& thread_name() const { return thread_name_; }
  int worker_thread_number() const { return worker_thread_number_; }

  // Copies of the maps, safe from any thread.
  void SnapshotMaps(BirthMap* birth_map, DeathMap* death_map);

  // Process-wide counters, for tests.
  static int worker_thread_data_creation_count();
  static int cleanup_count();

 private:
  friend class TaskStopwatch;

  // Every posted and every run task asks this, so the answer is an inline
  // load: while no thread has named itself the machinery must cost what it
  // did without the profiler.
  static bool IsActive() {
    return status_.load(std::memory_order_acquire) == PROFILING_ACTIVE;
  }
  static Births* TallyABirthOnCurrentThread(const Location& location);
  static TrackedTime NowWhileActive();
  static void TallyRunOnNamedThread(const PendingTask& pending_task,
                                    const TaskStopwatch& stopwatch);

  static std::atomic<int> status_;

  explicit ThreadData(const std::string& suggested_name);
  explicit ThreadData(int thread_number);

  void PushToHeadOfList();
  Births* TallyABirth(const Location& location);
  void TallyADeath(const Births& births,
                   int32_t queue_duration,
                   const TaskStopwatch& stopwatch);
  // Runs when the record's thread ends: a worker record is retired for
  // reuse.
  static void OnThreadTermination(void* thread_data);
  void OnThreadTerminationCleanup();

  ThreadData* next_;
  ThreadData* next_retired_worker_;
  const std::string thread_name_;
  const int worker_thread_number_;
  BirthMap birth_map_;
  DeathMap death_map_;
  // Taken when either map may grow, so that readers on other threads can
  // copy them.
  Lock map_lock_;
  uint32_t random_number_;
  int incarnation_count_for_pool_;
  TaskStopwatch* current_stopwatch_;
};

// Times one task or one nested run on the calling thread. A stopwatch
// started inside another one takes its span out of the outer one's run
// time.
class TaskStopwatch {
 public:
  TaskStopwatch();
  TaskStopwatch(const TaskStopwatch&) = delete;
  TaskStopwatch& operator=(const TaskStopwatch&) = delete;
  ~TaskStopwatch();

  void Start() {
    if (ThreadData::IsActive())
      StartWhileActive();
  }
  // A stopwatch started before profiling began has nothing to time or to
  // hand back.
  void Stop() {
    if (current_thread_data_ || !start_time_.is_null())
      StopStarted();
  }

  // When Start ran, by the profiler's clock.
  TrackedTime StartTime() const { return start_time_; }
  // Milliseconds between Start and Stop; 0 when timing is off.
  int32_t RunDurationMs() const { return wallclock_duration_ms_; }
  // The part of it that nested stopwatches took.
  int32_t ExcludedDurationMs() const { return excluded_duration_ms_; }
  // The record of the thread that started the stopwatch, or null.
  ThreadData* GetThreadData() const { return current_thread_data_; }

 private:
  void StartWhileActive();
  void StopStarted();

  TrackedTime start_time_;
  int32_t wallclock_duration_ms_;
  ThreadData* current_thread_data_;
  int32_t excluded_duration_ms_;
  TaskStopwatch* parent_;
};

// static
inline void ThreadData::TallyRunOnNamedThreadIfTracking(
    const PendingTask& pending_task,
    const TaskStopwatch& stopwatch) {
  if (stopwatch.GetThreadData())
    TallyRunOnNamedThread(pending_task, stopwatch);
}

}  // namespace base

#endif  // BASE_TRACKED_OBJECTS_H_
