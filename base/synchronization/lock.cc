#include "base/synchronization/lock.h"

#include <windows.h>

namespace base {

namespace {

// A thread that finds the lock taken spins this many times before it blocks.
constexpr DWORD kSpinCount = 2000;

}  // namespace

Lock::Lock() {
  static_assert(sizeof(CRITICAL_SECTION) == kCriticalSectionSize,
                "the lock's storage must fit a critical section exactly");
  static_assert(alignof(CRITICAL_SECTION) <= alignof(void*),
                "the lock's storage is not aligned for a critical section");
  // Cannot fail on Vista and later.
  ::InitializeCriticalSectionAndSpinCount(native_handle(), kSpinCount);
}

Lock::~Lock() {
  ::DeleteCriticalSection(native_handle());
}

void Lock::Acquire() {
  ::EnterCriticalSection(native_handle());
}

void Lock::Release() {
  ::LeaveCriticalSection(native_handle());
}

Lock::NativeHandle Lock::native_handle() {
  return reinterpret_cast<NativeHandle>(critical_section_);
}

}  // namespace base
