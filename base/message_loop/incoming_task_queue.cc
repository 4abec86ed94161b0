#include "base/message_loop/incoming_task_queue.h"

#include <utility>

#include "base/debug/task_annotator.h"
#include "base/message_loop/message_loop.h"

namespace base {
namespace internal {

namespace {

// Delays shorter than this many milliseconds want the fine system timer.
constexpr int64_t kHighResolutionThresholdMs = 32;

// The run time of a task posted now with |delay|; null for no delay.
TimeTicks CalculateDelayedRunTime(TimeDelta delay) {
  if (delay > TimeDelta())
    return TimeTicks::Now() + delay;
  return TimeTicks();
}

}  // namespace

IncomingTaskQueue::IncomingTaskQueue(MessageLoop* message_loop)
    : high_res_task_count_(0),
      message_loop_(message_loop),
      next_sequence_num_(0),
      message_loop_scheduled_(false),
      always_schedule_work_(false),
      is_ready_for_scheduling_(false) {}

IncomingTaskQueue::~IncomingTaskQueue() {
  // One at a time and outside the queue, since destroying a task may run
  // arbitrary destructors.
  while (!incoming_queue_.empty()) {
    PendingTask pending_task = std::move(incoming_queue_.front());
    incoming_queue_.pop();
  }
}

bool IncomingTaskQueue::AddToIncomingQueue(const Location& from_here,
                                           const Closure& task,
                                           TimeDelta delay,
                                           bool nestable) {
  // A refused task is released after the lock, still on this thread: its
  // bound objects' destructors may post elsewhere.
  Closure refused_task;
  AutoLock lock(lock_);
  PendingTask pending_task(from_here, task, CalculateDelayedRunTime(delay),
                           nestable);
  if (delay > TimeDelta() &&
      delay.InMilliseconds() < kHighResolutionThresholdMs) {
    ++high_res_task_count_;
    pending_task.is_high_res = true;
  }
  if (!PostPendingTaskLocked(&pending_task)) {
    refused_task = std::move(pending_task.task);
    return false;
  }
  return true;
}

bool IncomingTaskQueue::PostPendingTaskLocked(PendingTask* pending_task) {
  if (!message_loop_)
    return false;

  pending_task->sequence_num = static_cast<int32_t>(next_sequence_num_++);
  message_loop_->task_annotator()->DidQueueTask("MessageLoop::PostTask",
                                                *pending_task);

  const bool was_empty = incoming_queue_.empty();
  incoming_queue_.push(std::move(*pending_task));

  if (is_ready_for_scheduling_ &&
      (always_schedule_work_ || (!message_loop_scheduled_ && was_empty))) {
    message_loop_->ScheduleWork();
    message_loop_scheduled_ = true;
  }
  return true;
}

int32_t IncomingTaskQueue::ReloadWorkQueue(TaskQueue* work_queue) {
  DCHECK(work_queue->empty());
  AutoLock lock(lock_);
  if (incoming_queue_.empty())
    message_loop_scheduled_ = false;
  else
    incoming_queue_.swap(*work_queue);
  const int32_t high_res_tasks = high_res_task_count_;
  high_res_task_count_ = 0;
  return high_res_tasks;
}

void IncomingTaskQueue::StartScheduling() {
  AutoLock lock(lock_);
  DCHECK(!is_ready_for_scheduling_);
  is_ready_for_scheduling_ = true;
  if (!incoming_queue_.empty()) {
    message_loop_->ScheduleWork();
    message_loop_scheduled_ = true;
  }
}

void IncomingTaskQueue::WillDestroyCurrentMessageLoop() {
  AutoLock lock(lock_);
  message_loop_ = nullptr;
}

}  // namespace internal
}  // namespace base
