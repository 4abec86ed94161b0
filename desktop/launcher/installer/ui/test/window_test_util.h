#ifndef DESKTOP_LAUNCHER_INSTALLER_UI_TEST_WINDOW_TEST_UTIL_H_
#define DESKTOP_LAUNCHER_INSTALLER_UI_TEST_WINDOW_TEST_UTIL_H_

#include <windows.h>

#include <stdint.h>

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/process/process.h"
#include "base/strings/string16.h"
#include "desktop/common/l10n/l10n_util.h"
#include "desktop/launcher/installer/ui/test/window_screenshot.h"
#include "desktop/launcher/installer/ui/window_resources.h"

namespace vexlo {
namespace installer {

// Makes the real installer executable, loaded as a data file, the source of
// the window's dialogs, images and strings while it lives, and restores the
// UI language afterwards.
class ScopedInstallerResources {
 public:
  ScopedInstallerResources();
  ScopedInstallerResources(const ScopedInstallerResources&) = delete;
  ScopedInstallerResources& operator=(const ScopedInstallerResources&) = delete;
  ~ScopedInstallerResources();

  bool loaded() const { return host_ != nullptr; }

 private:
  HMODULE host_;
  std::unique_ptr<ScopedWindowResourceModuleForTesting> window_module_;
  std::unique_ptr<l10n::internal::ScopedStringModuleForTesting> string_module_;
  uint16_t saved_language_;
};

// The keyboard focus and the system scale belong to the whole display, so
// window tests of several processes take turns: each holds this lock, a
// machine-wide mutex, while it lives. A test process started by a holder
// to run on its behalf passes kWindowTestLockHeldSwitch and takes nothing.
// A test that also holds the product's registry (ScopedProductRegistry)
// takes the registry first: two tests taking them in opposite orders wait
// for each other until one gives up.
class ScopedWindowTestLock {
 public:
  static const char kWindowTestLockHeldSwitch[];

  ScopedWindowTestLock();
  ScopedWindowTestLock(const ScopedWindowTestLock&) = delete;
  ScopedWindowTestLock& operator=(const ScopedWindowTestLock&) = delete;
  ~ScopedWindowTestLock();

  bool held() const { return held_; }

 private:
  HANDLE mutex_;
  bool held_;
};

// Starts this test executable again to run the disabled test |test_name|
// ("Suite.DISABLED_Name") in a process of its own, on behalf of the caller,
// which holds the window test lock.
base::Process LaunchTestChild(const std::string& test_name);

// Runs the current UI message loop, through the dialog dispatcher, until it
// has nothing left to do.
void PumpMessages();

// Where a test keeps its screenshot |name|: a folder of the current test
// under the build folder's artifacts, which the test run names at its end.
base::FilePath GetScreenshotPath(const std::string& name);

// The first visible top-level window of |process|, waiting up to a minute
// for one; null when none came.
HWND WaitForProcessWindow(DWORD process_id);

// Answers the next message box that |owner| shows with |button| and keeps
// the texts of its Yes, No and OK buttons (empty for a missing button).
class MessageBoxAnswer {
 public:
  MessageBoxAnswer(HWND owner, int button);
  MessageBoxAnswer(const MessageBoxAnswer&) = delete;
  MessageBoxAnswer& operator=(const MessageBoxAnswer&) = delete;
  ~MessageBoxAnswer();

  bool answered() const { return answered_; }
  const base::string16& text() const { return text_; }
  const base::string16& yes() const { return yes_; }
  const base::string16& no() const { return no_; }
  const base::string16& ok() const { return ok_; }

 private:
  static void CALLBACK OnTimer(HWND window,
                               UINT message,
                               UINT_PTR id,
                               DWORD time);
  void TryAnswer();

  const HWND owner_;
  const int button_;
  UINT_PTR timer_;
  bool answered_;
  base::string16 text_;
  base::string16 yes_;
  base::string16 no_;
  base::string16 ok_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_UI_TEST_WINDOW_TEST_UTIL_H_
