#include "base/run_loop.h"

#include "base/bind.h"
#include "base/message_loop/message_loop.h"
#include "base/tracked_objects.h"

namespace base {

RunLoop::RunLoop() : RunLoop(nullptr) {}

RunLoop::RunLoop(MessagePumpDispatcher* dispatcher)
    : loop_(MessageLoop::current()),
      previous_run_loop_(nullptr),
      dispatcher_(dispatcher),
      run_depth_(0),
      run_called_(false),
      quit_called_(false),
      running_(false),
      quit_when_idle_received_(false),
      weak_factory_(this) {
  DCHECK(loop_);
}

RunLoop::~RunLoop() = default;

void RunLoop::Run() {
  run_called_ = true;
  if (quit_called_)
    return;

  previous_run_loop_ = loop_->run_loop_;
  run_depth_ = previous_run_loop_ ? previous_run_loop_->run_depth_ + 1 : 1;
  loop_->run_loop_ = this;
  running_ = true;

  // Nested in the stopwatch of the task that started this run, if any, so
  // that this run's span is taken out of that task's run time.
  TaskStopwatch stopwatch;
  stopwatch.Start();
  loop_->RunHandler();
  stopwatch.Stop();

  running_ = false;
  loop_->run_loop_ = previous_run_loop_;

  // An outer run loop that was asked to quit meanwhile ends now.
  if (previous_run_loop_ && previous_run_loop_->quit_called_)
    loop_->QuitNow();
}

void RunLoop::Quit() {
  quit_called_ = true;
  if (running_ && loop_->run_loop_ == this)
    loop_->QuitNow();
}

Closure RunLoop::QuitClosure() {
  return Bind(&RunLoop::Quit, weak_factory_.GetWeakPtr());
}

}  // namespace base
