#include "base/win/object_watcher.h"

#include <windows.h>

#include <memory>
#include <thread>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/message_loop/message_pump_default.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/run_loop.h"
#include "base/test/closure_from_function.h"
#include "base/test/process_test_child_command.h"
#include "base/test/task_test_util.h"
#include "base/threading/thread.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

ScopedHandle MakeEvent(bool manual_reset) {
  return ScopedHandle(::CreateEventW(nullptr, manual_reset, FALSE, nullptr));
}

// Records each signal with the thread and loop it arrived on, and quits the
// run loop it was given, if any.
class RecordingDelegate : public ObjectWatcher::Delegate {
 public:
  void OnObjectSignaled(HANDLE object) override {
    objects.push_back(object);
    thread_id = ::GetCurrentThreadId();
    loop = MessageLoop::current();
    if (!quit_closure.is_null())
      quit_closure.Run();
  }

  std::vector<HANDLE> objects;
  DWORD thread_id = 0;
  MessageLoop* loop = nullptr;
  Closure quit_closure;
};

// Runs a run loop until |delegate| has been told once more.
void RunUntilSignaled(RecordingDelegate* delegate) {
  RunLoop run_loop;
  delegate->quit_closure = run_loop.QuitClosure();
  run_loop.Run();
  delegate->quit_closure = Closure();
}

TEST(ObjectWatcherTest, WatchesAChildProcessUntilItEnds) {
  MessageLoop loop;
  Process child =
      LaunchProcess(MakeTestChildCommandLine({"exit", "3"}), LaunchOptions());
  ASSERT_TRUE(child.IsValid());

  ObjectWatcher watcher;
  RecordingDelegate delegate;
  ASSERT_TRUE(watcher.StartWatchingOnce(child.Handle(), &delegate));
  RunUntilSignaled(&delegate);

  ASSERT_EQ(1u, delegate.objects.size());
  EXPECT_EQ(child.Handle(), delegate.objects[0]);
  DWORD exit_code = 0;
  ASSERT_TRUE(::GetExitCodeProcess(child.Handle(), &exit_code));
  EXPECT_EQ(3u, exit_code);
  // The watch ended before the delegate heard of it.
  EXPECT_FALSE(watcher.StopWatching());
}

TEST(ObjectWatcherTest, SignalArrivesAsATaskOnTheStartingLoop) {
  MessageLoop loop;
  ScopedHandle event = MakeEvent(true);
  ASSERT_TRUE(event.IsValid());
  ASSERT_TRUE(::SetEvent(event.Get()));

  // Already signalled: the delegate still hears of it only from a task.
  ObjectWatcher watcher;
  RecordingDelegate delegate;
  ASSERT_TRUE(watcher.StartWatchingOnce(event.Get(), &delegate));
  EXPECT_TRUE(delegate.objects.empty());

  RunUntilSignaled(&delegate);
  ASSERT_EQ(1u, delegate.objects.size());
  EXPECT_EQ(event.Get(), delegate.objects[0]);
  EXPECT_EQ(::GetCurrentThreadId(), delegate.thread_id);
  EXPECT_EQ(&loop, delegate.loop);

  // The event stays signalled, but a watch covers one signal.
  test::RunUntilIdle();
  EXPECT_EQ(1u, delegate.objects.size());
}

TEST(ObjectWatcherTest, SignalArrivesOnTheLoopOfTheWatchingThread) {
  Thread thread("WatcherTestThread");
  ASSERT_TRUE(thread.Start());
  ScopedHandle event = MakeEvent(false);
  ScopedHandle delivered = MakeEvent(true);
  ASSERT_TRUE(event.IsValid() && delivered.IsValid());

  // The watcher lives and dies on the other thread.
  ObjectWatcher* watcher = nullptr;
  RecordingDelegate delegate;
  DWORD watching_thread_id = 0;
  MessageLoop* watching_loop = nullptr;
  bool started = false;
  HANDLE delivered_handle = delivered.Get();
  delegate.quit_closure =
      test::ClosureFromFunction([&] { ::SetEvent(delivered_handle); });
  thread.task_runner()->PostTask(
      LOCATION_FROM_HERE("ObjectWatcherTest"), test::ClosureFromFunction([&] {
        watching_thread_id = ::GetCurrentThreadId();
        watching_loop = MessageLoop::current();
        watcher = new ObjectWatcher;
        started = watcher->StartWatchingOnce(event.Get(), &delegate);
        ::SetEvent(event.Get());
      }));
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(delivered.Get(), INFINITE));
  thread.task_runner()->PostTask(LOCATION_FROM_HERE("ObjectWatcherTest"),
                                 test::ClosureFromFunction([&] {
                                   delete watcher;
                                   watcher = nullptr;
                                 }));
  thread.Stop();

  EXPECT_TRUE(started);
  ASSERT_EQ(1u, delegate.objects.size());
  EXPECT_NE(::GetCurrentThreadId(), delegate.thread_id);
  EXPECT_EQ(watching_thread_id, delegate.thread_id);
  EXPECT_EQ(watching_loop, delegate.loop);
  EXPECT_EQ(nullptr, watcher);
}

