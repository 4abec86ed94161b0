#include "base/process/process_handle.h"

namespace base {

ProcessId GetProcId(ProcessHandle process) {
  return ::GetProcessId(process);
}

HMODULE GetModuleFromAddress(const void* address) {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<const char*>(address), &module)) {
    return nullptr;
  }
  return module;
}

}  // namespace base
