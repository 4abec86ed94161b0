#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_TREE_DELETER_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_TREE_DELETER_H_

#include <stddef.h>

#include <atomic>
#include <deque>
#include <functional>
#include <vector>

#include "base/files/file_path.h"
#include "base/threading/platform_thread.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/package_fetcher/below_folder.h"

namespace vexlo {
namespace installer {

// Deletes a folder with everything in it, as base::DeleteFile(folder, true)
// does, with the files of its folders deleted from a few threads at once:
// each deletion waits on the system, and the waits of several overlap.
// Every folder is held open from the moment it is listed to its removal,
// and everything in it is reached through that handle, never through a
// path: a folder cannot be renamed while it is held, so none can be
// swapped for a link to elsewhere while the tree is deleted. A link met
// inside is removed as a link, never entered.
class TreeDeleter : public base::PlatformThread::Delegate {
 public:
  explicit TreeDeleter(const base::FilePath& folder);
  TreeDeleter(const TreeDeleter&) = delete;
  TreeDeleter& operator=(const TreeDeleter&) = delete;
  ~TreeDeleter() override;

  // What base::DeleteFile(folder, true) returns.
  bool Delete();

  // Called once every folder is held and listed, before anything is
  // deleted.
  void set_before_deleting_for_testing(std::function<void()> hook) {
    before_deleting_ = std::move(hook);
  }

 private:
  static constexpr size_t kThreads = 4;

  struct Folder {
    Folder(const base::FilePath& path, HANDLE handle)
        : path(path), handle(handle) {}

    base::FilePath path;
    base::win::ScopedHandle handle;
    // Its files and links, as listed.
    std::vector<FolderEntry> entries;
  };

  // Opens and lists the folder and every folder below it that is not a
  // link, parents first.
  void HoldFolders(base::win::ScopedHandle* root);
  // Deletes the files and links of the folders not yet taken, one folder
  // at a time.
  void ThreadMain() override;
  bool DeleteEntry(const Folder& folder, const FolderEntry& entry);

  const base::FilePath folder_;
  // Grows at its end while the tree is listed; nothing moves.
  std::deque<Folder> folders_;
  std::atomic<size_t> next_folder_{0};
  std::atomic<bool> failed_{false};
  std::function<void()> before_deleting_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_TREE_DELETER_H_
