#include "base/test/test_simple_task_runner.h"

#include <utility>

#include "base/logging.h"

namespace base {

TestSimpleTaskRunner::TestSimpleTaskRunner()
    : thread_id_(PlatformThread::CurrentId()) {}

TestSimpleTaskRunner::~TestSimpleTaskRunner() = default;

bool TestSimpleTaskRunner::PostDelayedTask(const Location& from_here,
                                           const Closure& task,
                                           TimeDelta delay) {
  AutoLock auto_lock(lock_);
  pending_tasks_.push_back(PostedTask{from_here, task, delay});
  return true;
}

std::vector<TestSimpleTaskRunner::PostedTask>
TestSimpleTaskRunner::GetPendingTasks() const {
  AutoLock auto_lock(lock_);
  return std::vector<PostedTask>(pending_tasks_.begin(), pending_tasks_.end());
}

bool TestSimpleTaskRunner::HasPendingTask() const {
  AutoLock auto_lock(lock_);
  return !pending_tasks_.empty();
}

void TestSimpleTaskRunner::RunPendingTasks() {
  CHECK(RunsTasksOnCurrentThread());
  std::deque<PostedTask> tasks;
  {
    AutoLock auto_lock(lock_);
    tasks.swap(pending_tasks_);
  }
  for (PostedTask& posted : tasks) {
    posted.task.Run();
    // Whatever the task bound goes before the next one runs.
    posted.task.Reset();
  }
}

void TestSimpleTaskRunner::RunUntilIdle() {
  while (HasPendingTask())
    RunPendingTasks();
}

}  // namespace base
