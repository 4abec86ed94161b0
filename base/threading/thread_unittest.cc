#include "base/threading/thread.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_pump_default.h"
#include "base/run_loop.h"
#include "base/synchronization/waitable_event.h"
#include "base/test/closure_from_function.h"
#include "base/test/task_test_util.h"
#include "base/threading/thread_name_registry.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using test::ClosureFromFunction;

#define HERE LOCATION_FROM_HERE("base::ThreadTest")

const TimeDelta kTimeout = TimeDelta::FromSeconds(10);

void QuitWhenIdle() {
  MessageLoop::current()->QuitWhenIdle();
}

// Stops |thread| from another thread, so that a Stop that hangs fails the
// test; the thread's loop is then quit once more so that the test can end.
bool StopsInTime(Thread* thread) {
  const scoped_refptr<SingleThreadTaskRunner> runner = thread->task_runner();
  WaitableEvent stopped(true, false);
  std::thread stopper([&] {
    thread->Stop();
    stopped.Signal();
  });
  const bool in_time = stopped.TimedWait(kTimeout);
  if (!in_time)
    runner->PostTask(HERE, Bind(&QuitWhenIdle));
  stopper.join();
  return in_time;
}

// Sees the thread's loop from inside the thread.
class InspectingThread : public Thread {
 public:
  explicit InspectingThread(const std::string& name) : Thread(name) {}
  ~InspectingThread() override { Stop(); }

  MessageLoop::Type type_seen = MessageLoop::TYPE_DEFAULT;
  std::string names_seen;
  int init_calls = 0;
  int inits_without_runner = 0;
  int clean_ups_with_loop = 0;

 protected:
  void Init() override {
    ++init_calls;
    inits_without_runner += !task_runner();
    type_seen = MessageLoop::current()->type();
    names_seen =
        MessageLoop::current()->thread_name() + ", " +
        ThreadNameRegistry::GetInstance()->GetName(PlatformThread::CurrentId());
  }
  void CleanUp() override { clean_ups_with_loop += !!MessageLoop::current(); }
};

int g_pumps_made = 0;

std::unique_ptr<MessagePump> MakeDefaultPump() {
  ++g_pumps_made;
  return std::make_unique<MessagePumpDefault>();
}

// A pump factory wins over the type asked for.
TEST(ThreadTest, OptionsChooseTheLoopAndTheThreadIsNamed) {
  g_pumps_made = 0;
  for (bool with_factory : {false, true}) {
    InspectingThread thread(with_factory ? "ThreadTest factory" : "ThreadTest");
    Thread::Options options;
    options.message_loop_type = MessageLoop::TYPE_IO;
    if (with_factory)
      options.message_pump_factory = Bind(&MakeDefaultPump);
    ASSERT_TRUE(thread.StartWithOptions(options));
    thread.Stop();
    EXPECT_EQ(with_factory ? MessageLoop::TYPE_CUSTOM : MessageLoop::TYPE_IO,
              thread.type_seen);
    EXPECT_EQ(thread.thread_name() + ", " + thread.thread_name(),
              thread.names_seen);
    EXPECT_EQ(1, thread.init_calls);
    EXPECT_EQ(1, thread.clean_ups_with_loop);
  }
  EXPECT_EQ(1, g_pumps_made);
}

// Stopping runs the tasks already due and destroys the others unrun; a
// thread that failed to start, or has stopped, starts again.
TEST(ThreadTest, StopRunsTheTasksDueAndTheThreadStartsAgain) {
  std::atomic<int> runs{0};
  std::atomic<int> destroyed{0};
  auto post = [&](Thread* thread, TimeDelta delay) {
    thread->task_runner()->PostDelayedTask(
        HERE, test::TrackedClosure([&] { ++runs; }, [&] { ++destroyed; }),
        delay);
  };
  {
    Thread thread("ThreadTest restarted");
    thread.Stop();
    thread.StopSoon();
    Thread::Options impossible;
    // No address space can reserve a stack this large.
    impossible.stack_size = static_cast<size_t>(1) << 62;
    EXPECT_FALSE(thread.StartWithOptions(impossible));
    EXPECT_EQ(nullptr, thread.task_runner());
    thread.Stop();
    for (int round = 0; round < 4; ++round) {
      ASSERT_TRUE(thread.Start());
      post(&thread, TimeDelta::FromSeconds(3600));
      for (int i = 0; i < 10; ++i)
        post(&thread, TimeDelta());
      if (round % 2)
        thread.StopSoon();
      thread.Stop();
      EXPECT_EQ(nullptr, thread.task_runner());
    }
    thread.Stop();
    // Destroying the object stops the thread the same way.
    ASSERT_TRUE(thread.Start());
    post(&thread, TimeDelta::FromSeconds(3600));
  }
  EXPECT_EQ(40, runs);
  EXPECT_EQ(45, destroyed);
}

// Another thread suspends the starting thread again and again, so that the
// new thread runs ahead of it: Init must find the task runner all the same.
TEST(ThreadTest, TheTaskRunnerIsPublishedBeforeTheThreadRuns) {
  HANDLE handle = nullptr;
  ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(),
                                ::GetCurrentProcess(), &handle, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
  const win::ScopedHandle starter(handle);
  std::atomic<bool> done{false};
  std::thread suspender([&] {
    while (!done) {
      ::SuspendThread(starter.Get());
      ::Sleep(1);
      ::ResumeThread(starter.Get());
    }
  });
  InspectingThread thread("ThreadTest published");
  for (int i = 0; i < 30; ++i) {
    EXPECT_TRUE(thread.Start());
    thread.Stop();
  }
  done = true;
  suspender.join();
  EXPECT_EQ(30, thread.init_calls);
  EXPECT_EQ(0, thread.inits_without_runner);
}

// A task of the thread runs a nested run loop that serves tasks, so the
// stop request runs inside it: the stop must still end the thread's own
// run, once the nested one has ended by its own quit.
TEST(ThreadTest, StopDuringANestedRunEndsTheOutermostRun) {
  Thread thread("ThreadTest nested");
  ASSERT_TRUE(thread.Start());
  WaitableEvent nested_running(true, false);
  Closure quit_nested;
  std::vector<std::string> log;
  thread.task_runner()->PostTask(
      HERE, ClosureFromFunction([&] {
        RunLoop nested;
        quit_nested = nested.QuitClosure();
        nested_running.Signal();
        MessageLoop::ScopedNestableTaskAllower allow(MessageLoop::current());
        nested.Run();
        log.push_back("nested returned");
      }));
  ASSERT_TRUE(nested_running.TimedWait(kTimeout));
  thread.StopSoon();
  thread.task_runner()->PostTask(HERE, test::Record(&log, "after the stop"));
  thread.task_runner()->PostTask(HERE, quit_nested);
  EXPECT_TRUE(StopsInTime(&thread));
  EXPECT_EQ((std::vector<std::string>{"after the stop", "nested returned"}),
            log);
}

}  // namespace
}  // namespace base
