#include "base/test/task_test_util.h"

#include <memory>
#include <utility>

#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/test/closure_from_function.h"

namespace base {
namespace test {

Closure TrackedClosure(std::function<void()> body,
                       std::function<void()> on_destroy) {
  // The deleter runs when the last copy of the bind state goes.
  std::shared_ptr<void> guard(nullptr, [on_destroy](void*) {
    if (on_destroy)
      on_destroy();
  });
  return ClosureFromFunction([body, guard] {
    if (body)
      body();
  });
}

Closure Record(std::vector<std::string>* log, const std::string& entry) {
  return ClosureFromFunction([log, entry] { log->push_back(entry); });
}

void RunUntilIdle() {
  MessageLoop::current()->PostTask(
      LOCATION_FROM_HERE("base::test::RunUntilIdle"),
      ClosureFromFunction([] { MessageLoop::current()->QuitWhenIdle(); }));
  RunLoop().Run();
}

bool RunWithTimeout(RunLoop* run_loop, TimeDelta timeout) {
  // Shared with the time-out task, which may outlive this call.
  auto timed_out = std::make_shared<bool>(false);
  const Closure quit = run_loop->QuitClosure();
  MessageLoop::current()->PostDelayedTask(
      LOCATION_FROM_HERE("base::test::RunWithTimeout"),
      ClosureFromFunction([timed_out, quit] {
        *timed_out = true;
        quit.Run();
      }),
      timeout);
  run_loop->Run();
  return !*timed_out;
}

}  // namespace test
}  // namespace base
