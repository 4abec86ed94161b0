#ifndef BASE_PENDING_TASK_H_
#define BASE_PENDING_TASK_H_

#include <stdint.h>

#include <queue>

#include "base/callback.h"
#include "base/location.h"
#include "base/time/time.h"
#include "base/tracking_info.h"

namespace base {

// A task waiting in a queue: the closure, where it was posted from, when it
// falls due and in what order it was posted. Copies share the closure's bind
// state.
struct PendingTask : public TrackingInfo {
  // A nestable task to run as soon as possible.
  PendingTask(const Location& posted_from, const Closure& task);
  PendingTask(const Location& posted_from,
              const Closure& task,
              TimeTicks delayed_run_time,
              bool nestable);
  PendingTask(const PendingTask& other);
  PendingTask(PendingTask&& other) noexcept;
  PendingTask& operator=(const PendingTask& other);
  PendingTask& operator=(PendingTask&& other) noexcept;
  ~PendingTask();

  // The order of the delayed-task heap: true when this task is less urgent
  // than |other|, that is due later, or due at the same time and posted
  // after it. Sequence numbers compare by their wrapping 32-bit difference,
  // so the order holds across a wrap of the counter.
  bool operator<(const PendingTask& other) const;

  Closure task;
  Location posted_from;
  // Gives tasks due at the same time the order in which they were posted.
  int32_t sequence_num;
  // False for a task that must not run inside a nested run loop.
  bool nestable;
  // The task was posted with a delay short enough to want the fine timer.
  bool is_high_res;
};

// Tasks in the order in which they were posted.
using TaskQueue = std::queue<PendingTask>;

// Delayed tasks; the top is the task due first.
using DelayedTaskQueue = std::priority_queue<PendingTask>;

}  // namespace base

#endif  // BASE_PENDING_TASK_H_
