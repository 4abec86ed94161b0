#ifndef BASE_MESSAGE_LOOP_MESSAGE_LOOP_TASK_RUNNER_H_
#define BASE_MESSAGE_LOOP_MESSAGE_LOOP_TASK_RUNNER_H_

#include <stdint.h>

#include "base/memory/ref_counted.h"
#include "base/single_thread_task_runner.h"
#include "base/synchronization/lock.h"

namespace base {
namespace internal {

class IncomingTaskQueue;

// The task-runner face of a message loop's incoming queue. Runs tasks on no
// thread until the loop is bound, then on the loop's thread.
class MessageLoopTaskRunner : public SingleThreadTaskRunner {
 public:
  explicit MessageLoopTaskRunner(
      scoped_refptr<IncomingTaskQueue> incoming_queue);
  MessageLoopTaskRunner(const MessageLoopTaskRunner&) = delete;
  MessageLoopTaskRunner& operator=(const MessageLoopTaskRunner&) = delete;

  // Makes the calling thread the runner's thread.
  void BindToCurrentThread();

  // SingleThreadTaskRunner:
  bool PostDelayedTask(const Location& from_here,
                       const Closure& task,
                       TimeDelta delay) override;
  bool RunsTasksOnCurrentThread() const override;
  bool PostNonNestableDelayedTask(const Location& from_here,
                                  const Closure& task,
                                  TimeDelta delay) override;

 private:
  ~MessageLoopTaskRunner() override;

  const scoped_refptr<IncomingTaskQueue> incoming_queue_;

  // The bound thread's id, 0 until bound.
  uint32_t valid_thread_id_;
  mutable Lock valid_thread_id_lock_;
};

}  // namespace internal
}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_LOOP_TASK_RUNNER_H_
