#ifndef BASE_WIN_SCOPED_HANDLE_H_
#define BASE_WIN_SCOPED_HANDLE_H_

#include <windows.h>

#include "base/location.h"
#include "base/win/handle_verifier.h"

namespace base {
namespace win {

// Owner of one handle, closed when the owner goes away. |Traits| says which
// values are handles and how one is closed; |Verifier| is told whenever the
// owner starts and stops owning a handle. Ownership passes between owners
// only through Take and Set.
//
// Set, Take and Close stay out of line, so that the return address each of
// them reports to the verifier is the code that called it.
template <class Traits, class Verifier>
class GenericScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  GenericScopedHandle() : handle_(Traits::NullHandle()) {}
  explicit GenericScopedHandle(Handle handle) : handle_(Traits::NullHandle()) {
    Set(handle);
  }
  GenericScopedHandle(const GenericScopedHandle&) = delete;
  GenericScopedHandle& operator=(const GenericScopedHandle&) = delete;
  ~GenericScopedHandle() { Close(); }

  bool IsValid() const { return Traits::IsHandleValid(handle_); }
  Handle Get() const { return handle_; }

  // Closes the handle held so far, then holds |handle| unless it is not a
  // valid handle. The thread's last error survives, so the caller can still
  // read why the call that produced |handle| failed. Setting the handle
  // already held does nothing.
  __attribute__((noinline)) void Set(Handle handle) {
    if (handle == handle_)
      return;
    const DWORD last_error = ::GetLastError();
    Close();
    if (Traits::IsHandleValid(handle)) {
      handle_ = handle;
      Verifier::StartTracking(handle, this, __builtin_return_address(0),
                              GetProgramCounter());
    }
    ::SetLastError(last_error);
  }

  // Gives up the handle without closing it; the caller now owns it.
  __attribute__((noinline)) Handle Take() {
    const Handle handle = handle_;
    handle_ = Traits::NullHandle();
    if (Traits::IsHandleValid(handle)) {
      Verifier::StopTracking(handle, this, __builtin_return_address(0),
                             GetProgramCounter());
    }
    return handle;
  }

  __attribute__((noinline)) void Close() {
    if (!Traits::IsHandleValid(handle_))
      return;
    Verifier::StopTracking(handle_, this, __builtin_return_address(0),
                           GetProgramCounter());
    Traits::CloseHandle(handle_);
    handle_ = Traits::NullHandle();
  }

 private:
  Handle handle_;
};

// Windows kernel handles: null and INVALID_HANDLE_VALUE both mean none; a
// handle is closed through the process's handle verifier.
class HandleTraits {
 public:
  using Handle = HANDLE;

  HandleTraits() = delete;

  static bool CloseHandle(HANDLE handle);
  static bool IsHandleValid(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
  }
  static HANDLE NullHandle() { return nullptr; }
};

// Reports ownership to the process's handle verifier.
class VerifierTraits {
 public:
  using Handle = HANDLE;

  VerifierTraits() = delete;

  static void StartTracking(HANDLE handle,
                            const void* owner,
                            const void* caller_pc,
                            const void* own_pc);
  static void StopTracking(HANDLE handle,
                           const void* owner,
                           const void* caller_pc,
                           const void* own_pc);
};

using ScopedHandle = GenericScopedHandle<HandleTraits, VerifierTraits>;

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_HANDLE_H_
