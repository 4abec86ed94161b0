#include "base/win/object_watcher.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/message_loop/message_pump_default.h"
#include "base/run_loop.h"
#include "base/test/task_test_util.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

constexpr DWORD kTimeoutMs = 20000;

// Set by the pump below at each wake-up: when a task has reached the loop.
HANDLE g_woken = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);

struct WakeUpReportingPump : MessagePumpDefault {
  void ScheduleWork() override {
    MessagePumpDefault::ScheduleWork();
    ::SetEvent(g_woken);
  }
};

std::unique_ptr<MessagePump> MakePump() {
  return std::make_unique<WakeUpReportingPump>();
}

DWORD g_error = ERROR_SUCCESS;
int g_cancels = 0;

BOOL WINAPI CancelThenReport(HANDLE wait, HANDLE completion_event) {
  ++g_cancels;
  if (!::UnregisterWaitEx(wait, completion_event))
    return FALSE;
  ::SetLastError(g_error);
  return g_error == ERROR_SUCCESS;
}

class ObjectWatcherTest : public testing::Test, public ObjectWatcher::Delegate {
 protected:
  ObjectWatcherTest() { NewLoop(); }

  void OnObjectSignaled(HANDLE object) override {
    EXPECT_EQ(loop_.get(), MessageLoop::current());
    signals_.push_back(object);
    if (on_signal_)
      on_signal_();
    if (!quit_.is_null())
      quit_.Run();
  }

  void NewLoop() {
    loop_.reset();
    loop_ =
        MessageLoop::CreateUnbound(MessageLoop::TYPE_CUSTOM, Bind(&MakePump));
    loop_->BindToCurrentThread();
    ::ResetEvent(g_woken);
    signals_.clear();
  }

  void RunUntilSignaled(HANDLE object) {
    RunLoop run_loop;
    quit_ = run_loop.QuitClosure();
    signals_.clear();
    loop_->task_runner()->PostDelayedTask(
        LOCATION_FROM_HERE("Test"), quit_,
        TimeDelta::FromMilliseconds(kTimeoutMs));
    run_loop.Run();
    EXPECT_EQ(std::vector<HANDLE>{object}, signals_);
  }

  ScopedHandle event_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::unique_ptr<MessageLoop> loop_;
  std::vector<HANDLE> signals_;
  std::function<void()> on_signal_;
  Closure quit_;
};

TEST_F(ObjectWatcherTest, SignalArrivesOnceAsATaskOnTheWatchingLoop) {
  bool started_without_loop = true;
  std::thread([&] {
    started_without_loop =
        ObjectWatcher().StartWatchingOnce(event_.Get(), this);
  }).join();
  EXPECT_FALSE(started_without_loop);

  ASSERT_TRUE(::SetEvent(event_.Get()));
  auto watcher = std::make_unique<ObjectWatcher>();
  ASSERT_TRUE(watcher->StartWatchingOnce(event_.Get(), this));
  EXPECT_FALSE(watcher->StartWatchingOnce(g_woken, this));
  // Signalled already, the object is still reported only from a task.
  EXPECT_TRUE(signals_.empty());
  // The watch is over when the delegate hears of the signal: it may watch
  // again, then destroy the watcher.
  int signals = 0;
  on_signal_ = [&] {
    if (++signals == 1)
      EXPECT_TRUE(watcher->StartWatchingOnce(event_.Get(), this));
    else
      watcher.reset();
  };
  RunUntilSignaled(event_.Get());
  RunUntilSignaled(event_.Get());
  test::RunUntilIdle();
  EXPECT_EQ(1u, signals_.size());
}

TEST_F(ObjectWatcherTest, AWatchEndedBeforeItsTaskRunsTellsNobody) {
  internal::SetUnregisterWaitExFunctionForTesting(&CancelThenReport);
  // Under Wine, a cancel racing the firing wait can report ERROR_IO_PENDING
  // once it has released the wait. Any cancel ends the watch.
  enum Ending { kStop, kStopPending, kStopFails, kDestroy, kDestroyLoop };
  for (bool signal_posted : {false, true}) {
    for (Ending ending :
         {kStop, kStopPending, kStopFails, kDestroy, kDestroyLoop}) {
      SCOPED_TRACE(testing::Message() << signal_posted << ending);
      g_error = ending == kStopPending ? ERROR_IO_PENDING
                : ending == kStopFails ? ERROR_INVALID_HANDLE
                                       : ERROR_SUCCESS;
      g_cancels = 0;
      ::ResetEvent(event_.Get());
      NewLoop();
      auto watcher = std::make_unique<ObjectWatcher>();
      ASSERT_TRUE(watcher->StartWatchingOnce(event_.Get(), this));
      if (signal_posted) {
        ASSERT_TRUE(::SetEvent(event_.Get()));
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(g_woken, kTimeoutMs));
      }
      if (ending == kDestroy)
        watcher.reset();
      else if (ending == kDestroyLoop)
        NewLoop();
      else
        EXPECT_EQ(ending != kStopFails, watcher->StopWatching());
      ASSERT_TRUE(::SetEvent(event_.Get()));
      test::RunUntilIdle();
      EXPECT_TRUE(signals_.empty());
      if (watcher) {
        // Free to watch again; the signal ends that watch, for good.
        EXPECT_FALSE(watcher->StopWatching());
        g_error = ERROR_SUCCESS;
        ASSERT_TRUE(watcher->StartWatchingOnce(event_.Get(), this));
        RunUntilSignaled(event_.Get());
        watcher.reset();
      }
      EXPECT_EQ(ending == kDestroy ? 1 : 2, g_cancels);
    }
  }
  internal::SetUnregisterWaitExFunctionForTesting(nullptr);
}

}  // namespace
}  // namespace win
}  // namespace base
