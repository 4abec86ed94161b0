#include "base/threading/sequenced_worker_pool.h"

#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "base/logging.h"
#include "base/metrics/histogram.h"
#include "base/pending_task.h"
#include "base/sequenced_task_runner.h"
#include "base/single_thread_task_runner.h"
#include "base/strings/stringprintf.h"
#include "base/synchronization/condition_variable.h"
#include "base/synchronization/lock.h"
#include "base/threading/platform_thread.h"
#include "base/threading/simple_thread.h"
#include "base/threading/thread_task_runner_handle.h"
#include "base/trace_event/trace_event.h"
#include "base/tracked_objects.h"

namespace base {

namespace {

// Shared by every pool, so that tokens are unique in the process.
std::atomic<int32_t> g_last_sequence_token_id{0};

const unsigned char* FlowCategory() {
  static const unsigned char* const category =
      trace_event::TraceLog::GetCategoryGroupEnabled(
          "disabled-by-default-toplevel.flow");
  return category;
}

// A posted task with what the pool needs to schedule it. The pending-task
// part carries the closure, the posting location and the task profiler's
// record.
struct SequencedTask : public PendingTask {
  SequencedTask(const Location& from_here, const Closure& task)
      : PendingTask(from_here, task) {}

  int32_t sequence_token_id = 0;
  int32_t trace_id = 0;
  // Gives tasks due at the same time the order in which they were posted.
  int64_t sequence_task_number = 0;
  SequencedWorkerPool::WorkerShutdown shutdown_behavior =
      SequencedWorkerPool::BLOCK_SHUTDOWN;
  TimeTicks time_to_run;
};

// Earlier time to run first, then posting order.
struct SequencedTaskLessThan {
  bool operator()(const SequencedTask& lhs, const SequencedTask& rhs) const {
    if (lhs.time_to_run != rhs.time_to_run)
      return lhs.time_to_run < rhs.time_to_run;
    return lhs.sequence_task_number < rhs.sequence_task_number;
  }
};

// Releases a held lock for the life of the scope.
class ScopedLockRelease {
 public:
  explicit ScopedLockRelease(Lock& lock) : lock_(lock) { lock_.Release(); }
  ScopedLockRelease(const ScopedLockRelease&) = delete;
  ScopedLockRelease& operator=(const ScopedLockRelease&) = delete;
  ~ScopedLockRelease() { lock_.Acquire(); }

 private:
  Lock& lock_;
};

}  // namespace

// A runner bound to one token and one shutdown behaviour of a pool.
class SequencedWorkerPoolSequencedTaskRunner : public SequencedTaskRunner {
 public:
  SequencedWorkerPoolSequencedTaskRunner(
      scoped_refptr<SequencedWorkerPool> pool,
      SequencedWorkerPool::SequenceToken token,
      SequencedWorkerPool::WorkerShutdown shutdown_behavior);
  SequencedWorkerPoolSequencedTaskRunner(
      const SequencedWorkerPoolSequencedTaskRunner&) = delete;
  SequencedWorkerPoolSequencedTaskRunner& operator=(
      const SequencedWorkerPoolSequencedTaskRunner&) = delete;

  bool PostDelayedTask(const Location& from_here,
                       const Closure& task,
                       TimeDelta delay) override;
  // True on a worker of the pool that is running a task of this token.
  bool RunsTasksOnCurrentThread() const override;
  // Tasks of a pool never run inside nested run loops, so this is an
  // ordinary post.
  bool PostNonNestableDelayedTask(const Location& from_here,
                                  const Closure& task,
                                  TimeDelta delay) override;

 private:
  ~SequencedWorkerPoolSequencedTaskRunner() override;

  const scoped_refptr<SequencedWorkerPool> pool_;
  const int32_t token_id_;
  const SequencedWorkerPool::WorkerShutdown shutdown_behavior_;
};

// One thread of a pool. It keeps the pool alive while it runs and enters the
// pool's thread map itself once it runs.
class SequencedWorkerPool::Worker : public SimpleThread {
 public:
  Worker(scoped_refptr<SequencedWorkerPool> worker_pool,
         int32_t thread_number,
         const std::string& thread_name_prefix);
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  ~Worker() override;

