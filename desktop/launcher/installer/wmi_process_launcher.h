#ifndef DESKTOP_LAUNCHER_INSTALLER_WMI_PROCESS_LAUNCHER_H_
#define DESKTOP_LAUNCHER_INSTALLER_WMI_PROCESS_LAUNCHER_H_

#include <stdint.h>

#include "base/strings/string16.h"

namespace vexlo {
namespace installer {

// Starts |command_line| through the management service's process class, so
// that the process is no child of this one and outlives its job. Stores the
// new process's id in |process_id| when given. Needs COM on the thread.
bool LaunchProcessThroughWmi(const base::string16& command_line,
                             uint32_t* process_id);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_WMI_PROCESS_LAUNCHER_H_
