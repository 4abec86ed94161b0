#include "base/message_loop/message_pump_default.h"

namespace base {

MessagePumpDefault::MessagePumpDefault()
    : keep_running_(true),
      event_(/*manual_reset=*/false, /*initially_signaled=*/false) {}

MessagePumpDefault::~MessagePumpDefault() = default;

void MessagePumpDefault::Run(Delegate* delegate) {
  for (;;) {
    bool did_work = delegate->DoWork();
    if (!keep_running_)
      break;

    did_work |= delegate->DoDelayedWork(&delayed_work_time_);
    if (!keep_running_)
      break;

    if (did_work)
      continue;

    did_work = delegate->DoIdleWork();
    if (!keep_running_)
      break;

    if (did_work)
      continue;

    WaitForWork();
  }
  // Ready to run again; an enclosing run carries on too.
  keep_running_ = true;
}

void MessagePumpDefault::WaitForWork() {
  if (delayed_work_time_.is_null()) {
    event_.Wait();
    return;
  }
  const TimeDelta delay = delayed_work_time_ - TimeTicks::Now();
  if (delay > TimeDelta())
    event_.TimedWait(delay);
  else
    delayed_work_time_ = TimeTicks();  // The delayed work is due.
}

void MessagePumpDefault::Quit() {
  keep_running_ = false;
}

void MessagePumpDefault::ScheduleWork() {
  event_.Signal();
}

void MessagePumpDefault::ScheduleDelayedWork(
    const TimeTicks& delayed_work_time) {
  delayed_work_time_ = delayed_work_time;
}

}  // namespace base
