#include "base/process/kill.h"

#include "base/logging.h"

namespace base {

namespace {

// Exit codes of processes that were ended from outside rather than having
// failed on their own.
constexpr DWORD kExitCodeTerminatedByUs = 1;
constexpr DWORD kExitCodeDebuggerTerminated =
    0x40010004;                                  // DBG_TERMINATE_PROCESS
constexpr DWORD kExitCodeControlC = 0xC000013A;  // STATUS_CONTROL_C_EXIT
constexpr DWORD kExitCodeDebuggerInactive = 0xC0000354;

ProcessExitStatus StatusOfExitCode(DWORD exit_code) {
  switch (exit_code) {
    case 0:
      return PROCESS_EXIT_STATUS_NORMAL_TERMINATION;
    case kExitCodeTerminatedByUs:
    case kExitCodeDebuggerTerminated:
    case kExitCodeControlC:
    case kExitCodeDebuggerInactive:
      return PROCESS_EXIT_STATUS_PROCESS_WAS_KILLED;
    default:
      return PROCESS_EXIT_STATUS_PROCESS_CRASHED;
  }
}

}  // namespace

ProcessExitStatus GetProcessExitStatus(ProcessHandle handle,
                                       int32_t* exit_code) {
  DWORD code = 0;
  if (!::GetExitCodeProcess(handle, &code)) {
    // Nothing is known about how the process ended; calling it a clean exit
    // would let a caller take a failed child for a successful one.
    LOG(ERROR) << "GetExitCodeProcess failed, error " << ::GetLastError();
    return PROCESS_EXIT_STATUS_ABNORMAL_TERMINATION;
  }
  if (code == STILL_ACTIVE) {
    // STILL_ACTIVE is also a code a process may exit with; the handle's
    // state tells the two apart.
    const DWORD wait_result = ::WaitForSingleObject(handle, 0);
    if (wait_result == WAIT_TIMEOUT) {
      if (exit_code)
        *exit_code = WAIT_TIMEOUT;
      return PROCESS_EXIT_STATUS_STILL_RUNNING;
    }
    return PROCESS_EXIT_STATUS_ABNORMAL_TERMINATION;
  }
  if (exit_code)
    *exit_code = static_cast<int32_t>(code);
  return StatusOfExitCode(code);
}

}  // namespace base
