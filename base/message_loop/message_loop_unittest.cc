#include "base/message_loop/message_loop.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
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
using test::RunUntilIdle;
using test::TrackedClosure;

#define HERE LOCATION_FROM_HERE("base::MessageLoopTest")

Closure Record(std::vector<std::string>* log, const std::string& entry) {
  return ClosureFromFunction([log, entry] { log->push_back(entry); });
}

// A pump whose Run hands the loop to the test, which then calls DoWork,
// DoDelayedWork and DoIdleWork itself and sees what the loop asks of the
// pump.
class ScriptedPump : public MessagePump {
 public:
  using Script = std::function<void(Delegate*)>;

  void set_script(Script script) { script_ = std::move(script); }

  void Run(Delegate* delegate) override { script_(delegate); }
  void Quit() override { ++quit_calls; }
  void ScheduleWork() override { ++schedule_work_calls; }
  void ScheduleDelayedWork(const TimeTicks& delayed_work_time) override {
    delayed_work_times.push_back(delayed_work_time);
  }

  std::atomic<int> schedule_work_calls{0};
  int quit_calls = 0;
  std::vector<TimeTicks> delayed_work_times;

 private:
  Script script_;
};

std::unique_ptr<MessagePump> TakePump(std::unique_ptr<MessagePump>* pump) {
  return std::move(*pump);
}

class ScriptedLoopTest : public testing::Test {
 protected:
  ScriptedLoopTest() {
    auto pump = std::make_unique<ScriptedPump>();
    pump_ = pump.get();
    pump_holder_ = std::move(pump);
    loop_ = MessageLoop::CreateUnbound(MessageLoop::TYPE_CUSTOM,
                                       Bind(&TakePump, &pump_holder_));
    runner_ = loop_->task_runner();
  }

  // Runs |script| as the loop's outermost run.
  void RunScript(ScriptedPump::Script script) {
    pump_->set_script(std::move(script));
    loop_->Run();
  }

  std::unique_ptr<MessagePump> pump_holder_;
  ScriptedPump* pump_;
  std::unique_ptr<MessageLoop> loop_;
  scoped_refptr<SingleThreadTaskRunner> runner_;
};

TEST_F(ScriptedLoopTest, OneTaskPerDoWorkAndDelayedWakeUps) {
  std::vector<std::string> ran;
  const TimeDelta kLong = TimeDelta::FromSeconds(100);
  runner_->PostDelayedTask(HERE, Record(&ran, "late"), kLong);
  runner_->PostTask(HERE, Record(&ran, "a"));
  runner_->PostDelayedTask(HERE, Record(&ran, "early"),
                           TimeDelta::FromSeconds(50));
  runner_->PostTask(HERE, Record(&ran, "b"));
  // Unbound: queued without wake-ups, then one wake-up for all of them.
  EXPECT_EQ(0, pump_->schedule_work_calls);
  loop_->BindToCurrentThread();
  EXPECT_EQ(1, pump_->schedule_work_calls);
  EXPECT_EQ(loop_.get(), MessageLoop::current());

  RunScript([&](MessagePump::Delegate* delegate) {
    // "late" goes to the heap and, being first there, arms the pump.
    EXPECT_TRUE(delegate->DoWork());
    EXPECT_EQ((std::vector<std::string>{"a"}), ran);
    ASSERT_EQ(1u, pump_->delayed_work_times.size());

    // "early" is due before "late": the pump is re-armed for it.
    EXPECT_TRUE(delegate->DoWork());
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), ran);
    ASSERT_EQ(2u, pump_->delayed_work_times.size());
    EXPECT_LT(pump_->delayed_work_times[1], pump_->delayed_work_times[0]);

    // The reload that took the four tasks left the wake-up pending, so this
    // post asks for none; a task due later than the first does not re-arm.
    runner_->PostDelayedTask(HERE, Record(&ran, "later"),
                             TimeDelta::FromSeconds(200));
    EXPECT_EQ(1, pump_->schedule_work_calls);
    EXPECT_FALSE(delegate->DoWork());
    EXPECT_EQ(2u, pump_->delayed_work_times.size());

    TimeTicks next_delayed_work_time;
    EXPECT_FALSE(delegate->DoDelayedWork(&next_delayed_work_time));
    EXPECT_EQ(pump_->delayed_work_times[1], next_delayed_work_time);
    EXPECT_FALSE(delegate->DoIdleWork());
    EXPECT_EQ(0, pump_->quit_calls);
  });
  EXPECT_EQ(2u, ran.size());
}

