#include "desktop/launcher/installer/installer_log.h"

#include <windows.h>

#include "base/strings/string_number_conversions.h"
#include "base/win/scoped_handle.h"

namespace vexlo {
namespace installer {

namespace {

// More processes of one installer than this never start within a second.
constexpr int kLogNameTries = 100;

// Makes a file at |path| unless something is there; false when there was,
// or when nothing can be made there at all (|*taken| then false).
bool CreateNewFile(const base::FilePath& path, bool* taken) {
  base::win::ScopedHandle file(::CreateFileW(
      path.value().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.IsValid())
    return true;
  const DWORD error = ::GetLastError();
  // A folder of the name refuses access.
  *taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
           error == ERROR_ACCESS_DENIED;
  return false;
}

}  // namespace

base::FilePath CreateInstallerLogFile(const base::FilePath& path) {
  for (int suffix = 0; suffix < kLogNameTries; ++suffix) {
    const base::FilePath name =
        suffix
            ? path.InsertBeforeExtensionASCII("_" + base::IntToString(suffix))
            : path;
    bool taken = false;
    if (CreateNewFile(name, &taken))
      return name;
    if (!taken)
      break;
  }
  return path;
}

}  // namespace installer
}  // namespace vexlo
