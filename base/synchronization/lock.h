#ifndef BASE_SYNCHRONIZATION_LOCK_H_
#define BASE_SYNCHRONIZATION_LOCK_H_

#include <cstddef>

struct _RTL_CRITICAL_SECTION;

namespace base {

// A mutual-exclusion lock: one Windows critical section. The thread that
// holds it may take it again, and must then release it as often.
class Lock {
 public:
  // The critical section inside, for waits that release the lock (condition
  // variables).
  using NativeHandle = _RTL_CRITICAL_SECTION*;

  Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  ~Lock();

  void Acquire();
  void Release();

  NativeHandle native_handle();

 private:
  // Storage for the critical section, sized here so that this header does
  // not pull in <windows.h>; lock.cc checks the size against the real type.
  static constexpr size_t kCriticalSectionSize = 40;
  alignas(void*) unsigned char critical_section_[kCriticalSectionSize];
};

// Holds a lock for the life of the scope.
class AutoLock {
 public:
  explicit AutoLock(Lock& lock) : lock_(lock) { lock_.Acquire(); }
  AutoLock(const AutoLock&) = delete;
  AutoLock& operator=(const AutoLock&) = delete;
  ~AutoLock() { lock_.Release(); }

 private:
  Lock& lock_;
};

}  // namespace base

#endif  // BASE_SYNCHRONIZATION_LOCK_H_
