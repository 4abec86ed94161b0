#include "desktop/launcher/installer/installer_log.h"

#include <windows.h>

#include "base/win/scoped_handle.h"

namespace vexlo {
namespace installer {

bool ClearStaleInstallerLog(const base::FilePath& path) {
  // Without sharing: the open fails while another process writes the log,
  // and no process can open it between the check and the emptying.
  base::win::ScopedHandle file(
      ::CreateFileW(path.value().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid())
    return false;
  FILETIME last_write = {};
  if (!::GetFileTime(file.Get(), nullptr, nullptr, &last_write))
    return false;
  const base::TimeDelta age =
      base::Time::Now() - base::Time::FromFileTime(last_write);
  // Either way: the system clock may be coarser than the file's, and a time
  // well ahead of now means a clock set back since, so old lines.
  if (age <= kSharedLogWindow && -age <= kSharedLogWindow)
    return false;
  return ::SetEndOfFile(file.Get()) != FALSE;
}

}  // namespace installer
}  // namespace vexlo
