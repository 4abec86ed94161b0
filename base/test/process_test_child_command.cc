#include "base/test/process_test_child_command.h"

#include <windows.h>

#include <stdint.h>

#include "base/strings/stringprintf.h"

namespace base {

CommandLine MakeTestChildCommandLine(std::initializer_list<std::string> args) {
  wchar_t exe_path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, exe_path, MAX_PATH);
  const FilePath child = FilePath(StringPiece16(exe_path, length))
                             .DirName()
                             .Append(L"process_test_child.exe");
  CommandLine command_line(child);
  for (const std::string& arg : args)
    command_line.AppendArg(arg);
  return command_line;
}

std::string HandleToChildArgument(void* handle) {
  return StringPrintf("%llx", static_cast<unsigned long long>(
                                  reinterpret_cast<uintptr_t>(handle)));
}

DWORD WaitForTestChildExit(HANDLE process) {
  DWORD exit_code = STILL_ACTIVE;
  if (::WaitForSingleObject(process, 30000) != WAIT_OBJECT_0 ||
      !::GetExitCodeProcess(process, &exit_code)) {
    return STILL_ACTIVE;
  }
  return exit_code;
}

}  // namespace base
