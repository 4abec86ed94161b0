#ifndef BASE_WIN_OWNED_PROCESS_INFORMATION_H_
#define BASE_WIN_OWNED_PROCESS_INFORMATION_H_

#include <windows.h>

#include "base/win/scoped_handle.h"

namespace base {
namespace win {

// Owns both handles that CreateProcess returns in a PROCESS_INFORMATION and
// closes them when closed or destroyed.
class OwnedProcessInformation {
 public:
  OwnedProcessInformation();
  OwnedProcessInformation(const OwnedProcessInformation&) = delete;
  OwnedProcessInformation& operator=(const OwnedProcessInformation&) = delete;
  ~OwnedProcessInformation();

  // Closes what is held, then takes both handles and both ids of |info|.
  void Set(const PROCESS_INFORMATION& info);
  // Closes both handles and forgets both ids.
  void Close();
  // Gives the process handle to the caller, who must close it, and forgets
  // the process id.
  HANDLE ReleaseProcessHandle();

  HANDLE process_handle() const { return process_handle_.Get(); }
  HANDLE thread_handle() const { return thread_handle_.Get(); }
  DWORD process_id() const { return process_id_; }
  DWORD thread_id() const { return thread_id_; }

 private:
  ScopedHandle process_handle_;
  ScopedHandle thread_handle_;
  DWORD process_id_;
  DWORD thread_id_;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_OWNED_PROCESS_INFORMATION_H_
