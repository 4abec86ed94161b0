#include "base/message_loop/message_loop.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/run_loop.h"
#include "base/test/closure_from_function.h"
#include "base/test/task_test_util.h"
#include "base/threading/thread_task_runner_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using test::ClosureFromFunction;
using test::Record;
using test::TrackedClosure;
using Log = std::vector<std::string>;

#define HERE LOCATION_FROM_HERE("base::MessageLoopTest")

// A pump whose Run hands the loop to the test, which then calls DoWork,
// DoDelayedWork and DoIdleWork itself and sees what the loop asks of the
// pump.
class ScriptedPump : public MessagePump {
 public:
  void Run(Delegate* delegate) override { script(delegate); }
  void Quit() override { ++quit_calls; }
  void ScheduleWork() override { ++wake_ups; }
  void ScheduleDelayedWork(const TimeTicks& delayed_work_time) override {
    delayed_work_times.push_back(delayed_work_time);
  }

  std::function<void(Delegate*)> script;
  std::atomic<int> wake_ups{0};
  int quit_calls = 0;
  std::vector<TimeTicks> delayed_work_times;
};

std::unique_ptr<MessagePump> TakePump(std::unique_ptr<MessagePump>* pump) {
  return std::move(*pump);
}

class ScriptedLoopTest : public testing::Test {
 protected:
  ScriptedLoopTest() : pump_(new ScriptedPump) {
    pump_holder_.reset(pump_);
    loop_ = MessageLoop::CreateUnbound(MessageLoop::TYPE_CUSTOM,
                                       Bind(&TakePump, &pump_holder_));
    runner_ = loop_->task_runner();
  }

  void PostFromOtherThread(int count) {
    std::thread([&] {
      for (int i = 0; i < count; ++i)
        runner_->PostTask(HERE, Record(&ran_, "from other thread"));
    }).join();
  }

  std::unique_ptr<MessagePump> pump_holder_;
  ScriptedPump* const pump_;
  std::unique_ptr<MessageLoop> loop_;
  scoped_refptr<SingleThreadTaskRunner> runner_;
  Log ran_;
};

TEST_F(ScriptedLoopTest, OneTaskPerDoWorkAndTheWakeUpsItAsksFor) {
  runner_->PostDelayedTask(HERE, Record(&ran_, "late"),
                           TimeDelta::FromSeconds(100));
  runner_->PostTask(HERE, Record(&ran_, "a"));
  runner_->PostDelayedTask(HERE, Record(&ran_, "early"),
                           TimeDelta::FromSeconds(50));
  runner_->PostTask(HERE, Record(&ran_, "b"));
  // Unbound: queued without wake-ups, then one wake-up for all of them.
  EXPECT_EQ(0, pump_->wake_ups);
  EXPECT_FALSE(runner_->RunsTasksOnCurrentThread());
  loop_->BindToCurrentThread();
  EXPECT_EQ(1, pump_->wake_ups);
  EXPECT_EQ(loop_.get(), MessageLoop::current());
  EXPECT_EQ(runner_, ThreadTaskRunnerHandle::Get());
  EXPECT_TRUE(runner_->RunsTasksOnCurrentThread());
  bool on_other_thread = true;
  std::thread([&] {
    on_other_thread = runner_->RunsTasksOnCurrentThread();
  }).join();
  EXPECT_FALSE(on_other_thread);

  pump_->script = [&](MessagePump::Delegate* delegate) {
    // "late" goes to the heap and, being first there, arms the pump.
    EXPECT_TRUE(delegate->DoWork());
    EXPECT_EQ(Log{"a"}, ran_);
    ASSERT_EQ(1u, pump_->delayed_work_times.size());
    // "early" is due before "late": the pump is re-armed for it.
    EXPECT_TRUE(delegate->DoWork());
    EXPECT_EQ((Log{"a", "b"}), ran_);
    ASSERT_EQ(2u, pump_->delayed_work_times.size());
    EXPECT_LT(pump_->delayed_work_times[1], pump_->delayed_work_times[0]);
    // The reload that took the four tasks left the wake-up pending, so these
    // posts ask for none; a task due later than the first does not re-arm.
    runner_->PostDelayedTask(HERE, Record(&ran_, "later"),
                             TimeDelta::FromSeconds(200));
    PostFromOtherThread(2);
    EXPECT_EQ(1, pump_->wake_ups);
    EXPECT_TRUE(delegate->DoWork());
    EXPECT_TRUE(delegate->DoWork());
    EXPECT_FALSE(delegate->DoWork());
    EXPECT_EQ(2u, pump_->delayed_work_times.size());
    // That reload found the queue empty: the next post wakes the pump.
    PostFromOtherThread(1);
    EXPECT_EQ(2, pump_->wake_ups);

    TimeTicks next_delayed_work_time;
    EXPECT_FALSE(delegate->DoDelayedWork(&next_delayed_work_time));
    EXPECT_EQ(pump_->delayed_work_times[1], next_delayed_work_time);
    EXPECT_FALSE(delegate->DoIdleWork());
    EXPECT_EQ(0, pump_->quit_calls);
  };
  loop_->Run();
  EXPECT_EQ(4u, ran_.size());
}