  // SimpleThread:
  void Run() override;

  // Touched only by the worker's own thread.
  void BeginTask(int32_t token_id, WorkerShutdown shutdown_behavior) {
    running_token_id_ = token_id;
    running_shutdown_behavior_ = shutdown_behavior;
    is_processing_task_ = true;
  }
  void EndTask() { is_processing_task_ = false; }
  int32_t running_token_id() const { return running_token_id_; }
  WorkerShutdown running_shutdown_behavior() const {
    return running_shutdown_behavior_;
  }
  bool is_processing_task() const { return is_processing_task_; }

 private:
  scoped_refptr<SequencedWorkerPool> worker_pool_;
  int32_t running_token_id_;
  WorkerShutdown running_shutdown_behavior_;
  bool is_processing_task_;
};

// The pool's state, all of it guarded by one lock. Tasks run, and closures
// are destroyed, without the lock.
class SequencedWorkerPool::Inner {
 public:
  Inner(SequencedWorkerPool* worker_pool,
        size_t max_threads,
        const std::string& thread_name_prefix);
  Inner(const Inner&) = delete;
  Inner& operator=(const Inner&) = delete;
  // Joins every worker, then destroys the tasks still pending unrun.
  ~Inner();

  SequenceToken GetNamedSequenceToken(const std::string& name);

  bool PostTask(int32_t token_id,
                WorkerShutdown shutdown_behavior,
                const Location& from_here,
                const Closure& task,
                TimeDelta delay);

  bool RunsTasksOnCurrentThread() const;
  bool IsRunningSequenceOnCurrentThread(int32_t token_id) const;

  void Shutdown(int32_t max_new_blocking_tasks_after_shutdown);

  // The life of a worker, from its start to Shutdown.
  void ThreadLoop(Worker* this_worker);

  void FailWorkerStartsForTesting(int32_t count);

 private:
  enum class GetWorkStatus { kFound, kNotFound, kWait };
  using TaskList = std::vector<SequencedTask>;

  // Under the lock: hands out the earliest due task whose sequence is not
  // running, or says how long to wait for one. After Shutdown, tasks that
  // do not block it are moved to |delete_these_outside_lock| as they are
  // met.
  GetWorkStatus GetWork(std::optional<SequencedTask>* task,
                        TimeDelta* wait_time,
                        TaskList* delete_these_outside_lock);

  // Under the lock, with |task| just handed out by GetWork: runs it with
  // the lock released, then lowers the counts it raised.
  void RunTaskOutsideLock(Worker* this_worker,
                          SequencedTask* task,
                          TaskList* delete_these_outside_lock);

  // Under the lock: the number of a new worker to start when one would
  // help (no worker is idle, there is runnable work and room for another
  // thread), else 0; after Shutdown, only when no worker is left for the
  // tasks accepted since. Counts the thread as being created, so that
  // threads start one at a time until Shutdown.
  int32_t PrepareToStartAdditionalThreadIfHelpful();

  // Without the lock. False when the thread could not be started.
  bool StartAdditionalThread(int32_t thread_number);

  // Under the lock: takes back the pending task numbered
  // |sequence_task_number|, accepted after Shutdown, when no worker has
  // taken it; false when one has.
  bool TakeBackTaskAcceptedAfterShutdown(int64_t sequence_task_number,
                                         std::optional<SequencedTask>* task);

  bool IsSequenceTokenRunnable(int32_t token_id) const;
  // Under the lock.
  bool CanShutdown() const;
  // Under the lock: workers that entered their loop and have not left it.
  size_t LiveThreadCount() const;
  // Under the lock: the calling thread's worker, or null.
  Worker* CurrentWorker() const;
  // The id that ties a task's post to its run in a trace.
  unsigned long long TraceBindId(int32_t trace_id) const;

  SequencedWorkerPool* const worker_pool_;

  mutable Lock lock_;
  // Wakes one idle worker.
  ConditionVariable has_work_cv_;
  // Wakes Shutdown to test CanShutdown again.
  ConditionVariable can_shutdown_cv_;

