#ifndef BASE_SYNCHRONIZATION_WAITABLE_EVENT_H_
#define BASE_SYNCHRONIZATION_WAITABLE_EVENT_H_

#include "base/time/time.h"
#include "base/win/scoped_handle.h"

namespace base {

// A Windows event. A manual-reset event stays signalled until Reset; an
// auto-reset one lets exactly one wait through per Signal. Failing to create
// the event is fatal.
class WaitableEvent {
 public:
  WaitableEvent(bool manual_reset, bool initially_signaled);
  WaitableEvent(const WaitableEvent&) = delete;
  WaitableEvent& operator=(const WaitableEvent&) = delete;
  ~WaitableEvent();

  void Reset();
  void Signal();

  // Waits until the event is signalled.
  void Wait();
  // Waits until the event is signalled or at least |max_time| has passed,
  // whichever is first; true when signalled. A negative time only tests the
  // event. Times beyond the longest timed wait (about 49.7 days) wait that
  // long, never for ever.
  bool TimedWait(const TimeDelta& max_time);

 private:
  win::ScopedHandle handle_;
};

}  // namespace base

#endif  // BASE_SYNCHRONIZATION_WAITABLE_EVENT_H_
