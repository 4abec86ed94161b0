// A stand-in for the installer library, for tests of the host executable:
// it reports failure when its process was started with "--report-failure",
// else success.

#include <windows.h>

#include <cwchar>

extern "C" __declspec(dllexport) unsigned char RunInstaller() {
  return std::wcsstr(GetCommandLineW(), L"--report-failure") ? 0 : 1;
}
