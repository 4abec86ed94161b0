#ifndef BASE_TEST_TASK_TEST_UTIL_H_
#define BASE_TEST_TASK_TEST_UTIL_H_

#include <functional>

#include "base/callback.h"

namespace base {
namespace test {

// A closure that runs |body| and, when its bind state is destroyed (run or
// not), calls |on_destroy|: tests see whether a task ran and when and where
// its bound objects went.
Closure TrackedClosure(std::function<void()> body,
                       std::function<void()> on_destroy);

// Posts a task that makes the current loop's innermost run loop quit at its
// next idle moment, then runs a run loop: every task already due runs.
void RunUntilIdle();

}  // namespace test
}  // namespace base

#endif  // BASE_TEST_TASK_TEST_UTIL_H_