TEST_F(ScriptedLoopTest, BurstOfPostsWakesThePumpOnce) {
  loop_->BindToCurrentThread();
  EXPECT_EQ(0, pump_->schedule_work_calls);
  int ran = 0;
  auto post_from_other_thread = [&](int count) {
    std::thread poster([&] {
      for (int i = 0; i < count; ++i)
        runner_->PostTask(HERE, ClosureFromFunction([&] { ++ran; }));
    });
    poster.join();
  };

  RunScript([&](MessagePump::Delegate* delegate) {
    post_from_other_thread(10);
    EXPECT_EQ(1, pump_->schedule_work_calls);

    // The reload takes all ten; posts that follow wake nobody, since the
    // loop reloads again before it could sleep.
    EXPECT_TRUE(delegate->DoWork());
    EXPECT_EQ(1, ran);
    post_from_other_thread(1);
    EXPECT_EQ(1, pump_->schedule_work_calls);

    while (delegate->DoWork()) {
    }
    EXPECT_EQ(11, ran);

    // The last reload found the queue empty: the next post wakes again.
    post_from_other_thread(1);
    EXPECT_EQ(2, pump_->schedule_work_calls);
    EXPECT_TRUE(delegate->DoWork());
    EXPECT_EQ(12, ran);
  });
}

TEST_F(ScriptedLoopTest, TasksDoNotNestUnlessAllowed) {
  loop_->BindToCurrentThread();
  std::vector<std::string> ran;
  MessagePump::Delegate* delegate = nullptr;
  runner_->PostTask(
      HERE, ClosureFromFunction([&] {
        ran.push_back("outer");
        // The pump run again inside the task finds no work.
        EXPECT_FALSE(delegate->DoWork());
        TimeTicks next = TimeTicks::Now();
        EXPECT_FALSE(delegate->DoDelayedWork(&next));
        EXPECT_TRUE(next.is_null());
        const int wake_ups = pump_->schedule_work_calls;
        {
          MessageLoop::ScopedNestableTaskAllower allow(loop_.get());
          EXPECT_EQ(wake_ups + 1, pump_->schedule_work_calls);
          EXPECT_TRUE(delegate->DoWork());
          EXPECT_TRUE(loop_->NestableTasksAllowed());
        }
        EXPECT_FALSE(loop_->NestableTasksAllowed());
        EXPECT_FALSE(delegate->DoWork());
        ran.push_back("outer end");
      }));
  runner_->PostTask(HERE, Record(&ran, "inner"));
  runner_->PostDelayedTask(HERE, Record(&ran, "delayed"),
                           TimeDelta::FromMicroseconds(1));
  RunScript([&](MessagePump::Delegate* script_delegate) {
    delegate = script_delegate;
    EXPECT_TRUE(delegate->DoWork());
    EXPECT_TRUE(loop_->NestableTasksAllowed());
  });
  EXPECT_EQ((std::vector<std::string>{"outer", "inner", "outer end"}), ran);
}

TEST_F(ScriptedLoopTest, RunsTasksOnCurrentThreadOnlyOnceBoundAndOnItsThread) {
  auto on_other_thread = [&] {
    bool result = true;
    std::thread([&] { result = runner_->RunsTasksOnCurrentThread(); }).join();
    return result;
  };
  EXPECT_FALSE(runner_->RunsTasksOnCurrentThread());
  EXPECT_FALSE(on_other_thread());
  loop_->BindToCurrentThread();
  EXPECT_TRUE(runner_->RunsTasksOnCurrentThread());
  EXPECT_TRUE(runner_->BelongsToCurrentThread());
  EXPECT_FALSE(on_other_thread());
  EXPECT_EQ(runner_, ThreadTaskRunnerHandle::Get());
}

