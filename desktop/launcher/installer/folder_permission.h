#ifndef DESKTOP_LAUNCHER_INSTALLER_FOLDER_PERMISSION_H_
#define DESKTOP_LAUNCHER_INSTALLER_FOLDER_PERMISSION_H_

#include <stdint.h>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"

namespace vexlo {
namespace installer {

// An installer without administrator rights that must write into a folder
// that needs them does not run itself elevated: it starts a copy of the
// program elevated in the role "set-folder-permission", which grants the
// requesting user full access to the folder and, unless the grant is to
// stay, takes it back once the requester is done or gone.

// What RequestFolderPermission reports.
enum FolderPermissionResult : int32_t {
  kFolderPermissionGranted = 0,
  // Elevation is impossible, or the elevated process did not start.
  kFolderPermissionCannotElevate = 1,
  // The elevated process ended without granting.
  kFolderPermissionNotGranted = 2,
  // Anything else: the user's name, the own file, the events.
  kFolderPermissionSetupFailed = 3,
};

// What a requester holds after a grant: signalling |undo_event| lets the
// elevated process take the grant back.
struct FolderPermissionGrant {
  base::win::ScopedHandle undo_event;
  uint32_t elevated_process_id = 0;
};

// Starts the elevated process for |folder| and waits until it has granted
// the permission or ended. |permanent| keeps the grant for good;
// |uninstall| has the elevated process start the uninstall batch file when
// it ends; |crash_reporter_pid| (0 for none) is passed on. On
// kFolderPermissionGranted, |grant| holds what undoes it.
FolderPermissionResult RequestFolderPermission(const base::FilePath& folder,
                                               bool permanent,
                                               bool uninstall,
                                               uint32_t crash_reporter_pid,
                                               FolderPermissionGrant* grant);

// The role of the elevated process, chosen by "set-folder-permission" on
// the process's command line.
void RunSetFolderPermission();

namespace internal {

// The elevated process's command line, without a program, for a requester
// whose own command line is |own|.
base::CommandLine GetFolderPermissionCommandLine(
    const base::FilePath& folder,
    const base::string16& user_name,
    bool permanent,
    bool uninstall,
    uint32_t crash_reporter_pid,
    const base::CommandLine& own);

// RunSetFolderPermission for |command_line|, waiting |undo_delay| after the
// requester's undo before the old access list goes back.
void RunSetFolderPermission(const base::CommandLine& command_line,
                            base::TimeDelta undo_delay);

// False when elevation is impossible: a user who is not an administrator
// on Windows Vista or later with user account control switched off.
bool CanElevate();

}  // namespace internal

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_FOLDER_PERMISSION_H_
