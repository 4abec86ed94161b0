#ifndef BASE_SINGLE_THREAD_TASK_RUNNER_H_
#define BASE_SINGLE_THREAD_TASK_RUNNER_H_

#include "base/sequenced_task_runner.h"

namespace base {

// A sequenced task runner whose tasks all run on one thread.
class SingleThreadTaskRunner : public SequencedTaskRunner {
 public:
  // Whether the calling thread is the runner's thread.
  bool BelongsToCurrentThread() const { return RunsTasksOnCurrentThread(); }

 protected:
  ~SingleThreadTaskRunner() override = default;
};

}  // namespace base

#endif  // BASE_SINGLE_THREAD_TASK_RUNNER_H_
