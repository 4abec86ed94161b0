#include "base/test/unique_test_dir.h"

#include <windows.h>

#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"

namespace base {

UniqueTestDir::UniqueTestDir() {
  FilePath temp_dir;
  if (!GetTempDir(&temp_dir))
    return;
  static LONG counter = 0;
  // The process id keeps parallel test processes apart, the counter the
  // tests of one process; a leftover of an earlier run is skipped.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const FilePath candidate = temp_dir.Append(
        L"test_" + IntToString16(static_cast<int>(::GetCurrentProcessId())) +
        L"_" + IntToString16(::InterlockedIncrement(&counter)));
    if (::CreateDirectoryW(candidate.value().c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
  }
}

UniqueTestDir::~UniqueTestDir() {
  if (!path_.empty())
    DeleteFile(path_, true);
}

}  // namespace base
