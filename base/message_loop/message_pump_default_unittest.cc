#include "base/message_loop/message_pump_default.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

// Logs the calls the pump makes; when idle for the first time, has another
// thread wake the pump, and quits at the first call after that.
class WakingDelegate : public MessagePump::Delegate {
 public:
  explicit WakingDelegate(MessagePump* pump) : pump_(pump) {}
  ~WakingDelegate() override { waker_.join(); }

  bool DoWork() override { return Call("work"); }
  bool DoDelayedWork(TimeTicks* /*next*/) override { return Call("delayed"); }
  bool DoIdleWork() override {
    Call("idle");
    if (!waker_.joinable()) {
      waker_ = std::thread([this] {
        woken_ = true;
        pump_->ScheduleWork();
      });
    }
    return false;
  }

  std::vector<std::string> calls;

 private:
  bool Call(const char* name) {
    calls.push_back(name);
    if (woken_)
      pump_->Quit();
    return false;
  }

  MessagePump* const pump_;
  std::atomic<bool> woken_{false};
  std::thread waker_;
};

// With no work and nothing due the pump goes idle once, then sleeps until
// another thread wakes it; and it runs again after a quit.
TEST(MessagePumpDefaultTest, SleepsUntilWokenFromAnotherThread) {
  MessagePumpDefault pump;
  for (int run = 0; run < 2; ++run) {
    WakingDelegate delegate(&pump);
    pump.Run(&delegate);
    EXPECT_EQ((std::vector<std::string>{"work", "delayed", "idle", "work"}),
              delegate.calls);
  }
}

}  // namespace
}  // namespace base
