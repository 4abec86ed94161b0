#ifndef BASE_TEST_CLOSURE_FROM_FUNCTION_H_
#define BASE_TEST_CLOSURE_FROM_FUNCTION_H_

#include <functional>
#include <utility>

#include "base/bind.h"
#include "base/callback.h"

namespace base {
namespace test {

namespace internal {
inline void RunFunction(const std::function<void()>& function) {
  function();
}
}  // namespace internal

// A closure that runs |function|, for tests that post lambdas. The function
// object, with whatever it captured, lives in the closure's bind state.
inline Closure ClosureFromFunction(std::function<void()> function) {
  return Bind(&internal::RunFunction, std::move(function));
}

}  // namespace test
}  // namespace base

#endif  // BASE_TEST_CLOSURE_FROM_FUNCTION_H_
