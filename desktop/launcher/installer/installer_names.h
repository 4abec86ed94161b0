#ifndef DESKTOP_LAUNCHER_INSTALLER_INSTALLER_NAMES_H_
#define DESKTOP_LAUNCHER_INSTALLER_INSTALLER_NAMES_H_

#include <string>

#include "base/strings/string16.h"
#include "base/time/time.h"

namespace base {
class FilePath;
}

namespace vexlo {
namespace installer {

// |pattern| with each "%s" replaced by the product name of the product
// configuration, lower-cased in ASCII when |lower_case| is set.
std::string FormatWithProductName(const char* pattern, bool lower_case);

// "<product name> Installer": the installer's folder in the temporary
// directory, which holds its logs and its downloads.
base::string16 GetInstallerFolderName();

// The name of a log file started at |local_time|:
// "<product name in lower case>_installer_YYYYMMDDhhmmss.log".
base::string16 GetInstallerLogFileName(const base::Time::Exploded& local_time);

// The log file of a run starting now: GetInstallerLogFileName of the local
// time in the installer's folder of the temporary directory, created when
// missing; the bare name (relative to the current directory) when that
// folder cannot be had.
base::FilePath GetInstallerLogFilePath();

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_INSTALLER_NAMES_H_