TEST(ObjectWatcherTest, StoppedBeforeTheSignalNeverTellsTheDelegate) {
  MessageLoop loop;
  ScopedHandle event = MakeEvent(true);
  ASSERT_TRUE(event.IsValid());
  ObjectWatcher watcher;
  RecordingDelegate delegate;

  EXPECT_FALSE(watcher.StopWatching());
  ASSERT_TRUE(watcher.StartWatchingOnce(event.Get(), &delegate));
  EXPECT_TRUE(watcher.StopWatching());
  EXPECT_FALSE(watcher.StopWatching());

  ASSERT_TRUE(::SetEvent(event.Get()));
  test::RunUntilIdle();
  EXPECT_TRUE(delegate.objects.empty());

  // The watcher can watch again once stopped.
  ASSERT_TRUE(watcher.StartWatchingOnce(event.Get(), &delegate));
  RunUntilSignaled(&delegate);
  EXPECT_EQ(1u, delegate.objects.size());
}

// The default pump, which also reports each wake-up: a wake-up means that a
// task reached the loop.
class WakeUpReportingPump : public MessagePumpDefault {
 public:
  explicit WakeUpReportingPump(HANDLE woken) : woken_(woken) {}

  void ScheduleWork() override {
    MessagePumpDefault::ScheduleWork();
    ::SetEvent(woken_);
  }

 private:
  const HANDLE woken_;
};

std::unique_ptr<MessagePump> MakeWakeUpReportingPump(HANDLE woken) {
  return std::make_unique<WakeUpReportingPump>(woken);
}

TEST(ObjectWatcherTest, StoppedAfterTheSignalWasPostedDropsTheNotification) {
  ScopedHandle woken = MakeEvent(true);
  ScopedHandle event = MakeEvent(true);
  ASSERT_TRUE(woken.IsValid() && event.IsValid());
  std::unique_ptr<MessageLoop> loop = MessageLoop::CreateUnbound(
      MessageLoop::TYPE_CUSTOM, Bind(&MakeWakeUpReportingPump, woken.Get()));
  loop->BindToCurrentThread();

  ObjectWatcher watcher;
  RecordingDelegate delegate;
  ASSERT_TRUE(watcher.StartWatchingOnce(event.Get(), &delegate));
  ASSERT_TRUE(::SetEvent(event.Get()));
  // The wait thread has posted the notification; the loop has not run it.
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(woken.Get(), INFINITE));
  EXPECT_TRUE(watcher.StopWatching());

  test::RunUntilIdle();
  EXPECT_TRUE(delegate.objects.empty());
}

TEST(ObjectWatcherTest, RefusesASecondWatchAndAThreadWithoutLoop) {
  ScopedHandle event = MakeEvent(true);
  ASSERT_TRUE(event.IsValid());
  RecordingDelegate delegate;

  bool started_without_loop = true;
  std::thread([&] {
    ObjectWatcher watcher;
    started_without_loop = watcher.StartWatchingOnce(event.Get(), &delegate);
  }).join();
  EXPECT_FALSE(started_without_loop);

  MessageLoop loop;
  ScopedHandle other_event = MakeEvent(true);
  ASSERT_TRUE(other_event.IsValid());
  ObjectWatcher watcher;
  ASSERT_TRUE(watcher.StartWatchingOnce(event.Get(), &delegate));
  EXPECT_FALSE(watcher.StartWatchingOnce(other_event.Get(), &delegate));

  // The refused watch did not replace the first one.
  ASSERT_TRUE(::SetEvent(other_event.Get()));
  ASSERT_TRUE(::SetEvent(event.Get()));
  RunUntilSignaled(&delegate);
  ASSERT_EQ(1u, delegate.objects.size());
  EXPECT_EQ(event.Get(), delegate.objects[0]);
}