  const size_t max_threads_;
  const std::string thread_name_prefix_;

  std::map<std::string, int32_t> named_sequence_tokens_;

  // Every worker that ever entered its loop, by thread id.
  std::map<PlatformThreadId, std::unique_ptr<Worker>> threads_;
  // Workers that have left their loop for good.
  size_t exited_thread_count_;
  // Workers started that have not entered their loop yet. More than one
  // only after Shutdown.
  size_t threads_being_created_;
  size_t waiting_thread_count_;
  // Workers running a task that is not CONTINUE_ON_SHUTDOWN.
  size_t blocking_shutdown_thread_count_;

  std::set<SequencedTask, SequencedTaskLessThan> pending_tasks_;
  int64_t next_sequence_task_number_;
  // Pending tasks that are BLOCK_SHUTDOWN.
  size_t blocking_shutdown_pending_task_count_;
  // Tokens of the sequences now running.
  std::set<int32_t> current_sequences_;

  int32_t trace_id_;
  bool shutdown_called_;
  int32_t max_blocking_tasks_after_shutdown_;

  int32_t worker_start_failures_for_testing_;
};

// SequencedWorkerPoolSequencedTaskRunner -------------------------------------

SequencedWorkerPoolSequencedTaskRunner::SequencedWorkerPoolSequencedTaskRunner(
    scoped_refptr<SequencedWorkerPool> pool,
    SequencedWorkerPool::SequenceToken token,
    SequencedWorkerPool::WorkerShutdown shutdown_behavior)
    : pool_(std::move(pool)),
      token_id_(token.id()),
      shutdown_behavior_(shutdown_behavior) {}

SequencedWorkerPoolSequencedTaskRunner::
    ~SequencedWorkerPoolSequencedTaskRunner() = default;

bool SequencedWorkerPoolSequencedTaskRunner::PostDelayedTask(
    const Location& from_here,
    const Closure& task,
    TimeDelta delay) {
  // A delayed task may fall due after Shutdown, which must not wait for it.
  const SequencedWorkerPool::WorkerShutdown shutdown_behavior =
      delay.is_zero() ? shutdown_behavior_
                      : SequencedWorkerPool::SKIP_ON_SHUTDOWN;
  return pool_->inner_->PostTask(token_id_, shutdown_behavior, from_here, task,
                                 delay);
}

bool SequencedWorkerPoolSequencedTaskRunner::RunsTasksOnCurrentThread() const {
  return pool_->inner_->IsRunningSequenceOnCurrentThread(token_id_);
}

bool SequencedWorkerPoolSequencedTaskRunner::PostNonNestableDelayedTask(
    const Location& from_here,
    const Closure& task,
    TimeDelta delay) {
  return PostDelayedTask(from_here, task, delay);
}

// SequencedWorkerPool::Worker ------------------------------------------------

SequencedWorkerPool::Worker::Worker(
    scoped_refptr<SequencedWorkerPool> worker_pool,
    int32_t thread_number,
    const std::string& thread_name_prefix)
    : SimpleThread(thread_name_prefix +
                   StringPrintf("Worker%d", static_cast<int>(thread_number))),
      worker_pool_(std::move(worker_pool)),
      running_token_id_(0),
      running_shutdown_behavior_(BLOCK_SHUTDOWN),
      is_processing_task_(false) {}

SequencedWorkerPool::Worker::~Worker() = default;

void SequencedWorkerPool::Worker::Run() {
  // Tasks may use COM objects that want a single-threaded apartment.
  const HRESULT com_result =
      ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  worker_pool_->inner_->ThreadLoop(this);
  // May be the pool's last reference; the pool then posts its deletion to
  // its creating thread, which joins this thread.
  worker_pool_ = nullptr;

  if (SUCCEEDED(com_result))
    ::CoUninitialize();
}

// SequencedWorkerPool::Inner -------------------------------------------------

SequencedWorkerPool::Inner::Inner(SequencedWorkerPool* worker_pool,
                                  size_t max_threads,
                                  const std::string& thread_name_prefix)
    : worker_pool_(worker_pool),
      has_work_cv_(&lock_),
      can_shutdown_cv_(&lock_),
      max_threads_(max_threads),
      thread_name_prefix_(thread_name_prefix),
      exited_thread_count_(0),
      threads_being_created_(0),
      waiting_thread_count_(0),
      blocking_shutdown_thread_count_(0),
      next_sequence_task_number_(0),
      blocking_shutdown_pending_task_count_(0),
      trace_id_(0),
      shutdown_called_(false),
      max_blocking_tasks_after_shutdown_(0),
      worker_start_failures_for_testing_(0) {}

SequencedWorkerPool::Inner::~Inner() {
  // Each worker held a reference to the pool until it left its loop, so
  // every worker has left it by now and the joins end.
  for (auto& entry : threads_)
    entry.second->Join();
  threads_.clear();
  pending_tasks_.clear();
}

SequencedWorkerPool::SequenceToken
SequencedWorkerPool::Inner::GetNamedSequenceToken(const std::string& name) {
  AutoLock lock(lock_);
  auto found = named_sequence_tokens_.find(name);
  if (found != named_sequence_tokens_.end())
    return SequenceToken(found->second);
  const int32_t id = g_last_sequence_token_id.fetch_add(1) + 1;
  named_sequence_tokens_[name] = id;
  return SequenceToken(id);
}

bool SequencedWorkerPool::Inner::PostTask(int32_t token_id,
                                          WorkerShutdown shutdown_behavior,
                                          const Location& from_here,
                                          const Closure& task,
                                          TimeDelta delay) {
  // Declared before the lock is taken, so that a refused task is released
  // after the lock.
  SequencedTask sequenced(from_here, task);
  sequenced.sequence_token_id = token_id;
  sequenced.shutdown_behavior = shutdown_behavior;
  sequenced.time_to_run = TimeTicks::Now() + delay;

  int32_t create_thread_id = 0;
  bool accepted_after_shutdown = false;
  int64_t sequence_task_number = 0;
  {
    AutoLock lock(lock_);
    if (shutdown_called_) {
      if (shutdown_behavior != BLOCK_SHUTDOWN)
        return false;
      // A worker running a task that Shutdown may leave behind must not
      // hold Shutdown up with new blocking work.
      const Worker* worker = CurrentWorker();
      if (worker && worker->is_processing_task() &&
          worker->running_shutdown_behavior() != BLOCK_SHUTDOWN) {
        return false;
      }
      if (max_blocking_tasks_after_shutdown_ <= 0)
        return false;
      --max_blocking_tasks_after_shutdown_;
      accepted_after_shutdown = true;
    }

    sequenced.trace_id = trace_id_++;
    trace_event::ScopedCompleteEvent event(
        FlowCategory(), "SequencedWorkerPool::Inner::PostTask",
        TraceBindId(sequenced.trace_id),
        trace_event::TRACE_EVENT_FLAG_MANGLE_ID |
            trace_event::TRACE_EVENT_FLAG_FLOW_OUT,
        0, nullptr, nullptr, nullptr);

    sequence_task_number = next_sequence_task_number_++;
    sequenced.sequence_task_number = sequence_task_number;
    pending_tasks_.insert(std::move(sequenced));
    if (shutdown_behavior == BLOCK_SHUTDOWN)
      ++blocking_shutdown_pending_task_count_;

    create_thread_id = PrepareToStartAdditionalThreadIfHelpful();
  }

  if (!create_thread_id) {
    has_work_cv_.Signal();
    return true;
  }
  if (StartAdditionalThread(create_thread_id) || !accepted_after_shutdown)
    return true;
  // No worker is left to run the task, and none could be started: an
  // accepted task would be destroyed unrun, so the post is refused.
  std::optional<SequencedTask> taken_back;
  AutoLock lock(lock_);
  return !TakeBackTaskAcceptedAfterShutdown(sequence_task_number, &taken_back);
}

bool SequencedWorkerPool::Inner::RunsTasksOnCurrentThread() const {
  AutoLock lock(lock_);
  return CurrentWorker() != nullptr;
}

bool SequencedWorkerPool::Inner::IsRunningSequenceOnCurrentThread(
    int32_t token_id) const {
  AutoLock lock(lock_);
  const Worker* worker = CurrentWorker();
  return worker && worker->is_processing_task() &&
         worker->running_token_id() == token_id;
}

void SequencedWorkerPool::Inner::Shutdown(
    int32_t max_new_blocking_tasks_after_shutdown) {
  TimeTicks shutdown_wait_begin;
  {
    AutoLock lock(lock_);
    if (shutdown_called_)
      return;
    shutdown_called_ = true;
    max_blocking_tasks_after_shutdown_ = max_new_blocking_tasks_after_shutdown;
    // One worker is enough: each worker that leaves its loop wakes the next.
    has_work_cv_.Signal();
    if (CanShutdown())
      return;

    shutdown_wait_begin = TimeTicks::Now();
    while (!CanShutdown())
      can_shutdown_cv_.Wait();
  }
  static HistogramBase* histogram = Histogram::FactoryTimeGet(
      "SequencedWorkerPool.ShutdownDelayTime", TimeDelta::FromMilliseconds(1),
      TimeDelta::FromSeconds(10), 50, HistogramBase::kReportedHistogramFlag);
  histogram->AddTime(TimeTicks::Now() - shutdown_wait_begin);
}

void SequencedWorkerPool::Inner::ThreadLoop(Worker* this_worker) {
  TaskList delete_on_exit;
  {
    AutoLock lock(lock_);
    --threads_being_created_;
    threads_[PlatformThread::CurrentId()].reset(this_worker);

    while (true) {
      std::optional<SequencedTask> task;
      TimeDelta wait_time;
      TaskList delete_these_outside_lock;
      const GetWorkStatus status =
          GetWork(&task, &wait_time, &delete_these_outside_lock);
      if (status == GetWorkStatus::kFound) {
        RunTaskOutsideLock(this_worker, &*task, &delete_these_outside_lock);
        continue;
      }

      if (shutdown_called_ && blocking_shutdown_pending_task_count_ == 0) {
        delete_on_exit.swap(delete_these_outside_lock);
        break;
      }
      if (!delete_these_outside_lock.empty()) {
        // Destroying closures may post tasks, so what GetWork found is
        // stale.
        ScopedLockRelease unlock(lock_);
        delete_these_outside_lock.clear();
        continue;
      }

      ++waiting_thread_count_;
      if (status == GetWorkStatus::kNotFound)
        has_work_cv_.Wait();
      else
        has_work_cv_.TimedWait(wait_time);
      --waiting_thread_count_;
    }
    ++exited_thread_count_;
  }

  delete_on_exit.clear();
  // Shutdown wakes one worker; each that leaves wakes the next.
  has_work_cv_.Signal();
  can_shutdown_cv_.Signal();
}

void SequencedWorkerPool::Inner::FailWorkerStartsForTesting(int32_t count) {
  AutoLock lock(lock_);
  worker_start_failures_for_testing_ = count;
}

SequencedWorkerPool::Inner::GetWorkStatus SequencedWorkerPool::Inner::GetWork(
    std::optional<SequencedTask>* task,
    TimeDelta* wait_time,
    TaskList* delete_these_outside_lock) {
  const TimeTicks now = TimeTicks::Now();
  auto it = pending_tasks_.begin();
  while (it != pending_tasks_.end()) {
    if (!IsSequenceTokenRunnable(it->sequence_token_id)) {
      // Its sequence runs elsewhere; later tasks of other sequences may go.
      ++it;
      continue;
    }
    if (shutdown_called_ && it->shutdown_behavior != BLOCK_SHUTDOWN) {
      auto next = std::next(it);
      delete_these_outside_lock->push_back(
          std::move(pending_tasks_.extract(it).value()));
      it = next;
      continue;
    }
    if (it->time_to_run > now) {
      *wait_time = it->time_to_run - now;
      return GetWorkStatus::kWait;
    }
    task->emplace(std::move(pending_tasks_.extract(it).value()));
    if ((*task)->shutdown_behavior == BLOCK_SHUTDOWN)
      --blocking_shutdown_pending_task_count_;
    return GetWorkStatus::kFound;
  }
  return GetWorkStatus::kNotFound;
}

void SequencedWorkerPool::Inner::RunTaskOutsideLock(
    Worker* this_worker,
    SequencedTask* task,
    TaskList* delete_these_outside_lock) {
  const char* const arg_names[] = {"src_file", "src_func"};
  const unsigned char arg_types[] = {trace_event::TRACE_VALUE_TYPE_STRING,
                                     trace_event::TRACE_VALUE_TYPE_STRING};
  const unsigned long long arg_values[] = {
      reinterpret_cast<uintptr_t>(task->posted_from.file_name()),
      reinterpret_cast<uintptr_t>(task->posted_from.function_name())};
  trace_event::ScopedCompleteEvent event(
      FlowCategory(), "SequencedWorkerPool::Inner::ThreadLoop",
      TraceBindId(task->trace_id),
      trace_event::TRACE_EVENT_FLAG_MANGLE_ID |
          trace_event::TRACE_EVENT_FLAG_FLOW_IN,
      2, arg_names, arg_types, arg_values);

  const bool blocks_shutdown = task->shutdown_behavior != CONTINUE_ON_SHUTDOWN;
  if (task->sequence_token_id)
    current_sequences_.insert(task->sequence_token_id);
  if (blocks_shutdown)
    ++blocking_shutdown_thread_count_;
  const int32_t new_thread_id = PrepareToStartAdditionalThreadIfHelpful();

  {
    ScopedLockRelease unlock(lock_);
    // More work may be waiting: let another idle worker look.
    has_work_cv_.Signal();
    delete_these_outside_lock->clear();
    if (new_thread_id)
      StartAdditionalThread(new_thread_id);

    this_worker->BeginTask(task->sequence_token_id, task->shutdown_behavior);
    TaskStopwatch stopwatch;
    stopwatch.Start();
    task->task.Run();
    stopwatch.Stop();
    ThreadData::TallyRunOnNamedThreadIfTracking(*task, stopwatch);
    // The task's bound objects go now, without the lock.
    task->task.Reset();
    this_worker->EndTask();
  }

  if (blocks_shutdown)
    --blocking_shutdown_thread_count_;
  if (task->sequence_token_id)
    current_sequences_.erase(task->sequence_token_id);
}

int32_t SequencedWorkerPool::Inner::PrepareToStartAdditionalThreadIfHelpful() {
  if (shutdown_called_) {
    // Workers leave once Shutdown has nothing left to wait for. A blocking
    // task accepted after that gets a worker of its own; one for each such
    // post, since a worker already starting may fail to.
    if (LiveThreadCount() != 0 || pending_tasks_.empty())
      return 0;
  } else if (threads_being_created_ != 0 || LiveThreadCount() >= max_threads_ ||
             waiting_thread_count_ != 0) {
    return 0;
  } else if (std::none_of(pending_tasks_.begin(), pending_tasks_.end(),
                          [this](const SequencedTask& task) {
                            return IsSequenceTokenRunnable(
                                task.sequence_token_id);
                          })) {
    return 0;
  }
  ++threads_being_created_;
  return static_cast<int32_t>(threads_.size() + threads_being_created_);
}

bool SequencedWorkerPool::Inner::StartAdditionalThread(int32_t thread_number) {
  bool fail_for_testing = false;
  {
    AutoLock lock(lock_);
    if (worker_start_failures_for_testing_ > 0) {
      --worker_start_failures_for_testing_;
      fail_for_testing = true;
    }
  }

  // Holds a reference to the pool, taken here, where the caller holds one.
  std::unique_ptr<Worker> worker(
      new Worker(worker_pool_, thread_number, thread_name_prefix_));
  if (!fail_for_testing && worker->Start()) {
    // The running worker puts itself into the thread map, which owns it.
    worker.release();
    return true;
  }

  LOG(ERROR) << "could not start worker thread " << thread_number << " of "
             << thread_name_prefix_;
  {
    // Let a later post try again, and let a waiting Shutdown look again:
    // the worker it was waiting for will never come.
    AutoLock lock(lock_);
    --threads_being_created_;
    can_shutdown_cv_.Signal();
  }
  // Drops the worker's reference to the pool, without the lock.
  worker.reset();
  return false;
}

bool SequencedWorkerPool::Inner::TakeBackTaskAcceptedAfterShutdown(
    int64_t sequence_task_number,
    std::optional<SequencedTask>* task) {
  auto found =
      std::find_if(pending_tasks_.begin(), pending_tasks_.end(),
                   [sequence_task_number](const SequencedTask& task) {
                     return task.sequence_task_number == sequence_task_number;
                   });
  if (found == pending_tasks_.end())
    return false;
  task->emplace(std::move(pending_tasks_.extract(found).value()));
  --blocking_shutdown_pending_task_count_;
  // A refused post uses none of the allowance.
  ++max_blocking_tasks_after_shutdown_;
  return true;
}

bool SequencedWorkerPool::Inner::IsSequenceTokenRunnable(
    int32_t token_id) const {
  return !token_id || current_sequences_.count(token_id) == 0;
}

bool SequencedWorkerPool::Inner::CanShutdown() const {
  // Pending blocking tasks can only run on a worker still in its loop;
  // without one (every start failed) waiting for them would never end.
  return threads_being_created_ == 0 && blocking_shutdown_thread_count_ == 0 &&
         (blocking_shutdown_pending_task_count_ == 0 || LiveThreadCount() == 0);
}

size_t SequencedWorkerPool::Inner::LiveThreadCount() const {
  return threads_.size() - exited_thread_count_;
}

SequencedWorkerPool::Worker* SequencedWorkerPool::Inner::CurrentWorker() const {
  auto found = threads_.find(PlatformThread::CurrentId());
  return found == threads_.end() ? nullptr : found->second.get();
}

unsigned long long SequencedWorkerPool::Inner::TraceBindId(
    int32_t trace_id) const {
  return (static_cast<unsigned long long>(static_cast<uint32_t>(trace_id))
          << 32) |
         static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this));
}

