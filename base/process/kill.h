#ifndef BASE_PROCESS_KILL_H_
#define BASE_PROCESS_KILL_H_

#include <stdint.h>

#include "base/process/process_handle.h"

namespace base {

// How a process ended, judged from its exit code.
enum ProcessExitStatus {
  PROCESS_EXIT_STATUS_NORMAL_TERMINATION = 0,
  PROCESS_EXIT_STATUS_ABNORMAL_TERMINATION = 1,
  PROCESS_EXIT_STATUS_PROCESS_WAS_KILLED = 2,
  PROCESS_EXIT_STATUS_PROCESS_CRASHED = 3,
  PROCESS_EXIT_STATUS_STILL_RUNNING = 4,
};

// The status of |handle|'s process; |exit_code| (may be null) receives its
// exit code, or WAIT_TIMEOUT (258) while it runs. Exit code 0 is a normal
// end; 1 (TerminateProcess as used here), DBG_TERMINATE_PROCESS,
// STATUS_CONTROL_C_EXIT and STATUS_DEBUGGER_INACTIVE mean it was killed;
// every other code is a crash. When the exit code cannot be read, or the
// process cannot be polled, the end is abnormal and |exit_code| is not
// written.
ProcessExitStatus GetProcessExitStatus(ProcessHandle handle,
                                       int32_t* exit_code);

}  // namespace base

#endif  // BASE_PROCESS_KILL_H_
