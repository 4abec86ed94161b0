#include "desktop/launcher/installer/service/refusing_task_runner.h"

namespace vexlo {
namespace installer {

RefusingTaskRunner::RefusingTaskRunner() = default;

RefusingTaskRunner::~RefusingTaskRunner() = default;

bool RefusingTaskRunner::PostDelayedTask(const base::Location& /* from_here */,
                                         const base::Closure& /* task */,
                                         base::TimeDelta /* delay */) {
  return false;
}

bool RefusingTaskRunner::PostNonNestableDelayedTask(
    const base::Location& /* from_here */,
    const base::Closure& /* task */,
    base::TimeDelta /* delay */) {
  return false;
}

bool RefusingTaskRunner::RunsTasksOnCurrentThread() const {
  return false;
}

}  // namespace installer
}  // namespace vexlo
