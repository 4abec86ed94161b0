#include "base/message_loop/message_loop_task_runner.h"

#include <windows.h>

#include <utility>

#include "base/message_loop/incoming_task_queue.h"

namespace base {
namespace internal {

MessageLoopTaskRunner::MessageLoopTaskRunner(
    scoped_refptr<IncomingTaskQueue> incoming_queue)
    : incoming_queue_(std::move(incoming_queue)), valid_thread_id_(0) {}

MessageLoopTaskRunner::~MessageLoopTaskRunner() = default;

void MessageLoopTaskRunner::BindToCurrentThread() {
  AutoLock lock(valid_thread_id_lock_);
  valid_thread_id_ = ::GetCurrentThreadId();
}

bool MessageLoopTaskRunner::PostDelayedTask(const Location& from_here,
                                            const Closure& task,
                                            TimeDelta delay) {
  return incoming_queue_->AddToIncomingQueue(from_here, task, delay,
                                             /*nestable=*/true);
}

bool MessageLoopTaskRunner::RunsTasksOnCurrentThread() const {
  AutoLock lock(valid_thread_id_lock_);
  return valid_thread_id_ == ::GetCurrentThreadId();
}

bool MessageLoopTaskRunner::PostNonNestableDelayedTask(
    const Location& from_here,
    const Closure& task,
    TimeDelta delay) {
  return incoming_queue_->AddToIncomingQueue(from_here, task, delay,
                                             /*nestable=*/false);
}

}  // namespace internal
}  // namespace base
