#ifndef BASE_MESSAGE_LOOP_MESSAGE_PUMP_DEFAULT_H_
#define BASE_MESSAGE_LOOP_MESSAGE_PUMP_DEFAULT_H_

#include "base/message_loop/message_pump.h"
#include "base/synchronization/waitable_event.h"
#include "base/time/time.h"

namespace base {

// The pump of loops that run tasks only: it sleeps on an auto-reset event,
// which ScheduleWork signals, at most until the next delayed work is due.
class MessagePumpDefault : public MessagePump {
 public:
  MessagePumpDefault();
  MessagePumpDefault(const MessagePumpDefault&) = delete;
  MessagePumpDefault& operator=(const MessagePumpDefault&) = delete;
  ~MessagePumpDefault() override;

  // MessagePump:
  void Run(Delegate* delegate) override;
  void Quit() override;
  void ScheduleWork() override;
  void ScheduleDelayedWork(const TimeTicks& delayed_work_time) override;

 private:
  // Sleeps until woken or until the delayed work is due.
  void WaitForWork();

  // False from Quit until the innermost Run leaves.
  bool keep_running_;

  // Signalled by ScheduleWork; lets one wait through per signal.
  WaitableEvent event_;

  // When the next delayed work is due; null when there is none.
  TimeTicks delayed_work_time_;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_PUMP_DEFAULT_H_
