#ifndef BASE_THREADING_SIMPLE_THREAD_H_
#define BASE_THREADING_SIMPLE_THREAD_H_

#include <stddef.h>

#include <string>

#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"
#include "base/win/scoped_handle.h"

namespace base {

// A named thread that runs one operation, Run, supplied by a subclass. Once
// running, the thread is named by its prefix, a slash and its thread id in
// decimal. A started thread must be joined before the object is destroyed.
class SimpleThread : public PlatformThread::Delegate {
 public:
  struct Options {
    size_t stack_size = 0;
    ThreadPriority priority = ThreadPriority::kNormal;
  };

  explicit SimpleThread(const std::string& name_prefix);
  SimpleThread(const std::string& name_prefix, const Options& options);
  SimpleThread(const SimpleThread&) = delete;
  SimpleThread& operator=(const SimpleThread&) = delete;

  void ThreadMain() override;
  ~SimpleThread() override;

  // Starts the thread and returns once it has named itself; false, at once,
  // when the thread cannot be created.
  virtual bool Start();
  // Waits for Run to return. Does nothing when the thread never started.
  virtual void Join();
  virtual void Run() = 0;

  const std::string& name_prefix() const { return name_prefix_; }
  // The prefix until the thread runs, then the full name.
  const std::string& name() const { return name_; }
  // 0 until the thread runs.
  PlatformThreadId tid() const { return tid_; }

 private:
  const std::string name_prefix_;
  std::string name_;
  const Options options_;
  win::ScopedHandle thread_;
  // Signalled once the new thread has set name_ and tid_.
  WaitableEvent event_;
  PlatformThreadId tid_;
};

}  // namespace base

#endif  // BASE_THREADING_SIMPLE_THREAD_H_
