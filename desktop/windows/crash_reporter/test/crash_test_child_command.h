#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASH_TEST_CHILD_COMMAND_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASH_TEST_CHILD_COMMAND_H_

#include <windows.h>

#include <stdint.h>

#include <string>

#include "base/command_line.h"

namespace vexlo {
namespace crash_reporter {

// The command line of crash_reporter_test_child.exe, beside the test
// executable, in |mode| (see the child for the modes).
base::CommandLine CrashTestChildCommandLine(const std::string& mode);

// The same, watched by the test process as its crash reporter.
base::CommandLine WatchedCrashTestChild(const std::string& mode);

// Runs |command_line| and returns its exit code, STILL_ACTIVE when it did
// not end within 30 s; its process id in |pid| when given.
DWORD RunCrashTestChild(const base::CommandLine& command_line, uint32_t* pid);

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASH_TEST_CHILD_COMMAND_H_
