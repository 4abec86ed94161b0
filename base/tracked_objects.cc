#include "base/tracked_objects.h"

#include <limits>

#include "base/command_line.h"
#include "base/logging.h"
#include "base/pending_task.h"
#include "base/strings/stringprintf.h"
#include "base/threading/thread_local_storage.h"

namespace base {

namespace {

constexpr int32_t kCountMax = std::numeric_limits<int32_t>::max();

// Timing setting, decided once the command line exists.
enum TimingSetting {
  kTimingUndecided = 0,
  kTimingEnabled = 1,
  kTimingDisabled = 2
};

std::atomic<int> g_timing_setting{kTimingUndecided};
ThreadLocalStorage::StaticSlot g_thread_data_slot;

// All below are guarded by the list lock.
ThreadData* g_all_thread_data_list_head = nullptr;
ThreadData* g_first_retired_worker = nullptr;
int g_worker_thread_data_creation_count = 0;
int g_cleanup_count = 0;
int g_incarnation_counter = 0;

Lock* ListLock() {
  static Lock* const lock = new Lock();
  return lock;
}

// 32-bit sums that wrap instead of overflowing.
int32_t WrappingAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) +
                              static_cast<uint32_t>(b));
}

}  // namespace

std::atomic<int> ThreadData::status_{ThreadData::UNINITIALIZED};

Births::Births(const Location& location, const ThreadData& current)
    : location_(location), birth_thread_(&current), birth_count_(1) {}

void Births::RecordBirth() {
  birth_count_ = WrappingAdd(birth_count_, 1);
}

DeathData::DeathData()
    : count_(0),
      sample_probability_count_(0),
      run_duration_sum_(0),
      queue_duration_sum_(0),
      run_duration_max_(0),
      queue_duration_max_(0),
      run_duration_sample_(0),
      queue_duration_sample_(0) {}

void DeathData::RecordDeath(int32_t queue_duration,
                            int32_t run_duration,
                            uint32_t random_number) {
  if (count_ < kCountMax)
    ++count_;
  if (sample_probability_count_ < kCountMax)
    ++sample_probability_count_;
  queue_duration_sum_ = WrappingAdd(queue_duration_sum_, queue_duration);
  run_duration_sum_ = WrappingAdd(run_duration_sum_, run_duration);
  if (queue_duration_max_ < queue_duration)
    queue_duration_max_ = queue_duration;
  if (run_duration_max_ < run_duration)
    run_duration_max_ = run_duration;
  // Each run so far has had the same chance of being the sample.
  if (random_number % static_cast<uint32_t>(sample_probability_count_) == 0) {
    queue_duration_sample_ = queue_duration;
    run_duration_sample_ = run_duration;
  }
}

size_t ThreadData::BirthKeyHash::operator()(const BirthKey& key) const {
  const uint64_t file = reinterpret_cast<uintptr_t>(key.file_name);
  const uint64_t line =
      static_cast<uint64_t>(static_cast<int64_t>(key.line_number));
  return static_cast<size_t>(
      (file & 0xFFFFFFFF) * 842304669u + (file >> 32) * 619063811u +
      (line & 0xFFFFFFFF) * 937041849u + (line >> 32) * 3309708029u);
}

ThreadData::ThreadData(const std::string& suggested_name)
    : next_(nullptr),
      next_retired_worker_(nullptr),
      thread_name_(suggested_name),
      worker_thread_number_(0),
      random_number_(0),
      incarnation_count_for_pool_(-1),
      current_stopwatch_(nullptr) {
  PushToHeadOfList();
}

ThreadData::ThreadData(int thread_number)
    : next_(nullptr),
      next_retired_worker_(nullptr),
      thread_name_(StringPrintf("WorkerThread-%d", thread_number)),
      worker_thread_number_(thread_number),
      random_number_(0),
      incarnation_count_for_pool_(-1),
      current_stopwatch_(nullptr) {
  CHECK_GT(thread_number, 0);
  PushToHeadOfList();
}

void ThreadData::PushToHeadOfList() {
  // Some entropy for the choice of samples.
  random_number_ += static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this) /
                                          sizeof(ThreadData));
  random_number_ ^= static_cast<uint32_t>(Now() - TrackedTime());
  AutoLock lock(*ListLock());
  incarnation_count_for_pool_ = g_incarnation_counter;
  next_ = g_all_thread_data_list_head;
  g_all_thread_data_list_head = this;
}

// static
void ThreadData::Initialize() {
  if (status_.load(std::memory_order_acquire) >= DEACTIVATED)
    return;
  AutoLock lock(*ListLock());
  if (status_.load(std::memory_order_acquire) >= DEACTIVATED)
    return;
  if (!g_thread_data_slot.initialized())
    g_thread_data_slot.Initialize(&OnThreadTermination);
  ++g_incarnation_counter;
  status_.store(PROFILING_ACTIVE, std::memory_order_release);
}

// static
ThreadData::Status ThreadData::status() {
  return static_cast<Status>(status_.load(std::memory_order_acquire));
}

// static
void ThreadData::InitializeThreadContext(const std::string& suggested_name) {
  Initialize();
  if (g_thread_data_slot.Get())
    return;
  g_thread_data_slot.Set(new ThreadData(suggested_name));
}

// static
ThreadData* ThreadData::Get() {
  if (!g_thread_data_slot.initialized())
    return nullptr;
  ThreadData* const registered =
      static_cast<ThreadData*>(g_thread_data_slot.Get());
  if (registered)
    return registered;

  ThreadData* worker = nullptr;
  int worker_thread_number = 0;
  {
    AutoLock lock(*ListLock());
    if (g_first_retired_worker) {
      worker = g_first_retired_worker;
      g_first_retired_worker = worker->next_retired_worker_;
      worker->next_retired_worker_ = nullptr;
    } else {
      worker_thread_number = ++g_worker_thread_data_creation_count;
    }
  }
  if (!worker)
    worker = new ThreadData(worker_thread_number);
  g_thread_data_slot.Set(worker);
  return worker;
}