TEST_F(ScriptedLoopTest, TasksDoNotNestUnlessAllowed) {
  loop_->BindToCurrentThread();
  MessagePump::Delegate* delegate = nullptr;
  runner_->PostTask(
      HERE, ClosureFromFunction([&] {
        // The pump run again inside the task finds no work.
        EXPECT_FALSE(delegate->DoWork());
        TimeTicks next = TimeTicks::Now();
        EXPECT_FALSE(delegate->DoDelayedWork(&next));
        EXPECT_TRUE(next.is_null());
        const int wake_ups = pump_->wake_ups;
        {
          MessageLoop::ScopedNestableTaskAllower allow(loop_.get());
          EXPECT_EQ(wake_ups + 1, pump_->wake_ups);
          EXPECT_TRUE(delegate->DoWork());
        }
        EXPECT_FALSE(loop_->NestableTasksAllowed());
        EXPECT_FALSE(delegate->DoWork());
        ran_.push_back("outer end");
      }));
  runner_->PostTask(HERE, Record(&ran_, "inner"));
  runner_->PostDelayedTask(HERE, Record(&ran_, "delayed"),
                           TimeDelta::FromMicroseconds(1));
  pump_->script = [&](MessagePump::Delegate* script_delegate) {
    delegate = script_delegate;
    EXPECT_TRUE(delegate->DoWork());
    EXPECT_TRUE(loop_->NestableTasksAllowed());
  };
  loop_->Run();
  EXPECT_EQ((Log{"inner", "outer end"}), ran_);
}

// Ends a UI run loop's run at WM_APP; the only way that the run below ends.
class QuittingDispatcher : public MessagePumpDispatcher {
 public:
  uint32_t Dispatch(const MSG& message) override {
    return message.message == WM_APP ? kActionQuitLoop : kActionPerformDefault;
  }
};

// Each loop type, with a pump of its own, runs ready and delayed tasks in
// the order in which they fall due, also when posted from other threads.
TEST(MessageLoopTest, TasksRunInTheOrderTheyFallDue) {
  for (MessageLoop::Type type : {MessageLoop::TYPE_DEFAULT,
                                 MessageLoop::TYPE_UI, MessageLoop::TYPE_IO}) {
    SCOPED_TRACE(type);
    MessageLoop loop(type);
    EXPECT_TRUE(loop.IsType(type));
    EXPECT_FALSE(loop.IsType(MessageLoop::TYPE_CUSTOM));
    Log ran;
    QuittingDispatcher dispatcher;
    RunLoop run_loop(&dispatcher);
    auto post = [&](const std::string& name, int delay_ms) {
      loop.PostDelayedTask(HERE, Record(&ran, name),
                           TimeDelta::FromMilliseconds(delay_ms));
    };
    post("delayed 60", 60);
    post("immediate 1", 0);
    post("delayed 1", 1);
    post("immediate 2", 0);
    for (int i = 0; i < 3; ++i)  // Equal delays: the order of posting.
      post("same " + std::to_string(i), 30);
    const DWORD thread_id = ::GetCurrentThreadId();
    const Closure quit = type == MessageLoop::TYPE_UI
                             ? ClosureFromFunction([thread_id] {
                                 ::PostThreadMessageW(thread_id, WM_APP, 0, 0);
                               })
                             : run_loop.QuitClosure();
    std::thread([&] {
      loop.task_runner()->PostDelayedTask(HERE, quit,
                                          TimeDelta::FromMilliseconds(61));
    }).join();
    ASSERT_TRUE(test::RunWithTimeout(&run_loop));

    // Whether "delayed 1" falls due before "immediate 2" runs depends on
    // the time that passed: only the orders that hold whatever the timing.
    ASSERT_EQ(7u, ran.size());
    auto position = [&ran](const std::string& name) {
      return std::find(ran.begin(), ran.end(), name) - ran.begin();
    };
    const Log kInOrder[] = {
        {"immediate 1", "immediate 2", "same 0"},
        {"immediate 1", "delayed 1", "same 0", "same 1", "same 2",
         "delayed 60"},
    };
    for (const Log& names : kInOrder) {
      for (size_t i = 1; i < names.size(); ++i)
        EXPECT_LT(position(names[i - 1]), position(names[i])) << names[i];
    }
  }
}

