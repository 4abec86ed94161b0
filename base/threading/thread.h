#ifndef BASE_THREADING_THREAD_H_
#define BASE_THREADING_THREAD_H_

#include <stddef.h>

#include <string>

#include "base/memory/ref_counted.h"
#include "base/message_loop/message_loop.h"
#include "base/single_thread_task_runner.h"
#include "base/synchronization/lock.h"
#include "base/threading/platform_thread.h"
#include "base/win/scoped_handle.h"

namespace base {

// A named thread that owns and runs a message loop. Tasks reach it through
// task_runner. A stopped thread may be started again.
//
// A subclass that overrides Init, Run or CleanUp must call Stop in its own
// destructor: by the time this destructor stops the thread, the subclass's
// part is gone.
class Thread : public PlatformThread::Delegate {
 public:
  struct Options {
    MessageLoop::Type message_loop_type = MessageLoop::TYPE_DEFAULT;
    // Passed to the loop's pump.
    int timer_slack = 0;
    // When set, the loop takes its pump from here, whatever the type.
    MessageLoop::MessagePumpFactory message_pump_factory;
    // 0: the system's default.
    size_t stack_size = 0;
    ThreadPriority priority = ThreadPriority::kNormal;
  };

  explicit Thread(const std::string& name);
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  void ThreadMain() override;
  // Stops the thread.
  ~Thread() override;

  // Starts the thread with a default loop; see StartWithOptions.
  bool Start();
  // Starts the thread with a loop as |options| say. False when the thread
  // cannot be created; the object can then be started again.
  bool StartWithOptions(const Options& options);

  // Makes the loop's outermost run quit at its next idle moment, after any
  // nested run of the current task has returned: tasks already due run
  // first, delayed tasks not yet due are destroyed unrun. Does not wait.
  // Only the thread that started the thread may call this.
  void StopSoon();
  // StopSoon, then waits for the thread to end. Harmless on a thread that
  // never started or has stopped.
  void Stop();

  // The runner of the thread's loop; null before Start and after Stop. When
  // the loop has quit on its own, posts to it fail.
  scoped_refptr<SingleThreadTaskRunner> task_runner() const {
    return task_runner_;
  }

  const std::string& thread_name() const { return name_; }

 protected:
  // On the thread, before and after the loop runs. Nothing by default.
  virtual void Init() {}
  // Runs |message_loop| until it quits.
  virtual void Run(MessageLoop* message_loop);
  virtual void CleanUp() {}

 private:
  bool stopping_;
  win::ScopedHandle thread_;
  // Guards thread_ while the thread starts and stops.
  Lock thread_lock_;
  // Built unbound by StartWithOptions; the thread binds it, runs it and
  // deletes it.
  MessageLoop* message_loop_;
  int message_loop_timer_slack_;
  const std::string name_;
  // Taken before the thread starts, so that StopSoon and task_runner never
  // read the loop, which the thread deletes whenever its loop quits.
  scoped_refptr<SingleThreadTaskRunner> task_runner_;
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_H_
