#ifndef BASE_SYNCHRONIZATION_CONDITION_VARIABLE_H_
#define BASE_SYNCHRONIZATION_CONDITION_VARIABLE_H_

#include <memory>

#include "base/time/time.h"

namespace base {

class Lock;

// A condition variable bound to the caller's lock. The caller holds that lock
// around Wait and TimedWait, which release it while they block and hold it
// again when they return. Wakeups may be spurious, so waiters test their
// condition in a loop.
//
// The system's condition-variable functions are used where kernel32 has them;
// elsewhere an implementation built from events takes their place.
class ConditionVariable {
 public:
  // The operations that both implementations provide.
  class Implementation {
   public:
    virtual ~Implementation() = default;
    virtual void Wait() = 0;
    virtual void TimedWait(const TimeDelta& max_time) = 0;
    virtual void Broadcast() = 0;
    virtual void Signal() = 0;
  };

  enum class Kind {
    // Decided once per process: native when kernel32 has the functions.
    kChosenForProcess,
    kNative,
    kEventBased,
  };

  explicit ConditionVariable(Lock* user_lock);
  // Lets tests run either implementation whatever the system offers; asking
  // for the native one where it is missing is fatal.
  ConditionVariable(Lock* user_lock, Kind kind);
  ConditionVariable(const ConditionVariable&) = delete;
  ConditionVariable& operator=(const ConditionVariable&) = delete;
  ~ConditionVariable();

  void Wait();
  // Returns after at least |max_time| unless woken earlier; times beyond the
  // longest timed wait (about 49.7 days) wait that long, never for ever.
  void TimedWait(const TimeDelta& max_time);
  // Wakes every waiter.
  void Broadcast();
  // Wakes one waiter, if there is any; a signal without a waiter is lost.
  void Signal();

 private:
  std::unique_ptr<Implementation> implementation_;
};

}  // namespace base

#endif  // BASE_SYNCHRONIZATION_CONDITION_VARIABLE_H_
