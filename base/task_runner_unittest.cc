#include "base/task_runner.h"

#include <windows.h>

#include <stdint.h>

#include <memory>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/task_runner_util.h"
#include "base/test/closure_from_function.h"
#include "base/test/loop_thread.h"
#include "base/test/task_test_util.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using test::TrackedClosure;

#define HERE LOCATION_FROM_HERE("base::TaskRunnerTest")

// Refuses every post, and says when the last reference to it went.
class RefusingRunner : public TaskRunner {
 public:
  explicit RefusingRunner(bool* deleted) : deleted_(deleted) {}
  bool PostDelayedTask(const Location&, const Closure&, TimeDelta) override {
    return false;
  }
  bool RunsTasksOnCurrentThread() const override { return false; }

 private:
  ~RefusingRunner() override { *deleted_ = true; }
  bool* const deleted_;
};

std::unique_ptr<uint32_t> CurrentThreadId() {
  return std::make_unique<uint32_t>(::GetCurrentThreadId());
}

// The task runs on the worker; the reply on the posting thread, after the
// task and what it bound were released there.
TEST(TaskRunnerTest, ReplyRunsOnThePostingThreadAfterTheTaskIsReleased) {
  MessageLoop loop;
  LoopThread worker;
  uint32_t task_thread = 0;
  uint32_t task_released_on = 0;
  uint32_t task_released_before_reply = 0;
  uint32_t reply_thread = 0;
  RunLoop run_loop;
  EXPECT_TRUE(worker.task_runner()->PostTaskAndReply(
      HERE,
      TrackedClosure([&] { task_thread = ::GetCurrentThreadId(); },
                     [&] { task_released_on = ::GetCurrentThreadId(); }),
      TrackedClosure(
          [&] {
            reply_thread = ::GetCurrentThreadId();
            task_released_before_reply = task_released_on;
          },
          [&] { run_loop.Quit(); })));
  ASSERT_TRUE(test::RunWithTimeout(&run_loop));
  EXPECT_EQ(worker.thread_id(), task_thread);
  EXPECT_EQ(::GetCurrentThreadId(), reply_thread);
  EXPECT_EQ(::GetCurrentThreadId(), task_released_before_reply);
}

void DropThreadId(const Closure& /*bound*/, std::unique_ptr<uint32_t>) {}

TEST(TaskRunnerTest, ARefusedPostRunsNothingAndReleasesEverything) {
  MessageLoop loop;
  bool runner_deleted = false;
  scoped_refptr<TaskRunner> refusing = new RefusingRunner(&runner_deleted);
  bool ran = false;
  int released = 0;
  auto tracked = [&] {
    return TrackedClosure([&] { ran = true; }, [&] { ++released; });
  };
  EXPECT_FALSE(refusing->PostTaskAndReply(HERE, tracked(), tracked()));
  EXPECT_FALSE(PostTaskAndReplyWithResult(refusing.get(), HERE,
                                          Bind(&CurrentThreadId),
                                          Bind(&DropThreadId, tracked())));
  EXPECT_EQ(3, released);
  test::RunUntilIdle();
  EXPECT_FALSE(ran);

  scoped_refptr<TaskRunner> second = refusing;
  refusing = nullptr;
  EXPECT_FALSE(runner_deleted);
  second = nullptr;
  EXPECT_TRUE(runner_deleted);
}

TEST(TaskRunnerDeathTest, ANullTaskOrReplyBreaksIntoTheDebugger) {
  MessageLoop loop;
  const Closure task = test::ClosureFromFunction([] {});
  EXPECT_EXIT(loop.task_runner()->PostTaskAndReply(HERE, task, Closure()),
              testing::ExitedWithCode(EXCEPTION_BREAKPOINT), "");
  EXPECT_EXIT(loop.task_runner()->PostTaskAndReply(HERE, Closure(), task),
              testing::ExitedWithCode(EXCEPTION_BREAKPOINT), "");
}

}  // namespace
}  // namespace base
