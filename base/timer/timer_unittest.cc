#include "base/timer/timer.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/test/closure_from_function.h"
#include "base/test/task_test_util.h"
#include "base/threading/platform_thread.h"
#include "base/threading/thread.h"
#include "base/time/time.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr char kPostedFrom[] = "base::TimerTest";

Location Here() {
  return LOCATION_FROM_HERE(kPostedFrom);
}

TimeDelta Ms(int64_t ms) {
  return TimeDelta::FromMilliseconds(ms);
}

// Passes posts on to the current loop and keeps count of them, so that a
// test sees what the timer posted and can wait until every posted task has
// run (abandoned ones included). It can also refuse every post.
class CountingTaskRunner : public SingleThreadTaskRunner {
 public:
  CountingTaskRunner() : target_(MessageLoop::current()->task_runner()) {}

  bool PostDelayedTask(const Location& from_here,
                       const Closure& task,
                       TimeDelta delay) override {
    delays.push_back(delay);
    posted_from.push_back(from_here.function_name());
    if (refuse_posts)
      return false;
    ++accepted_;
    return target_->PostDelayedTask(
        from_here,
        Bind(&CountingTaskRunner::RunTask,
             scoped_refptr<CountingTaskRunner>(this), task),
        delay);
  }

  bool PostNonNestableDelayedTask(const Location& from_here,
                                  const Closure& task,
                                  TimeDelta delay) override {
    return PostDelayedTask(from_here, task, delay);
  }

  bool RunsTasksOnCurrentThread() const override {
    return target_->RunsTasksOnCurrentThread();
  }

  // Runs the loop until every task posted so far, and every task those
  // post in turn, has run.
  void RunUntilAllPostedTasksRan() {
    if (ran_ == accepted_)
      return;
    RunLoop run_loop;
    all_ran_ = run_loop.QuitClosure();
    run_loop.Run();
    all_ran_ = Closure();
  }

  size_t posts() const { return delays.size(); }

  std::vector<TimeDelta> delays;
  std::vector<std::string> posted_from;
  bool refuse_posts = false;

 private:
  ~CountingTaskRunner() override = default;

  void RunTask(const Closure& task) {
    task.Run();
    ++ran_;
    if (ran_ == accepted_ && !all_ran_.is_null())
      all_ran_.Run();
  }

  const scoped_refptr<SingleThreadTaskRunner> target_;
  size_t accepted_ = 0;
  size_t ran_ = 0;
  Closure all_ran_;
};

class TimerTest : public testing::Test {
 protected:
  TimerTest() : runner_(new CountingTaskRunner) {}

  MessageLoop loop_;
  scoped_refptr<CountingTaskRunner> runner_;
};

TEST_F(TimerTest, OneShotRunsOnceAfterItsDelay) {
  OneShotTimer timer;
  timer.SetTaskRunner(runner_);
  int runs = 0;
  bool running_inside = true;
  TimeTicks ran_at;
  const TimeTicks started = TimeTicks::Now();
  timer.Start(Here(), Ms(30), test::ClosureFromFunction([&] {
                ++runs;
                ran_at = TimeTicks::Now();
                running_inside = timer.IsRunning();
              }));
  EXPECT_TRUE(timer.IsRunning());
  EXPECT_EQ(Ms(30), timer.GetCurrentDelay());

  runner_->RunUntilAllPostedTasksRan();
  EXPECT_EQ(1, runs);
  EXPECT_FALSE(running_inside);
  EXPECT_FALSE(timer.IsRunning());
  EXPECT_GE(ran_at - started, Ms(30));
  ASSERT_EQ(1u, runner_->posts());
  EXPECT_EQ(Ms(30), runner_->delays[0]);
  EXPECT_EQ(kPostedFrom, runner_->posted_from[0]);
}

TEST_F(TimerTest, LaterDeadlineReusesTheTaskInFlight) {
  OneShotTimer timer;
  timer.SetTaskRunner(runner_);
  int runs = 0;
  TimeTicks ran_at;
  const Closure task = test::ClosureFromFunction([&] {
    ++runs;
    ran_at = TimeTicks::Now();
  });
  timer.Start(Here(), Ms(10), task);
  const TimeTicks restarted = TimeTicks::Now();
  timer.Start(Here(), Ms(400), task);
  EXPECT_EQ(1u, runner_->posts());

  // The first task fires early and posts the rest of the wait.
  runner_->RunUntilAllPostedTasksRan();
  EXPECT_EQ(1, runs);
  EXPECT_GE(ran_at - restarted, Ms(400));
  ASSERT_EQ(2u, runner_->posts());
  EXPECT_GT(runner_->delays[1], TimeDelta());
  EXPECT_LE(runner_->delays[1], Ms(400));
}

