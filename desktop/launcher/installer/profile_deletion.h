#ifndef DESKTOP_LAUNCHER_INSTALLER_PROFILE_DELETION_H_
#define DESKTOP_LAUNCHER_INSTALLER_PROFILE_DELETION_H_

#include <vector>

#include "base/files/file_path.h"

namespace vexlo {
namespace installer {

// The shell's folders that hold more than one program's data: the user's
// profile, documents and desktop, the application-data roots, the program
// folders and Windows, as the shell names them (never as overridden for a
// test).
std::vector<base::FilePath> GetSharedShellFolders();

// Whether |folder| may be deleted with all it holds: an absolute path that
// is no drive or share root and neither is nor holds one of |shared|.
bool MayDeleteRecursively(const base::FilePath& folder,
                          const std::vector<base::FilePath>& shared);

// Deletes the profile data |folder| whole, unless MayDeleteRecursively
// refuses it against the shell's shared folders; the refusal is logged.
bool DeleteProfileFolder(const base::FilePath& folder);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PROFILE_DELETION_H_
