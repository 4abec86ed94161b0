#ifndef DESKTOP_LAUNCHER_INSTALLER_INSTALLER_STARTUP_H_
#define DESKTOP_LAUNCHER_INSTALLER_INSTALLER_STARTUP_H_

#include <windows.h>

namespace base {
class CommandLine;
class FilePath;
}  // namespace base

namespace vexlo {
namespace installer {

// The switches that choose the role of an installer process and the
// operation; each is set when its switch is present, whatever its value.
struct StartupFlags {
  bool backend = false;
  bool uninstall = false;
  bool silent = false;
  bool run_immediately = false;
  bool autoupdate = false;
  bool replace_talvik_installation = false;
};

StartupFlags ReadStartupFlags(const base::CommandLine& command_line);

// Clears the callback-filter bit of the process's user-mode exception
// policy, so that an exception thrown through a window procedure reaches the
// exception handler instead of vanishing in the system's callback. Nothing
// happens on systems without the policy functions.
void ClearExceptionPolicyCallbackFilter();

// What the TLS check found in the Internet settings.
enum class TlsSetting {
  // TLS 1.0 or later is on, or the settings cannot be read: go on.
  kUsable,
  // TLS 1.0 was off and has just been switched on: the process must restart
  // to get a network stack that sees it.
  kEnabledNow,
  // TLS 1.0 is off and could not be switched on.
  kNotEnabled,
};

// Reads the mask of enabled secure protocols from the value
// "SecureProtocols" of |root|\|subkey| (0x20, SSL 3.0 only, when absent)
// and adds TLS 1.0 (0x80) when the mask has no protocol from TLS 1.0 on.
TlsSetting EnableTLS10InInternetSettings(HKEY root, const wchar_t* subkey);

// True when the process may go on. Before Windows Vista, a TLS 1.0 that is
// off in the user's Internet settings is switched on and a copy of this
// process with the same command line is started to do the work; this one
// must then end (false).
bool EnsureTLS10Enabled();

// Starts the batch file "k.bat" of |folder|, hidden and without waiting,
// when there is one.
void RunUninstallBatch(const base::FilePath& folder);

// The install folder that the legacy updater passes as the last argument of
// the command line; empty unless that argument is an absolute path.
base::FilePath RecoverInstallFolderFromCommandLine(
    const base::CommandLine& command_line);

// Whether |executable_path| in |executable_folder| is the installer of an
// unpacked package: named exactly "installer.exe", beside the browser
// executable and the file list "files_list".
bool IsRunningFromPackage(const base::FilePath& executable_folder,
                          const base::FilePath& executable_path);

// Whether the browser executable is in |folder|, as in an installation.
bool HasBrowserExecutable(const base::FilePath& folder);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_INSTALLER_STARTUP_H_
