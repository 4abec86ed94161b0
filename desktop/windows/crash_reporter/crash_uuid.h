#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_UUID_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_UUID_H_

#include <windows.h>

#include "base/strings/string16.h"

namespace vexlo {
namespace crash_reporter {

// The 36-character lower-case text of |uuid|: groups of 8, 4, 4, 4 and 12
// hexadecimal digits separated by hyphens.
base::string16 FormatUuid(const GUID& uuid);

// A fresh identifier for a dump file's name, from the system's UUID
// generator loaded at first use; the all-zero identifier when it is missing
// or fails.
GUID CreateDumpUuid();

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_UUID_H_