TEST(MessageLoopTest, CurrentLoopAndTypes) {
  EXPECT_EQ(nullptr, MessageLoop::current());
  {
    MessageLoop loop;
    EXPECT_EQ(&loop, MessageLoop::current());
    EXPECT_TRUE(loop.IsType(MessageLoop::TYPE_DEFAULT));
    EXPECT_FALSE(loop.IsType(MessageLoop::TYPE_UI));
    EXPECT_EQ(loop.task_runner(), ThreadTaskRunnerHandle::Get());
    loop.set_thread_name("worker");
    EXPECT_EQ("worker", loop.thread_name());
    MessageLoop* seen_elsewhere = &loop;
    std::thread([&] { seen_elsewhere = MessageLoop::current(); }).join();
    EXPECT_EQ(nullptr, seen_elsewhere);
  }
  EXPECT_EQ(nullptr, MessageLoop::current());
}

TEST(MessageLoopTest, ImmediateAndDelayedTasksRunInOrder) {
  MessageLoop loop;
  std::vector<std::string> ran;
  RunLoop run_loop;
  const TimeDelta kMs = TimeDelta::FromMilliseconds(1);
  loop.PostDelayedTask(HERE, Record(&ran, "delayed 300"),
                       TimeDelta::FromMilliseconds(300));
  loop.PostTask(HERE, Record(&ran, "immediate 1"));
  loop.PostDelayedTask(HERE, Record(&ran, "delayed 1"), kMs);
  loop.PostDelayedTask(HERE, Record(&ran, "delayed 0"), TimeDelta());
  loop.PostTask(HERE, Record(&ran, "immediate 2"));
  // Equal delays: the order of posting.
  for (int i = 0; i < 5; ++i)
    loop.PostDelayedTask(HERE, Record(&ran, "same " + std::to_string(i)),
                         TimeDelta::FromMilliseconds(100));
  loop.PostDelayedTask(HERE, run_loop.QuitClosure(),
                       TimeDelta::FromMilliseconds(301));
  run_loop.Run();

  // Whether "delayed 1" is due before "immediate 2" runs depends on how much
  // time passed, so only the orders that hold whatever the timing are checked.
  ASSERT_EQ(10u, ran.size());
  auto position = [&ran](const std::string& name) {
    return std::find(ran.begin(), ran.end(), name) - ran.begin();
  };
  const std::vector<std::string> kInOrder[] = {
      {"immediate 1", "delayed 0", "immediate 2"},
      {"immediate 1", "delayed 1", "same 0", "same 1", "same 2", "same 3",
       "same 4", "delayed 300"},
  };
  for (const std::vector<std::string>& names : kInOrder) {
    for (size_t i = 1; i < names.size(); ++i)
      EXPECT_LT(position(names[i - 1]), position(names[i])) << names[i];
  }
  EXPECT_EQ("delayed 300", ran.back());
}

