#include "base/test/null_task_runner.h"

namespace base {

NullTaskRunner::NullTaskRunner() = default;

NullTaskRunner::~NullTaskRunner() = default;

bool NullTaskRunner::PostDelayedTask(const Location& /*from_here*/,
                                     const Closure& /*task*/,
                                     TimeDelta /*delay*/) {
  return false;
}

bool NullTaskRunner::RunsTasksOnCurrentThread() const {
  return false;
}

bool NullTaskRunner::PostNonNestableDelayedTask(const Location& /*from_here*/,
                                                const Closure& /*task*/,
                                                TimeDelta /*delay*/) {
  return false;
}

}  // namespace base
