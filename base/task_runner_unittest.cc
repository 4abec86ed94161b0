#include "base/task_runner.h"

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/sequenced_task_runner.h"
#include "base/synchronization/waitable_event.h"
#include "base/test/closure_from_function.h"
#include "base/test/loop_thread.h"
#include "base/test/null_task_runner.h"
#include "base/test/task_test_util.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using test::ClosureFromFunction;
using test::TrackedClosure;

#define HERE LOCATION_FROM_HERE("base::TaskRunnerTest")

TEST(TaskRunnerTest, ReplyRunsOnThePostingThreadAfterTheTaskIsReleased) {
  MessageLoop loop;
  LoopThread worker;
  const uint32_t main_thread = ::GetCurrentThreadId();

  uint32_t task_thread = 0;
  uint32_t task_released_on = 0;
  uint32_t reply_thread = 0;
  bool task_released_before_reply = false;
  bool reply_released = false;
  RunLoop run_loop;

  EXPECT_TRUE(worker.task_runner()->PostTaskAndReply(
      HERE,
      TrackedClosure([&] { task_thread = ::GetCurrentThreadId(); },
                     [&] { task_released_on = ::GetCurrentThreadId(); }),
      TrackedClosure(
          [&] {
            reply_thread = ::GetCurrentThreadId();
            task_released_before_reply = task_released_on != 0;
            run_loop.Quit();
          },
          [&] { reply_released = true; })));
  run_loop.Run();

  EXPECT_EQ(worker.thread_id(), task_thread);
  EXPECT_EQ(main_thread, reply_thread);
  EXPECT_TRUE(task_released_before_reply);
  EXPECT_EQ(main_thread, task_released_on);
  EXPECT_TRUE(reply_released);
}

TEST(TaskRunnerTest, PostTaskAndReplyToARefusingRunner) {
  MessageLoop loop;
  scoped_refptr<SequencedTaskRunner> refusing = new NullTaskRunner();
  bool ran = false;
  int released = 0;
  EXPECT_FALSE(refusing->PostTaskAndReply(
      HERE, TrackedClosure([&] { ran = true; }, [&] { ++released; }),
      TrackedClosure([&] { ran = true; }, [&] { ++released; })));
  EXPECT_EQ(2, released);
  test::RunUntilIdle();
  EXPECT_FALSE(ran);

  EXPECT_FALSE(refusing->RunsTasksOnCurrentThread());
  EXPECT_FALSE(refusing->PostNonNestableTask(HERE, ClosureFromFunction([] {})));
  int* object = new int(7);
  EXPECT_FALSE(refusing->DeleteSoon(HERE, object));
  delete object;
}

TEST(TaskRunnerTest, ReplyToALoopThatIsGoneNeverRuns) {
  // The origin loop goes away while the task runs: the reply is refused.
  LoopThread worker;
  WaitableEvent task_started(true, false);
  WaitableEvent origin_gone(true, false);
  bool reply_ran = false;
  {
    MessageLoop origin;
    EXPECT_TRUE(worker.task_runner()->PostTaskAndReply(
        HERE, ClosureFromFunction([&] {
          task_started.Signal();
          origin_gone.Wait();
        }),
        ClosureFromFunction([&] { reply_ran = true; })));
    task_started.Wait();
  }
  origin_gone.Signal();
  worker.Stop();
  EXPECT_FALSE(reply_ran);
}

class CountingRunner : public TaskRunner {
 public:
  explicit CountingRunner(bool* deleted) : deleted_(deleted) {}
  bool PostDelayedTask(const Location& /*from_here*/,
                       const Closure& /*task*/,
                       TimeDelta /*delay*/) override {
    return false;
  }
  bool RunsTasksOnCurrentThread() const override { return true; }

 private:
  ~CountingRunner() override { *deleted_ = true; }
  bool* const deleted_;
};

TEST(TaskRunnerTest, LastReferenceDeletesTheRunner) {
  bool deleted = false;
  scoped_refptr<TaskRunner> first = new CountingRunner(&deleted);
  scoped_refptr<TaskRunner> second = first;
  first = nullptr;
  EXPECT_FALSE(deleted);
  second = nullptr;
  EXPECT_TRUE(deleted);
}

}  // namespace
}  // namespace base
