#ifndef BASE_PROCESS_LAUNCH_H_
#define BASE_PROCESS_LAUNCH_H_

#include <windows.h>

#include <string>
#include <vector>

#include "base/process/process.h"
#include "base/strings/string16.h"

namespace base {

class CommandLine;

typedef std::vector<HANDLE> HandlesToInheritVector;

// How LaunchProcess starts a child. The constructor clears every flag and
// handle.
struct LaunchOptions {
  LaunchOptions();

  // Wait, without a time limit, for the child to exit before returning.
  bool wait;

  // Show the child's first window hidden.
  bool start_hidden;

  // When set, exactly these handles are inherited (none when the list is
  // empty); they are made inheritable on the way. Needs Windows Vista.
  HandlesToInheritVector* handles_to_inherit;

  // Inherit every inheritable handle; used only without handles_to_inherit.
  bool inherit_handles;

  // Run the child as this user, with that user's environment.
  HANDLE as_user;

  // Start the child with an empty desktop name.
  bool empty_desktop_name;

  // Put the child into this job object before it runs.
  HANDLE job_handle;

  // The child's standard handles; when any is set, all three are passed
  // (null ones as null). They must be inherited to be of use to the child.
  HANDLE stdin_handle;
  HANDLE stdout_handle;
  HANDLE stderr_handle;

  // Create the child outside the caller's job.
  bool force_breakaway_from_job;
};

// Starts |cmdline|. The result owns the child's handle; it is invalid, and
// no child is left running, when anything fails.
Process LaunchProcess(const CommandLine& cmdline, const LaunchOptions& options);
Process LaunchProcess(const string16& cmdline, const LaunchOptions& options);

// Runs |cl| and appends what it writes to its standard output to |output|.
// Blocks until the child has ended. False when the child could not be
// started, or crashed or ended abnormally; |output| then holds what was
// read.
bool GetAppOutput(const CommandLine& cl, std::string* output);

// GetAppOutput of a command-line string; with |include_stderr| the child's
// standard error goes into |output| too.
bool GetAppOutputInternal(const string16& cl,
                          bool include_stderr,
                          std::string* output);

namespace internal {

// The creation flags that |options|' job settings call for: a child bound
// for a job starts suspended, and before Windows 8 (where jobs do not nest)
// outside the caller's job.
DWORD JobCreationFlags(const LaunchOptions& options);

}  // namespace internal

}  // namespace base

#endif  // BASE_PROCESS_LAUNCH_H_
