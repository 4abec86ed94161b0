#include "desktop/launcher/installer/installer_log.h"

#include <windows.h>

#include <string>

#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/test/unique_test_dir.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr char kLines[] =
    "[1207/091939:INFO:installer_main.cc(200)] Silent:1\n";

// A log file of the name stays as it is, whatever its age and whether
// another process writes it: the new process takes the next free name.
TEST(InstallerLogTest, EachProcessTakesALogOfItsOwn) {
  const struct {
    const char* name;
    bool exists;
    int64_t written_seconds_ago;
    bool open_elsewhere;
    // How many of the names with "_1", "_2", ... are taken too.
    int more_taken;
    const wchar_t* made;
  } kCases[] = {
      {"absent", false, 0, false, 0, L"vexlo_installer.log"},
      {"written now", true, 0, false, 0, L"vexlo_installer_1.log"},
      {"written a second ago", true, 1, false, 0, L"vexlo_installer_1.log"},
      {"written three seconds ago", true, 3, false, 0,
       L"vexlo_installer_1.log"},
      {"written an hour ago", true, 3600, false, 0, L"vexlo_installer_1.log"},
      {"written an hour ahead", true, -3600, false, 0,
       L"vexlo_installer_1.log"},
      {"open elsewhere, an hour old", true, 3600, true, 0,
       L"vexlo_installer_1.log"},
      {"the next two taken too", true, 0, false, 2, L"vexlo_installer_3.log"},
  };
  base::UniqueTestDir dir;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const base::FilePath folder = dir.path().AppendASCII(c.name);
    ASSERT_TRUE(base::CreateDirectory(folder));
    const base::FilePath log = folder.Append(L"vexlo_installer.log");
    base::win::ScopedHandle writer;
    if (c.exists) {
      ASSERT_EQ(static_cast<int>(sizeof(kLines) - 1),
                base::WriteFile(log, kLines, sizeof(kLines) - 1));
      // Shared as the log writer shares it.
      writer.Set(::CreateFileW(log.value().c_str(),
                               FILE_APPEND_DATA | FILE_WRITE_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(writer.IsValid());
      const FILETIME written =
          (base::Time::Now() -
           base::TimeDelta::FromSeconds(c.written_seconds_ago))
              .ToFileTime();
      ASSERT_TRUE(::SetFileTime(writer.Get(), nullptr, nullptr, &written));
      if (!c.open_elsewhere)
        writer.Close();
    }
    for (int taken = 1; taken <= c.more_taken; ++taken) {
      ASSERT_EQ(1, base::WriteFile(log.InsertBeforeExtensionASCII(
                                       "_" + base::IntToString(taken)),
                                   "x", 1));
    }
    EXPECT_EQ(folder.Append(c.made), CreateInstallerLogFile(log));
    std::string content;
    EXPECT_TRUE(base::ReadFileToString(folder.Append(c.made), &content));
    EXPECT_EQ("", content);
    EXPECT_TRUE(base::ReadFileToString(log, &content));
    EXPECT_EQ(c.exists ? kLines : "", content);
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
