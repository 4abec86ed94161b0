#ifndef BASE_MESSAGE_LOOP_MESSAGE_PUMP_H_
#define BASE_MESSAGE_LOOP_MESSAGE_PUMP_H_

#include "base/time/time.h"

namespace base {

// The blocking engine under a message loop: it calls its delegate's DoWork,
// DoDelayedWork and DoIdleWork in a fixed order, sleeps when none of them
// reports work, and wakes when ScheduleWork is called from any thread.
class MessagePump {
 public:
  // The message loop that the pump drives.
  class Delegate {
   public:
    virtual ~Delegate() = default;

    // Runs at most one ready task; true when it ran one.
    virtual bool DoWork() = 0;

    // Runs at most one due delayed task; true when it ran one. Stores in
    // |next_delayed_work_time| when the next delayed task falls due, or a
    // null time when there is none.
    virtual bool DoDelayedWork(TimeTicks* next_delayed_work_time) = 0;

    // Called when the pump found no other work; true when it did some.
    virtual bool DoIdleWork() = 0;
  };

  MessagePump();
  MessagePump(const MessagePump&) = delete;
  MessagePump& operator=(const MessagePump&) = delete;
  virtual ~MessagePump();

  // Drives |delegate| until Quit. Runs may nest: a task may run the pump
  // again, and Quit ends the innermost run.
  virtual void Run(Delegate* delegate) = 0;

  // Ends the innermost Run once the current callback returns. Only on the
  // pump's thread.
  virtual void Quit() = 0;

  // Makes the pump call DoWork soon. The one operation that any thread may
  // call.
  virtual void ScheduleWork() = 0;

  // Makes the pump call DoDelayedWork no later than |delayed_work_time|.
  // Only on the pump's thread.
  virtual void ScheduleDelayedWork(const TimeTicks& delayed_work_time) = 0;

  // Accepted for every pump and ignored: no pump of this system coalesces
  // its timers.
  virtual void SetTimerSlack(int timer_slack);
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_PUMP_H_
