#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_CLIENT_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_CLIENT_H_

#include <windows.h>

#include <stdint.h>

#include "base/strings/string16.h"

namespace vexlo {
namespace crash_reporter {

class CrashHandler;

// The watched side of crash reporting, which every installer process but
// the crash reporter runs at start-up: find or start the reporter, connect
// the exception handler to its pipe, and fill the crash keys.

// The value of an environment variable; empty when it is absent, empty, or
// 512 units or longer.
base::string16 GetEnvironmentString(const wchar_t* name);

// The process id that the switch "crash-reporter-pid" names; 0 when it is
// absent or not an unsigned decimal number.
uint32_t GetCrashReporterPidFromCommandLine();

// Starts a crash reporter for this process: the same command line with
// "crash-reporter-parent-id". Its process id once it listens, within 2 s;
// 0 when it could not start, ended first or did not answer in time.
uint32_t LaunchCrashReporter();

// Joins the reporter that "crash-reporter-pid" names or, without one,
// starts one, keeps its id and connects the exception handler to it.
void JoinOrStartCrashReporter();

// The process-wide id of this process's crash reporter; 0 for none. Child
// processes get it as "crash-reporter-pid".
uint32_t GetCrashReporterProcessId();
void SetCrashReporterProcessId(uint32_t process_id);

// Connects an exception handler to the reporter's pipe, once; without a
// reporter, or when it does not register this process, the process runs
// without crash capture.
void InstallCrashHandler();

// The connected handler, or null.
CrashHandler* GetInstalledCrashHandler();

// Fills the installer's crash keys: process type, the two test and origin
// variables, and the loaded modules.
void SetInstallerCrashKeys();

// The loaded-module list: for each module found, its name, ":", its base
// address (16 upper-case hex digits), ":", its size (lower-case hex), ":",
// its path and "::".
base::string16 GetLoadedModulesString();

// The exception-filter hook for exceptions escaping a window procedure:
// has the crash captured, then ends the process with exit code 1.
int32_t HandleWindowProcException(EXCEPTION_POINTERS* exception_pointers);

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_CLIENT_H_