TEST(MessageLoopTest, NonNestableTasksWaitForTheOutermostRun) {
  MessageLoop loop;
  const scoped_refptr<SingleThreadTaskRunner> runner = loop.task_runner();
  std::vector<std::string> ran;

  // At depth 1 a non-nestable task runs in its turn.
  runner->PostTask(HERE, Record(&ran, "a"));
  runner->PostNonNestableTask(HERE, Record(&ran, "non-nestable"));
  runner->PostTask(HERE, Record(&ran, "b"));
  RunUntilIdle();
  EXPECT_EQ((std::vector<std::string>{"a", "non-nestable", "b"}), ran);

  // Inside a nested run they are deferred, and run one per idle moment of
  // the outermost run, in the order in which they were deferred.
  ran.clear();
  runner->PostTask(HERE, ClosureFromFunction([&] {
                     ran.push_back("outer");
                     RunLoop nested;
                     runner->PostNonNestableTask(HERE, Record(&ran, "nn 2"));
                     runner->PostTask(HERE, Record(&ran, "nestable"));
                     runner->PostNonNestableDelayedTask(
                         HERE, Record(&ran, "nn delayed"),
                         TimeDelta::FromMicroseconds(1));
                     runner->PostNonNestableTask(HERE, Record(&ran, "nn 3"));
                     runner->PostDelayedTask(HERE, nested.QuitClosure(),
                                             TimeDelta::FromMilliseconds(20));
                     {
                       MessageLoop::ScopedNestableTaskAllower allow(&loop);
                       nested.Run();
                     }
                     ran.push_back("outer end");
                     // Deferred tasks still run before the quit.
                     loop.QuitWhenIdle();
                   }));
  // Taken into the work queue together with the outer task, so met first
  // inside the nested run.
  runner->PostNonNestableTask(HERE, Record(&ran, "nn 1"));
  RunLoop().Run();
  EXPECT_EQ((std::vector<std::string>{"outer", "nestable", "outer end", "nn 1",
                                      "nn 2", "nn 3", "nn delayed"}),
            ran);
}

TEST(MessageLoopTest, NestedRunInsideATaskRunsItsOwnQuitTask) {
  MessageLoop loop;
  std::vector<std::string> ran;
  loop.PostTask(HERE, ClosureFromFunction([&] {
                  RunLoop nested;
                  loop.PostTask(HERE, Record(&ran, "inside"));
                  loop.PostTask(HERE, nested.QuitClosure());
                  MessageLoop::ScopedNestableTaskAllower allow(&loop);
                  nested.Run();
                  ran.push_back("returned");
                  loop.QuitWhenIdle();
                }));
  RunLoop().Run();
  EXPECT_EQ((std::vector<std::string>{"inside", "returned"}), ran);
  EXPECT_TRUE(loop.NestableTasksAllowed());
}

TEST(MessageLoopTest, EveryLoopTypeRunsTasks) {
  for (MessageLoop::Type type : {MessageLoop::TYPE_DEFAULT,
                                 MessageLoop::TYPE_UI, MessageLoop::TYPE_IO}) {
    MessageLoop loop(type);
    EXPECT_TRUE(loop.IsType(type));
    std::vector<std::string> ran;
    RunLoop run_loop;
    loop.PostDelayedTask(HERE, Record(&ran, "delayed"),
                         TimeDelta::FromMilliseconds(5));
    loop.PostTask(HERE, ClosureFromFunction([&] {
                    ran.push_back("immediate");
                    // A post from another thread wakes the pump.
                    std::thread([&] {
                      loop.task_runner()->PostDelayedTask(
                          HERE, run_loop.QuitClosure(),
                          TimeDelta::FromMilliseconds(10));
                    }).join();
                  }));
    run_loop.Run();
    EXPECT_EQ((std::vector<std::string>{"immediate", "delayed"}), ran)
        << "loop type " << type;
  }
}

// Sees the window messages of a UI run loop and ends the run at WM_APP.
class QuittingDispatcher : public MessagePumpDispatcher {
 public:
  uint32_t Dispatch(const MSG& message) override {
    if (message.message != WM_APP)
      return kActionPerformDefault;
    seen_app_message = true;
    return kActionQuitLoop;
  }
  bool seen_app_message = false;
};

TEST(MessageLoopTest, UiRunLoopWithDispatcherSeesWindowMessages) {
  MessageLoop loop(MessageLoop::TYPE_UI);
  QuittingDispatcher dispatcher;
  std::vector<std::string> ran;
  loop.PostTask(HERE, ClosureFromFunction([&] {
                  ran.push_back("task");
                  ::PostThreadMessageW(::GetCurrentThreadId(), WM_APP, 0, 0);
                }));
  RunLoop(&dispatcher).Run();
  EXPECT_TRUE(dispatcher.seen_app_message);
  EXPECT_EQ((std::vector<std::string>{"task"}), ran);
}

