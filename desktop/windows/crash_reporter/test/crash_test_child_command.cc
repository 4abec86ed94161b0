#include "desktop/windows/crash_reporter/test/crash_test_child_command.h"

#include "base/files/file_path.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"

namespace vexlo {
namespace crash_reporter {

base::CommandLine CrashTestChildCommandLine(const std::string& mode) {
  wchar_t exe_path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, exe_path, MAX_PATH);
  base::CommandLine command_line(
      base::FilePath(base::StringPiece16(exe_path, length))
          .DirName()
          .Append(L"crash_reporter_test_child.exe"));
  command_line.AppendSwitchASCII("mode", mode);
  return command_line;
}

base::CommandLine WatchedCrashTestChild(const std::string& mode) {
  base::CommandLine command_line = CrashTestChildCommandLine(mode);
  command_line.AppendSwitchASCII("crash-reporter-pid",
                                 base::UintToString(::GetCurrentProcessId()));
  return command_line;
}

DWORD RunCrashTestChild(const base::CommandLine& command_line, uint32_t* pid) {
  base::Process process =
      base::LaunchProcess(command_line, base::LaunchOptions());
  if (!process.IsValid())
    return STILL_ACTIVE;
  if (pid)
    *pid = process.Pid();
  DWORD exit_code = STILL_ACTIVE;
  if (::WaitForSingleObject(process.Handle(), 30000) != WAIT_OBJECT_0 ||
      !::GetExitCodeProcess(process.Handle(), &exit_code)) {
    process.Terminate(1, true);
    return STILL_ACTIVE;
  }
  return exit_code;
}

}  // namespace crash_reporter
}  // namespace vexlo
