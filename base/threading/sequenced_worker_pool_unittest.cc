#include "base/threading/sequenced_worker_pool.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/sequenced_task_runner.h"
#include "base/synchronization/waitable_event.h"
#include "base/test/closure_from_function.h"
#include "base/test/task_test_util.h"
#include "base/threading/platform_thread.h"
#include "base/threading/thread_name_registry.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using Behavior = SequencedWorkerPool::WorkerShutdown;
constexpr Behavior kContinue = SequencedWorkerPool::CONTINUE_ON_SHUTDOWN;
constexpr Behavior kSkip = SequencedWorkerPool::SKIP_ON_SHUTDOWN;
constexpr Behavior kBlock = SequencedWorkerPool::BLOCK_SHUTDOWN;
#define HERE LOCATION_FROM_HERE("Test")

struct Event : WaitableEvent {
  Event() : WaitableEvent(true, false) {}
};

void WaitUntil(std::function<bool()> done) {
  while (!done())
    PlatformThread::Sleep(TimeDelta::FromMilliseconds(1));
}

void Nothing() {}

bool Post(TaskRunner* runner, std::function<void()> body, int delay_ms = 0) {
  return runner->PostDelayedTask(HERE, test::ClosureFromFunction(body),
                                 TimeDelta::FromMilliseconds(delay_ms));
}

struct Counts {
  Closure Task() {
    return test::TrackedClosure([this] { ++runs; }, [this] { ++destroyed; });
  }
  std::atomic<int> runs{0};
  std::atomic<int> destroyed{0};
};

class ObservedPool : public SequencedWorkerPool {
 public:
  using SequencedWorkerPool::SequencedWorkerPool;
  std::function<void()> on_destroyed;

 private:
  ~ObservedPool() override { on_destroyed(); }
};

class SequencedWorkerPoolTest : public testing::Test {
 protected:
  ~SequencedWorkerPoolTest() override {
    finished_.Signal();
    watchdog_.join();
  }

  void CreatePool(size_t max_threads) {
    pool_ = new ObservedPool(max_threads, "PrefsTaskPool");
  }

  SequencedTaskRunner* Runner(const char* token, Behavior behavior) {
    runners_.push_back(pool_->GetSequencedTaskRunnerWithShutdownBehavior(
        pool_->GetNamedSequenceToken(token), behavior));
    return runners_.back().get();
  }

  // Drops the test's references; the pool, its workers joined and its tasks
  // destroyed, must go on this thread, at once (true) or later in its loop.
  bool DestroyPool() {
    RunLoop run_loop;
    const Closure quit = run_loop.QuitClosure();
    std::atomic<PlatformThreadId> destroyer{0};
    pool_->on_destroyed = [&] {
      destroyer = PlatformThread::CurrentId();
      quit.Run();
    };
    runners_.clear();
    pool_ = nullptr;
    const bool at_once = destroyer != 0;
    run_loop.Run();
    EXPECT_EQ(PlatformThread::CurrentId(), destroyer.load());
    return at_once;
  }

  // Once Shutdown has begun, it refuses this post.
  bool ShutdownBegun() { return !Post(pool_.get(), &Nothing, 1); }

  // A hung test ends the program, long before the runner's time-out.
  Event finished_;
  std::thread watchdog_{[this] {
    CHECK(finished_.TimedWait(TimeDelta::FromSeconds(30))) << "hung";
  }};
  MessageLoop loop_;
  scoped_refptr<ObservedPool> pool_;
  std::vector<scoped_refptr<SequencedTaskRunner>> runners_;
};

TEST_F(SequencedWorkerPoolTest, OneThreadRunsEveryTaskInTheOrderTheyFallDue) {
  CreatePool(1);
  SequencedTaskRunner* a = Runner("a", kBlock);
  SequencedTaskRunner* b = Runner("b", kBlock);
  Event gate, delayed_ran;
  PlatformThreadId worker = 0;
  std::string worker_name;
  ASSERT_TRUE(Post(pool_.get(), [&] {
    worker = PlatformThread::CurrentId();
    worker_name = ThreadNameRegistry::GetInstance()->GetName(worker);
    gate.Wait();
  }));
  // Each task logs its name and which of pool, a and b claim its thread.
  std::vector<std::string> log;
  TaskRunner* const claimants[] = {pool_.get(), a, b};
  const struct {
    TaskRunner* runner;
    const char* name;
    int delay_ms;
  } kPosts[] = {{a, "a1", 0}, {b, "b1", 0},       {pool_.get(), "-", 0},
                {a, "a2", 0}, {a, "a-late", 200}, {b, "b2", 0}};
  for (const auto& post : kPosts) {
    ASSERT_TRUE(Post(
        post.runner,
        [&, post] {
          log.push_back(post.name);
          for (TaskRunner* runner : claimants)
            log.back() += runner->RunsTasksOnCurrentThread() ? "+" : "-";
          if (post.delay_ms)
            delayed_ran.Signal();
        },
        post.delay_ms));
  }
  gate.Signal();
  // Skipped on shutdown, the delayed task has to run first.
  delayed_ran.Wait();
  pool_->Shutdown(0);
  EXPECT_EQ((std::vector<std::string>{"a1++-", "b1+-+", "-+--", "a2++-",
                                      "b2+-+", "a-late++-"}),
            log);
  EXPECT_EQ("PrefsTaskPoolWorker1/" + std::to_string(worker), worker_name);
  DestroyPool();
}

