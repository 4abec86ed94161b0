#ifndef BASE_TEST_LOOP_THREAD_H_
#define BASE_TEST_LOOP_THREAD_H_

#include <stdint.h>

#include <thread>

#include "base/memory/ref_counted.h"
#include "base/single_thread_task_runner.h"

namespace base {

// A plain thread that runs a default message loop of its own until Stop,
// for tests that need tasks on another thread.
class LoopThread {
 public:
  // Returns once the thread's loop accepts tasks.
  LoopThread();
  LoopThread(const LoopThread&) = delete;
  LoopThread& operator=(const LoopThread&) = delete;
  // Stops the thread when Stop has not.
  ~LoopThread();

  // Quits the loop once the tasks already due have run, joins the thread;
  // the loop is destroyed on it, with every task it still holds.
  void Stop();

  const scoped_refptr<SingleThreadTaskRunner>& task_runner() const {
    return task_runner_;
  }
  uint32_t thread_id() const { return thread_id_; }

 private:
  scoped_refptr<SingleThreadTaskRunner> task_runner_;
  uint32_t thread_id_;
  std::thread thread_;
};

}  // namespace base

#endif  // BASE_TEST_LOOP_THREAD_H_
