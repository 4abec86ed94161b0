#include "base/threading/sequenced_worker_pool.h"

#include <atomic>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/sequenced_task_runner.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/waitable_event.h"
#include "base/test/closure_from_function.h"
#include "base/test/task_test_util.h"
#include "base/threading/platform_thread.h"
#include "base/threading/thread_name_registry.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using test::ClosureFromFunction;
using test::TrackedClosure;

const TimeDelta kLongDelay = TimeDelta::FromSeconds(3600);

void DoNothing() {}

// A pool that tells when and on which thread it is destroyed.
class ObservedPool : public SequencedWorkerPool {
 public:
  ObservedPool(size_t max_threads, const std::string& prefix)
      : SequencedWorkerPool(max_threads, prefix) {}

  void set_on_destroyed(std::function<void()> on_destroyed) {
    on_destroyed_ = std::move(on_destroyed);
  }

 private:
  ~ObservedPool() override {
    if (on_destroyed_)
      on_destroyed_();
  }

  std::function<void()> on_destroyed_;
};

// Records the order of events from any thread.
class EventLog {
 public:
  void Add(const std::string& event) {
    AutoLock lock(lock_);
    events_.push_back(event);
  }
  std::vector<std::string> events() {
    AutoLock lock(lock_);
    return events_;
  }

 private:
  Lock lock_;
  std::vector<std::string> events_;
};

// Counts runs and destructions of tracked tasks.
struct TaskCounts {
  std::atomic<int> runs{0};
  std::atomic<int> destroyed{0};
};

Closure CountedTask(TaskCounts* counts, std::function<void()> body = nullptr) {
  return TrackedClosure(
      [counts, body] {
        ++counts->runs;
        if (body)
          body();
      },
      [counts] { ++counts->destroyed; });
}

class SequencedWorkerPoolTest : public testing::Test {
 protected:
  void CreatePool(size_t max_threads, const std::string& prefix = "TestPool") {
    pool_ = new ObservedPool(max_threads, prefix);
  }

  // The runner holds the pool; the fixture holds the runner until
  // DestroyPool.
  SequencedTaskRunner* Runner(SequencedWorkerPool::SequenceToken token,
                              SequencedWorkerPool::WorkerShutdown behavior) {
    runners_.push_back(
        pool_->GetSequencedTaskRunnerWithShutdownBehavior(token, behavior));
    return runners_.back().get();
  }

  SequencedWorkerPool::SequenceToken Token(const std::string& name) {
    return pool_->GetNamedSequenceToken(name);
  }

  // Drops the test's reference and serves this thread's loop until the pool
  // is gone: at once when the reference was the last, else when a worker
  // that held the last one has posted the deletion here. Either way the
  // pool is destroyed on this thread, which created it. Every worker is
  // joined and every task destroyed by then.
  void DestroyPool() {
    RunLoop run_loop;
    PlatformThreadId destroyer = 0;
    Closure quit = run_loop.QuitClosure();
    pool_->set_on_destroyed([&destroyer, quit] {
      destroyer = PlatformThread::CurrentId();
      quit.Run();
    });
    runners_.clear();
    pool_ = nullptr;
    run_loop.Run();
    EXPECT_EQ(PlatformThread::CurrentId(), destroyer);
  }

  // Posts tasks that Shutdown refuses until one is refused: Shutdown has
  // begun by then. The accepted ones are delayed far beyond the test and
  // are dropped by Shutdown.
  void WaitUntilShutdownBegins() {
    while (pool_->PostDelayedTask(LOCATION_FROM_HERE("WaitUntilShutdownBegins"),
                                  Bind(&DoNothing), kLongDelay)) {
      PlatformThread::Sleep(TimeDelta::FromMilliseconds(1));
    }
  }

  // Calls Shutdown on another thread, so that this one can watch it and
  // release the tasks it waits for.
  void StartShutdown(int32_t max_new_blocking_tasks) {
    shutdown_thread_ = std::thread([this, max_new_blocking_tasks] {
      pool_->Shutdown(max_new_blocking_tasks);
      shutdown_returned_ = true;
    });
    WaitUntilShutdownBegins();
  }

  void FinishShutdown() { shutdown_thread_.join(); }

  MessageLoop loop_;
  scoped_refptr<ObservedPool> pool_;
  std::vector<scoped_refptr<SequencedTaskRunner>> runners_;
  std::thread shutdown_thread_;
  std::atomic<bool> shutdown_returned_{false};
};

