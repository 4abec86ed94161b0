#include "base/message_loop/message_pump_default.h"

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

// A delegate whose three callbacks are written by each test; it logs the
// order in which the pump calls them.
class ScriptedDelegate : public MessagePump::Delegate {
 public:
  std::function<bool()> do_work = [] { return false; };
  std::function<bool(TimeTicks*)> do_delayed_work = [](TimeTicks*) {
    return false;
  };
  std::function<bool()> do_idle_work = [] { return false; };
  std::vector<std::string> calls;

  bool DoWork() override {
    calls.push_back("work");
    return do_work();
  }
  bool DoDelayedWork(TimeTicks* next_delayed_work_time) override {
    calls.push_back("delayed");
    return do_delayed_work(next_delayed_work_time);
  }
  bool DoIdleWork() override {
    calls.push_back("idle");
    return do_idle_work();
  }
};

TEST(MessagePumpDefaultTest, OrderOfWorkInAPassAndQuit) {
  MessagePumpDefault pump;
  ScriptedDelegate delegate;
  int passes = 0;
  // Work in the first pass skips the idle call; the second pass goes idle,
  // and quitting there ends the run before any wait.
  delegate.do_work = [&] { return ++passes == 1; };
  delegate.do_idle_work = [&] {
    pump.Quit();
    return false;
  };
  pump.Run(&delegate);
  EXPECT_EQ(
      (std::vector<std::string>{"work", "delayed", "work", "delayed", "idle"}),
      delegate.calls);

  // Quit inside DoWork leaves before DoDelayedWork; the pump can run again.
  delegate.calls.clear();
  delegate.do_work = [&] {
    pump.Quit();
    return true;
  };
  pump.Run(&delegate);
  EXPECT_EQ((std::vector<std::string>{"work"}), delegate.calls);

  delegate.calls.clear();
  delegate.do_work = [] { return false; };
  delegate.do_delayed_work = [&](TimeTicks*) {
    pump.Quit();
    return false;
  };
  pump.Run(&delegate);
  EXPECT_EQ((std::vector<std::string>{"work", "delayed"}), delegate.calls);
}

TEST(MessagePumpDefaultTest, ScheduleWorkFromAnotherThreadWakesThePump) {
  MessagePumpDefault pump;
  ScriptedDelegate delegate;
  std::atomic<bool> posted{false};
  std::thread waker;
  int idle_calls = 0;
  delegate.do_work = [&] {
    if (posted) {
      pump.Quit();
      return true;
    }
    return false;
  };
  delegate.do_idle_work = [&] {
    // The first time the pump is about to sleep, another thread wakes it.
    if (++idle_calls == 1) {
      waker = std::thread([&] {
        posted = true;
        pump.ScheduleWork();
      });
    }
    return false;
  };
  pump.Run(&delegate);
  waker.join();
  EXPECT_TRUE(posted);
  EXPECT_EQ(1, idle_calls);

  // A wake-up that arrives while the pump is not waiting lets its next
  // wait through.
  ScriptedDelegate second;
  pump.ScheduleWork();
  int work_calls = 0;
  second.do_work = [&] {
    if (++work_calls < 2)
      return false;
    pump.Quit();
    return true;
  };
  pump.Run(&second);
  EXPECT_EQ(2, work_calls);
  EXPECT_EQ((std::vector<std::string>{"work", "delayed", "idle", "work"}),
            second.calls);
}

TEST(MessagePumpDefaultTest, SleepsUntilTheDelayedWorkIsDue) {
  MessagePumpDefault pump;
  ScriptedDelegate delegate;
  const TimeTicks due = TimeTicks::Now() + TimeDelta::FromMilliseconds(30);
  int delayed_calls = 0;
  delegate.do_delayed_work = [&](TimeTicks* next) {
    ++delayed_calls;
    if (TimeTicks::Now() >= due) {
      pump.Quit();
      return true;
    }
    *next = due;
    return false;
  };
  // Nobody calls ScheduleWork: only the timed wait can end the sleep.
  pump.Run(&delegate);
  EXPECT_GE(delayed_calls, 2);
}

TEST(MessagePumpDefaultTest, ScheduledDelayedWorkIsStoredAndCleared) {
  MessagePumpDefault pump;
  ScriptedDelegate delegate;
  // A time already past: the pump clears it and goes round without
  // waiting; the delegate sees it cleared on the next call.
  std::vector<bool> seen_null;
  delegate.do_delayed_work = [&](TimeTicks* next) {
    seen_null.push_back(next->is_null());
    if (seen_null.size() == 2)
      pump.Quit();
    return false;
  };
  pump.ScheduleDelayedWork(TimeTicks::Now() - TimeDelta::FromSeconds(1));
  pump.Run(&delegate);
  EXPECT_EQ((std::vector<bool>{false, true}), seen_null);
}

}  // namespace
}  // namespace base
