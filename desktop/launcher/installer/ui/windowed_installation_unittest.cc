#include <windows.h>

#include <tlhelp32.h>

#include <set>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "desktop/common/l10n/l10n_util.h"
#include "desktop/launcher/installer/host/installer_host_exit_codes.h"
#include "desktop/launcher/installer/host/installer_host_resource_ids.h"
#include "desktop/launcher/installer/package_fetcher/test/package_test_util.h"
#include "desktop/launcher/installer/test/online_installation_fixture.h"
#include "desktop/launcher/installer/ui/test/installer_window_driver.h"
#include "desktop/launcher/installer/ui/test/window_test_util.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

using Page = InstallerWindowDriver::Page;

const base::TimeDelta kPageTimeout = base::TimeDelta::FromSeconds(60);
// The red of the error badge image, over the logo of the error page.
const COLORREF kBadgeRed = RGB(210, 20, 30);
const RECT kWholeImage = {0, 0, 4000, 4000};

// The running browsers, which an uninstallation with a window opens its
// survey in.
std::set<DWORD> RunningBrowsers() {
  base::win::ScopedHandle snapshot(
      ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  std::set<DWORD> browsers;
  for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
       more = ::Process32NextW(snapshot.Get(), &entry)) {
    if (::_wcsicmp(entry.szExeFile, L"iexplore.exe") == 0)
      browsers.insert(entry.th32ProcessID);
  }
  return browsers;
}

// The browsers started while it lives, ended by End or at the latest when
// it goes. Started through the platform's management interface by a process
// gone by then, they would otherwise outlive the test.
class NewBrowsers {
 public:
  NewBrowsers() : before_(RunningBrowsers()) {}
  NewBrowsers(const NewBrowsers&) = delete;
  NewBrowsers& operator=(const NewBrowsers&) = delete;
  ~NewBrowsers() { End(); }

  // Ends them; their count.
  int End() {
    int ended = 0;
    for (DWORD id : RunningBrowsers()) {
      base::Process browser(
          before_.count(id)
              ? nullptr
              : ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
      if (browser.IsValid() && browser.Terminate(0, true))
        ++ended;
    }
    return ended;
  }

 private:
  const std::set<DWORD> before_;
};

// The build's installer executable with its window, as a user runs it,
// clicked through by the window driver, against the loopback update server.
class WindowedInstallationTest : public OnlineInstallationFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(window_test_lock_.held());
    ASSERT_TRUE(resources_.loaded());
    OnlineInstallationFixture::SetUp();
  }

  // Starts |command_line|, with its window.
  static base::Process Launch(const base::string16& command_line) {
    base::Process process =
        base::LaunchProcess(command_line, base::LaunchOptions());
    EXPECT_TRUE(process.IsValid());
    return process;
  }

  // The installer that fetches from the loopback server, with |extra|.
  base::string16 OnlineCommand(const base::string16& extra) {
    return Command(installer_, PackageServerSwitch() + extra);
  }

  // Waits for |page| of |driver|'s window and saves its picture as |name|.
  void ShowsPage(const InstallerWindowDriver& driver,
                 Page page,
                 const std::string& name) {
    ASSERT_TRUE(driver.WaitForPage(page, kPageTimeout))
        << "waited for " << InstallerWindowDriver::PageName(page) << ", saw "
        << InstallerWindowDriver::PageName(driver.CurrentPage());
    EXPECT_TRUE(driver.SaveScreenshot(GetScreenshotPath(name))) << name;
  }

  // Cancels the run of |driver|'s window as a user closing it does.
  void CloseAndConfirm(const InstallerWindowDriver& driver) {
    ASSERT_TRUE(driver.Close());
    ASSERT_TRUE(driver.AnswerMessageBox(IDYES, kPageTimeout));
  }

  static std::string Picture(const std::string& name) {
    return base::UTF16ToUTF8(GetScreenshotPath(name).value());
  }

  ScopedWindowTestLock window_test_lock_;
  ScopedInstallerResources resources_;
};

TEST_F(WindowedInstallationTest, InstallsFromTheWelcomePageThroughTheOptions) {
  const base::Process installer = Launch(OnlineCommand(L""));
  const InstallerWindowDriver driver(installer.Pid());
  ShowsPage(driver, InstallerWindowDriver::kWelcome, "welcome");
  ASSERT_TRUE(driver.Press(IDC_OPTIONS_BUTTON));
  ShowsPage(driver, InstallerWindowDriver::kOptions, "options");
  // The options show the folder of the command line.
  EXPECT_EQ(install_.value(), driver.Text(IDC_INSTALL_FOLDER));
  ASSERT_TRUE(driver.Press(IDC_ACCEPT_BUTTON));
  ShowsPage(driver, InstallerWindowDriver::kProgress, "progress");
  EXPECT_TRUE(
      driver.WaitForPage(InstallerWindowDriver::kNoWindow, kPageTimeout));
  ASSERT_EQ(HOST_EXIT_SUCCESS, WaitToEnd(installer));
  EXPECT_TRUE(Installed());
  const std::vector<HttpTestServer::Request> requests = server_.GetRequests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ("/files/reply.json", requests[0].path);
  EXPECT_EQ("/files/package.exe", requests[1].path);
}

