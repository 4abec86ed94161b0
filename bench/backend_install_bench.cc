// Times one installation of an unpacked package by its installer
// executable, run as a backend whose front end is this program, or one copy
// of the same files by Wine's xcopy, each from the start of its process to
// its end, so that both sides pay the same process start-up.
//   backend_install_bench backend PACKAGE_FOLDER INSTALL_FOLDER
//   backend_install_bench xcopy SOURCE_FOLDER TARGET_FOLDER
// Prints "seconds: S" for the pass; exits non-zero when the process fails or
// does not end within kPassLimitMs (it is then ended).

#include <windows.h>

#include <shellapi.h>
#include <shlwapi.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "bench/bench_clock.h"

namespace {

const wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vexlo "
    L"12.0.1450.0";

// Far above a pass of the default package under load.
constexpr DWORD kPassLimitMs = 300 * 1000;

// The name the starters of a backend give the interruption event.
std::wstring InterruptedEventName(std::wstring folder) {
  for (wchar_t& character : folder) {
    if (character == L'\\')
      character = L'/';
  }
  return L"Global\\" + folder + L"/VexloInstaller/InstallationInterrupted";
}

void RemoveInstallation(const std::wstring& folder) {
  std::wstring from = folder;
  from.push_back(L'\0');
  SHFILEOPSTRUCTW operation = {};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_NO_UI;
  ::SHFileOperationW(&operation);
  ::SHDeleteKeyW(HKEY_CURRENT_USER, kUninstallKey);
  ::SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Classes\\Vexlodeveloper");
}

// Runs |command| to its end; the seconds it took, or a negative value when
// it failed or took too long.
double TimeProcess(std::wstring command) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  const double start = bench::Now();
  if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process)) {
    fwprintf(stderr, L"cannot start %ls: %lu\n", command.c_str(),
             ::GetLastError());
    return -1;
  }
  const DWORD waited = ::WaitForSingleObject(process.hProcess, kPassLimitMs);
  const double seconds = bench::Now() - start;
  DWORD exit_code = 1;
  if (waited != WAIT_OBJECT_0) {
    fwprintf(stderr, L"%ls did not end within %lu s; ended\n", command.c_str(),
             kPassLimitMs / 1000);
    ::TerminateProcess(process.hProcess, 1);
  } else {
    ::GetExitCodeProcess(process.hProcess, &exit_code);
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  if (exit_code != 0) {
    fwprintf(stderr, L"%ls failed: %lu\n", command.c_str(), exit_code);
    return -1;
  }
  return seconds;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    fwprintf(stderr, L"usage: %ls backend|xcopy SOURCE TARGET\n", argv[0]);
    return 2;
  }
  const std::wstring mode = argv[1];
  const std::wstring source = argv[2];
  const std::wstring target = argv[3];
  double seconds = -1;
  if (mode == L"backend") {
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE,
                                  InterruptedEventName(target).c_str());
    if (!event)
      return 1;
    RemoveInstallation(target);
    // The launcher is not started: it would run on and the pass wait for it.
    seconds = TimeProcess(L"\"" + source +
                          L"\\installer.exe\" --backend --install "
                          L"--allusers=0 --launchvexlo=0 \"--installfolder=" +
                          target + L"\" --initial-pid=" +
                          std::to_wstring(::GetCurrentProcessId()));
    ::CloseHandle(event);
  } else if (mode == L"xcopy") {
    seconds = TimeProcess(L"xcopy.exe \"" + source + L"\" \"" + target +
                          L"\" /e /i /q /y");
  } else {
    fwprintf(stderr, L"unknown mode %ls\n", mode.c_str());
    return 2;
  }
  if (seconds < 0)
    return 1;
  printf("seconds: %.6f\n", seconds);
  return 0;
}
