#include "base/threading/thread.h"

#include <memory>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"

namespace base {

namespace {

// The task that stops the thread may run inside a nested run loop of one of
// its tasks; it ends the run that Run started all the same.
void QuitThreadLoopWhenIdle() {
  MessageLoop::current()->QuitOutermostWhenIdle();
}

}  // namespace

Thread::Thread(const std::string& name)
    : stopping_(false),
      message_loop_(nullptr),
      message_loop_timer_slack_(0),
      name_(name) {}

Thread::~Thread() {
  Stop();
}

bool Thread::Start() {
  return StartWithOptions(Options());
}

bool Thread::StartWithOptions(const Options& options) {
  DCHECK(!thread_.IsValid()) << "started twice without Stop";
  const MessageLoop::Type type = options.message_pump_factory.is_null()
                                     ? options.message_loop_type
                                     : MessageLoop::TYPE_CUSTOM;
  message_loop_timer_slack_ = options.timer_slack;
  std::unique_ptr<MessageLoop> loop =
      MessageLoop::CreateUnbound(type, options.message_pump_factory);

  AutoLock lock(thread_lock_);
  // Set before the thread exists: creating it orders these writes before
  // anything the thread runs, Init included.
  task_runner_ = loop->task_runner();
  message_loop_ = loop.release();
  if (!PlatformThread::CreateWithPriority(options.stack_size, this, &thread_,
                                          options.priority)) {
    task_runner_ = nullptr;
    MessageLoop* unstarted = message_loop_;
    message_loop_ = nullptr;
    delete unstarted;
    return false;
  }
  return true;
}

void Thread::StopSoon() {
  if (stopping_ || !task_runner_)
    return;
  stopping_ = true;
  task_runner_->PostTask(LOCATION_FROM_HERE("base::Thread::StopSoon"),
                         Bind(&QuitThreadLoopWhenIdle));
}

void Thread::Stop() {
  AutoLock lock(thread_lock_);
  if (!thread_.IsValid())
    return;
  StopSoon();
  PlatformThread::Join(&thread_);
  task_runner_ = nullptr;
  stopping_ = false;
}

void Thread::Run(MessageLoop* message_loop) {
  message_loop->Run();
}

void Thread::ThreadMain() {
  PlatformThread::SetName(name_);
  message_loop_->BindToCurrentThread();
  message_loop_->set_thread_name(name_);
  message_loop_->SetTimerSlack(message_loop_timer_slack_);
  Init();
  Run(message_loop_);
  CleanUp();
  MessageLoop* finished = message_loop_;
  message_loop_ = nullptr;
  delete finished;
}

}  // namespace base