// Non-nestable tasks met inside a nested run wait for idle moments of the
// outermost run, and those met later queue behind them: whatever the depth
// they are met at, they run in the order in which they were posted.
TEST(MessageLoopTest, NonNestableTasksRunInPostingOrderAtTheOutermostRun) {
  MessageLoop loop;
  const scoped_refptr<SingleThreadTaskRunner> runner = loop.task_runner();
  Log ran;
  // At depth 1, with nothing deferred, a non-nestable task runs in its turn.
  runner->PostTask(HERE, Record(&ran, "a"));
  runner->PostNonNestableTask(HERE, Record(&ran, "non-nestable"));
  runner->PostTask(HERE, Record(&ran, "b"));
  test::RunUntilIdle();
  EXPECT_EQ((Log{"a", "non-nestable", "b"}), ran);

  ran.clear();
  runner->PostTask(HERE, ClosureFromFunction([&] {
                     RunLoop nested;
                     runner->PostNonNestableTask(HERE, Record(&ran, "nn 2"));
                     runner->PostTask(HERE, Record(&ran, "nestable"));
                     runner->PostNonNestableDelayedTask(
                         HERE, Record(&ran, "nn 3"),
                         TimeDelta::FromMicroseconds(1));
                     runner->PostDelayedTask(HERE, nested.QuitClosure(),
                                             TimeDelta::FromMilliseconds(20));
                     {
                       MessageLoop::ScopedNestableTaskAllower allow(&loop);
                       nested.Run();
                     }
                     ran.push_back("outer end");
                     runner->PostNonNestableTask(HERE, Record(&ran, "nn 4"));
                     // Deferred tasks still run before the quit.
                     loop.QuitWhenIdle();
                   }));
  // Taken in with the outer task, so met first inside the nested run.
  runner->PostNonNestableTask(HERE, Record(&ran, "nn 1"));
  RunLoop run_loop;
  ASSERT_TRUE(test::RunWithTimeout(&run_loop));
  EXPECT_EQ((Log{"nestable", "outer end", "nn 1", "nn 2", "nn 3", "nn 4"}),
            ran);
}

class HighResolutionSeen : public MessageLoop::TaskObserver {
 public:
  void WillProcessTask(const PendingTask& pending_task) override {
    seen.push_back(pending_task.is_high_res);
  }
  void DidProcessTask(const PendingTask& /*pending_task*/) override { ++did; }
  std::vector<bool> seen;
  size_t did = 0;
};

TEST(MessageLoopTest, TaskObserversSeeShortDelaysAsHighResolution) {
  const struct {
    int64_t delay_us;
    bool high_res;
  } kCases[] = {{-1000, false}, {0, false},    {1, true},
                {31000, true},  {31999, true}, {32000, false}};
  MessageLoop loop;
  HighResolutionSeen observer;
  loop.AddTaskObserver(&observer);
  std::vector<bool> expected;
  for (const auto& c : kCases) {
    loop.PostDelayedTask(HERE, Closure(ClosureFromFunction([] {})),
                         TimeDelta::FromMicroseconds(c.delay_us));
    expected.push_back(c.high_res);
  }
  RunLoop run_loop;
  loop.PostDelayedTask(HERE, run_loop.QuitClosure(),
                       TimeDelta::FromMilliseconds(33));
  ASSERT_TRUE(test::RunWithTimeout(&run_loop));
  expected.push_back(false);  // The quit task.
  // They ran in the order in which they fell due, the table's.
  EXPECT_EQ(expected, observer.seen);
  EXPECT_EQ(expected.size(), observer.did);
  loop.RemoveTaskObserver(&observer);
  test::RunUntilIdle();
  EXPECT_EQ(expected.size(), observer.seen.size());
}

class DestructionObserver : public MessageLoop::DestructionObserver {
 public:
  explicit DestructionObserver(std::function<void()> on_destroy)
      : on_destroy_(std::move(on_destroy)) {}
  void WillDestroyCurrentMessageLoop() override {
    ++calls;
    on_destroy_();
  }
  int calls = 0;

 private:
  std::function<void()> on_destroy_;
};

