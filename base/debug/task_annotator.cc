#include "base/debug/task_annotator.h"

#include "base/debug/alias.h"
#include "base/pending_task.h"
#include "base/trace_event/trace_event.h"
#include "base/tracked_objects.h"

namespace base {
namespace debug {

namespace {

using trace_event::ScopedCompleteEvent;
using trace_event::TraceLog;

const unsigned char* FlowCategory() {
  static const unsigned char* const category =
      TraceLog::GetCategoryGroupEnabled("disabled-by-default-toplevel.flow");
  return category;
}

}  // namespace

TaskAnnotator::TaskAnnotator() = default;

TaskAnnotator::~TaskAnnotator() = default;

void TaskAnnotator::DidQueueTask(const char* queue_function,
                                 const PendingTask& pending_task) {
  // Begun and ended at once: only the flow's start matters.
  ScopedCompleteEvent event(FlowCategory(), queue_function,
                            GetTaskTraceID(pending_task),
                            trace_event::TRACE_EVENT_FLAG_FLOW_OUT |
                                trace_event::TRACE_EVENT_FLAG_MANGLE_ID,
                            0, nullptr, nullptr, nullptr);
}

void TaskAnnotator::RunTask(const char* queue_function,
                            const PendingTask& pending_task) {
  TaskStopwatch stopwatch;
  stopwatch.Start();
  const TrackedTime posted_time =
      pending_task.delayed_run_time.is_null()
          ? pending_task.time_posted
          : TrackedTime(pending_task.delayed_run_time);
  const int32_t queue_duration_ms = stopwatch.StartTime() - posted_time;

  {
    const char* const arg_names[] = {"queue_duration"};
    const unsigned char arg_types[] = {trace_event::TRACE_VALUE_TYPE_INT};
    const unsigned long long arg_values[] = {
        static_cast<unsigned long long>(queue_duration_ms)};
    ScopedCompleteEvent event(FlowCategory(), queue_function,
                              GetTaskTraceID(pending_task),
                              trace_event::TRACE_EVENT_FLAG_FLOW_IN |
                                  trace_event::TRACE_EVENT_FLAG_MANGLE_ID,
                              1, arg_names, arg_types, arg_values);

    // Kept in this frame so that a crash dump shows where the task came
    // from.
    const void* program_counter = pending_task.posted_from.program_counter();
    Alias(&program_counter);

    pending_task.task.Run();

    stopwatch.Stop();
    ThreadData::TallyRunOnNamedThreadIfTracking(pending_task, stopwatch);
  }
}

uint64_t TaskAnnotator::GetTaskTraceID(const PendingTask& pending_task) const {
  return (static_cast<uint64_t>(
              static_cast<uint32_t>(pending_task.sequence_num))
          << 32) |
         static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this));
}

}  // namespace debug
}  // namespace base
