// Stands in for the browser's launcher where a test needs one that runs:
// given a command line after its own program, it runs that command and
// waits for it, ending with its exit code, as the launcher does for the
// uninstall entry; given nothing, it runs until it is ended. It waits ten
// minutes at most, so that a test that dies leaves none of it behind.

#include <windows.h>

#include <string>

namespace {

constexpr DWORD kMostMs = 10 * 60 * 1000;

// What follows the program on the command line |line|.
const wchar_t* SkipProgram(const wchar_t* line) {
  const wchar_t end = *line == L'"' ? L'"' : L' ';
  if (*line == L'"')
    ++line;
  while (*line && *line != end)
    ++line;
  if (*line == L'"')
    ++line;
  while (*line == L' ' || *line == L'\t')
    ++line;
  return line;
}

}  // namespace

int wmain() {
  std::wstring command = SkipProgram(::GetCommandLineW());
  if (command.empty()) {
    ::Sleep(kMostMs);
    return 0;
  }
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process)) {
    return 2;
  }
  ::CloseHandle(process.hThread);
  DWORD exit_code = 1;
  if (::WaitForSingleObject(process.hProcess, kMostMs) != WAIT_OBJECT_0 ||
      !::GetExitCodeProcess(process.hProcess, &exit_code)) {
    exit_code = 1;
  }
  ::CloseHandle(process.hProcess);
  return static_cast<int>(exit_code);
}
