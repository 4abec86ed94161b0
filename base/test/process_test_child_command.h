#ifndef BASE_TEST_PROCESS_TEST_CHILD_COMMAND_H_
#define BASE_TEST_PROCESS_TEST_CHILD_COMMAND_H_

#include <windows.h>

#include <initializer_list>
#include <string>

#include "base/command_line.h"

namespace base {

// The command line that runs process_test_child.exe (built beside the test
// executable) with |args|; see base/test/process_test_child.cc for what the
// child does with them.
CommandLine MakeTestChildCommandLine(std::initializer_list<std::string> args);

// The hexadecimal text of |handle|'s value, as the child's "signal" mode
// reads it.
std::string HandleToChildArgument(void* handle);

// Waits for |process| to end, at most 30 s, and returns its exit code:
// STILL_ACTIVE when it did not end in time.
DWORD WaitForTestChildExit(HANDLE process);

}  // namespace base

#endif  // BASE_TEST_PROCESS_TEST_CHILD_COMMAND_H_
