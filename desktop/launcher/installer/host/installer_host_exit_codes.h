#ifndef DESKTOP_LAUNCHER_INSTALLER_HOST_INSTALLER_HOST_EXIT_CODES_H_
#define DESKTOP_LAUNCHER_INSTALLER_HOST_INSTALLER_HOST_EXIT_CODES_H_

namespace vexlo {
namespace installer {

// The exit codes of the installer host executable.
enum InstallerHostExitCode {
  // The installer library reported success.
  HOST_EXIT_SUCCESS = 0,
  // The installer library ran and reported failure.
  HOST_EXIT_INSTALLER_FAILED = 1,
  // The installer library beside the executable could not be loaded.
  HOST_EXIT_LIBRARY_NOT_LOADED = 2,
  // The library loaded but has no entry point.
  HOST_EXIT_ENTRY_POINT_MISSING = 3,
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_HOST_INSTALLER_HOST_EXIT_CODES_H_
