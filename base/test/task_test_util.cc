#include "base/test/task_test_util.h"

#include <memory>
#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/test/closure_from_function.h"

namespace base {
namespace test {

namespace {

class DestructionCallback {
 public:
  explicit DestructionCallback(std::function<void()> on_destroy)
      : on_destroy_(std::move(on_destroy)) {}
  DestructionCallback(const DestructionCallback&) = delete;
  DestructionCallback& operator=(const DestructionCallback&) = delete;
  ~DestructionCallback() {
    if (on_destroy_)
      on_destroy_();
  }

 private:
  const std::function<void()> on_destroy_;
};

void QuitCurrentWhenIdle() {
  MessageLoop::current()->QuitWhenIdle();
}

}  // namespace

Closure TrackedClosure(std::function<void()> body,
                       std::function<void()> on_destroy) {
  auto guard = std::make_shared<DestructionCallback>(std::move(on_destroy));
  return ClosureFromFunction([body, guard] {
    if (body)
      body();
  });
}

void RunUntilIdle() {
  MessageLoop::current()->PostTask(
      LOCATION_FROM_HERE("base::test::RunUntilIdle"),
      Bind(&QuitCurrentWhenIdle));
  RunLoop().Run();
}

}  // namespace test
}  // namespace base
