#ifndef BASE_SYNCHRONIZATION_NATIVE_CONDITION_VARIABLE_H_
#define BASE_SYNCHRONIZATION_NATIVE_CONDITION_VARIABLE_H_

#include <windows.h>

#include "base/synchronization/condition_variable.h"

namespace base {

class Lock;

namespace internal {

// The system's condition variable, waiting on the critical section inside the
// caller's lock. Its functions are looked up in kernel32 at run time, since
// older systems lack them.
class NativeConditionVariable : public ConditionVariable::Implementation {
 public:
  // Whether kernel32 has all four functions; looked up once per process.
  static bool IsAvailable();

  explicit NativeConditionVariable(Lock* user_lock);
  NativeConditionVariable(const NativeConditionVariable&) = delete;
  NativeConditionVariable& operator=(const NativeConditionVariable&) = delete;
  ~NativeConditionVariable() override;

  void Wait() override;
  void TimedWait(const TimeDelta& max_time) override;
  void Broadcast() override;
  void Signal() override;

 private:
  void SleepMilliseconds(DWORD milliseconds);

  CRITICAL_SECTION* const user_lock_;
  CONDITION_VARIABLE condition_variable_;
};

}  // namespace internal
}  // namespace base

#endif  // BASE_SYNCHRONIZATION_NATIVE_CONDITION_VARIABLE_H_
