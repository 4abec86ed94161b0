#include "base/timer/timer.h"

#include <utility>

#include "base/bind.h"
#include "base/logging.h"
#include "base/threading/thread_task_runner_handle.h"

namespace base {

// Owned by the closure posted for it. The timer abandons it (clears its
// pointer) when it no longer wants it to fire or when the timer goes away,
// so the closure never reaches a destroyed timer.
class Timer::ScheduledTask {
 public:
  explicit ScheduledTask(Timer* timer) : timer_(timer) {}
  ScheduledTask(const ScheduledTask&) = delete;
  ScheduledTask& operator=(const ScheduledTask&) = delete;

  // Still holding the timer here means the task never ran: its runner
  // refused it or its loop was destroyed with it.
  ~ScheduledTask() {
    if (timer_)
      timer_->OnScheduledTaskDestroyedUnrun();
  }

  void Run() {
    if (!timer_)
      return;
    Timer* timer = timer_;
    timer_ = nullptr;
    timer->scheduled_task_ = nullptr;
    timer->RunScheduledTask();
  }

  void Abandon() { timer_ = nullptr; }

 private:
  Timer* timer_;
};

Timer::Timer(bool retain_user_task, bool is_repeating)
    : scheduled_task_(nullptr),
      is_repeating_(is_repeating),
      retain_user_task_(retain_user_task),
      is_running_(false) {}

Timer::~Timer() {
  Stop();
  AbandonScheduledTask();
}

bool Timer::IsRunning() const {
  return is_running_;
}

TimeDelta Timer::GetCurrentDelay() const {
  return delay_;
}

void Timer::SetTaskRunner(scoped_refptr<SingleThreadTaskRunner> task_runner) {
  task_runner_ = std::move(task_runner);
}

void Timer::Start(const Location& posted_from,
                  TimeDelta delay,
                  const Closure& user_task) {
  // With no period at all the timer's task would be due again the moment it
  // ran, and the loop would never fall idle.
  if (is_repeating_ && delay <= TimeDelta()) {
    LOG(ERROR) << "A repeating timer needs a positive period, not "
               << delay.InMicroseconds() << " us; not started";
    return;
  }
  posted_from_ = posted_from;
  delay_ = delay;
  user_task_ = user_task;
  Reset();
}

void Timer::Stop() {
  is_running_ = false;
  if (!retain_user_task_)
    user_task_.Reset();
}

void Timer::Reset() {
  CHECK(!user_task_.is_null());
  if (!scheduled_task_) {
    PostNewScheduledTask(delay_);
    return;
  }
  desired_run_time_ =
      delay_ > TimeDelta() ? TimeTicks::Now() + delay_ : TimeTicks();
  // A task in flight that fires no later than the new deadline is kept: it
  // posts a continuation when it fires early.
  if (desired_run_time_ >= scheduled_run_time_) {
    is_running_ = true;
    return;
  }
  AbandonScheduledTask();
  PostNewScheduledTask(delay_);
}

scoped_refptr<SingleThreadTaskRunner> Timer::GetTaskRunner() const {
  return task_runner_ ? task_runner_ : ThreadTaskRunnerHandle::Get();
}

void Timer::PostNewScheduledTask(TimeDelta delay) {
  DCHECK(!scheduled_task_);
  is_running_ = true;
  scheduled_task_ = new ScheduledTask(this);
  // The clock is read before the post: the runner then dates the task no
  // earlier than scheduled_run_time_, so a task that fires when due never
  // runs the user task before desired_run_time_, even on a clock with
  // coarse ticks.
  scheduled_run_time_ = desired_run_time_ =
      delay > TimeDelta() ? TimeTicks::Now() + delay : TimeTicks();
  // The closure is a temporary: a refused post destroys the task at once,
  // which leaves the timer stopped.
  if (delay > TimeDelta()) {
    GetTaskRunner()->PostDelayedTask(
        posted_from_, Bind(&ScheduledTask::Run, Owned(scheduled_task_)), delay);
  } else {
    GetTaskRunner()->PostTask(
        posted_from_, Bind(&ScheduledTask::Run, Owned(scheduled_task_)));
  }
}

void Timer::AbandonScheduledTask() {
  if (!scheduled_task_)
    return;
  scheduled_task_->Abandon();
  scheduled_task_ = nullptr;
}

void Timer::RunScheduledTask() {
  if (!is_running_)
    return;
  if (desired_run_time_ > scheduled_run_time_) {
    const TimeTicks now = TimeTicks::Now();
    if (desired_run_time_ > now) {
      PostNewScheduledTask(desired_run_time_ - now);
      return;
    }
  }
  // The user task may stop, restart or destroy the timer, so it runs from a
  // copy, after the next run is posted, and nothing of the timer is touched
  // once it has started.
  const Closure user_task = user_task_;
  if (is_repeating_)
    PostNewScheduledTask(delay_);
  else
    Stop();
  user_task.Run();
}

void Timer::OnScheduledTaskDestroyedUnrun() {
  scheduled_task_ = nullptr;
  Stop();
}

}  // namespace base