TEST(MessageLoopTest, DestructionDestroysEveryQueuedTaskUnrun) {
  auto loop = std::make_unique<MessageLoop>();
  scoped_refptr<SingleThreadTaskRunner> runner = loop->task_runner();
  bool ran = false;
  int destroyed = 0;
  auto tracked = [&] {
    return TrackedClosure([&] { ran = true; }, [&] { ++destroyed; });
  };
  // A non-nestable task left deferred: the nested run and the outer run
  // both quit before an idle moment of the outer one.
  RunLoop outer;
  runner->PostTask(HERE, ClosureFromFunction([&] {
                     runner->PostNonNestableTask(HERE, tracked());
                     RunLoop nested;
                     runner->PostTask(HERE, ClosureFromFunction([&] {
                                        outer.Quit();
                                        nested.Quit();
                                      }));
                     MessageLoop::ScopedNestableTaskAllower allow(loop.get());
                     nested.Run();
                   }));
  ASSERT_TRUE(test::RunWithTimeout(&outer));
  EXPECT_EQ(0, destroyed);

  runner->PostTask(HERE, tracked());
  runner->PostDelayedTask(HERE, tracked(), TimeDelta::FromSeconds(100));
  runner->PostNonNestableTask(HERE, tracked());
  // Destroying this task's bound object posts another task, which is
  // accepted and destroyed in turn.
  runner->PostTask(HERE, TrackedClosure(nullptr, [&] {
                     EXPECT_TRUE(runner->PostTask(HERE, tracked()));
                   }));
  // The observer's post is still accepted, but waits in the incoming queue
  // until the queue's last reference goes.
  DestructionObserver observer([&] {
    EXPECT_NE(nullptr, MessageLoop::current());
    EXPECT_TRUE(runner->PostTask(HERE, tracked()));
  });
  DestructionObserver removed([] {});
  loop->AddDestructionObserver(&observer);
  loop->AddDestructionObserver(&removed);
  loop->RemoveDestructionObserver(&removed);
  loop.reset();
  EXPECT_EQ(5, destroyed);
  EXPECT_EQ(1, observer.calls);
  EXPECT_EQ(0, removed.calls);
  EXPECT_EQ(nullptr, MessageLoop::current());

  // Posts are refused now; the refused task is released at once.
  EXPECT_FALSE(runner->PostTask(HERE, tracked()));
  EXPECT_EQ(6, destroyed);
  runner = nullptr;
  EXPECT_EQ(7, destroyed);
  EXPECT_FALSE(ran);
}

// The timer-period functions for the seam: they count the switches.
int g_fine_timer_begins = 0;
int g_fine_timer_ends = 0;
unsigned __stdcall CountFineTimerBegin(unsigned /*period_ms*/) {
  ++g_fine_timer_begins;
  return 0;
}
unsigned __stdcall CountFineTimerEnd(unsigned /*period_ms*/) {
  ++g_fine_timer_ends;
  return 0;
}

// A short delay switches the fine timer on at the idle moment after the
// loop took it in, and off at the first one after it ran; once it ran, the
// pump is told when the next delayed task falls due.
TEST_F(ScriptedLoopTest, ShortDelaysHoldTheFineTimerAndTheNextWakeUpFollows) {
  internal::SetTimerPeriodFunctionsForTesting(&CountFineTimerBegin,
                                              &CountFineTimerEnd);
  g_fine_timer_begins = g_fine_timer_ends = 0;
  loop_->BindToCurrentThread();
  runner_->PostDelayedTask(HERE, Record(&ran_, "later"),
                           TimeDelta::FromSeconds(100));
  runner_->PostDelayedTask(HERE, Record(&ran_, "soon"),
                           TimeDelta::FromMilliseconds(1));
  pump_->script = [&](MessagePump::Delegate* delegate) {
    // Tasks still in the incoming queue do not count.
    EXPECT_FALSE(delegate->DoIdleWork());
    EXPECT_EQ(0, g_fine_timer_begins);
    EXPECT_FALSE(delegate->DoWork());
    ASSERT_EQ(2u, pump_->delayed_work_times.size());
    EXPECT_FALSE(delegate->DoIdleWork());
    EXPECT_EQ(1, g_fine_timer_begins);
    TimeTicks next;
    for (int i = 0; i < 10000 && !delegate->DoDelayedWork(&next); ++i)
      ::Sleep(1);
    ASSERT_EQ(Log{"soon"}, ran_);
    EXPECT_EQ(pump_->delayed_work_times[0], next);
    EXPECT_FALSE(delegate->DoIdleWork());
    EXPECT_EQ(1, g_fine_timer_ends);
    EXPECT_EQ(1, g_fine_timer_begins);
  };
  loop_->Run();
  internal::SetTimerPeriodFunctionsForTesting(nullptr, nullptr);
}

}  // namespace
}  // namespace base
