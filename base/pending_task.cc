#include "base/pending_task.h"

#include <utility>

namespace base {

PendingTask::PendingTask(const Location& posted_from, const Closure& task)
    : PendingTask(posted_from, task, TimeTicks(), true) {}

PendingTask::PendingTask(const Location& posted_from,
                         const Closure& task,
                         TimeTicks delayed_run_time,
                         bool nestable)
    : TrackingInfo(posted_from, delayed_run_time),
      task(task),
      posted_from(posted_from),
      sequence_num(0),
      nestable(nestable),
      is_high_res(false) {}

PendingTask::PendingTask(const PendingTask& other) = default;

PendingTask::PendingTask(PendingTask&& other) noexcept = default;

PendingTask& PendingTask::operator=(const PendingTask& other) = default;

PendingTask& PendingTask::operator=(PendingTask&& other) noexcept = default;

PendingTask::~PendingTask() = default;

bool PendingTask::operator<(const PendingTask& other) const {
  if (delayed_run_time < other.delayed_run_time)
    return false;
  if (delayed_run_time > other.delayed_run_time)
    return true;
  const int32_t difference =
      static_cast<int32_t>(static_cast<uint32_t>(sequence_num) -
                           static_cast<uint32_t>(other.sequence_num));
  return difference > 0;
}

}  // namespace base