TEST_F(SequencedWorkerPoolTest, OneThreadRunsEveryTaskInPostingOrder) {
  CreatePool(1, "PrefsTaskPool");
  auto runner_a = Runner(Token("a"), SequencedWorkerPool::BLOCK_SHUTDOWN);
  auto runner_b = Runner(Token("b"), SequencedWorkerPool::BLOCK_SHUTDOWN);

  // Holds the only worker, so that every task below is queued before any
  // runs.
  WaitableEvent gate(true, false);
  std::string worker_name;
  PlatformThreadId worker_id = 0;
  ASSERT_TRUE(pool_->PostTask(
      LOCATION_FROM_HERE("Test"), ClosureFromFunction([&] {
        worker_id = PlatformThread::CurrentId();
        worker_name = ThreadNameRegistry::GetInstance()->GetName(
            PlatformThread::CurrentId());
        gate.Wait();
      })));
  EventLog log;
  auto add = [&log](const char* event) {
    return ClosureFromFunction([&log, event] { log.Add(event); });
  };
  ASSERT_TRUE(runner_a->PostTask(LOCATION_FROM_HERE("Test"), add("a1")));
  ASSERT_TRUE(runner_b->PostTask(LOCATION_FROM_HERE("Test"), add("b1")));
  ASSERT_TRUE(pool_->PostTask(LOCATION_FROM_HERE("Test"), add("none")));
  ASSERT_TRUE(runner_a->PostTask(LOCATION_FROM_HERE("Test"), add("a2")));
  ASSERT_TRUE(runner_b->PostTask(LOCATION_FROM_HERE("Test"), add("b2")));
  // Due later than the tasks posted after it, so it runs after them.
  WaitableEvent delayed_ran(true, false);
  ASSERT_TRUE(runner_a->PostDelayedTask(LOCATION_FROM_HERE("Test"),
                                        ClosureFromFunction([&] {
                                          log.Add("a-delayed");
                                          delayed_ran.Signal();
                                        }),
                                        TimeDelta::FromMilliseconds(200)));
  ASSERT_TRUE(runner_b->PostTask(LOCATION_FROM_HERE("Test"), add("b3")));
  gate.Signal();
  // The delayed task is skipped on shutdown: wait for it to run first.
  delayed_ran.Wait();
  pool_->Shutdown(0);

  EXPECT_EQ((std::vector<std::string>{"a1", "b1", "none", "a2", "b2", "b3",
                                      "a-delayed"}),
            log.events());
  EXPECT_EQ("PrefsTaskPoolWorker1/" + std::to_string(worker_id), worker_name);
  DestroyPool();
}

TEST_F(SequencedWorkerPoolTest, TasksOfOneTokenNeverOverlapAcrossWorkers) {
  constexpr size_t kMaxThreads = 4;
  CreatePool(kMaxThreads);
  auto runner = Runner(Token("sequence"), SequencedWorkerPool::BLOCK_SHUTDOWN);

  Lock threads_lock;
  std::set<PlatformThreadId> threads;
  auto note_thread = [&] {
    AutoLock lock(threads_lock);
    threads.insert(PlatformThread::CurrentId());
  };

  // The first task of the sequence holds it until a task without a token
  // runs beside it: that one needs another worker, and the sequence's
  // second task must not take that worker.
  WaitableEvent release_first(true, false);
  WaitableEvent first_finished(true, false);
  std::atomic<bool> first_done{false};
  std::atomic<bool> second_started{false};
  std::atomic<bool> second_saw_first_done{false};
  std::atomic<bool> untokened_saw_second{true};
  ASSERT_TRUE(
      runner->PostTask(LOCATION_FROM_HERE("Test"), ClosureFromFunction([&] {
                         note_thread();
                         release_first.Wait();
                         first_done = true;
                         first_finished.Signal();
                       })));
  ASSERT_TRUE(
      runner->PostTask(LOCATION_FROM_HERE("Test"), ClosureFromFunction([&] {
                         second_started = true;
                         second_saw_first_done = first_done.load();
                       })));
  ASSERT_TRUE(
      pool_->PostTask(LOCATION_FROM_HERE("Test"), ClosureFromFunction([&] {
                        note_thread();
                        untokened_saw_second = second_started.load();
                        release_first.Signal();
                      })));
  // Shutdown starts no more workers, and the untokened task needs a second
  // one, so it must have run before Shutdown begins.
  first_finished.Wait();

  // Many tasks of one sequence interleaved with tasks without a token that
  // keep the other workers busy: the sequence's tasks run one at a time,
  // in posting order.
  constexpr int kSequenceTasks = 40;
  std::atomic<int> in_flight{0};
  std::atomic<int> overlaps{0};
  EventLog log;
  for (int i = 0; i < kSequenceTasks; ++i) {
    ASSERT_TRUE(runner->PostTask(LOCATION_FROM_HERE("Test"),
                                 ClosureFromFunction([&, i] {
                                   if (in_flight++ != 0)
                                     ++overlaps;
                                   note_thread();
                                   PlatformThread::YieldCurrentThread();
                                   log.Add(std::to_string(i));
                                   --in_flight;
                                 })));
    ASSERT_TRUE(
        pool_->PostTask(LOCATION_FROM_HERE("Test"), ClosureFromFunction([&] {
                          note_thread();
                          PlatformThread::YieldCurrentThread();
                        })));
  }
  pool_->Shutdown(0);

  EXPECT_FALSE(untokened_saw_second);
  EXPECT_TRUE(second_saw_first_done);
  EXPECT_EQ(0, overlaps.load());
  std::vector<std::string> expected;
  for (int i = 0; i < kSequenceTasks; ++i)
    expected.push_back(std::to_string(i));
  EXPECT_EQ(expected, log.events());
  EXPECT_GE(threads.size(), 2u);
  EXPECT_LE(threads.size(), kMaxThreads);
  DestroyPool();
}

