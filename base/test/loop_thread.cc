#include "base/test/loop_thread.h"

#include <windows.h>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/synchronization/waitable_event.h"

namespace base {

namespace {

void QuitWhenIdle() {
  MessageLoop::current()->QuitWhenIdle();
}

}  // namespace

LoopThread::LoopThread() : thread_id_(0) {
  WaitableEvent started(/*manual_reset=*/true, /*initially_signaled=*/false);
  thread_ = std::thread([this, &started] {
    MessageLoop loop;
    task_runner_ = loop.task_runner();
    thread_id_ = ::GetCurrentThreadId();
    started.Signal();
    RunLoop().Run();
  });
  started.Wait();
}

LoopThread::~LoopThread() {
  Stop();
}

void LoopThread::Stop() {
  if (!thread_.joinable())
    return;
  task_runner_->PostTask(LOCATION_FROM_HERE("base::LoopThread::Stop"),
                         Bind(&QuitWhenIdle));
  thread_.join();
}

}  // namespace base
