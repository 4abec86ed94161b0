// The executable of the packages that the package fetcher's tests serve, and
// the other process that tries to change a package while it is fetched.
//   --internal-version, --stream: answers as an installer does, with the
//       value of VEXLO_TEST_PACKAGE_INTERNAL_VERSION or
//       VEXLO_TEST_PACKAGE_STREAM when set, else this build's own; after
//       VEXLO_TEST_PACKAGE_ANSWER_DELAY_MS milliseconds when that is set.
//   --tamper=PATH: tries to rewrite, rename and delete PATH; the exit code
//       has bit 0, 1 or 2 set for each that succeeded.
//   --overwrite=PATH: replaces the bytes of PATH; 0 when it could.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "base/at_exit.h"
#include "base/command_line.h"
#include "base/files/file_path.h"
#include "desktop/common/product/product_info.h"

namespace {

void Answer(const char* variable, const std::string& own) {
  char value[256];
  if (GetEnvironmentVariableA("VEXLO_TEST_PACKAGE_ANSWER_DELAY_MS", value,
                              sizeof(value))) {
    Sleep(static_cast<DWORD>(atoi(value)));
  }
  const DWORD length = GetEnvironmentVariableA(variable, value, sizeof(value));
  printf("%s", length && length < sizeof(value) ? value : own.c_str());
  fflush(stdout);
}

bool Rewrite(const base::FilePath& path) {
  HANDLE file =
      CreateFileW(path.value().c_str(), GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  const char junk[] = "not the package";
  DWORD written = 0;
  const bool ok = WriteFile(file, junk, sizeof(junk), &written, nullptr) &&
                  written == sizeof(junk);
  CloseHandle(file);
  return ok;
}

int Tamper(const base::FilePath& path) {
  int succeeded = 0;
  if (Rewrite(path))
    succeeded |= 1;
  const std::wstring moved = path.value() + L".moved";
  if (MoveFileExW(path.value().c_str(), moved.c_str(), 0)) {
    succeeded |= 2;
    MoveFileExW(moved.c_str(), path.value().c_str(), 0);
  }
  if (DeleteFileW(path.value().c_str()))
    succeeded |= 4;
  return succeeded;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  base::AtExitManager exit_manager;
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  command_line.InitFromArgv(argc, argv);
  if (command_line.HasSwitch("internal-version")) {
    Answer("VEXLO_TEST_PACKAGE_INTERNAL_VERSION",
           vexlo::ProductInfo::GetInternalVersion());
    return 0;
  }
  if (command_line.HasSwitch("stream")) {
    Answer("VEXLO_TEST_PACKAGE_STREAM", vexlo::ProductInfo::GetChannel());
    return 0;
  }
  if (command_line.HasSwitch("tamper"))
    return Tamper(command_line.GetSwitchValuePath("tamper"));
  if (command_line.HasSwitch("overwrite"))
    return Rewrite(command_line.GetSwitchValuePath("overwrite")) ? 0 : 1;
  return 100;
}
