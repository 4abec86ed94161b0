#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_LZMA_UTIL_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_LZMA_UTIL_H_

#include <stdint.h>

#include <map>
#include <memory>
#include <utility>
#include <vector>

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
  // Takes over |archive|, a file opened for reading, and reads the archive
  // from its start; so the caller may go on holding the file against other
  // writers through a handle of its own. 0, or the Windows error.
  uint32_t Open(base::win::ScopedHandle* archive);

  // 0 when every item was unpacked below |target_folder|; kArchiveError for
  // an archive that is missing or damaged, names an item unsafely (see
  // GetSafeRelativePath) or by a path longer than Windows takes, or holds a
  // block larger than the free space of the folder's volume; a Windows
  // error when an item cannot be written. Every file and folder below
  // |target_folder| is made new: an item whose path is taken already (a
  // file, a folder or a link that was there, or an earlier item of the same
  // name in any case) fails with ERROR_FILE_EXISTS or ERROR_ALREADY_EXISTS.
  // What was written for the items before a failing one stays; the file of
  // an item whose writing failed does not. The folders made are held open,
  // without sharing their deletion, until Extract returns.
  int32_t Extract(const base::FilePath& target_folder);

  // May be null; not owned.
  void set_delegate(PackageFetcherDelegate* delegate) { delegate_ = delegate; }

  // Whether blocks that allow it are decoded a step at a time, their files
  // written while the rest is decoded (the default), rather than each
  // decoded whole before its first file is written. What Extract leaves and
  // returns is the same either way.
  void set_decode_in_steps(bool in_steps) { decode_in_steps_ = in_steps; }
  // How many blocks the last Extract decoded a step at a time.
  size_t blocks_decoded_in_steps() const { return blocks_decoded_in_steps_; }

  // The path below the folder an item is unpacked into that the item's name
  // stands for: '/' counts as '\', and empty and "." components name the
  // folder they stand in, so they are dropped; empty for the folder itself.
  // False for a name that could leave the folder or name something other
  // than a file of its own: empty, rooted, with a drive or stream (':'), a
  // component ending in a dot or a space (".." among them), which a path
  // cannot spell, or a component Windows takes for a device (CON, PRN,
  // AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$, in any case, perhaps with
  // an extension or trailing dots or spaces).
  static bool GetSafeRelativePath(const base::string16& name,
                                  base::string16* relative);

 private:
  // How a folder below the target is remembered, by its relative path:
  // Windows compares names without case.
  static base::string16 FolderKey(const base::string16& relative);
  // Makes |folder_| the folder at |relative| below the target, made new
  // where it is missing, for the item numbered |item|: 0, or the Windows
  // error and the start of the line to log in |failed_step|.
  uint32_t EnterFolder(const base::string16& relative,
                       uint32_t item,
                       const char** failed_step);
  // Removes the folders made for items numbered |first| or later, newest
  // first: they would not be there had items been unpacked one at a time.
  void RemoveFoldersMadeFrom(uint32_t first);

  base::win::ScopedHandle archive_;
  // The target folder, then the folders this extraction made, each with the
  // item it was made for, held until the extraction ends; a folder is
  // numbered by its place here.
  struct HeldFolder {
    uint32_t item;
    // Shared with the items still being written into it.
    std::shared_ptr<base::win::ScopedHandle> handle;
  };
  std::vector<HeldFolder> folders_;
  // The folder items go into now, with its key and number.
  std::shared_ptr<base::win::ScopedHandle> folder_;
  base::string16 folder_key_;
  size_t folder_index_ = 0;
  // The folders this extraction made, found by their parent's number and
  // their name in FolderKey's form.
  std::map<std::pair<size_t, base::string16>, size_t> created_folders_;
  PackageFetcherDelegate* delegate_ = nullptr;
  bool decode_in_steps_ = true;
  size_t blocks_decoded_in_steps_ = 0;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_LZMA_UTIL_H_
