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

  bool PostDelayedTask(const Location&, const Closure&, TimeDelta) override {
    return false;
  }
  bool RunsTasksOnCurrentThread() const override { return false; }
  bool PostNonNestableDelayedTask(const Location&,
                                  const Closure&,
                                  TimeDelta) override {
    return false;
  }

 private:
  ~NullTaskRunner() override;
};

}  // namespace base

#endif  // BASE_TEST_NULL_TASK_RUNNER_H_
