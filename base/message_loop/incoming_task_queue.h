#ifndef BASE_MESSAGE_LOOP_INCOMING_TASK_QUEUE_H_
#define BASE_MESSAGE_LOOP_INCOMING_TASK_QUEUE_H_

#include <stdint.h>

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/pending_task.h"
#include "base/synchronization/lock.h"
#include "base/time/time.h"

namespace base {

class MessageLoop;

namespace internal {

// The one part of a message loop that other threads touch: tasks posted from
// any thread wait here until the loop's thread takes them all in one swap.
// Outlives its loop while task runners still hold it, refusing posts; tasks
// it still holds then are destroyed unrun with it.
class IncomingTaskQueue : public RefCountedThreadSafe<IncomingTaskQueue> {
 public:
  explicit IncomingTaskQueue(MessageLoop* message_loop);
  IncomingTaskQueue(const IncomingTaskQueue&) = delete;
  IncomingTaskQueue& operator=(const IncomingTaskQueue&) = delete;

  // Queues |task| to run after |delay| (at once when not positive) and wakes
  // the loop when needed. False, with the queue's copy of the task released
  // before the return, once the loop is gone. Any thread.
  bool AddToIncomingQueue(const Location& from_here,
                          const Closure& task,
                          TimeDelta delay,
                          bool nestable);

  // Moves every queued task into |work_queue|, which must be empty, and
  // returns how many high-resolution tasks arrived since the last reload.
  // Finding nothing lets the next post wake the loop again. Loop thread.
  int32_t ReloadWorkQueue(TaskQueue* work_queue);

  // Wakes the loop for posts from now on, and at once for the tasks that
  // were posted before it was bound. Loop thread.
  void StartScheduling();

  // Detaches the queue from its loop: posts fail from now on. Loop thread.
  void WillDestroyCurrentMessageLoop();

 protected:
  friend class RefCountedThreadSafe<IncomingTaskQueue>;
  virtual ~IncomingTaskQueue();

 private:
  // Called with |lock_| held.
  bool PostPendingTaskLocked(PendingTask* pending_task);

  // High-resolution tasks added since the last reload.
  int32_t high_res_task_count_;

  // Guards every member below.
  Lock lock_;

  TaskQueue incoming_queue_;

  // Null once the loop is being destroyed.
  MessageLoop* message_loop_;

  // Each accepted task takes the next number; it wraps, which the order of
  // pending tasks allows for.
  uint32_t next_sequence_num_;

  // A wake-up was asked for and the loop has not found the queue empty
  // since.
  bool message_loop_scheduled_;

  // Asks for a wake-up on every post instead of once per burst; never set.
  const bool always_schedule_work_;

  // The loop is bound to its thread and can be woken.
  bool is_ready_for_scheduling_;
};

}  // namespace internal
}  // namespace base

#endif  // BASE_MESSAGE_LOOP_INCOMING_TASK_QUEUE_H_
