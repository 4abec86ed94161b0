#include "base/win/scoped_handle.h"

namespace base {
namespace win {

bool HandleTraits::CloseHandle(HANDLE handle) {
  return CloseHandleVerified(handle);
}

void VerifierTraits::StartTracking(HANDLE handle,
                                   const void* owner,
                                   const void* caller_pc,
                                   const void* own_pc) {
  StartHandleTracking(handle, owner, caller_pc, own_pc);
}

void VerifierTraits::StopTracking(HANDLE handle,
                                  const void* owner,
                                  const void* caller_pc,
                                  const void* own_pc) {
  StopHandleTracking(handle, owner, caller_pc, own_pc);
}

}  // namespace win
}  // namespace base
