#ifndef BASE_THREADING_PLATFORM_THREAD_H_
#define BASE_THREADING_PLATFORM_THREAD_H_

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "base/time/time.h"
#include "base/win/scoped_handle.h"

namespace base {

typedef DWORD PlatformThreadId;

// How much processor time a thread asks for. Normal leaves the system's
// default alone.
enum class ThreadPriority : int32_t {
  kBackground = 0,     // THREAD_PRIORITY_LOWEST
  kNormal = 1,         // unchanged
  kDisplay = 2,        // THREAD_PRIORITY_ABOVE_NORMAL
  kRealtimeAudio = 3,  // THREAD_PRIORITY_TIME_CRITICAL
};

// Operating-system threads: creation, joining, naming and sleeping.
class PlatformThread {
 public:
  // What a new thread runs.
  class Delegate {
   public:
    virtual void ThreadMain() = 0;

   protected:
    virtual ~Delegate() = default;
  };

  PlatformThread() = delete;

  // Starts a thread that runs |delegate|->ThreadMain(). A |stack_size| of 0
  // takes the system's default; a larger one is reserved, not committed.
  // With a |thread_handle| the thread is joinable through it; without, its
  // handle is closed at once. False when the thread cannot be created.
  static bool CreateWithPriority(size_t stack_size,
                                 Delegate* delegate,
                                 win::ScopedHandle* thread_handle,
                                 ThreadPriority priority);

  // Waits for the thread to end, then closes its handle. A failed wait is
  // fatal.
  static void Join(win::ScopedHandle* thread_handle);

  // Names the calling thread in the thread-name registry and, when a
  // debugger is attached, in the debugger.
  static void SetName(const std::string& name);

  static PlatformThreadId CurrentId();
  static uint32_t CurrentProcessId();

  // Returns no earlier than |duration| after the call on the monotonic
  // clock.
  static void Sleep(TimeDelta duration);
  // Gives the rest of the time slice to any ready thread.
  static void YieldCurrentThread();
};

namespace internal {

// Tells a debugger the name of thread |thread_id| through the exception
// debuggers know for this; without a debugger that takes it, the exception
// is swallowed here.
void RaiseThreadNameException(const char* name, PlatformThreadId thread_id);

}  // namespace internal

}  // namespace base

#endif  // BASE_THREADING_PLATFORM_THREAD_H_