TEST_F(SequencedWorkerPoolTest, RunnersKnowTheirWorkersAndReplyToThePoster) {
  CreatePool(2);
  auto runner = Runner(Token("mine"), SequencedWorkerPool::BLOCK_SHUTDOWN);
  auto other = Runner(Token("other"), SequencedWorkerPool::BLOCK_SHUTDOWN);
  EXPECT_FALSE(pool_->RunsTasksOnCurrentThread());
  EXPECT_FALSE(runner->RunsTasksOnCurrentThread());

  const PlatformThreadId main_thread = PlatformThread::CurrentId();
  PlatformThreadId task_thread = 0;
  PlatformThreadId reply_thread = 0;
  bool pool_knew_worker = false;
  bool runner_knew_task = false;
  bool other_runner_declined = false;
  RunLoop run_loop;
  Closure quit = run_loop.QuitClosure();
  ASSERT_TRUE(runner->PostTaskAndReply(
      LOCATION_FROM_HERE("Test"), ClosureFromFunction([&] {
        task_thread = PlatformThread::CurrentId();
        pool_knew_worker = pool_->RunsTasksOnCurrentThread();
        runner_knew_task = runner->RunsTasksOnCurrentThread();
        other_runner_declined = !other->RunsTasksOnCurrentThread();
      }),
      ClosureFromFunction([&] {
        reply_thread = PlatformThread::CurrentId();
        quit.Run();
      })));
  run_loop.Run();

  EXPECT_NE(main_thread, task_thread);
  EXPECT_EQ(main_thread, reply_thread);
  EXPECT_TRUE(pool_knew_worker);
  EXPECT_TRUE(runner_knew_task);
  EXPECT_TRUE(other_runner_declined);

  // A worker that has finished its task runs no task of the token.
  bool runner_knew_idle_worker = true;
  WaitableEvent checked(true, false);
  ASSERT_TRUE(pool_->PostTask(
      LOCATION_FROM_HERE("Test"), ClosureFromFunction([&] {
        runner_knew_idle_worker = runner->RunsTasksOnCurrentThread();
        checked.Signal();
      })));
  checked.Wait();
  EXPECT_FALSE(runner_knew_idle_worker);

  pool_->Shutdown(0);
  DestroyPool();
}

