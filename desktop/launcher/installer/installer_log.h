#ifndef DESKTOP_LAUNCHER_INSTALLER_INSTALLER_LOG_H_
#define DESKTOP_LAUNCHER_INSTALLER_INSTALLER_LOG_H_

#include "base/files/file_path.h"

namespace vexlo {
namespace installer {

// Log names go to the second, and two runs, or a front end and the backend
// it starts, often begin within one: each process takes a file of its own.
// Makes the log file of this process new: at |path| when that name is free,
// else at the first free of |path| with "_1", "_2", ... before its
// extension. Making the file takes the name, so no two processes ever get
// one file, and no file of another process is emptied. The path made; |path|
// when no file can be made there.
base::FilePath CreateInstallerLogFile(const base::FilePath& path);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_INSTALLER_LOG_H_
