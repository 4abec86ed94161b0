#include "base/timer/timer.h"

#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/test/closure_from_function.h"
#include "base/test/task_test_util.h"
#include "base/test/test_simple_task_runner.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using test::ClosureFromFunction;

constexpr char kPostedFrom[] = "base::TimerTest";

Location Here() {
  return LOCATION_FROM_HERE(kPostedFrom);
}

TimeDelta Ms(int64_t ms) {
  return TimeDelta::FromMilliseconds(ms);
}

// The timers post to a runner that only queues: a test lets time pass by
// running what the timer posted, and sees every post and its delay.
class TimerTest : public testing::Test {
 protected:
  TimerTest() : runner_(new TestSimpleTaskRunner) {}

  // Starts |timer| on the test runner; its task counts its runs and sees
  // whether the timer was running then.
  void Start(Timer* timer, TimeDelta delay) {
    timer->SetTaskRunner(runner_);
    timer->Start(Here(), delay, ClosureFromFunction([this, timer] {
                   running_inside_.push_back(timer->IsRunning());
                 }));
  }

  std::vector<TimeDelta> PendingDelays() const {
    std::vector<TimeDelta> delays;
    for (const auto& posted : runner_->GetPendingTasks())
      delays.push_back(posted.delay);
    return delays;
  }

  size_t runs() const { return running_inside_.size(); }

  // Runs what the timers posted, and what that posts in turn; a timer that
  // never stops fails the test instead of hanging it.
  void RunPostedTasks() {
    for (int pass = 0; runner_->HasPendingTask(); ++pass) {
      ASSERT_LT(pass, 10);
      runner_->RunPendingTasks();
    }
  }

  scoped_refptr<TestSimpleTaskRunner> runner_;
  std::vector<bool> running_inside_;
};

TEST_F(TimerTest, OneShotRunsOnceAndStopsBeforeItsTask) {
  OneShotTimer timer;
  Start(&timer, Ms(30));
  EXPECT_TRUE(timer.IsRunning());
  EXPECT_EQ(Ms(30), timer.GetCurrentDelay());
  ASSERT_EQ(std::vector<TimeDelta>{Ms(30)}, PendingDelays());
  EXPECT_STREQ(kPostedFrom,
               runner_->GetPendingTasks()[0].from_here.function_name());
  RunPostedTasks();
  EXPECT_EQ(std::vector<bool>{false}, running_inside_);
  EXPECT_FALSE(timer.IsRunning());
}

