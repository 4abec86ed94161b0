#ifndef BASE_THREADING_WORKER_POOL_H_
#define BASE_THREADING_WORKER_POOL_H_

#include <windows.h>

#include "base/callback.h"
#include "base/location.h"

namespace base {

// Runs tasks on the threads of the system's thread pool, for work that needs
// neither an order nor a thread of its own. Tasks run side by side in no
// particular order, possibly before the post returns; whatever a task shares
// with other threads needs its own locking.
class WorkerPool {
 public:
  WorkerPool() = delete;

  // Queues |task|. A |task_is_slow| task may block for long, which lets the
  // system add threads. False when the system refuses the task, which is
  // then released at once without running.
  static bool PostTask(const Location& from_here,
                       const Closure& task,
                       bool task_is_slow);

  // Runs |task| on the pool and afterwards |reply| on the runner of the
  // calling thread, which must have a bound message loop. False when the
  // task cannot be queued; then neither runs.
  static bool PostTaskAndReply(const Location& from_here,
                               const Closure& task,
                               const Closure& reply,
                               bool task_is_slow);
};

namespace internal {

// The system call that queues a work item.
using QueueUserWorkItemFunction = BOOL(WINAPI*)(LPTHREAD_START_ROUTINE,
                                                PVOID,
                                                ULONG);

// Makes WorkerPool queue through |function| instead of the system, so that
// tests can make queuing fail; null puts the system call back.
void SetQueueUserWorkItemFunctionForTesting(QueueUserWorkItemFunction function);

}  // namespace internal

}  // namespace base

#endif  // BASE_THREADING_WORKER_POOL_H_