// Watches again from inside the notification, a given number of times.
class RewatchingDelegate : public ObjectWatcher::Delegate {
 public:
  RewatchingDelegate(ObjectWatcher* watcher, int rewatches)
      : watcher_(watcher), rewatches_left_(rewatches) {}

  void OnObjectSignaled(HANDLE object) override {
    ++signals;
    if (rewatches_left_-- > 0)
      restarted = watcher_->StartWatchingOnce(object, this);
    quit_closure.Run();
  }

  int signals = 0;
  bool restarted = false;
  Closure quit_closure;

 private:
  ObjectWatcher* const watcher_;
  int rewatches_left_;
};

TEST(ObjectWatcherTest, DelegateMayWatchAgain) {
  MessageLoop loop;
  ScopedHandle event = MakeEvent(false);
  ASSERT_TRUE(event.IsValid());
  ObjectWatcher watcher;
  RewatchingDelegate delegate(&watcher, 1);
  ASSERT_TRUE(watcher.StartWatchingOnce(event.Get(), &delegate));

  for (int expected_signals = 1; expected_signals <= 2; ++expected_signals) {
    ASSERT_TRUE(::SetEvent(event.Get()));
    RunLoop run_loop;
    delegate.quit_closure = run_loop.QuitClosure();
    run_loop.Run();
    EXPECT_EQ(expected_signals, delegate.signals);
  }
  EXPECT_TRUE(delegate.restarted);
  EXPECT_FALSE(watcher.StopWatching());
}

// Destroys its watcher from inside the notification.
class DestroyingDelegate : public ObjectWatcher::Delegate {
 public:
  void OnObjectSignaled(HANDLE object) override {
    watcher.reset();
    signalled_object = object;
    quit_closure.Run();
  }

  std::unique_ptr<ObjectWatcher> watcher = std::make_unique<ObjectWatcher>();
  HANDLE signalled_object = nullptr;
  Closure quit_closure;
};

TEST(ObjectWatcherTest, DelegateMayDestroyTheWatcher) {
  MessageLoop loop;
  ScopedHandle event = MakeEvent(true);
  ASSERT_TRUE(event.IsValid());
  DestroyingDelegate delegate;
  ASSERT_TRUE(delegate.watcher->StartWatchingOnce(event.Get(), &delegate));
  ASSERT_TRUE(::SetEvent(event.Get()));
  RunLoop run_loop;
  delegate.quit_closure = run_loop.QuitClosure();
  run_loop.Run();
  EXPECT_EQ(nullptr, delegate.watcher);
  EXPECT_EQ(event.Get(), delegate.signalled_object);
}

TEST(ObjectWatcherTest, DestroyedWhileWatchingNeverTellsTheDelegate) {
  MessageLoop loop;
  ScopedHandle event = MakeEvent(true);
  ASSERT_TRUE(event.IsValid());
  RecordingDelegate delegate;
  {
    ObjectWatcher watcher;
    ASSERT_TRUE(watcher.StartWatchingOnce(event.Get(), &delegate));
  }
  ASSERT_TRUE(::SetEvent(event.Get()));
  test::RunUntilIdle();
  EXPECT_TRUE(delegate.objects.empty());
}

TEST(ObjectWatcherTest, DestroyingTheLoopStopsTheWatch) {
  ScopedHandle event = MakeEvent(true);
  ASSERT_TRUE(event.IsValid());
  RecordingDelegate delegate;
  ObjectWatcher watcher;
  {
    MessageLoop loop;
    ASSERT_TRUE(watcher.StartWatchingOnce(event.Get(), &delegate));
  }
  EXPECT_FALSE(watcher.StopWatching());
  // A signal now reaches neither the gone loop nor the delegate.
  ASSERT_TRUE(::SetEvent(event.Get()));
  EXPECT_TRUE(delegate.objects.empty());

  // The watcher serves the next loop of the thread.
  MessageLoop next_loop;
  ASSERT_TRUE(watcher.StartWatchingOnce(event.Get(), &delegate));
  RunUntilSignaled(&delegate);
  EXPECT_EQ(&next_loop, delegate.loop);
}

}  // namespace
}  // namespace win
}  // namespace base
