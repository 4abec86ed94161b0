#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_SET_ASIDE_PATHS_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_SET_ASIDE_PATHS_H_

#include <windows.h>

#include "base/files/file_path.h"

namespace vexlo {
namespace installer {

// Where the files and folders that deletions set aside until the commit are
// now. A later operation may rename a folder that holds one (move it, or set
// it aside in turn); every rename the operations make goes through Rename,
// which carries the set-aside paths below the renamed one along, so that the
// commit finds and deletes them wherever they went.
class SetAsidePaths {
 public:
  SetAsidePaths() = delete;

  // Keeps |path| current until Forget. |path| must outlive the watch.
  static void Watch(base::FilePath* path);
  static void Forget(base::FilePath* path);

  // MoveFileExW with |flags|, then the watched paths at or below |from| are
  // changed to lie below |to|. The thread's last error tells why a rename
  // failed.
  static bool Rename(const base::FilePath& from,
                     const base::FilePath& to,
                     DWORD flags);

  // A free name beside |path| to set it aside under:
  // "<path>.<seconds since 1970>.old", with a number before ".old" when that
  // name is taken; empty when every name tried is taken.
  static base::FilePath FreeName(const base::FilePath& path);

  // What |name| was before it was set aside under a name that FreeName
  // gives (in any letter case); |name| itself when it is no such name.
  static base::string16 OriginalName(const base::string16& name);
  // Whether |path| is a name that FreeName gives, which no run writes
  // while a file has it.
  static bool IsSetAsideName(const base::FilePath& path);
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_SET_ASIDE_PATHS_H_
