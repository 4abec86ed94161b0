#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_PATH_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_PATH_H_

#include <windows.h>

#include <vector>

#include "base/strings/string16.h"

namespace vexlo {
namespace crash_reporter {

// The device path behind a drive root of the form "C:\"; empty for any
// other root or when the system does not know the drive.
base::string16 GetDeviceName(const base::string16& drive_root);

// The roots of the logical drives, such as "C:\"; empty on failure.
std::vector<base::string16> GetLogicalDrives();

// The image path of |process| with a drive letter; empty when its device
// path matches no drive.
base::string16 GetProcessPath(HANDLE process);

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_PATH_H_
