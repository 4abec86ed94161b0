#include "desktop/launcher/installer/wininet/test/immediate_retry_runner.h"

#include "base/threading/thread_task_runner_handle.h"

namespace vexlo {
namespace installer {

ImmediateRetryRunner::ImmediateRetryRunner()
    : target_(base::ThreadTaskRunnerHandle::Get()) {}

ImmediateRetryRunner::~ImmediateRetryRunner() = default;

bool ImmediateRetryRunner::PostDelayedTask(const base::Location& from_here,
                                           const base::Closure& task,
                                           base::TimeDelta delay) {
  {
    base::AutoLock hold(lock_);
    delays_ms_.push_back(delay.InMilliseconds());
  }
  return target_->PostTask(from_here, task);
}

bool ImmediateRetryRunner::RunsTasksOnCurrentThread() const {
  return target_->RunsTasksOnCurrentThread();
}

std::vector<int64_t> ImmediateRetryRunner::delays_ms() {
  base::AutoLock hold(lock_);
  return delays_ms_;
}

}  // namespace installer
}  // namespace vexlo
