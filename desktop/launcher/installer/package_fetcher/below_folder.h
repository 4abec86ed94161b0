#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_BELOW_FOLDER_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_BELOW_FOLDER_H_

#include <windows.h>

#include <vector>

#include "base/strings/string16.h"
#include "base/win/scoped_handle.h"

// Files and folders reached through a handle of the folder they stand in,
// never through a path that Windows walks again: a folder that is held open
// cannot be renamed or replaced by a link underneath the one who holds it.

namespace vexlo {
namespace installer {

// Opens or creates |name|, one component or a relative path, below the
// folder that |folder| opens, with NtCreateFile's |access|, |share|,
// |disposition| and |options|: 0 and |result|, or the Windows error. Its
// last component is opened as itself when it is a link, never followed.
DWORD OpenBelow(HANDLE folder,
                const base::string16& name,
                ACCESS_MASK access,
                ULONG share,
                ULONG disposition,
                ULONG options,
                base::win::ScopedHandle* result);

// Marks what |handle| opens, a file or an empty folder, to be removed when
// its last handle is closed; |handle| needs DELETE access. A read-only file
// is made writable first. 0, or the Windows error.
DWORD DeleteWhenClosed(HANDLE handle);

// One entry of a folder's listing.
struct FolderEntry {
  base::string16 name;
  DWORD attributes;
  // The file system's number for it, or 0 where it keeps none.
  LONGLONG id;
};

// The entries of the folder that |folder| opens, but "." and "..": 0, or
// the Windows error.
DWORD ListFolder(HANDLE folder, std::vector<FolderEntry>* entries);

// The file system's number for what |handle| opens; 0 when it keeps none or
// it cannot be read.
LONGLONG FileIdOf(HANDLE handle);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_BELOW_FOLDER_H_
