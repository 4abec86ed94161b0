#include "desktop/launcher/installer/installer_log.h"

#include <windows.h>

#include <string>

#include "base/files/file_util.h"
#include "base/test/unique_test_dir.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr char kLines[] =
    "[1207/091939:INFO:installer_main.cc(200)] Silent:1\n";

// A log file's lines stay while another process of the installation may
// write it: while it is open, or for kSharedLogWindow after its last line.
// Only older lines, or lines from a clock set back, go.
TEST(InstallerLogTest, EmptiesOnlyAnUnusedLogOfAnotherTime) {
  const struct {
    const char* name;
    bool exists;
    int64_t written_seconds_ago;
    bool open_elsewhere;
    bool emptied;
  } kCases[] = {
      {"absent", false, 0, false, false},
      {"written now", true, 0, false, false},
      {"written a second ago", true, 1, false, false},
      {"written three seconds ago", true, 3, false, true},
      {"written an hour ago", true, 3600, false, true},
      {"written an hour ahead", true, -3600, false, true},
      {"open elsewhere, an hour old", true, 3600, true, false},
  };
  base::UniqueTestDir dir;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const base::FilePath log = dir.path().Append(L"vexlo_installer.log");
    base::DeleteFile(log, false);
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
    EXPECT_EQ(c.emptied, ClearStaleInstallerLog(log));
    std::string content;
    EXPECT_EQ(c.exists, base::ReadFileToString(log, &content));
    EXPECT_EQ(c.exists && !c.emptied ? kLines : "", content);
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
