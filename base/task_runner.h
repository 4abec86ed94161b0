#ifndef BASE_TASK_RUNNER_H_
#define BASE_TASK_RUNNER_H_

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/time/time.h"

namespace base {

class TaskRunner;

// Destroys a task runner through its OnDestruct when the last reference
// goes.
struct TaskRunnerTraits {
  static void Destruct(const TaskRunner* task_runner);
};

// Something that runs posted tasks: a thread's message loop, a worker pool.
// Any thread may post; each post carries the location of the code that made
// it. Reference counted across threads.
class TaskRunner : public RefCountedThreadSafe<TaskRunner, TaskRunnerTraits> {
 public:
  // Posts |task| to run after at least |delay|. True when the runner
  // accepted it; an accepted task runs or is destroyed unrun, and a refused
  // one is released before the call returns.
  virtual bool PostDelayedTask(const Location& from_here,
                               const Closure& task,
                               TimeDelta delay) = 0;

  // Whether tasks posted here run on the calling thread.
  virtual bool RunsTasksOnCurrentThread() const = 0;

  // Posts |task| to run as soon as possible.
  bool PostTask(const Location& from_here, const Closure& task);

  // Runs |task| on this runner and afterwards |reply| on the runner of the
  // calling thread, which must have a bound message loop. Both must be
  // non-null. The relay's references to |task|, |reply| and the calling
  // thread's runner are dropped on the calling thread: the task's before the
  // reply runs, the reply's after it. False when this runner refuses the
  // post; then neither runs.
  bool PostTaskAndReply(const Location& from_here,
                        const Closure& task,
                        const Closure& reply);

 protected:
  friend struct TaskRunnerTraits;

  TaskRunner();
  virtual ~TaskRunner();

  // Called when the last reference goes; deletes the runner.
  virtual void OnDestruct() const;
};

}  // namespace base

#endif  // BASE_TASK_RUNNER_H_
