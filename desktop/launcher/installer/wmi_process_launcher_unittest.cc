#include "desktop/launcher/installer/wmi_process_launcher.h"

#include <objbase.h>

#include <string>

#include "base/files/file_util.h"
#include "base/test/unique_test_dir.h"
#include "base/threading/platform_thread.h"
#include "base/time/time.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

class WmiProcessLauncherTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override { ::CoUninitialize(); }

  base::UniqueTestDir temp_;
};

// The command runs on its own and the id it reports is its process's.
TEST_F(WmiProcessLauncherTest, StartsTheCommandAndGivesItsId) {
  const base::FilePath mark = temp_.path().Append(L"started by wmi.txt");
  uint32_t id = 0;
  ASSERT_TRUE(LaunchProcessThroughWmi(
      L"cmd.exe /c echo %PROCESSOR_ARCHITECTURE%> \"" + mark.value() + L"\"",
      &id));
  EXPECT_NE(0u, id);
  std::string text;
  for (int i = 0; i < 600 && !(base::ReadFileToString(mark, &text) &&
                               text.size() > 2 && text.back() == '\n');
       ++i) {
    base::PlatformThread::Sleep(base::TimeDelta::FromMilliseconds(100));
  }
  EXPECT_EQ("AMD64\r\n", text);
  // The id is optional.
  EXPECT_TRUE(LaunchProcessThroughWmi(L"cmd.exe /c exit 0", nullptr));
}

TEST_F(WmiProcessLauncherTest, ReportsACommandThatCannotStart) {
  uint32_t id = 77;
  EXPECT_FALSE(LaunchProcessThroughWmi(
      L"\"" + temp_.path().Append(L"missing.exe").value() + L"\"", &id));
  EXPECT_EQ(77u, id);
}

}  // namespace installer
}  // namespace vexlo
