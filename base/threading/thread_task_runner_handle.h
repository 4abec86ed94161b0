#ifndef BASE_THREADING_THREAD_TASK_RUNNER_HANDLE_H_
#define BASE_THREADING_THREAD_TASK_RUNNER_HANDLE_H_

#include "base/memory/ref_counted.h"
#include "base/single_thread_task_runner.h"

namespace base {

// Makes the task runner of the current thread reachable from anywhere on
// that thread for as long as the handle lives. Every thread with a bound
// message loop has one.
class ThreadTaskRunnerHandle {
 public:
  // The calling thread's runner, with a new reference. The thread must have
  // a handle: asking on any other thread is a programming error.
  static scoped_refptr<SingleThreadTaskRunner> Get();

  // Publishes itself as the calling thread's handle.
  explicit ThreadTaskRunnerHandle(
      scoped_refptr<SingleThreadTaskRunner> task_runner);
  ThreadTaskRunnerHandle(const ThreadTaskRunnerHandle&) = delete;
  ThreadTaskRunnerHandle& operator=(const ThreadTaskRunnerHandle&) = delete;
  // Withdraws the handle, then releases the runner.
  ~ThreadTaskRunnerHandle();

 private:
  scoped_refptr<SingleThreadTaskRunner> task_runner_;
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_TASK_RUNNER_HANDLE_H_