TEST_F(TimerTest, EarlierDeadlineAbandonsTheTaskInFlight) {
  OneShotTimer timer;
  timer.SetTaskRunner(runner_);
  int first_runs = 0;
  int second_runs = 0;
  timer.Start(Here(), Ms(300),
              test::ClosureFromFunction([&] { ++first_runs; }));
  timer.Start(Here(), Ms(10),
              test::ClosureFromFunction([&] { ++second_runs; }));
  ASSERT_EQ(2u, runner_->posts());
  EXPECT_EQ(Ms(10), runner_->delays[1]);

  // Both posted tasks fire; the abandoned one does nothing.
  runner_->RunUntilAllPostedTasksRan();
  EXPECT_EQ(0, first_runs);
  EXPECT_EQ(1, second_runs);
  EXPECT_EQ(2u, runner_->posts());

  // A zero delay replaces a task in flight by one posted at once.
  timer.Start(Here(), Ms(300),
              test::ClosureFromFunction([&] { ++first_runs; }));
  timer.Start(Here(), TimeDelta(),
              test::ClosureFromFunction([&] { ++second_runs; }));
  ASSERT_EQ(4u, runner_->posts());
  EXPECT_EQ(TimeDelta(), runner_->delays[3]);
  test::RunUntilIdle();
  EXPECT_EQ(2, second_runs);
  runner_->RunUntilAllPostedTasksRan();
  EXPECT_EQ(0, first_runs);
}

TEST_F(TimerTest, RepeatingTimerStoppedFromItsTask) {
  RepeatingTimer timer;
  timer.SetTaskRunner(runner_);
  std::vector<TimeTicks> ran_at;
  const TimeTicks started = TimeTicks::Now();
  timer.Start(Here(), Ms(15), test::ClosureFromFunction([&] {
                ran_at.push_back(TimeTicks::Now());
                if (ran_at.size() >= 3)
                  timer.Stop();
              }));

  runner_->RunUntilAllPostedTasksRan();
  ASSERT_EQ(3u, ran_at.size());
  EXPECT_FALSE(timer.IsRunning());
  // Each run posted the next before the task ran: the fourth fired idle.
  EXPECT_EQ(4u, runner_->posts());
  // Run k comes no earlier than k periods after the start.
  for (size_t k = 0; k < ran_at.size(); ++k)
    EXPECT_GE(ran_at[k] - started, Ms(15 * static_cast<int64_t>(k + 1)));

  // The task was retained: Reset alone starts the timer again.
  timer.Reset();
  EXPECT_TRUE(timer.IsRunning());
  runner_->RunUntilAllPostedTasksRan();
  EXPECT_EQ(4u, ran_at.size());
  EXPECT_FALSE(timer.IsRunning());
  EXPECT_EQ(6u, runner_->posts());
}

TEST_F(TimerTest, RepeatingTimerResetFromItsTask) {
  RepeatingTimer timer;
  timer.SetTaskRunner(runner_);
  std::vector<TimeTicks> ran_at;
  TimeTicks reset_at;
  timer.Start(Here(), Ms(40), test::ClosureFromFunction([&] {
                ran_at.push_back(TimeTicks::Now());
                if (ran_at.size() == 1) {
                  reset_at = TimeTicks::Now();
                  timer.Reset();
                } else if (ran_at.size() == 3) {
                  timer.Stop();
                }
              }));

  runner_->RunUntilAllPostedTasksRan();
  ASSERT_EQ(3u, ran_at.size());
  // The reset pushed the second run a whole period past it.
  EXPECT_GE(ran_at[1] - reset_at, Ms(40));
  EXPECT_GE(ran_at[2] - reset_at, Ms(80));
  EXPECT_FALSE(timer.IsRunning());
}

TEST_F(TimerTest, OneShotRestartedFromItsTask) {
  OneShotTimer timer;
  timer.SetTaskRunner(runner_);
  int runs = 0;
  std::vector<bool> running_inside;
  Closure task;
  task = test::ClosureFromFunction([&] {
    running_inside.push_back(timer.IsRunning());
    if (++runs < 3)
      timer.Start(Here(), Ms(5), task);
  });
  timer.Start(Here(), Ms(5), task);
  runner_->RunUntilAllPostedTasksRan();
  EXPECT_EQ(3, runs);
  EXPECT_EQ(std::vector<bool>({false, false, false}), running_inside);
  EXPECT_FALSE(timer.IsRunning());
  EXPECT_EQ(3u, runner_->posts());
  task = Closure();
}

TEST_F(TimerTest, RetainedOneShotResetsFromItsTask) {
  Timer timer(true, false);
  timer.SetTaskRunner(runner_);
  int runs = 0;
  timer.Start(Here(), Ms(5), test::ClosureFromFunction([&] {
                if (++runs < 2)
                  timer.Reset();
              }));
  runner_->RunUntilAllPostedTasksRan();
  EXPECT_EQ(2, runs);
  EXPECT_FALSE(timer.IsRunning());

  // Stopped before it fires: the task in flight does nothing, and Reset
  // alone restarts the retained task.
  timer.Reset();
  timer.Stop();
  runner_->RunUntilAllPostedTasksRan();
  EXPECT_EQ(2, runs);
  timer.Reset();
  runner_->RunUntilAllPostedTasksRan();
  EXPECT_EQ(3, runs);
}

