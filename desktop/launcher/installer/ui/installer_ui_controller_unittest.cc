#include "desktop/launcher/installer/ui/installer_ui_controller.h"

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/base_paths.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/features/feature_registry.h"
#include "base/files/file_util.h"
#include "base/message_loop/message_loop.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/unique_test_dir.h"
#include "base/time/time.h"
#include "desktop/common/l10n/l10n_util.h"
#include "desktop/launcher/installer/host/installer_host_exit_codes.h"
#include "desktop/launcher/installer/host/installer_host_resource_ids.h"
#include "desktop/launcher/installer/test/installer_test_package.h"
#include "desktop/launcher/installer/test/scoped_path_override.h"
#include "desktop/launcher/installer/test/status_waiter.h"
#include "desktop/launcher/installer/ui/test/window_test_util.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr wchar_t kRunSwitches[] =
    L" --allusers=0 --pintotaskbar=0 --enable-installer-stats=0"
    L" --launchvexlo=0"
    L" --with-feature:installer-pref-default-overrides-support=off";

// The visible dialog of process |pid|, waiting up to a minute for it.
HWND WaitForProcessWindow(const base::Process& process) {
  struct Search {
    DWORD pid;
    HWND found;
  } search = {static_cast<DWORD>(process.Pid()), nullptr};
  for (int i = 0; i < 600 && !search.found; ++i) {
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
          Search* search = reinterpret_cast<Search*>(data);
          DWORD pid = 0;
          ::GetWindowThreadProcessId(window, &pid);
          if (pid != search->pid || !::IsWindowVisible(window))
            return TRUE;
          search->found = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (!search.found)
      ::Sleep(100);
  }
  return search.found;
}

// The exit code of |process| once it ends; -1 when it runs on for
// |seconds| (it is ended then).
int WaitForExit(const base::Process& process, int seconds) {
  DWORD exit_code = static_cast<DWORD>(-1);
  if (::WaitForSingleObject(process.Handle(), seconds * 1000) !=
      WAIT_OBJECT_0) {
    process.Terminate(1, true);
    return -1;
  }
  ::GetExitCodeProcess(process.Handle(), &exit_code);
  return static_cast<int>(exit_code);
}

class InstallerUIControllerTest : public testing::Test {
 protected:
  InstallerUIControllerTest()
      : package_(temp_.path().Append(L"package")),
        install_(temp_.path().Append(L"Vexlo")),
        logs_(temp_.path().Append(L"logs")),
        registry_(InstallerExecutableKeys()),
        desktop_folder_(L"Desktop", temp_.path().Append(L"Desktop")),
        programs_folder_(L"Programs", temp_.path().Append(L"Programs")) {}

  void SetUp() override {
    base::CommandLine::Init();
    ASSERT_TRUE(window_lock_.held());
    ASSERT_TRUE(resources_.loaded());
    base::FeatureRegistry::GetInstance()->RegisterFeature("installer-ui-stats",
                                                          true, true);
    WriteInstallerExecutablePackage(package_, 20);
    ASSERT_TRUE(base::CreateDirectory(logs_));
  }

  // The package's installer started as a user would, with the window.
  base::Process StartWindowedInstaller() {
    ScopedTempVariables scoped_temp(logs_);
    return base::LaunchProcess(
        L"\"" + package_.Append(L"installer.exe").value() +
            L"\" \"--installfolder=" + install_.value() + L"\"" + kRunSwitches,
        base::LaunchOptions());
  }

  base::MessageLoop loop_{base::MessageLoop::TYPE_UI};
  ScopedWindowTestLock window_lock_;
  ScopedInstallerResources resources_;
  base::UniqueTestDir temp_;
  const base::FilePath package_;
  const base::FilePath install_;
  const base::FilePath logs_;
  ScopedProductRegistry registry_;
  ScopedShellFolder desktop_folder_;
  ScopedShellFolder programs_folder_;
};

// While one installer shows its window, another one started beside it ends
// at once without a window of its own and brings the first to the front;
// the first installs when its button is pressed.
TEST_F(InstallerUIControllerTest, OneWindowAtATimeInstallsOnAClick) {
  base::Process first = StartWindowedInstaller();
  HWND window = WaitForProcessWindow(first);
  ASSERT_TRUE(window);
  ASSERT_TRUE(::IsWindowEnabled(::GetDlgItem(window, IDC_ACCEPT_BUTTON)));
  // Something else has the front meanwhile.
  HWND other =
      ::CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50,
                        50, nullptr, nullptr, nullptr, nullptr);
  ::SetForegroundWindow(other);
  ASSERT_EQ(other, ::GetForegroundWindow());
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED,
            WaitForExit(StartWindowedInstaller(), 60));
  EXPECT_EQ(window, ::GetForegroundWindow());
  ::DestroyWindow(other);
  ::PostMessageW(::GetDlgItem(window, IDC_ACCEPT_BUTTON), BM_CLICK, 0, 0);
  EXPECT_EQ(HOST_EXIT_SUCCESS, WaitForExit(first, 120));
  EXPECT_TRUE(base::PathExists(install_.Append(L"installation_status.xml")));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