class SeenTasks : public MessageLoop::TaskObserver {
 public:
  void WillProcessTask(const PendingTask& pending_task) override {
    high_res[pending_task.posted_from.function_name()] =
        pending_task.is_high_res;
    ++will;
  }
  void DidProcessTask(const PendingTask& /*pending_task*/) override { ++did; }

  std::map<std::string, bool> high_res;
  int will = 0;
  int did = 0;
};

TEST(MessageLoopTest, ShortDelaysAreHighResolution) {
  MessageLoop loop;
  SeenTasks seen;
  loop.AddTaskObserver(&seen);
  RunLoop run_loop;
  int remaining = 6;
  auto post = [&](const char* name, int64_t delay_us) {
    loop.PostDelayedTask(Location(name, __FILE__, __LINE__, nullptr),
                         ClosureFromFunction([&] {
                           if (--remaining == 0)
                             run_loop.Quit();
                         }),
                         TimeDelta::FromMicroseconds(delay_us));
  };
  post("32 ms", 32000);
  post("31.999 ms", 31999);
  post("31 ms", 31000);
  post("1 us", 1);
  post("none", 0);
  post("negative", -1000);
  run_loop.Run();
  EXPECT_EQ((std::map<std::string, bool>{{"32 ms", false},
                                         {"31.999 ms", true},
                                         {"31 ms", true},
                                         {"1 us", true},
                                         {"none", false},
                                         {"negative", false}}),
            seen.high_res);
  EXPECT_EQ(6, seen.did);

  loop.RemoveTaskObserver(&seen);
  loop.PostTask(HERE, Closure(ClosureFromFunction([] {})));
  RunUntilIdle();
  EXPECT_EQ(6, seen.will);
}

TEST(MessageLoopTest, PostsFromManyThreadsKeepEachThreadsOrder) {
  MessageLoop loop;
  const scoped_refptr<SingleThreadTaskRunner> runner = loop.task_runner();
  constexpr int kThreads = 8;
  constexpr int kTasksPerThread = 500;
  std::vector<std::vector<int>> seen(kThreads);
  int total = 0;
  std::atomic<int> refused{0};
  RunLoop run_loop;

  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < kTasksPerThread; ++i) {
        const bool accepted =
            runner->PostTask(HERE, ClosureFromFunction([&, t, i] {
                               EXPECT_TRUE(runner->RunsTasksOnCurrentThread());
                               seen[t].push_back(i);
                               if (++total == kThreads * kTasksPerThread)
                                 run_loop.Quit();
                             }));
        if (!accepted)
          ++refused;
      }
    });
  }
  run_loop.Run();
  for (std::thread& poster : posters)
    poster.join();
  EXPECT_EQ(0, refused);

  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(static_cast<size_t>(kTasksPerThread), seen[t].size());
    for (int i = 0; i < kTasksPerThread; ++i)
      ASSERT_EQ(i, seen[t][i]);
  }
}

TEST(MessageLoopTest, QuitWhenIdleRunsDueTasksFirst) {
  MessageLoop loop;
  std::vector<std::string> ran;
  bool delayed_destroyed = false;
  loop.PostTask(HERE, ClosureFromFunction([&] {
                  loop.QuitWhenIdle();
                  loop.PostTask(HERE, Record(&ran, "posted after the quit"));
                }));
  loop.PostTask(HERE, Record(&ran, "already queued"));
  loop.PostDelayedTask(HERE,
                       TrackedClosure([&] { ran.push_back("not due"); },
                                      [&] { delayed_destroyed = true; }),
                       TimeDelta::FromSeconds(100));
  RunLoop().Run();
  EXPECT_EQ(
      (std::vector<std::string>{"already queued", "posted after the quit"}),
      ran);
  EXPECT_FALSE(delayed_destroyed);
}

class Deletable {
 public:
  explicit Deletable(bool* deleted) : deleted_(deleted) {}
  ~Deletable() { *deleted_ = true; }

 private:
  bool* const deleted_;
};