TEST_F(SequencedWorkerPoolTest, TasksOfOneTokenNeverOverlapAcrossWorkers) {
  CreatePool(4);
  SequencedTaskRunner* runner = Runner("sequence", kBlock);
  std::atomic<int> in_flight{0};
  std::atomic<int> overlaps{0};
  std::vector<int> order;
  // The sequence's first task holds it until a task without a token has run
  // on another worker; the sequence's next tasks must not take that one.
  Event release_first;
  for (int i = 0; i < 40; ++i) {
    ASSERT_TRUE(Post(runner, [&, i] {
      overlaps += in_flight++ != 0;
      if (i == 0)
        release_first.Wait();
      PlatformThread::YieldCurrentThread();
      order.push_back(i);
      --in_flight;
    }));
    ASSERT_TRUE(Post(pool_.get(), [&] { release_first.Signal(); }));
  }
  // Shutdown starts no more workers.
  release_first.Wait();
  pool_->Shutdown(0);
  EXPECT_EQ(0, overlaps.load());
  EXPECT_TRUE(order.size() == 40u &&
              std::is_sorted(order.begin(), order.end()));
  DestroyPool();
}

TEST_F(SequencedWorkerPoolTest, ShutdownDropsQueuedTasksByTheirBehaviour) {
  CreatePool(1);
  Event started;
  ASSERT_TRUE(Post(pool_.get(), [&] {
    started.Signal();
    WaitUntil([this] { return ShutdownBegun(); });
  }));
  started.Wait();
  // Queued behind that task when Shutdown begins. A task delayed at all,
  // even into the past, is skipped on shutdown.
  const struct {
    TaskRunner* runner;
    int delay_ms;
    int runs;
  } kCases[] = {
      {Runner("c", kContinue), 0, 0},
      {Runner("s", kSkip), 0, 0},
      {Runner("b", kBlock), 0, 1},
      {Runner("b", kBlock), 3600000, 0},
      {pool_.get(), 0, 1},
      {pool_.get(), -5, 0},
  };
  Counts counts[std::size(kCases)];
  for (size_t i = 0; i < std::size(kCases); ++i) {
    ASSERT_TRUE(kCases[i].runner->PostDelayedTask(
        HERE, counts[i].Task(),
        TimeDelta::FromMilliseconds(kCases[i].delay_ms)));
  }
  pool_->Shutdown(0);
  // Shutdown waited for the blocking tasks. Now nothing is accepted, and a
  // refused task is released by the time the post returns.
  Counts refused;
  for (size_t i = 0; i < std::size(kCases); ++i) {
    EXPECT_EQ(kCases[i].runs, counts[i].runs.load()) << i;
    EXPECT_FALSE(kCases[i].runner->PostTask(HERE, refused.Task()));
    EXPECT_EQ(static_cast<int>(i) + 1, refused.destroyed.load());
  }
  DestroyPool();
  for (size_t i = 0; i < std::size(kCases); ++i)
    EXPECT_EQ(1, counts[i].destroyed.load()) << i;
}

TEST_F(SequencedWorkerPoolTest, ShutdownWaitsForRunningTasksUnlessContinue) {
  for (Behavior behavior : {kContinue, kSkip, kBlock}) {
    SCOPED_TRACE(behavior);
    CreatePool(1);
    Event started, release;
    std::atomic<bool> done{false};
    ASSERT_TRUE(Post(Runner("t", behavior), [&, behavior] {
      started.Signal();
      if (behavior == kContinue)
        release.Wait();
      else
        WaitUntil([this] { return ShutdownBegun(); });
      // Long enough for a Shutdown that does not wait to be back first.
      PlatformThread::Sleep(TimeDelta::FromMilliseconds(20));
      done = true;
    }));
    started.Wait();
    pool_->Shutdown(0);
    EXPECT_EQ(behavior != kContinue, done.load());
    // Released in the loop that DestroyPool serves. The task's worker
    // holds the pool; its last release posts the deletion here.
    Post(loop_.task_runner().get(), [&] { release.Signal(); });
    EXPECT_FALSE(DestroyPool() && behavior == kContinue);
  }
}