TEST_F(SequencedWorkerPoolTest, ShutdownDropsQueuedTasksByTheirBehaviour) {
  CreatePool(1);
  auto continue_runner =
      Runner(Token("continue"), SequencedWorkerPool::CONTINUE_ON_SHUTDOWN);
  auto skip_runner =
      Runner(Token("skip"), SequencedWorkerPool::SKIP_ON_SHUTDOWN);
  auto block_runner =
      Runner(Token("block"), SequencedWorkerPool::BLOCK_SHUTDOWN);

  WaitableEvent gate_started(true, false);
  WaitableEvent gate(true, false);
  ASSERT_TRUE(
      pool_->PostTask(LOCATION_FROM_HERE("Test"), ClosureFromFunction([&] {
                        gate_started.Signal();
                        gate.Wait();
                      })));
  gate_started.Wait();

  TaskCounts continued, skipped, blocked, negative_delay, zero_delay,
      delayed_block;
  ASSERT_TRUE(continue_runner->PostTask(LOCATION_FROM_HERE("Test"),
                                        CountedTask(&continued)));
  ASSERT_TRUE(
      skip_runner->PostTask(LOCATION_FROM_HERE("Test"), CountedTask(&skipped)));
  ASSERT_TRUE(block_runner->PostTask(LOCATION_FROM_HERE("Test"),
                                     CountedTask(&blocked)));
  // Any delay other than exactly zero, even one already past, is skipped.
  ASSERT_TRUE(pool_->PostDelayedTask(LOCATION_FROM_HERE("Test"),
                                     CountedTask(&negative_delay),
                                     TimeDelta::FromMilliseconds(-5)));
  ASSERT_TRUE(
      pool_->PostTask(LOCATION_FROM_HERE("Test"), CountedTask(&zero_delay)));
  // A delayed task of a blocking runner is skipped too, so Shutdown does
  // not wait an hour for it.
  ASSERT_TRUE(block_runner->PostDelayedTask(
      LOCATION_FROM_HERE("Test"), CountedTask(&delayed_block), kLongDelay));

  StartShutdown(0);
  // Queued tasks that block shutdown have not run: Shutdown cannot be done.
  EXPECT_FALSE(shutdown_returned_);
  gate.Signal();
  FinishShutdown();
  // Shutdown returned only after the blocking tasks had run.
  EXPECT_EQ(1, blocked.runs.load());
  EXPECT_EQ(1, zero_delay.runs.load());

  // Nothing is accepted but blocking tasks within the allowance, which is 0.
  TaskCounts refused;
  EXPECT_FALSE(
      pool_->PostTask(LOCATION_FROM_HERE("Test"), CountedTask(&refused)));
  EXPECT_FALSE(block_runner->PostTask(LOCATION_FROM_HERE("Test"),
                                      CountedTask(&refused)));
  EXPECT_FALSE(continue_runner->PostTask(LOCATION_FROM_HERE("Test"),
                                         CountedTask(&refused)));
  // Refused tasks are released by the time the post returns.
  EXPECT_EQ(3, refused.destroyed.load());

  DestroyPool();
  for (TaskCounts* dropped :
       {&continued, &skipped, &negative_delay, &delayed_block}) {
    EXPECT_EQ(0, dropped->runs.load());
    EXPECT_EQ(1, dropped->destroyed.load());
  }
  EXPECT_EQ(1, blocked.destroyed.load());
  EXPECT_EQ(1, zero_delay.destroyed.load());
  EXPECT_EQ(0, refused.runs.load());
}

TEST_F(SequencedWorkerPoolTest,
       ShutdownWaitsForRunningTasksThatAreNotContinue) {
  CreatePool(3);
  auto continue_runner =
      Runner(Token("continue"), SequencedWorkerPool::CONTINUE_ON_SHUTDOWN);
  auto skip_runner =
      Runner(Token("skip"), SequencedWorkerPool::SKIP_ON_SHUTDOWN);
  auto block_runner =
      Runner(Token("block"), SequencedWorkerPool::BLOCK_SHUTDOWN);

  WaitableEvent release_continue(true, false);
  WaitableEvent release_skip(true, false);
  WaitableEvent release_block(true, false);
  std::atomic<int> started{0};
  WaitableEvent all_started(true, false);
  std::atomic<bool> continue_done{false};
  std::atomic<bool> skip_done{false};
  std::atomic<bool> block_done{false};
  auto holder = [&](WaitableEvent* release, std::atomic<bool>* done) {
    return ClosureFromFunction([&, release, done] {
      if (++started == 3)
        all_started.Signal();
      release->Wait();
      *done = true;
    });
  };
  ASSERT_TRUE(continue_runner->PostTask(
      LOCATION_FROM_HERE("Test"), holder(&release_continue, &continue_done)));
  ASSERT_TRUE(skip_runner->PostTask(LOCATION_FROM_HERE("Test"),
                                    holder(&release_skip, &skip_done)));
  ASSERT_TRUE(block_runner->PostTask(LOCATION_FROM_HERE("Test"),
                                     holder(&release_block, &block_done)));
  all_started.Wait();

  StartShutdown(0);
  EXPECT_FALSE(shutdown_returned_);
  release_skip.Signal();
  EXPECT_FALSE(shutdown_returned_) << "the blocking task still runs";
  release_block.Signal();
  // Returns while the continue-on-shutdown task still runs.
  FinishShutdown();
  EXPECT_TRUE(skip_done);
  EXPECT_TRUE(block_done);
  EXPECT_FALSE(continue_done);

  // The worker running it keeps the pool until it is done.
  release_continue.Signal();
  DestroyPool();
  EXPECT_TRUE(continue_done);
}