TEST_F(TimerTest, StopReleasesTheTaskUnlessRetained) {
  bool released = false;
  OneShotTimer timer;
  timer.SetTaskRunner(runner_);
  timer.Start(Here(), Ms(5),
              test::TrackedClosure(nullptr, [&] { released = true; }));
  timer.Stop();
  EXPECT_TRUE(released);
  EXPECT_FALSE(timer.IsRunning());

  bool retained_released = false;
  {
    Timer retaining(true, false);
    retaining.SetTaskRunner(runner_);
    retaining.Start(Here(), Ms(5), test::TrackedClosure(nullptr, [&] {
                      retained_released = true;
                    }));
    retaining.Stop();
    EXPECT_FALSE(retained_released);
  }
  EXPECT_TRUE(retained_released);
  runner_->RunUntilAllPostedTasksRan();
}

TEST_F(TimerTest, DestroyedWhilePendingNeverRuns) {
  int runs = 0;
  auto timer = std::make_unique<OneShotTimer>();
  timer->SetTaskRunner(runner_);
  timer->Start(Here(), Ms(10), test::ClosureFromFunction([&] { ++runs; }));
  timer.reset();
  runner_->RunUntilAllPostedTasksRan();
  EXPECT_EQ(0, runs);

  // A repeating timer destroyed by its own task.
  auto repeating = std::make_unique<RepeatingTimer>();
  repeating->SetTaskRunner(runner_);
  repeating->Start(Here(), Ms(5), test::ClosureFromFunction([&] {
                     if (++runs == 2)
                       repeating.reset();
                   }));
  runner_->RunUntilAllPostedTasksRan();
  EXPECT_EQ(2, runs);
  EXPECT_EQ(nullptr, repeating);
}

TEST(TimerLoopTest, LoopDestroyedWithTheTaskStopsTheTimer) {
  int runs = 0;
  OneShotTimer timer;
  {
    MessageLoop loop;
    timer.Start(Here(), TimeDelta::FromSeconds(3600),
                test::ClosureFromFunction([&] { ++runs; }));
    EXPECT_TRUE(timer.IsRunning());
  }
  EXPECT_FALSE(timer.IsRunning());
  EXPECT_EQ(0, runs);
}

TEST_F(TimerTest, RefusedPostLeavesTheTimerStopped) {
  runner_->refuse_posts = true;
  OneShotTimer timer;
  timer.SetTaskRunner(runner_);
  int runs = 0;
  timer.Start(Here(), Ms(5), test::ClosureFromFunction([&] { ++runs; }));
  EXPECT_EQ(1u, runner_->posts());
  EXPECT_FALSE(timer.IsRunning());

  // With a runner that accepts again, the timer starts normally.
  runner_->refuse_posts = false;
  timer.Start(Here(), Ms(5), test::ClosureFromFunction([&] { ++runs; }));
  EXPECT_TRUE(timer.IsRunning());
  runner_->RunUntilAllPostedTasksRan();
  EXPECT_EQ(1, runs);
}

TEST_F(TimerTest, RepeatingTimerRefusesAPeriodThatIsNotPositive) {
  RepeatingTimer timer;
  timer.SetTaskRunner(runner_);
  int runs = 0;
  const Closure task = test::ClosureFromFunction([&] { ++runs; });
  // Asserted: a timer that did start would keep the loop busy for good.
  timer.Start(Here(), TimeDelta(), task);
  ASSERT_FALSE(timer.IsRunning());
  timer.Start(Here(), Ms(-1), task);
  ASSERT_FALSE(timer.IsRunning());
  ASSERT_EQ(0u, runner_->posts());
  test::RunUntilIdle();
  EXPECT_EQ(0, runs);

  // A refused restart leaves a running timer as it was.
  timer.Start(Here(), Ms(5), test::ClosureFromFunction([&] {
                ++runs;
                timer.Stop();
              }));
  timer.Start(Here(), TimeDelta(), task);
  EXPECT_TRUE(timer.IsRunning());
  EXPECT_EQ(Ms(5), timer.GetCurrentDelay());
  runner_->RunUntilAllPostedTasksRan();
  EXPECT_EQ(1, runs);
  EXPECT_FALSE(timer.IsRunning());
}

TEST(TimerThreadTest, RunsOnTheRunnerItWasGiven) {
  Thread thread("TimerTestThread");
  ASSERT_TRUE(thread.Start());
  HANDLE ran = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(nullptr, ran);
  DWORD ran_on = 0;
  {
    OneShotTimer timer;
    timer.SetTaskRunner(thread.task_runner());
    timer.Start(Here(), Ms(5), test::ClosureFromFunction([&] {
                  ran_on = ::GetCurrentThreadId();
                  ::SetEvent(ran);
                }));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(ran, INFINITE));
  }
  thread.Stop();
  ::CloseHandle(ran);
  EXPECT_NE(0u, ran_on);
  EXPECT_NE(::GetCurrentThreadId(), ran_on);
}

}  // namespace
}  // namespace base
