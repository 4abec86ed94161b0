#ifndef DESKTOP_LAUNCHER_INSTALLER_RUN_DIRECTORY_H_
#define DESKTOP_LAUNCHER_INSTALLER_RUN_DIRECTORY_H_

#include "base/strings/string16.h"

namespace base {
class FilePath;
}

namespace vexlo {
namespace installer {

// A working folder of the installer's own in which a copy of the installer
// executable can actually be started: some systems refuse to run programs
// from the temporary folder. A folder is proven by copying the executable
// there and starting the copy once; with an empty executable path the folder
// only has to exist.

// Appends |sub_folder_name| (may be empty) to |folder| and makes sure that
// folder exists and, unless |executable_path| is empty, runs a copy of the
// executable. A folder that fails the test run is removed when it is empty.
bool PrepareFolderIn(const base::string16& sub_folder_name,
                     const base::FilePath& executable_path,
                     base::FilePath* folder);

// Copies |executable_path| into |folder|, starts the copy with "--version",
// waits for it and deletes it. True when the copy could be started, whatever
// its exit code.
bool TestRunExecutableIn(const base::FilePath& folder,
                         const base::FilePath& executable_path);

// PrepareFolderIn under the user's Downloads folder.
bool PrepareFolderInDownloads(const base::string16& sub_folder_name,
                              const base::FilePath& executable_path,
                              base::FilePath* folder);

// PrepareFolderIn under the folder of the path service's |path_key|.
bool PrepareFolderUnderPathKey(const base::string16& sub_folder_name,
                               const base::FilePath& executable_path,
                               base::FilePath* folder,
                               int path_key);

// The first of the temporary folder, the Downloads folder, the user's
// profile folder and the executable's folder in which PrepareFolderIn
// succeeds.
bool GetTemporaryInstallerFolder(const base::string16& sub_folder_name,
                                 const base::FilePath& executable_path,
                                 base::FilePath* folder);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_RUN_DIRECTORY_H_
