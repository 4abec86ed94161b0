#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_REGISTRY_VALUE_WRITER_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_REGISTRY_VALUE_WRITER_H_

#include <windows.h>

#include <stdint.h>

#include <vector>

#include "base/strings/string16.h"

namespace vexlo {
namespace installer {

// Writes the value |name| of |key| so that it holds exactly |data| with
// |type|, a string without its closing NUL included. Returns the Windows
// error code.
LONG WriteRegistryValue(HKEY key,
                        const base::string16& name,
                        DWORD type,
                        const std::vector<uint8_t>& data);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_REGISTRY_VALUE_WRITER_H_
