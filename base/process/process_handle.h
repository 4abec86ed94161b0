#ifndef BASE_PROCESS_PROCESS_HANDLE_H_
#define BASE_PROCESS_PROCESS_HANDLE_H_

#include <windows.h>

namespace base {

typedef HANDLE ProcessHandle;
typedef DWORD ProcessId;

// The id of the process behind |process|, or 0 when the handle does not
// allow the query.
ProcessId GetProcId(ProcessHandle process);

// The module (exe or DLL) whose image contains |address|, or null when no
// loaded module does. The module's reference count is left alone.
HMODULE GetModuleFromAddress(const void* address);

}  // namespace base

#endif  // BASE_PROCESS_PROCESS_HANDLE_H_