TEST_F(SequencedWorkerPoolTest, AllowanceLetsBlockingTasksInAfterShutdown) {
  CreatePool(2);
  auto skip_runner =
      Runner(Token("skip"), SequencedWorkerPool::SKIP_ON_SHUTDOWN);

  WaitableEvent gate(true, false);
  std::atomic<int> started{0};
  WaitableEvent both_started(true, false);
  auto note_started = [&] {
    if (++started == 2)
      both_started.Signal();
  };
  TaskCounts first_late, second_late, from_skip_task;
  std::atomic<bool> first_accepted{false};
  std::atomic<bool> second_accepted{true};
  std::atomic<bool> skip_task_accepted{true};
  ASSERT_TRUE(pool_->PostTask(
      LOCATION_FROM_HERE("Test"), ClosureFromFunction([&] {
        note_started();
        gate.Wait();
        first_accepted = pool_->PostTask(LOCATION_FROM_HERE("Test"),
                                         CountedTask(&first_late));
        second_accepted = pool_->PostTask(LOCATION_FROM_HERE("Test"),
                                          CountedTask(&second_late));
      })));
  // A task that Shutdown may leave behind must not post blocking work, even
  // within the allowance.
  ASSERT_TRUE(skip_runner->PostTask(
      LOCATION_FROM_HERE("Test"), ClosureFromFunction([&] {
        note_started();
        gate.Wait();
        skip_task_accepted = pool_->PostTask(LOCATION_FROM_HERE("Test"),
                                             CountedTask(&from_skip_task));
      })));
  both_started.Wait();

  StartShutdown(1);
  gate.Signal();
  FinishShutdown();

  EXPECT_TRUE(first_accepted);
  EXPECT_FALSE(second_accepted);
  EXPECT_FALSE(skip_task_accepted);
  // Shutdown waited for the late blocking task too.
  EXPECT_EQ(1, first_late.runs.load());

  DestroyPool();
  EXPECT_EQ(0, second_late.runs.load());
  EXPECT_EQ(1, second_late.destroyed.load());
  EXPECT_EQ(0, from_skip_task.runs.load());
  EXPECT_EQ(1, from_skip_task.destroyed.load());

  // From outside the pool, after Shutdown(1): exactly one gets in.
  CreatePool(1);
  pool_->Shutdown(1);
  TaskCounts outside;
  EXPECT_TRUE(
      pool_->PostTask(LOCATION_FROM_HERE("Test"), CountedTask(&outside)));
  EXPECT_FALSE(
      pool_->PostTask(LOCATION_FROM_HERE("Test"), CountedTask(&outside)));
  DestroyPool();
  EXPECT_EQ(2, outside.destroyed.load());
}

TEST_F(SequencedWorkerPoolTest, NamedTokensAreSharedWithinAPoolOnly) {
  CreatePool(1);
  scoped_refptr<SequencedWorkerPool> other_pool =
      new SequencedWorkerPool(1, "OtherPool");

  const int32_t first = Token("name").id();
  EXPECT_NE(0, first);
  EXPECT_EQ(first, Token("name").id());
  EXPECT_EQ(first + 1, other_pool->GetNamedSequenceToken("other").id());
  EXPECT_EQ(first + 2, other_pool->GetNamedSequenceToken("name").id());
  EXPECT_EQ(first + 1, other_pool->GetNamedSequenceToken("other").id());
  EXPECT_EQ(first + 3, Token("other").id());
  EXPECT_EQ(0, SequencedWorkerPool::SequenceToken().id());

  other_pool->Shutdown(0);
  other_pool = nullptr;
  pool_->Shutdown(0);
  DestroyPool();
}