// SequencedWorkerPool --------------------------------------------------------

SequencedWorkerPool::SequencedWorkerPool(size_t max_threads,
                                         const std::string& thread_name_prefix)
    : constructor_task_runner_(ThreadTaskRunnerHandle::Get()),
      inner_(new Inner(this, max_threads, thread_name_prefix)) {}

SequencedWorkerPool::~SequencedWorkerPool() = default;

bool SequencedWorkerPool::PostDelayedTask(const Location& from_here,
                                          const Closure& task,
                                          TimeDelta delay) {
  const WorkerShutdown shutdown_behavior =
      delay.is_zero() ? BLOCK_SHUTDOWN : SKIP_ON_SHUTDOWN;
  return inner_->PostTask(0, shutdown_behavior, from_here, task, delay);
}

bool SequencedWorkerPool::RunsTasksOnCurrentThread() const {
  return inner_->RunsTasksOnCurrentThread();
}

SequencedWorkerPool::SequenceToken SequencedWorkerPool::GetNamedSequenceToken(
    const std::string& name) {
  return inner_->GetNamedSequenceToken(name);
}

scoped_refptr<SequencedTaskRunner>
SequencedWorkerPool::GetSequencedTaskRunnerWithShutdownBehavior(
    SequenceToken token,
    WorkerShutdown shutdown_behavior) {
  return new SequencedWorkerPoolSequencedTaskRunner(this, token,
                                                    shutdown_behavior);
}

void SequencedWorkerPool::Shutdown(
    int32_t max_new_blocking_tasks_after_shutdown) {
  inner_->Shutdown(max_new_blocking_tasks_after_shutdown);
}

void SequencedWorkerPool::FailWorkerStartsForTesting(int32_t count) {
  inner_->FailWorkerStartsForTesting(count);
}

void SequencedWorkerPool::OnDestruct() const {
  if (inner_->RunsTasksOnCurrentThread()) {
    // Deleting here would join this very thread. When the creating thread's
    // loop is gone and refuses the post, the pool is left behind rather
    // than deleted where it cannot be.
    constructor_task_runner_->DeleteSoon(
        LOCATION_FROM_HERE("base::SequencedWorkerPool::OnDestruct"), this);
  } else {
    delete this;
  }
}

}  // namespace base