TEST_F(WindowedInstallationTest, UninstallsFromItsPage) {
  ASSERT_EQ(HOST_EXIT_SUCCESS, RunOnline());
  ASSERT_TRUE(Installed());
  // As the system's list of programs starts it.
  const base::string16 uninstall = ScopedProductRegistry::ReadString(
      HKEY_CURRENT_USER, kInstallerExecutableUninstallKey, L"UninstallString");
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  command_line.ParseFromString(uninstall);
  const base::FilePath version = command_line.GetProgram().DirName();
  // The uninstaller knows an installation by its browser, which the test
  // package carries elsewhere.
  ASSERT_TRUE(base::CopyFile(version.Append(L"installer.exe"),
                             version.Append(L"vexlo.exe")));
  NewBrowsers survey;
  // Statistics stay on this machine.
  const base::Process process =
      Launch(uninstall + L" --enable-installer-stats=0");
  ASSERT_TRUE(process.IsValid()) << uninstall;
  const InstallerWindowDriver driver(process.Pid());
  ShowsPage(driver, InstallerWindowDriver::kUninstall, "uninstall");
  ASSERT_TRUE(driver.Press(IDC_UNINSTALL_BUTTON));
  EXPECT_TRUE(
      driver.WaitForPage(InstallerWindowDriver::kNoWindow, kPageTimeout));
  ASSERT_EQ(HOST_EXIT_SUCCESS, WaitToEnd(process));
  // The batch file that deletes what was in use ends by deleting itself.
  const base::FilePath batch = install_.Append(L"k.bat");
  for (int i = 0; i < 600 && base::PathExists(batch); ++i)
    ::Sleep(100);
  EXPECT_FALSE(base::PathExists(batch));
  // The survey opened, and only once.
  EXPECT_EQ(1, survey.End());
  EXPECT_FALSE(base::PathExists(install_.Append(L"12.0.1450.0\\res")));
  EXPECT_EQ(L"none", ScopedProductRegistry::ReadString(
                         HKEY_CURRENT_USER, kInstallerExecutableUninstallKey,
                         L"InstallLocation"));
}

// A package the server no longer has fails the download; the error page
// says so in the run's language, and retrying once it is back installs.
TEST_F(WindowedInstallationTest, ShowsTheDownloadFailureAndRetries) {
  const std::string package = AppendPayload(installer_, archive_);
  Serve(package, "");
  const base::FilePath served = server_.files_folder().Append(L"package.exe");
  ASSERT_TRUE(base::DeleteFile(served, false));
  const base::Process installer = Launch(OnlineCommand(L" --language=de"));
  const InstallerWindowDriver driver(installer.Pid());
  ShowsPage(driver, InstallerWindowDriver::kWelcome, "welcome_de");
  ASSERT_TRUE(driver.Press(IDC_ACCEPT_BUTTON));
  ShowsPage(driver, InstallerWindowDriver::kError, "error_de");
  EXPECT_EQ(l10n::LoadLocalizedString(l10n::GetLanguageIdForLocale(L"de"),
                                      IDS_ERROR_DOWNLOAD, {}),
            driver.Text(IDC_MESSAGE));
  EXPECT_TRUE(
      ImageHasColor(GetScreenshotPath("error_de"), kWholeImage, kBadgeRed))
      << Picture("error_de");
  EXPECT_FALSE(
      ImageHasColor(GetScreenshotPath("welcome_de"), kWholeImage, kBadgeRed))
      << Picture("welcome_de");

  ASSERT_TRUE(WriteBytes(served, package));
  ASSERT_TRUE(driver.Press(IDC_RETRY_BUTTON));
  EXPECT_TRUE(
      driver.WaitForPage(InstallerWindowDriver::kNoWindow, kPageTimeout));
  ASSERT_EQ(HOST_EXIT_SUCCESS, WaitToEnd(installer));
  EXPECT_TRUE(Installed());
}

// One window at a time for one temporary folder: a second installer brings
// the first one's window to the front and ends without one of its own.
TEST_F(WindowedInstallationTest, ASecondInstallerShowsTheFirstWindow) {
  // Both from the same executable, with the same temporary folder.
  const base::string16 command_line = OnlineCommand(L"");
  const base::Process first = Launch(command_line);
  const InstallerWindowDriver first_driver(first.Pid());
  ShowsPage(first_driver, InstallerWindowDriver::kWelcome, "first");
  // Some other window has the activation meanwhile.
  HWND other =
      ::CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50,
                        50, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(other);
  ::SetForegroundWindow(other);
  ASSERT_EQ(other, ::GetForegroundWindow());

  const base::Process second = Launch(command_line);
  const InstallerWindowDriver second_driver(second.Pid());
  // The front changes hands through both processes' message queues, so
  // this thread answers for its window while it waits. The second installer
  // never shows a window while it runs.
  const auto answer_messages = [] {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
      ::DispatchMessageW(&message);
  };
  const HANDLE second_handle = second.Handle();
  for (int i = 0;
       i < 3000 && ::MsgWaitForMultipleObjects(1, &second_handle, FALSE, 20,
                                               QS_ALLINPUT) != WAIT_OBJECT_0;
       ++i) {
    answer_messages();
    ASSERT_FALSE(second_driver.FindWindow());
  }
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, WaitToEnd(second));
  HWND front = ::GetForegroundWindow();
  for (int i = 0; i < 250 && front != first_driver.FindWindow(); ++i) {
    answer_messages();
    ::Sleep(20);
    front = ::GetForegroundWindow();
  }
  EXPECT_EQ(first_driver.FindWindow(), front);
  ::DestroyWindow(other);

  CloseAndConfirm(first_driver);
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, WaitToEnd(first));
  ExpectNothingInstalled();
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