TEST(MessageLoopTest, DeleteSoon) {
  MessageLoop loop;
  bool deleted = false;
  EXPECT_TRUE(loop.DeleteSoon(HERE, new Deletable(&deleted)));
  EXPECT_FALSE(deleted);
  RunUntilIdle();
  EXPECT_TRUE(deleted);
}

class PostingDestructionObserver : public MessageLoop::DestructionObserver {
 public:
  explicit PostingDestructionObserver(std::function<void()> on_destroy)
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
  MessageLoop* const raw_loop = loop.get();
  scoped_refptr<SingleThreadTaskRunner> runner = loop->task_runner();
  bool ran = false;
  auto mark_ran = [&] { ran = true; };
  int destroyed = 0;
  auto count_destroyed = [&] { ++destroyed; };

  // A non-nestable task left deferred: the nested run and the outer run
  // both quit before an idle moment of the outer one.
  RunLoop outer;
  runner->PostTask(HERE, ClosureFromFunction([&] {
                     runner->PostNonNestableTask(
                         HERE, TrackedClosure(mark_ran, count_destroyed));
                     RunLoop nested;
                     runner->PostTask(HERE, ClosureFromFunction([&] {
                                        outer.Quit();
                                        nested.Quit();
                                      }));
                     MessageLoop::ScopedNestableTaskAllower allow(loop.get());
                     nested.Run();
                   }));
  outer.Run();
  EXPECT_EQ(0, destroyed);

  runner->PostTask(HERE, TrackedClosure(mark_ran, count_destroyed));
  runner->PostDelayedTask(HERE, TrackedClosure(mark_ran, count_destroyed),
                          TimeDelta::FromSeconds(100));
  runner->PostNonNestableTask(HERE, TrackedClosure(mark_ran, count_destroyed));

  // Destroying this task's bound object posts another task, which is
  // accepted and destroyed in turn.
  bool accepted_from_destructor = false;
  runner->PostTask(HERE, TrackedClosure(mark_ran, [&] {
                     ++destroyed;
                     accepted_from_destructor = runner->PostDelayedTask(
                         HERE, TrackedClosure(mark_ran, count_destroyed),
                         TimeDelta::FromSeconds(1));
                   }));

  // The observer's post is still accepted, but stays in the incoming queue
  // until the queue's last reference goes.
  bool observer_post_accepted = false;
  bool observer_task_destroyed = false;
  PostingDestructionObserver observer([&] {
    EXPECT_EQ(raw_loop, MessageLoop::current());
    observer_post_accepted = runner->PostTask(
        HERE,
        TrackedClosure(mark_ran, [&] { observer_task_destroyed = true; }));
  });
  loop->AddDestructionObserver(&observer);

  loop.reset();
  EXPECT_FALSE(ran);
  EXPECT_EQ(6, destroyed);
  EXPECT_TRUE(accepted_from_destructor);
  EXPECT_EQ(1, observer.calls);
  EXPECT_TRUE(observer_post_accepted);
  EXPECT_EQ(nullptr, MessageLoop::current());

  // Posts are refused now; the refused task is released, never run.
  bool refused_destroyed = false;
  EXPECT_FALSE(runner->PostTask(
      HERE, TrackedClosure(mark_ran, [&] { refused_destroyed = true; })));
  EXPECT_TRUE(refused_destroyed);

  EXPECT_FALSE(observer_task_destroyed);
  runner = nullptr;
  EXPECT_TRUE(observer_task_destroyed);
  EXPECT_FALSE(ran);
}

TEST(MessageLoopTest, RemovedDestructionObserverIsNotTold) {
  auto loop = std::make_unique<MessageLoop>();
  PostingDestructionObserver kept([] {});
  PostingDestructionObserver removed([] {});
  loop->AddDestructionObserver(&kept);
  loop->AddDestructionObserver(&removed);
  loop->RemoveDestructionObserver(&removed);
  loop.reset();
  EXPECT_EQ(1, kept.calls);
  EXPECT_EQ(0, removed.calls);
}

}  // namespace
}  // namespace base
