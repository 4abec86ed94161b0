// The installer executable: a small host that runs the installer it carries.
// Everything else the installer needs (texts, dialogs, images, the product
// configuration) it carries as resources, which the installer reads from this
// module. It is one self-contained file, so that a lone copy (a download, or
// a package checked in a temporary folder) runs as well as an installed one.

#include <windows.h>

#include "desktop/launcher/installer/host/installer_host_exit_codes.h"
#include "desktop/launcher/installer/installer_main.h"

int WINAPI wWinMain(HINSTANCE /* instance */,
                    HINSTANCE /* previous_instance */,
                    PWSTR /* command_line */,
                    int /* show_command */) {
  // A download folder is a common current directory: keep every library
  // this process loads by name from being picked up there.
  SetDllDirectoryW(L"");
  return RunInstaller() ? vexlo::installer::HOST_EXIT_SUCCESS
                        : vexlo::installer::HOST_EXIT_INSTALLER_FAILED;
}
