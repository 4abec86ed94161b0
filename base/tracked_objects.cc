#include "base/tracked_objects.h"

namespace base {

// static
void ThreadData::InitializeThreadContext(
    const std::string& /*suggested_name*/) {}

// static
ThreadData* ThreadData::Get() {
  return nullptr;
}

// static
Births* ThreadData::TallyABirthIfActive(const Location& /*location*/) {
  return nullptr;
}

// static
TrackedTime ThreadData::Now() {
  return TrackedTime();
}

// static
void ThreadData::TallyRunOnNamedThreadIfTracking(
    const PendingTask& /*pending_task*/,
    const TaskStopwatch& /*stopwatch*/) {}

// static
void ThreadData::TallyRunOnWorkerThreadIfTracking(
    const Births* /*births*/,
    const TrackedTime& /*time_posted*/,
    const TaskStopwatch& /*stopwatch*/) {}

TaskStopwatch::TaskStopwatch()
    : wallclock_duration_ms_(0), current_thread_data_(nullptr) {}

TaskStopwatch::~TaskStopwatch() = default;

void TaskStopwatch::Start() {
  start_time_ = ThreadData::Now();
  current_thread_data_ = ThreadData::Get();
}

void TaskStopwatch::Stop() {
  const TrackedTime end_time = ThreadData::Now();
  if (!start_time_.is_null() && !end_time.is_null())
    wallclock_duration_ms_ = end_time - start_time_;
}

}  // namespace base
