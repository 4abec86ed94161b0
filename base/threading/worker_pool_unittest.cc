#include "base/threading/worker_pool.h"

#include <windows.h>

#include <atomic>

#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/synchronization/waitable_event.h"
#include "base/test/closure_from_function.h"
#include "base/test/task_test_util.h"
#include "base/threading/platform_thread.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using test::ClosureFromFunction;
using test::TrackedClosure;

// What the fake queue functions saw.
std::atomic<ULONG> g_last_flags{0};
std::atomic<int> g_queue_calls{0};

BOOL WINAPI RefuseWorkItem(LPTHREAD_START_ROUTINE, PVOID, ULONG flags) {
  ++g_queue_calls;
  g_last_flags = flags;
  ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return FALSE;
}

BOOL WINAPI RecordAndQueueWorkItem(LPTHREAD_START_ROUTINE function,
                                   PVOID context,
                                   ULONG flags) {
  ++g_queue_calls;
  g_last_flags = flags;
  return ::QueueUserWorkItem(function, context, flags);
}

// Puts the system's queue function back at the end of a test.
class WorkerPoolTest : public testing::Test {
 protected:
  ~WorkerPoolTest() override {
    internal::SetQueueUserWorkItemFunctionForTesting(nullptr);
  }

  MessageLoop loop_;
};

TEST_F(WorkerPoolTest, SlowAndQuickTasksRunOnceAndAreDestroyed) {
  internal::SetQueueUserWorkItemFunctionForTesting(&RecordAndQueueWorkItem);
  const PlatformThreadId main_thread = PlatformThread::CurrentId();

  for (bool slow : {false, true}) {
    SCOPED_TRACE(slow ? "slow" : "quick");
    std::atomic<int> runs{0};
    std::atomic<PlatformThreadId> ran_on{0};
    WaitableEvent destroyed(true, false);
    ASSERT_TRUE(WorkerPool::PostTask(LOCATION_FROM_HERE("Test"),
                                     TrackedClosure(
                                         [&] {
                                           ++runs;
                                           ran_on = PlatformThread::CurrentId();
                                         },
                                         [&] { destroyed.Signal(); }),
                                     slow));
    // Long functions tell the system pool it may need more threads.
    EXPECT_EQ(slow ? ULONG{WT_EXECUTELONGFUNCTION} : ULONG{WT_EXECUTEDEFAULT},
              g_last_flags.load());
    destroyed.Wait();
    EXPECT_EQ(1, runs.load());
    EXPECT_NE(main_thread, ran_on.load());
  }
}

TEST_F(WorkerPoolTest, RefusedTaskIsReleasedAtOnce) {
  internal::SetQueueUserWorkItemFunctionForTesting(&RefuseWorkItem);
  std::atomic<int> runs{0};
  bool destroyed = false;
  Closure task = TrackedClosure([&] { ++runs; }, [&] { destroyed = true; });
  const int calls_before = g_queue_calls;
  EXPECT_FALSE(WorkerPool::PostTask(LOCATION_FROM_HERE("Test"), task, true));
  EXPECT_EQ(calls_before + 1, g_queue_calls.load());
  // The pool kept no copy: the caller's is the last.
  task = Closure();
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(0, runs.load());
}

TEST_F(WorkerPoolTest, ReplyRunsOnThePostingThreadAfterTheTask) {
  const PlatformThreadId main_thread = PlatformThread::CurrentId();
  PlatformThreadId task_thread = main_thread;
  PlatformThreadId reply_thread = 0;
  bool task_destroyed_before_reply = false;
  std::atomic<bool> task_destroyed{false};
  RunLoop run_loop;
  Closure quit = run_loop.QuitClosure();
  ASSERT_TRUE(WorkerPool::PostTaskAndReply(
      LOCATION_FROM_HERE("Test"),
      TrackedClosure([&] { task_thread = PlatformThread::CurrentId(); },
                     [&] { task_destroyed = true; }),
      ClosureFromFunction([&] {
        reply_thread = PlatformThread::CurrentId();
        task_destroyed_before_reply = task_destroyed;
        quit.Run();
      }),
      /*task_is_slow=*/true));
  run_loop.Run();
  EXPECT_NE(main_thread, task_thread);
  EXPECT_EQ(main_thread, reply_thread);
  EXPECT_TRUE(task_destroyed_before_reply);
}

TEST_F(WorkerPoolTest, RefusedTaskAndReplyNeitherRunNorLinger) {
  internal::SetQueueUserWorkItemFunctionForTesting(&RefuseWorkItem);
  int runs = 0;
  bool task_destroyed = false;
  bool reply_destroyed = false;
  Closure task =
      TrackedClosure([&] { ++runs; }, [&] { task_destroyed = true; });
  Closure reply =
      TrackedClosure([&] { ++runs; }, [&] { reply_destroyed = true; });
  EXPECT_FALSE(WorkerPool::PostTaskAndReply(LOCATION_FROM_HERE("Test"), task,
                                            reply, false));
  task = Closure();
  reply = Closure();
  EXPECT_TRUE(task_destroyed);
  EXPECT_TRUE(reply_destroyed);
  test::RunUntilIdle();
  EXPECT_EQ(0, runs);
}

}  // namespace
}  // namespace base
