#ifndef BASE_TIMER_TIMER_H_
#define BASE_TIMER_TIMER_H_

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/single_thread_task_runner.h"
#include "base/time/time.h"

namespace base {

// Runs a user task after a delay, once or again and again, by posting
// delayed tasks to a task runner: the current thread's unless another is
// set. A timer is used on one thread, and its task runs on the runner it
// posts to.
//
//   base::OneShotTimer timer;
//   timer.Start(LOCATION_FROM_HERE("Writer::ScheduleWrite"),
//               base::TimeDelta::FromSeconds(10),
//               base::Bind(&Writer::DoWrite, this));
//
// Restarting a running timer with a later deadline posts nothing: the task
// already in flight sees the new deadline when it fires and posts one more
// for the rest of the time. The user task may stop, restart or destroy its
// timer.
class Timer {
 public:
  // With |retain_user_task| Stop keeps the user task, so Reset alone can
  // restart the timer; otherwise only Start can. A repeating timer runs its
  // task every |delay| until stopped.
  Timer(bool retain_user_task, bool is_repeating);
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;
  // Stops the timer; a task in flight then does nothing.
  virtual ~Timer();

  virtual bool IsRunning() const;
  virtual TimeDelta GetCurrentDelay() const;

  // Posts to |task_runner| from now on instead of the current thread's
  // runner. Only while no task is in flight.
  virtual void SetTaskRunner(scoped_refptr<SingleThreadTaskRunner> task_runner);

  // Runs |user_task| (not null) |delay| from now, posted from |posted_from|,
  // in place of whatever the timer ran before. A zero or negative delay
  // posts the task at once. A repeating timer refuses a period that is not
  // positive, which would leave the loop no time for anything else: it logs
  // an error and changes nothing.
  virtual void Start(const Location& posted_from,
                     TimeDelta delay,
                     const Closure& user_task);

  // The user task will not run; unless the user task is retained it is
  // released now.
  virtual void Stop();

  // Restarts the delay from now with the task held; the timer must hold one.
  virtual void Reset();

 private:
  // The task posted on the timer's behalf; declared in timer.cc.
  class ScheduledTask;

  // The runner to post to: the one set, else the current thread's.
  scoped_refptr<SingleThreadTaskRunner> GetTaskRunner() const;

  void PostNewScheduledTask(TimeDelta delay);

  // Makes the task in flight do nothing when it runs or is destroyed.
  void AbandonScheduledTask();

  // The task in flight fired: run the user task, or wait on for a deadline
  // that was moved later.
  void RunScheduledTask();

  // The task in flight was destroyed unrun, with its loop.
  void OnScheduledTaskDestroyedUnrun();

  // The task in flight; null when there is none.
  ScheduledTask* scheduled_task_;
  // Null: the current thread's runner.
  scoped_refptr<SingleThreadTaskRunner> task_runner_;
  Location posted_from_;
  TimeDelta delay_;
  Closure user_task_;
  // When the task in flight fires; null when it was posted to run at once.
  TimeTicks scheduled_run_time_;
  // When the user task should run; null for at once.
  TimeTicks desired_run_time_;
  const bool is_repeating_;
  const bool retain_user_task_;
  bool is_running_;
};

// Runs its task once; Stop releases the task.
class OneShotTimer : public Timer {
 public:
  OneShotTimer() : Timer(false, false) {}
};

// Runs its task every period until stopped; Stop keeps the task, so Reset
// starts the period again.
class RepeatingTimer : public Timer {
 public:
  RepeatingTimer() : Timer(true, true) {}
};

}  // namespace base

#endif  // BASE_TIMER_TIMER_H_
