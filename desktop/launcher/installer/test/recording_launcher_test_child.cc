// Stands in for the browser's launcher in the installer tests: appends how
// it was started to the file that the environment variable
// VEXLO_TEST_LAUNCHER_RECORD names, one line per start, its arguments after
// the program separated by tabs, and exits.

#include <windows.h>

#include <shellapi.h>

#include <string>

#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"

int wmain() {
  wchar_t record[MAX_PATH];
  const DWORD length = ::GetEnvironmentVariableW(L"VEXLO_TEST_LAUNCHER_RECORD",
                                                 record, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return 0;
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!arguments)
    return 1;
  std::string line;
  for (int i = 0; i < count; ++i)
    line += (i ? "\t" : "") + base::UTF16ToUTF8(arguments[i]);
  line += "\n";
  ::LocalFree(arguments);
  base::win::ScopedHandle file(
      ::CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file.IsValid() ||
      !::WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()),
                   &written, nullptr) ||
      written != line.size()) {
    return 1;
  }
  return 0;
}
