#ifndef DESKTOP_LAUNCHER_INSTALLER_FOLDER_DACL_H_
#define DESKTOP_LAUNCHER_INSTALLER_FOLDER_DACL_H_

#include <windows.h>

#include "base/files/file_path.h"

namespace vexlo {
namespace installer {

// Reads and writes the discretionary access list of a folder for the
// permission-granting process. The real calls go to the system; a test puts
// an instance of its own in place where file access lists are not kept
// (the test platform accepts a written list and forgets it).
class FolderDacl {
 public:
  virtual ~FolderDacl();

  // The folder's list, pointing into |security_descriptor|, which the
  // caller frees with LocalFree. A Windows error code; ERROR_SUCCESS on
  // success.
  virtual DWORD Read(const base::FilePath& folder,
                     PACL* dacl,
                     PSECURITY_DESCRIPTOR* security_descriptor);
  virtual DWORD Write(const base::FilePath& folder, PACL dacl);

  // The calls in use: the system's unless a test replaced them.
  static FolderDacl* Get();

  // Makes |dacl| the calls in use (null: the system's again) and returns the
  // replacement they follow.
  static FolderDacl* SetForTesting(FolderDacl* dacl);
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_FOLDER_DACL_H_
