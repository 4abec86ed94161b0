#ifndef DESKTOP_LAUNCHER_INSTALLER_INSTALLER_MAIN_H_
#define DESKTOP_LAUNCHER_INSTALLER_INSTALLER_MAIN_H_

// The installer library's entry point, which the host executable looks up
// by name. It reads everything from the process command line, plays the one
// process role that the command line chooses (the answer to an information
// switch, the crash reporter, the help, the folder-permission granter, the
// backend, the silent front end or the front end with a window) on the
// calling thread, and returns 1 on success and 0 on failure.
extern "C" __declspec(dllexport) unsigned char RunInstaller();

#endif  // DESKTOP_LAUNCHER_INSTALLER_INSTALLER_MAIN_H_
