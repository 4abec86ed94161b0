// Times the removal of one folder tree, either by base::DeleteFile
// (recursive) in this process or by Wine's own `cmd /c rmdir /s /q` in a
// process of its own (its start-up included: a few tens of milliseconds,
// small against the trees the bench removes).
//   delete_bench ours|rmdir FOLDER
// Prints "seconds: S" for the pass; exits non-zero when the tree is still
// there afterwards or the removal does not end within kPassLimitMs.

#include <windows.h>

#include <stdio.h>

#include <string>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "bench/bench_clock.h"

namespace {

constexpr DWORD kPassLimitMs = 300 * 1000;

bool RemoveWithRmdir(const std::wstring& folder) {
  std::wstring command = L"cmd.exe /c rmdir /s /q \"" + folder + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process)) {
    return false;
  }
  const DWORD waited = ::WaitForSingleObject(process.hProcess, kPassLimitMs);
  if (waited != WAIT_OBJECT_0)
    ::TerminateProcess(process.hProcess, 1);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return waited == WAIT_OBJECT_0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    fwprintf(stderr, L"usage: %ls ours|rmdir FOLDER\n", argv[0]);
    return 2;
  }
  const std::wstring mode = argv[1];
  const std::wstring folder = argv[2];
  const double start = bench::Now();
  bool removed = false;
  if (mode == L"ours") {
    removed = base::DeleteFile(base::FilePath(folder), true);
  } else if (mode == L"rmdir") {
    removed = RemoveWithRmdir(folder);
  } else {
    fwprintf(stderr, L"unknown mode %ls\n", mode.c_str());
    return 2;
  }
  const double seconds = bench::Now() - start;
  if (!removed ||
      ::GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) {
    fwprintf(stderr, L"%ls did not remove %ls\n", mode.c_str(), folder.c_str());
    return 1;
  }
  printf("seconds: %.6f\n", seconds);
  return 0;
}
