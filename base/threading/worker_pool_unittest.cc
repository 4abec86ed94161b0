#include "base/threading/worker_pool.h"

#include <windows.h>

#include <atomic>

#include "base/location.h"
#include "base/synchronization/waitable_event.h"
#include "base/test/task_test_util.h"
#include "base/threading/platform_thread.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Queues through the system unless |g_refuse|; notes the flags.
std::atomic<ULONG> g_flags{0};
bool g_refuse = false;

BOOL WINAPI QueueOrRefuse(LPTHREAD_START_ROUTINE function,
                          PVOID context,
                          ULONG flags) {
  g_flags = flags;
  if (!g_refuse)
    return ::QueueUserWorkItem(function, context, flags);
  ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return FALSE;
}

Closure Probe(std::atomic<PlatformThreadId>* ran_on, WaitableEvent* destroyed) {
  return test::TrackedClosure([=] { *ran_on = PlatformThread::CurrentId(); },
                              [=] { destroyed->Signal(); });
}

TEST(WorkerPoolTest, TaskRunsOnceElsewhereOrIsReleasedWhenRefused) {
  internal::SetQueueUserWorkItemFunctionForTesting(&QueueOrRefuse);
  for (int i = 0; i < 4; ++i) {
    const bool slow = i & 1;
    g_refuse = i & 2;
    std::atomic<PlatformThreadId> ran_on{0};
    WaitableEvent destroyed(true, false);
    EXPECT_NE(g_refuse, WorkerPool::PostTask(LOCATION_FROM_HERE("Test"),
                                             Probe(&ran_on, &destroyed), slow));
    // Long functions tell the system pool it may need more threads.
    EXPECT_EQ(slow ? WT_EXECUTELONGFUNCTION : WT_EXECUTEDEFAULT,
              static_cast<int>(g_flags));
    EXPECT_TRUE(destroyed.TimedWait(TimeDelta::FromSeconds(g_refuse ? 0 : 20)));
    EXPECT_EQ(!g_refuse, ran_on != 0 && ran_on != PlatformThread::CurrentId());
  }
  internal::SetQueueUserWorkItemFunctionForTesting(nullptr);
}

}  // namespace
}  // namespace base
