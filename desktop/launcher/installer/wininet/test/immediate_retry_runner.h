#ifndef DESKTOP_LAUNCHER_INSTALLER_WININET_TEST_IMMEDIATE_RETRY_RUNNER_H_
#define DESKTOP_LAUNCHER_INSTALLER_WININET_TEST_IMMEDIATE_RETRY_RUNNER_H_

#include <stdint.h>

#include <vector>

#include "base/memory/ref_counted.h"
#include "base/single_thread_task_runner.h"
#include "base/synchronization/lock.h"
#include "base/task_runner.h"

namespace vexlo {
namespace installer {

// Takes a WinINet client's counted retries and runs them at once on the
// thread that created it, keeping the pauses they asked for.
class ImmediateRetryRunner : public base::TaskRunner {
 public:
  ImmediateRetryRunner();

  bool PostDelayedTask(const base::Location& from_here,
                       const base::Closure& task,
                       base::TimeDelta delay) override;
  bool RunsTasksOnCurrentThread() const override;

  // The pause of every retry so far, in milliseconds.
  std::vector<int64_t> delays_ms();

 private:
  ~ImmediateRetryRunner() override;

  const base::scoped_refptr<base::SingleThreadTaskRunner> target_;
  base::Lock lock_;
  std::vector<int64_t> delays_ms_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_WININET_TEST_IMMEDIATE_RETRY_RUNNER_H_
