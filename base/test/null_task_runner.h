#ifndef BASE_TEST_NULL_TASK_RUNNER_H_
#define BASE_TEST_NULL_TASK_RUNNER_H_

#include "base/sequenced_task_runner.h"

namespace base {

// A runner that refuses every post and runs tasks on no thread.
class NullTaskRunner : public SequencedTaskRunner {
 public:
  NullTaskRunner();
  NullTaskRunner(const NullTaskRunner&) = delete;
  NullTaskRunner& operator=(const NullTaskRunner&) = delete;

  bool PostDelayedTask(const Location& from_here,
                       const Closure& task,
                       TimeDelta delay) override;
  bool RunsTasksOnCurrentThread() const override;
  bool PostNonNestableDelayedTask(const Location& from_here,
                                  const Closure& task,
                                  TimeDelta delay) override;

 private:
  ~NullTaskRunner() override;
};

}  // namespace base

#endif  // BASE_TEST_NULL_TASK_RUNNER_H_
