#ifndef DESKTOP_LAUNCHER_INSTALLER_UI_TEST_INSTALLER_WINDOW_DRIVER_H_
#define DESKTOP_LAUNCHER_INSTALLER_UI_TEST_INSTALLER_WINDOW_DRIVER_H_

#include <windows.h>

#include <string>

#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "base/time/time.h"

namespace vexlo {
namespace installer {

// Drives the installer window of another process as its user would: finds
// it, tells its page by the controls it shows, presses its buttons and saves
// what it shows.
class InstallerWindowDriver {
 public:
  // The pages a user tells apart.
  enum Page {
    kNoWindow,
    kWelcome,
    kUninstall,
    kTerms,
    kOptions,
    kProgress,
    kError,
    kUnknownPage,
  };

  // The lower-case name of |page|, as the screenshots and the driver program
  // use it; PageFromName is its inverse and false for no page's name.
  static const char* PageName(Page page);
  static bool PageFromName(const std::string& name, Page* page);

  // The control |name| stands for ("accept", "options", ...), or the
  // message box button ("yes", "no", "ok", "cancel"); 0 for none.
  static int ButtonFromName(const std::string& name);
  static int MessageBoxButtonFromName(const std::string& name);

  // Drives the window of process |process_id|, or of any process when 0.
  explicit InstallerWindowDriver(DWORD process_id);
  InstallerWindowDriver(const InstallerWindowDriver&) = delete;
  InstallerWindowDriver& operator=(const InstallerWindowDriver&) = delete;

  // The main window now, or null.
  HWND FindWindow() const;

  Page CurrentPage() const;

  // Whether |page| was shown within |timeout|; kNoWindow waits for the
  // window to go.
  bool WaitForPage(Page page, base::TimeDelta timeout) const;

  // Presses the button |control| of the main window, or of the options
  // shown in it; false when the user could not, the button being hidden or
  // disabled.
  bool Press(int control) const;

  // Closes the window as its title bar's close button does.
  bool Close() const;

  // Presses |button| (IDYES, IDNO, IDOK, IDCANCEL) of the message box that
  // the window shows within |timeout| and waits, within the same time, for
  // the box to go; false when none came, it has no such button or it
  // stayed.
  bool AnswerMessageBox(int button, base::TimeDelta timeout) const;

  // The text of |control| of the main window or its options.
  base::string16 Text(int control) const;

  // Saves the window's client area as a PNG file.
  bool SaveScreenshot(const base::FilePath& path) const;

 private:
  HWND FindControl(int control) const;
  HWND FindMessageBox() const;

  const DWORD process_id_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_UI_TEST_INSTALLER_WINDOW_DRIVER_H_
