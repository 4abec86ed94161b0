#ifndef BASE_TEST_TEST_SIMPLE_TASK_RUNNER_H_
#define BASE_TEST_TEST_SIMPLE_TASK_RUNNER_H_

#include <deque>
#include <vector>

#include "base/callback.h"
#include "base/location.h"
#include "base/single_thread_task_runner.h"
#include "base/synchronization/lock.h"
#include "base/threading/platform_thread.h"
#include "base/time/time.h"

namespace base {

// A runner that only queues what is posted, from any thread, until the test
// runs it on the thread that created the runner. Delays are recorded, not
// waited for: a test lets the time pass by running the tasks, so nothing
// depends on the clock.
class TestSimpleTaskRunner : public SingleThreadTaskRunner {
 public:
  struct PostedTask {
    Location from_here;
    Closure task;
    TimeDelta delay;
  };

  TestSimpleTaskRunner();
  TestSimpleTaskRunner(const TestSimpleTaskRunner&) = delete;
  TestSimpleTaskRunner& operator=(const TestSimpleTaskRunner&) = delete;

  bool PostDelayedTask(const Location& from_here,
                       const Closure& task,
                       TimeDelta delay) override;
  bool PostNonNestableDelayedTask(const Location& from_here,
                                  const Closure& task,
                                  TimeDelta delay) override {
    return PostDelayedTask(from_here, task, delay);
  }
  // True on the thread that created the runner.
  bool RunsTasksOnCurrentThread() const override {
    return PlatformThread::CurrentId() == thread_id_;
  }

  // Copies of the tasks waiting, in posting order.
  std::vector<PostedTask> GetPendingTasks() const;
  bool HasPendingTask() const;

  // Runs the tasks waiting now in posting order; tasks they post wait for
  // the next call.
  void RunPendingTasks();
  // Runs tasks until none waits.
  void RunUntilIdle();

 private:
  ~TestSimpleTaskRunner() override;

  const PlatformThreadId thread_id_;
  mutable Lock lock_;
  std::deque<PostedTask> pending_tasks_;
};

}  // namespace base

#endif  // BASE_TEST_TEST_SIMPLE_TASK_RUNNER_H_
