#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_REFUSING_TASK_RUNNER_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_REFUSING_TASK_RUNNER_H_

#include "base/sequenced_task_runner.h"

namespace vexlo {
namespace installer {

// A runner that refuses every task. A preferences store given one reads its
// file but never writes it back.
class RefusingTaskRunner : public base::SequencedTaskRunner {
 public:
  RefusingTaskRunner();
  RefusingTaskRunner(const RefusingTaskRunner&) = delete;
  RefusingTaskRunner& operator=(const RefusingTaskRunner&) = delete;

  bool PostDelayedTask(const base::Location& from_here,
                       const base::Closure& task,
                       base::TimeDelta delay) override;
  bool PostNonNestableDelayedTask(const base::Location& from_here,
                                  const base::Closure& task,
                                  base::TimeDelta delay) override;
  bool RunsTasksOnCurrentThread() const override;

 private:
  ~RefusingTaskRunner() override;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_REFUSING_TASK_RUNNER_H_
