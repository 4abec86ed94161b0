#include "base/threading/worker_pool.h"

#include <stdint.h>

#include <atomic>

#include "base/logging.h"
#include "base/pending_task.h"
#include "base/trace_event/trace_event.h"
#include "base/tracked_objects.h"

namespace base {

namespace {

std::atomic<internal::QueueUserWorkItemFunction> g_queue_function_for_testing{
    nullptr};

const unsigned char* ToplevelCategory() {
  static const unsigned char* const category =
      trace_event::TraceLog::GetCategoryGroupEnabled("toplevel");
  return category;
}

// Runs one posted task on a system pool thread; |param| is its pending task,
// owned from here on.
DWORD CALLBACK WorkItemCallback(void* param) {
  PendingTask* pending_task = static_cast<PendingTask*>(param);

  const char* const arg_names[] = {"src_file", "src_func"};
  const unsigned char arg_types[] = {trace_event::TRACE_VALUE_TYPE_STRING,
                                     trace_event::TRACE_VALUE_TYPE_STRING};
  const unsigned long long arg_values[] = {
      reinterpret_cast<uintptr_t>(pending_task->posted_from.file_name()),
      reinterpret_cast<uintptr_t>(pending_task->posted_from.function_name())};
  trace_event::ScopedCompleteEvent event(
      ToplevelCategory(), "WorkItemCallback::Run", 0,
      trace_event::TRACE_EVENT_FLAG_NONE, 2, arg_names, arg_types, arg_values);

  TaskStopwatch stopwatch;
  stopwatch.Start();
  pending_task->task.Run();
  stopwatch.Stop();
  ThreadData::TallyRunOnWorkerThreadIfTracking(
      pending_task->birth_tally, pending_task->time_posted, stopwatch);

  delete pending_task;
  return 0;
}

}  // namespace

// static
bool WorkerPool::PostTask(const Location& from_here,
                          const Closure& task,
                          bool task_is_slow) {
  PendingTask* pending_task = new PendingTask(from_here, task);
  const ULONG flags = task_is_slow ? WT_EXECUTELONGFUNCTION : WT_EXECUTEDEFAULT;
  internal::QueueUserWorkItemFunction queue = g_queue_function_for_testing;
  if (!queue)
    queue = &::QueueUserWorkItem;
  if (!queue(&WorkItemCallback, pending_task, flags)) {
    const DWORD error = ::GetLastError();
    LOG(ERROR) << "QueueUserWorkItem failed: " << error;
    delete pending_task;
    return false;
  }
  return true;
}

namespace internal {

void SetQueueUserWorkItemFunctionForTesting(
    QueueUserWorkItemFunction function) {
  g_queue_function_for_testing = function;
}

}  // namespace internal

}  // namespace base
