#include "base/test/unique_test_dir.h"

#include <windows.h>

#include <wchar.h>

#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"

namespace base {

namespace {

// The low 32 bits of a start time in 100 ns units, in hexadecimal: they
// repeat only after seven minutes.
string16 HexStartTime(const FILETIME& time) {
  wchar_t text[9] = {};
  swprintf(text, 9, L"%08lx", time.dwLowDateTime);
  return text;
}

}  // namespace

UniqueTestDir::UniqueTestDir() {
  FilePath temp_dir;
  if (!GetTempDir(&temp_dir))
    return;
  static LONG counter = 0;
  // The process id keeps parallel test processes apart, the counter the
  // tests of one process; a leftover of an earlier run is skipped. Process
  // ids come back soon (Wine reuses one after a few hundred processes), and
  // names of kernel objects are made from these paths: a program an earlier
  // test left running could still hold an event of the same name, in the
  // state it left. The start time of the process tells such runs apart.
  FILETIME created = {}, unused[3];
  ::GetProcessTimes(::GetCurrentProcess(), &created, &unused[0], &unused[1],
                    &unused[2]);
  const string16 process =
      IntToString16(static_cast<int>(::GetCurrentProcessId())) + L"_" +
      HexStartTime(created);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const FilePath candidate =
        temp_dir.Append(L"test_" + process + L"_" +
                        IntToString16(::InterlockedIncrement(&counter)));
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
