// Cost of one log line written to a file the way the installer's processes
// write theirs (appended, shared with other processes), against a plain
// WriteFile of the same bytes on a handle of the same kind.
//   log_bench.exe FOLDER LINES
// Prints "log: S" and "plain: S", the seconds of LINES lines of each kind,
// each into a new file in FOLDER.

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "base/command_line.h"
#include "base/logging.h"
#include "bench/bench_clock.h"

namespace {

// A line as long as the installer's copy lines.
const char kText[] =
    "Copying C:\\Users\\someone\\AppData\\Local\\Temp\\package\\res\\dir17\\"
    "file01234.bin to C:\\Program "
    "Files\\Vexlo\\12.0\\res\\dir17\\file01234.bin";

double LogLines(const std::wstring& path, int lines) {
  base::LoggingSettings settings;
  settings.logging_dest = base::LOG_TO_FILE;
  settings.log_file = path.c_str();
  settings.delete_old = base::DELETE_OLD_LOG_FILE;
  if (!base::InitLogging(settings))
    return -1;
  base::SetMinLogLevel(-1);
  const double start = bench::Now();
  for (int i = 0; i < lines; ++i)
    VLOG(1) << kText << " " << i;
  return bench::Now() - start;
}

double WritePlainLines(const std::wstring& path, int lines) {
  HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return -1;
  const std::string line =
      "[1207/181500:VERBOSE1:copy_file_operation.cc(20)] " +
      std::string(kText) + " 1234\n";
  const double start = bench::Now();
  for (int i = 0; i < lines; ++i) {
    DWORD written = 0;
    ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written,
                nullptr);
  }
  const double seconds = bench::Now() - start;
  ::CloseHandle(file);
  return seconds;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: log_bench FOLDER LINES\n");
    return 2;
  }
  base::CommandLine::Init();
  const std::wstring folder = argv[1];
  const int lines = _wtoi(argv[2]);
  const double logged = LogLines(folder + L"\\log.log", lines);
  const double plain = WritePlainLines(folder + L"\\plain.log", lines);
  if (logged < 0 || plain < 0) {
    fprintf(stderr, "log_bench: cannot open the files\n");
    return 1;
  }
  printf("log: %.6f\nplain: %.6f\n", logged, plain);
  return 0;
}
