#include "base/threading/worker_pool.h"

#include "base/logging.h"
#include "base/memory/ref_counted.h"
#include "base/task_runner.h"

namespace base {

namespace {

// The system pool seen as a task runner, so that a reply takes the same
// relay back to the posting thread as with any other runner.
class WorkerPoolTaskRunner : public TaskRunner {
 public:
  explicit WorkerPoolTaskRunner(bool tasks_are_slow)
      : tasks_are_slow_(tasks_are_slow) {}
  WorkerPoolTaskRunner(const WorkerPoolTaskRunner&) = delete;
  WorkerPoolTaskRunner& operator=(const WorkerPoolTaskRunner&) = delete;

  // The system pool has no delayed work items; only the relay posts here,
  // without a delay.
  bool PostDelayedTask(const Location& from_here,
                       const Closure& task,
                       TimeDelta delay) override {
    DCHECK(delay.is_zero());
    return WorkerPool::PostTask(from_here, task, tasks_are_slow_);
  }

  // The relay never asks; which system thread runs a task is unknown here.
  bool RunsTasksOnCurrentThread() const override { return false; }

 private:
  ~WorkerPoolTaskRunner() override = default;

  const bool tasks_are_slow_;
};

}  // namespace

// static
bool WorkerPool::PostTaskAndReply(const Location& from_here,
                                  const Closure& task,
                                  const Closure& reply,
                                  bool task_is_slow) {
  scoped_refptr<TaskRunner> runner(new WorkerPoolTaskRunner(task_is_slow));
  return runner->PostTaskAndReply(from_here, task, reply);
}

}  // namespace base