TEST_F(SequencedWorkerPoolTest, AllowanceLetsBlockingTasksInAfterShutdown) {
  CreatePool(2);
  // After Shutdown(1), a blocking task posts twice, and a task that
  // Shutdown may leave behind once: only the first post gets in.
  std::atomic<int> started{0};
  Counts late[3];
  std::atomic<bool> accepted[3] = {false, true, true};
  // The posters take turns, the skip task first: its post, were it let in,
  // would use up the allowance before the blocking task's.
  std::atomic<int> turns_done{0};
  auto poster = [&](int first, int count, int turn) {
    return [&, first, count, turn] {
      ++started;
      WaitUntil([&] { return ShutdownBegun() && turns_done == turn; });
      for (int i = first; i < first + count; ++i)
        accepted[i] = pool_->PostTask(HERE, late[i].Task());
      ++turns_done;
    };
  };
  ASSERT_TRUE(Post(pool_.get(), poster(0, 2, 1)));
  ASSERT_TRUE(Post(Runner("skip", kSkip), poster(2, 1, 0)));
  WaitUntil([&] { return started == 2; });
  pool_->Shutdown(1);
  EXPECT_TRUE(accepted[0] && !accepted[1] && !accepted[2]);
  EXPECT_EQ(1, late[0].runs.load()) << "Shutdown waits for it too";
  // Only the first Shutdown counts: the allowance stays used up.
  pool_->Shutdown(5);
  EXPECT_FALSE(pool_->PostTask(HERE, late[1].Task()));
  DestroyPool();
}

TEST_F(SequencedWorkerPoolTest, BlockingTaskAcceptedAfterEveryWorkerLeftRuns) {
  // The post starts a worker, or is refused, giving its allowance back.
  for (bool had_worker : {false, true}) {
    for (int failed_starts : {0, 1}) {
      SCOPED_TRACE(testing::Message() << had_worker << failed_starts);
      CreatePool(1);
      std::atomic<PlatformThreadId> worker{0};
      if (had_worker) {
        ASSERT_TRUE(
            Post(pool_.get(), [&] { worker = PlatformThread::CurrentId(); }));
        WaitUntil([&] { return worker != 0; });
      }
      pool_->Shutdown(1);
      // A worker's name goes when its thread ends.
      WaitUntil([&] {
        return !worker || !*ThreadNameRegistry::GetInstance()->GetName(worker);
      });
      pool_->FailWorkerStartsForTesting(failed_starts);
      Counts first, second;
      EXPECT_EQ(!failed_starts, pool_->PostTask(HERE, first.Task()));
      EXPECT_EQ(!!failed_starts, pool_->PostTask(HERE, second.Task()));
      DestroyPool();
      EXPECT_EQ(!failed_starts, first.runs == 1);
      EXPECT_EQ(!!failed_starts, second.runs == 1);
    }
  }
}

// A worker that cannot start neither hangs Shutdown nor loses work that a
// worker started later can run.
TEST_F(SequencedWorkerPoolTest, FailedWorkerStartBeforeShutdownLosesNoWork) {
  // The only worker cannot start: Shutdown does not wait for a blocking
  // task that no thread will run, and the task goes with the pool.
  CreatePool(1);
  pool_->FailWorkerStartsForTesting(1);
  Counts stranded;
  EXPECT_TRUE(pool_->PostTask(HERE, stranded.Task()));
  pool_->Shutdown(0);
  DestroyPool();
  EXPECT_EQ(0, stranded.runs.load());
  EXPECT_EQ(1, stranded.destroyed.load());

  // A later post tries again, and its worker runs both tasks.
  CreatePool(1);
  pool_->FailWorkerStartsForTesting(1);
  Counts both;
  EXPECT_TRUE(pool_->PostTask(HERE, both.Task()));
  EXPECT_TRUE(pool_->PostTask(HERE, both.Task()));
  pool_->Shutdown(0);
  EXPECT_EQ(2, both.runs.load());
  DestroyPool();

  // A second worker that cannot start leaves the work to the first.
  CreatePool(2);
  Event started, release;
  ASSERT_TRUE(Post(pool_.get(), [&] {
    started.Signal();
    release.Wait();
  }));
  started.Wait();
  pool_->FailWorkerStartsForTesting(1);
  Counts queued;
  EXPECT_TRUE(pool_->PostTask(HERE, queued.Task()));
  release.Signal();
  pool_->Shutdown(0);
  EXPECT_EQ(1, queued.runs.load());
  DestroyPool();
}

// A name keeps its token within a pool; tokens are unique across pools.
TEST_F(SequencedWorkerPoolTest, NamedTokensAreSharedWithinAPoolOnly) {
  CreatePool(1);
  scoped_refptr<SequencedWorkerPool> other_pool =
      new SequencedWorkerPool(1, "OtherPool");
  const int32_t first = pool_->GetNamedSequenceToken("name").id();
  EXPECT_NE(0, first);
  EXPECT_EQ(first, pool_->GetNamedSequenceToken("name").id());
  EXPECT_EQ(first + 1, other_pool->GetNamedSequenceToken("other").id());
  EXPECT_EQ(first + 2, other_pool->GetNamedSequenceToken("name").id());
  EXPECT_EQ(first + 1, other_pool->GetNamedSequenceToken("other").id());
  EXPECT_EQ(first + 3, pool_->GetNamedSequenceToken("other").id());
  EXPECT_EQ(0, SequencedWorkerPool::SequenceToken().id());
  other_pool->Shutdown(0);
  other_pool = nullptr;
  pool_->Shutdown(0);
  DestroyPool();
}

}  // namespace
}  // namespace base
