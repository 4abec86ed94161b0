#ifndef DESKTOP_LAUNCHER_INSTALLER_INSTALLER_LOG_H_
#define DESKTOP_LAUNCHER_INSTALLER_INSTALLER_LOG_H_

#include "base/files/file_path.h"
#include "base/time/time.h"

namespace vexlo {
namespace installer {

// How long after its last line a log of the current name may still be
// another process's of the same installation.
constexpr base::TimeDelta kSharedLogWindow =
    base::TimeDelta::FromMicroseconds(2 * 1000 * 1000);

// Log names go to the second, so the front end, the backend and the crash
// reporter of one installation, started within one second, share a file. A
// file of that name is therefore appended to while any process has it open
// or has written it within kSharedLogWindow; only an older one, which a
// clock set back can leave, is emptied first. True when the file at |path|
// was emptied.
bool ClearStaleInstallerLog(const base::FilePath& path);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_INSTALLER_LOG_H_
