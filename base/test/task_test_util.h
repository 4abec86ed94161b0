#ifndef BASE_TEST_TASK_TEST_UTIL_H_
#define BASE_TEST_TASK_TEST_UTIL_H_

#include <functional>
#include <string>
#include <vector>

#include "base/callback.h"
#include "base/time/time.h"

namespace base {

class RunLoop;

namespace test {

// A closure that runs |body| and, when its bind state is destroyed (run or
// not), calls |on_destroy|: tests see whether a task ran and when and where
// its bound objects went.
Closure TrackedClosure(std::function<void()> body,
                       std::function<void()> on_destroy);

// A closure that appends |entry| to |log|, for tests of the order of tasks.
Closure Record(std::vector<std::string>* log, const std::string& entry);

// Posts a task that makes the current loop's innermost run loop quit at its
// next idle moment, then runs a run loop: every task already due runs.
void RunUntilIdle();

// Runs |run_loop| until it quits or |timeout| has passed; false on a
// time-out, so that a test waiting for a task that never comes fails fast.
bool RunWithTimeout(RunLoop* run_loop,
                    TimeDelta timeout = TimeDelta::FromSeconds(10));

}  // namespace test
}  // namespace base

#endif  // BASE_TEST_TASK_TEST_UTIL_H_
