#include "desktop/launcher/installer/ui/test/installer_window_driver.h"

#include <windows.h>

#include <string>

#include "base/process/process.h"
#include "base/time/time.h"
#include "desktop/launcher/installer/host/installer_host_resource_ids.h"
#include "desktop/launcher/installer/ui/test/window_test_util.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

const base::TimeDelta kPageTimeout = base::TimeDelta::FromSeconds(60);
// The red of the welcome page's title.
const COLORREF kTitleRed = RGB(255, 27, 44);
const RECT kWholeImage = {0, 0, 4000, 4000};

TEST(InstallerWindowDriverTest, NamesPagesAndButtons) {
  for (InstallerWindowDriver::Page page = InstallerWindowDriver::kNoWindow;
       page <= InstallerWindowDriver::kUnknownPage;
       page = static_cast<InstallerWindowDriver::Page>(page + 1)) {
    InstallerWindowDriver::Page named = InstallerWindowDriver::kUnknownPage;
    EXPECT_TRUE(InstallerWindowDriver::PageFromName(
        InstallerWindowDriver::PageName(page), &named));
    EXPECT_EQ(page, named);
  }
  // The driver program's steps use these names.
  EXPECT_STREQ("none", InstallerWindowDriver::PageName(
                           InstallerWindowDriver::kNoWindow));
  EXPECT_STREQ("options", InstallerWindowDriver::PageName(
                              InstallerWindowDriver::kOptions));
  InstallerWindowDriver::Page named = InstallerWindowDriver::kWelcome;
  EXPECT_FALSE(InstallerWindowDriver::PageFromName("Welcome", &named));
  EXPECT_EQ(InstallerWindowDriver::kWelcome, named);
  const struct {
    const char* name;
    int button;
    int message_box_button;
  } kButtons[] = {
      {"accept", IDC_ACCEPT_BUTTON, 0},
      {"delete-profile", IDC_DELETE_PROFILE, 0},
      {"uninstall", IDC_UNINSTALL_BUTTON, 0},
      {"cancel", IDC_CANCEL_BUTTON, IDCANCEL},
      {"yes", 0, IDYES},
      {"no", 0, IDNO},
      {"", 0, 0},
      {"accept ", 0, 0},
  };
  for (const auto& c : kButtons) {
    EXPECT_EQ(c.button, InstallerWindowDriver::ButtonFromName(c.name))
        << c.name;
    EXPECT_EQ(c.message_box_button,
              InstallerWindowDriver::MessageBoxButtonFromName(c.name))
        << c.name;
  }
}

// A window of another process, shown by a test child, driven to its end.
TEST(InstallerWindowDriverTest, DrivesTheWindowOfAnotherProcess) {
  ScopedWindowTestLock window_test_lock;
  ASSERT_TRUE(window_test_lock.held());
  const base::Process child =
      LaunchTestChild("InstallerWindowTest.DISABLED_WaitsToBeCancelled");
  ASSERT_TRUE(child.IsValid());
  const InstallerWindowDriver driver(child.Pid());
  ASSERT_TRUE(driver.WaitForPage(InstallerWindowDriver::kWelcome, kPageTimeout))
      << InstallerWindowDriver::PageName(driver.CurrentPage());
  // Only the process asked for.
  EXPECT_FALSE(InstallerWindowDriver(::GetCurrentProcessId()).FindWindow());
  EXPECT_EQ(driver.FindWindow(), InstallerWindowDriver(0).FindWindow());

  EXPECT_FALSE(driver.WaitForPage(InstallerWindowDriver::kError,
                                  base::TimeDelta::FromMilliseconds(200)));
  EXPECT_EQ(L"Accept and install", driver.Text(IDC_ACCEPT_BUTTON));
  // A user cannot press what the page does not show.
  EXPECT_FALSE(driver.Press(IDC_RETRY_BUTTON));
  EXPECT_FALSE(driver.Press(IDC_LANGUAGE_LABEL + 1000));
  const base::FilePath welcome = GetScreenshotPath("welcome");
  ASSERT_TRUE(driver.SaveScreenshot(welcome));
  EXPECT_TRUE(ImageHasColor(welcome, kWholeImage, kTitleRed));

  ASSERT_TRUE(driver.Press(IDC_OPTIONS_BUTTON));
  ASSERT_TRUE(
      driver.WaitForPage(InstallerWindowDriver::kOptions, kPageTimeout));
  // A control of the options inside the window.
  EXPECT_EQ(L"Language:", driver.Text(IDC_LANGUAGE_LABEL));
  const base::FilePath options = GetScreenshotPath("options");
  ASSERT_TRUE(driver.SaveScreenshot(options));
  EXPECT_FALSE(ImageHasColor(options, kWholeImage, kTitleRed));
  ASSERT_TRUE(driver.Press(IDC_BACK_BUTTON));
  ASSERT_TRUE(
      driver.WaitForPage(InstallerWindowDriver::kWelcome, kPageTimeout));

  // Closing asks first; the window stays for No and goes for Yes.
  ASSERT_TRUE(driver.Close());
  // The question has no OK button.
  EXPECT_FALSE(driver.AnswerMessageBox(IDOK, kPageTimeout));
  ASSERT_TRUE(driver.AnswerMessageBox(IDNO, kPageTimeout));
  ASSERT_TRUE(driver.Close());
  ASSERT_TRUE(driver.AnswerMessageBox(IDYES, kPageTimeout));
  EXPECT_TRUE(
      driver.WaitForPage(InstallerWindowDriver::kNoWindow, kPageTimeout));
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(child.Handle(), 60000));
  DWORD exit_code = 1;
  ::GetExitCodeProcess(child.Handle(), &exit_code);
  // The child saw exactly one cancel.
  EXPECT_EQ(0u, exit_code);
  EXPECT_FALSE(driver.AnswerMessageBox(IDYES, base::TimeDelta()));
  EXPECT_FALSE(driver.SaveScreenshot(GetScreenshotPath("gone")));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
