#include "base/task_runner_util.h"

#include <windows.h>

#include <memory>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/test/loop_thread.h"
#include "base/test/null_task_runner.h"
#include "gtest/gtest.h"

namespace base {

namespace {

// Sets a flag when destroyed, to see when a closure lets go of what it
// bound.
class DestructionFlag {
 public:
  explicit DestructionFlag(bool* destroyed) : destroyed_(destroyed) {}
  DestructionFlag(const DestructionFlag&) = delete;
  DestructionFlag& operator=(const DestructionFlag&) = delete;
  ~DestructionFlag() { *destroyed_ = true; }

 private:
  bool* const destroyed_;
};

std::unique_ptr<int> ComputeOnThread(DWORD* thread_id, int value) {
  *thread_id = ::GetCurrentThreadId();
  return std::unique_ptr<int>(new int(value));
}

void ReceiveResult(DWORD* thread_id,
                   int* received,
                   const Closure& quit,
                   std::unique_ptr<int> result) {
  *thread_id = ::GetCurrentThreadId();
  *received = result ? *result : -1;
  quit.Run();
}

void NeverRun(DestructionFlag* /*flag*/, std::unique_ptr<int> /*result*/) {
  ADD_FAILURE() << "the reply of a refused post ran";
}

TEST(PostTaskAndReplyWithResultTest, MovesTheResultToThePostingThread) {
  MessageLoop loop;
  LoopThread worker;
  DWORD task_thread = 0;
  DWORD reply_thread = 0;
  int received = 0;
  RunLoop run_loop;
  EXPECT_TRUE(PostTaskAndReplyWithResult(
      worker.task_runner().get(), LOCATION_FROM_HERE("MovesTheResult"),
      Bind(&ComputeOnThread, &task_thread, 42),
      Bind(&ReceiveResult, &reply_thread, &received, run_loop.QuitClosure())));
  run_loop.Run();
  EXPECT_EQ(42, received);
  EXPECT_EQ(worker.thread_id(), task_thread);
  EXPECT_EQ(::GetCurrentThreadId(), reply_thread);
}

TEST(PostTaskAndReplyWithResultTest, ARefusedPostRunsNothingAndFreesAll) {
  MessageLoop loop;
  scoped_refptr<TaskRunner> refusing(new NullTaskRunner);
  DWORD task_thread = 0;
  bool reply_state_destroyed = false;
  EXPECT_FALSE(PostTaskAndReplyWithResult(
      refusing.get(), LOCATION_FROM_HERE("ARefusedPost"),
      Bind(&ComputeOnThread, &task_thread, 1),
      Bind(&NeverRun, Owned(new DestructionFlag(&reply_state_destroyed)))));
  EXPECT_EQ(0u, task_thread);
  EXPECT_TRUE(reply_state_destroyed);
}

}  // namespace

}  // namespace base