// static
void ThreadData::OnThreadTermination(void* thread_data) {
  static_cast<ThreadData*>(thread_data)->OnThreadTerminationCleanup();
}

void ThreadData::OnThreadTerminationCleanup() {
  AutoLock lock(*ListLock());
  // A record of an earlier profiling run is not reused.
  if (incarnation_count_for_pool_ != g_incarnation_counter)
    return;
  ++g_cleanup_count;
  if (!worker_thread_number_)
    return;
  next_retired_worker_ = g_first_retired_worker;
  g_first_retired_worker = this;
}

// static
Births* ThreadData::TallyABirthOnCurrentThread(const Location& location) {
  ThreadData* const current_thread_data = Get();
  if (!current_thread_data)
    return nullptr;
  return current_thread_data->TallyABirth(location);
}

Births* ThreadData::TallyABirth(const Location& location) {
  const BirthKey key = {location.file_name(), location.line_number()};
  const BirthMap::iterator it = birth_map_.find(key);
  if (it != birth_map_.end()) {
    it->second->RecordBirth();
    return it->second;
  }
  Births* const births = new Births(location, *this);
  AutoLock lock(map_lock_);
  birth_map_[key] = births;
  return births;
}

void ThreadData::TallyADeath(const Births& births,
                             int32_t queue_duration,
                             const TaskStopwatch& stopwatch) {
  const int32_t run_duration = static_cast<int32_t>(
      static_cast<uint32_t>(stopwatch.RunDurationMs()) -
      static_cast<uint32_t>(stopwatch.ExcludedDurationMs()));
  random_number_ += static_cast<uint32_t>(queue_duration) +
                    static_cast<uint32_t>(run_duration) +
                    static_cast<uint32_t>(kCountMax);
  random_number_ ^= static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&births) /
                                          sizeof(Births));
  DeathMap::iterator it = death_map_.find(&births);
  DeathData* death_data;
  if (it != death_map_.end()) {
    death_data = &it->second;
  } else {
    AutoLock lock(map_lock_);
    death_data = &death_map_[&births];
  }
  death_data->RecordDeath(queue_duration, run_duration, random_number_);
}

// static
void ThreadData::TallyRunOnNamedThread(const PendingTask& pending_task,
                                       const TaskStopwatch& stopwatch) {
  if (!pending_task.birth_tally)
    return;
  const TrackedTime time_posted =
      pending_task.delayed_run_time.is_null()
          ? pending_task.time_posted
          : TrackedTime(pending_task.delayed_run_time);
  TallyRunOnWorkerThreadIfTracking(pending_task.birth_tally, time_posted,
                                   stopwatch);
}

// static
void ThreadData::TallyRunOnWorkerThreadIfTracking(
    const Births* births,
    const TrackedTime& time_posted,
    const TaskStopwatch& stopwatch) {
  ThreadData* const current_thread_data = stopwatch.GetThreadData();
  if (!births || !current_thread_data)
    return;
  const TrackedTime start_of_run = stopwatch.StartTime();
  const int32_t queue_duration =
      start_of_run.is_null() ? 0 : start_of_run - time_posted;
  current_thread_data->TallyADeath(*births, queue_duration, stopwatch);
}

// static
bool ThreadData::IsProfilerTimingEnabled() {
  const int setting = g_timing_setting.load(std::memory_order_relaxed);
  if (setting != kTimingUndecided)
    return setting == kTimingEnabled;
  if (!CommandLine::InitializedForCurrentProcess())
    return true;
  const bool enabled = CommandLine::ForCurrentProcess()->GetSwitchValueASCII(
                           "profiler-timing") != "0";
  g_timing_setting.store(enabled ? kTimingEnabled : kTimingDisabled,
                         std::memory_order_relaxed);
  return enabled;
}

// static
TrackedTime ThreadData::NowWhileActive() {
  return IsProfilerTimingEnabled() ? TrackedTime::Now() : TrackedTime();
}

void ThreadData::SnapshotMaps(BirthMap* birth_map, DeathMap* death_map) {
  AutoLock lock(map_lock_);
  *birth_map = birth_map_;
  *death_map = death_map_;
}

// static
int ThreadData::worker_thread_data_creation_count() {
  AutoLock lock(*ListLock());
  return g_worker_thread_data_creation_count;
}

// static
int ThreadData::cleanup_count() {
  AutoLock lock(*ListLock());
  return g_cleanup_count;
}

TaskStopwatch::TaskStopwatch()
    : wallclock_duration_ms_(0),
      current_thread_data_(nullptr),
      excluded_duration_ms_(0),
      parent_(nullptr) {}

TaskStopwatch::~TaskStopwatch() = default;

void TaskStopwatch::StartWhileActive() {
  start_time_ = ThreadData::Now();
  current_thread_data_ = ThreadData::Get();
  if (!current_thread_data_)
    return;
  parent_ = current_thread_data_->current_stopwatch_;
  current_thread_data_->current_stopwatch_ = this;
}

void TaskStopwatch::StopStarted() {
  const TrackedTime end_time = ThreadData::Now();
  if (!start_time_.is_null() && !end_time.is_null())
    wallclock_duration_ms_ = end_time - start_time_;
  if (!current_thread_data_)
    return;
  current_thread_data_->current_stopwatch_ = parent_;
  if (!parent_)
    return;
  parent_->excluded_duration_ms_ =
      WrappingAdd(parent_->excluded_duration_ms_, wallclock_duration_ms_);
  parent_ = nullptr;
}

}  // namespace base
