// Times installations of an unpacked package by its installer executable,
// run as a backend whose front end is this program. Prints the seconds of
// each pass, one a line.
//   backend_install_bench PACKAGE_FOLDER INSTALL_FOLDER PASSES

#include <windows.h>

#include <shellapi.h>
#include <shlwapi.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

namespace {

const wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vexlo "
    L"12.0.1450.0";

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

double Seconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end) {
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(end.QuadPart - start.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    fwprintf(stderr, L"usage: %ls PACKAGE INSTALL_FOLDER PASSES\n", argv[0]);
    return 2;
  }
  const std::wstring package = argv[1];
  const std::wstring install = argv[2];
  const int passes = _wtoi(argv[3]);
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE,
                                InterruptedEventName(install).c_str());
  if (!event)
    return 1;
  std::wstring command = L"\"" + package +
                         L"\\installer.exe\" --backend "
                         L"--install --allusers=0 \"--installfolder=" +
                         install + L"\" --initial-pid=" +
                         std::to_wstring(::GetCurrentProcessId());
  for (int pass = 0; pass < passes; ++pass) {
    RemoveInstallation(install);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    ::QueryPerformanceCounter(&start);
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0,
                          nullptr, nullptr, &startup, &process)) {
      fwprintf(stderr, L"cannot start the installer: %lu\n", ::GetLastError());
      return 1;
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::QueryPerformanceCounter(&end);
    DWORD exit_code = 1;
    ::GetExitCodeProcess(process.hProcess, &exit_code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    if (exit_code != 0) {
      fwprintf(stderr, L"the installation failed: %lu\n", exit_code);
      return 1;
    }
    printf("%.6f\n", Seconds(start, end));
  }
  RemoveInstallation(install);
  ::CloseHandle(event);
  return 0;
}