TEST_F(SequencedWorkerPoolTest, TaskIsDestroyedBeforeTheNextTaskRuns) {
  CreatePool(1);
  auto runner = Runner(Token("sequence"), SequencedWorkerPool::BLOCK_SHUTDOWN);
  std::atomic<bool> first_destroyed{false};
  bool second_saw_first_destroyed = false;
  ASSERT_TRUE(runner->PostTask(
      LOCATION_FROM_HERE("Test"),
      TrackedClosure(nullptr, [&] { first_destroyed = true; })));
  ASSERT_TRUE(
      runner->PostTask(LOCATION_FROM_HERE("Test"), ClosureFromFunction([&] {
                         second_saw_first_destroyed = first_destroyed;
                       })));
  pool_->Shutdown(0);
  EXPECT_TRUE(second_saw_first_destroyed);
  DestroyPool();
}

TEST_F(SequencedWorkerPoolTest,
       LastReleaseOnAWorkerDeletesOnTheCreatingThread) {
  CreatePool(1);
  WaitableEvent started(true, false);
  WaitableEvent release(true, false);
  auto runner =
      Runner(Token("continue"), SequencedWorkerPool::CONTINUE_ON_SHUTDOWN);
  ASSERT_TRUE(
      runner->PostTask(LOCATION_FROM_HERE("Test"), ClosureFromFunction([&] {
                         started.Signal();
                         release.Wait();
                       })));
  started.Wait();
  // Does not wait for the running continue-on-shutdown task.
  pool_->Shutdown(0);

  // The worker still holds the pool; it releases the last reference when
  // it leaves, and the deletion comes back to this thread.
  bool destroyed = false;
  RunLoop run_loop;
  Closure quit = run_loop.QuitClosure();
  PlatformThreadId destroyer = 0;
  pool_->set_on_destroyed([&] {
    destroyed = true;
    destroyer = PlatformThread::CurrentId();
    quit.Run();
  });
  runners_.clear();
  pool_ = nullptr;
  EXPECT_FALSE(destroyed);
  release.Signal();
  run_loop.Run();
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(PlatformThread::CurrentId(), destroyer);
}

TEST_F(SequencedWorkerPoolTest, FailedWorkerStartNeitherHangsNorLosesWork) {
  // The only worker cannot start: Shutdown does not wait for a task that
  // no thread will run, and the task is destroyed with the pool.
  CreatePool(1);
  pool_->FailWorkerStartsForTesting(1);
  TaskCounts stranded;
  EXPECT_TRUE(
      pool_->PostTask(LOCATION_FROM_HERE("Test"), CountedTask(&stranded)));
  pool_->Shutdown(0);
  DestroyPool();
  EXPECT_EQ(0, stranded.runs.load());
  EXPECT_EQ(1, stranded.destroyed.load());

  // A later post tries again and its worker runs both tasks.
  CreatePool(1);
  pool_->FailWorkerStartsForTesting(1);
  TaskCounts first, second;
  EXPECT_TRUE(pool_->PostTask(LOCATION_FROM_HERE("Test"), CountedTask(&first)));
  EXPECT_TRUE(
      pool_->PostTask(LOCATION_FROM_HERE("Test"), CountedTask(&second)));
  pool_->Shutdown(0);
  EXPECT_EQ(1, first.runs.load());
  EXPECT_EQ(1, second.runs.load());
  DestroyPool();

  // A second worker that cannot start leaves the work to the first.
  CreatePool(2);
  WaitableEvent gate(true, false);
  WaitableEvent gate_started(true, false);
  ASSERT_TRUE(
      pool_->PostTask(LOCATION_FROM_HERE("Test"), ClosureFromFunction([&] {
                        gate_started.Signal();
                        gate.Wait();
                      })));
  gate_started.Wait();
  pool_->FailWorkerStartsForTesting(1);
  TaskCounts queued;
  EXPECT_TRUE(
      pool_->PostTask(LOCATION_FROM_HERE("Test"), CountedTask(&queued)));
  gate.Signal();
  pool_->Shutdown(0);
  EXPECT_EQ(1, queued.runs.load());
  DestroyPool();
}

TEST_F(SequencedWorkerPoolTest, ShutdownOfAnIdlePoolReturnsAndOnlyOnce) {
  CreatePool(2);
  pool_->Shutdown(0);
  // A second Shutdown changes nothing, not even the allowance.
  pool_->Shutdown(5);
  TaskCounts refused;
  EXPECT_FALSE(
      pool_->PostTask(LOCATION_FROM_HERE("Test"), CountedTask(&refused)));
  EXPECT_EQ(1, refused.destroyed.load());
  DestroyPool();
}

}  // namespace
}  // namespace base