// A restart keeps the task in flight when that fires no later than the new
// deadline (it then waits on with one more post); otherwise the task in
// flight is abandoned for a new one.
TEST_F(TimerTest, RestartKeepsOrReplacesTheTaskInFlight) {
  const struct {
    const char* name;
    TimeDelta first;
    TimeDelta second;
    size_t posts_after_restart;
    size_t runs_after_first_pass;
  } kCases[] = {
      {"later deadline", Ms(10), Ms(400), 1, 0},
      {"earlier deadline", Ms(300), Ms(10), 2, 1},
      {"no delay after a delay", Ms(300), TimeDelta(), 2, 1},
      {"no delay twice", TimeDelta(), TimeDelta(), 1, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    running_inside_.clear();
    OneShotTimer timer;
    Start(&timer, c.first);
    Start(&timer, c.second);
    EXPECT_EQ(c.posts_after_restart, PendingDelays().size());
    EXPECT_EQ(c.posts_after_restart == 1 ? c.first : c.second,
              PendingDelays().back());
    runner_->RunPendingTasks();
    EXPECT_EQ(c.runs_after_first_pass, runs());
    if (runs() == 0) {
      // Fired early: it posted the rest of the wait.
      ASSERT_EQ(1u, PendingDelays().size());
      EXPECT_GT(PendingDelays()[0], TimeDelta());
      EXPECT_LE(PendingDelays()[0], c.second);
    }
    RunPostedTasks();
    EXPECT_EQ(1u, runs());
  }
}

// A repeating timer posts its next task before it runs the user task, so a
// user task that stops the timer prevents the next run; Reset restarts the
// retained task, and the task may destroy its timer.
TEST_F(TimerTest, RepeatingTimerStoppedOrDestroyedByItsTask) {
  auto timer = std::make_unique<RepeatingTimer>();
  timer->SetTaskRunner(runner_);
  int runs = 0;
  timer->Start(Here(), Ms(15), ClosureFromFunction([&] {
                 if (++runs == 2)
                   timer->Stop();
                 else if (runs == 3)
                   timer.reset();
               }));
  runner_->RunPendingTasks();
  EXPECT_EQ(std::vector<TimeDelta>{Ms(15)}, PendingDelays());
  RunPostedTasks();
  EXPECT_EQ(2, runs);
  EXPECT_FALSE(timer->IsRunning());
  timer->Reset();
  RunPostedTasks();
  EXPECT_EQ(3, runs);
  EXPECT_EQ(nullptr, timer);
}

// The task in flight of a destroyed timer must not reach the timer that
// takes its place.
TEST_F(TimerTest, TheTaskOfADestroyedTimerDoesNothing) {
  std::aligned_storage_t<sizeof(OneShotTimer), alignof(OneShotTimer)> place;
  Start(new (&place) OneShotTimer, Ms(5));
  reinterpret_cast<OneShotTimer*>(&place)->~OneShotTimer();
  auto* successor = new (&place) OneShotTimer;
  Start(successor, Ms(5));
  runner_->GetPendingTasks()[0].task.Run();
  EXPECT_EQ(0u, runs());
  RunPostedTasks();
  EXPECT_EQ(1u, runs());
  successor->~OneShotTimer();
}

TEST_F(TimerTest, RepeatingTimerRefusesAPeriodThatIsNotPositive) {
  RepeatingTimer timer;
  // Asserted: a timer that did start would keep a loop busy for good.
  Start(&timer, TimeDelta());
  ASSERT_FALSE(timer.IsRunning());
  Start(&timer, Ms(-1));
  ASSERT_FALSE(timer.IsRunning());
  EXPECT_FALSE(runner_->HasPendingTask());

  // A refused restart leaves a running timer as it was.
  Start(&timer, Ms(5));
  Start(&timer, TimeDelta());
  EXPECT_TRUE(timer.IsRunning());
  EXPECT_EQ(Ms(5), timer.GetCurrentDelay());
  EXPECT_EQ(std::vector<TimeDelta>{Ms(5)}, PendingDelays());
}

// On the thread's own loop: the task runs no earlier than its delay, and a
// task that can never run (refused, or destroyed with its loop) stops the
// timer.
TEST(TimerLoopTest, RunsWhenDueOnTheCurrentLoopAndStopsWhenItCannot) {
  OneShotTimer timer;
  scoped_refptr<SingleThreadTaskRunner> gone_runner;
  {
    MessageLoop loop;
    gone_runner = loop.task_runner();
    RunLoop run_loop;
    const TimeTicks started = TimeTicks::Now();
    timer.Start(Here(), Ms(20), run_loop.QuitClosure());
    ASSERT_TRUE(test::RunWithTimeout(&run_loop));
    EXPECT_GE(TimeTicks::Now() - started, Ms(20));
    EXPECT_FALSE(timer.IsRunning());

    timer.Start(Here(), TimeDelta::FromSeconds(3600),
                ClosureFromFunction([] {}));
    EXPECT_TRUE(timer.IsRunning());
  }
  EXPECT_FALSE(timer.IsRunning());

  timer.SetTaskRunner(gone_runner);
  timer.Start(Here(), Ms(5), ClosureFromFunction([] {}));
  EXPECT_FALSE(timer.IsRunning());
}

}  // namespace
}  // namespace base
