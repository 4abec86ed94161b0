#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_LZMA_UTIL_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_LZMA_UTIL_H_

#include <stdint.h>

#include <set>

#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "base/win/scoped_handle.h"

namespace vexlo {
namespace installer {

class PackageFetcherDelegate;

// Unpacks a 7z archive into a folder, item by item, keeping modification
// times and reporting the item index to a delegate.
class LzmaExtractor {
 public:
  // What Extract returns for any failure of the archive itself.
  static constexpr int32_t kArchiveError = 6;

  LzmaExtractor();
  LzmaExtractor(const LzmaExtractor&) = delete;
  LzmaExtractor& operator=(const LzmaExtractor&) = delete;
  ~LzmaExtractor();

  // Opens the archive for reading: 0, or the Windows error.
  uint32_t Open(const base::FilePath& archive_path);

  // 0 when every item was unpacked below |target_folder|; kArchiveError for
  // an archive that is missing, damaged or names an item outside the
  // folder; a Windows error when an item cannot be written. What was
  // written before a failure stays.
  int32_t Extract(const base::FilePath& target_folder);

  // May be null; not owned.
  void set_delegate(PackageFetcherDelegate* delegate) { delegate_ = delegate; }

  // Whether an item name stays inside the folder it is unpacked into: not
  // empty, not rooted, no drive or stream (':'), no "." or ".." component;
  // '/' counts as '\'.
  static bool IsSafeItemName(const base::string16& name);

 private:
  bool EnsureFolderExists(const base::FilePath& folder);

  base::win::ScopedHandle archive_;
  std::set<base::string16> created_folders_;
  PackageFetcherDelegate* delegate_ = nullptr;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_LZMA_UTIL_H_
