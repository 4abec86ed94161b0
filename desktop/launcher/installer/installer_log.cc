#include "desktop/launcher/installer/installer_log.h"

#include <windows.h>

#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/win/scoped_handle.h"

namespace vexlo {
namespace installer {

namespace {

// More processes of one installer than this never start within a second.
constexpr int kLogNameTries = 100;

// The lock that a package download holds, unshared, for as long as its run
// lasts, named by the download: its package is the same name with ".exe",
// the package's archive with ".7z", its partner content ".partner" and the
// unpacked package the name alone.
constexpr wchar_t kDownloadLockPattern[] = L"vexlo_installer_*.lock";
constexpr const wchar_t* kDownloadLeftovers[] = {L"exe", L"7z", L"partner",
                                                 L""};

// Makes a file at |path| unless something is there; false when there was,
// or when nothing can be made there at all (|*taken| then false).
bool CreateNewFile(const base::FilePath& path, bool* taken) {
  base::win::ScopedHandle file(
      ::CreateFileW(path.value().c_str(), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.IsValid())
    return true;
  const DWORD error = ::GetLastError();
  // A folder of the name refuses access.
  *taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
           error == ERROR_ACCESS_DENIED;
  return false;
}

bool HasDownloadLeftovers(const base::FilePath& lock) {
  for (const wchar_t* extension : kDownloadLeftovers) {
    if (base::PathExists(lock.ReplaceExtension(extension)))
      return true;
  }
  return false;
}

}  // namespace

base::FilePath CreateInstallerLogFile(const base::FilePath& path) {
  for (int suffix = 0; suffix < kLogNameTries; ++suffix) {
    const base::FilePath name =
        suffix ? path.InsertBeforeExtensionASCII("_" + base::IntToString(suffix))
               : path;
    bool taken = false;
    if (CreateNewFile(name, &taken))
      return name;
    if (!taken)
      break;
  }
  return path;
}

void RemoveAbandonedDownloadLocks(const base::FilePath& folder) {
  std::vector<base::FilePath> locks;
  base::FileEnumerator found(folder, false, base::FileEnumerator::FILES,
                             kDownloadLockPattern);
  for (base::FilePath lock = found.Next(); !lock.empty(); lock = found.Next())
    locks.push_back(lock);
  for (const base::FilePath& lock : locks) {
    // A held lock refuses deletion: its run goes on.
    if (!HasDownloadLeftovers(lock) && ::DeleteFileW(lock.value().c_str())) {
      LOG(INFO) << "Removed the lock that a killed installer left: "
                << lock.AsUTF8();
    }
  }
}

}  // namespace installer
}  // namespace vexlo
