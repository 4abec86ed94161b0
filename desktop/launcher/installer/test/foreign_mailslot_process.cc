#include "desktop/launcher/installer/test/foreign_mailslot_process.h"

#include <windows.h>

#include <wchar.h>

#include "base/files/file_path.h"
#include "base/process/launch.h"
#include "base/strings/string_number_conversions.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

ForeignMailslotProcess::ForeignMailslotProcess(const wchar_t* mode,
                                               const base::string16& channel,
                                               const wchar_t* kind) {
  static int serial = 0;
  const base::string16 events = L"vexlo_test_foreign_" +
                                base::UintToString16(::GetCurrentProcessId()) +
                                L"_" + base::IntToString16(++serial);
  ready_.Set(
      ::CreateEventW(nullptr, TRUE, FALSE, (events + L"_ready").c_str()));
  release_.Set(
      ::CreateEventW(nullptr, TRUE, FALSE, (events + L"_release").c_str()));
  // Beside this test program, whatever the test made its path keys say.
  wchar_t program[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, program, MAX_PATH);
  const base::FilePath exe = base::FilePath(program).DirName();
  const base::string16 third =
      wcscmp(mode, L"squat") == 0 ? events + L"_ready" : kind;
  process_ = base::LaunchProcess(
      L"\"" + exe.Append(L"ipc_channel_test_child.exe").value() + L"\" " +
          mode + L" \"" + channel + L"\" " + third + L" " + events +
          L"_release",
      base::LaunchOptions());
  EXPECT_TRUE(process_.IsValid());
}

ForeignMailslotProcess::~ForeignMailslotProcess() {
  ::SetEvent(release_.Get());
  // A writer to a mailslot that nobody reads any more can stay blocked in
  // its write for good (Wine).
  if (::WaitForSingleObject(process_.Handle(), 5000) != WAIT_OBJECT_0)
    process_.Terminate(0, true);
}

bool ForeignMailslotProcess::WaitUntilReady() {
  HANDLE handles[] = {ready_.Get(), process_.Handle()};
  return ::WaitForMultipleObjects(2, handles, FALSE, 30000) == WAIT_OBJECT_0;
}

}  // namespace installer
}  // namespace vexlo
