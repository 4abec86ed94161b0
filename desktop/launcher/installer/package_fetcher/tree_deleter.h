#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_TREE_DELETER_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_TREE_DELETER_H_

#include <stddef.h>

#include <atomic>
#include <vector>

#include "base/files/file_path.h"
#include "base/threading/platform_thread.h"
#include "base/win/scoped_handle.h"

namespace vexlo {
namespace installer {

// Deletes a folder with everything in it, as base::DeleteFile(folder, true)
// does, with the files of its folders deleted from a few threads at once:
// each deletion waits on the system, and the waits of several overlap.
// Links are never entered: a folder link is left to base::DeleteFile's own
// walk at the end, which removes it as a link.
class TreeDeleter : public base::PlatformThread::Delegate {
 public:
  explicit TreeDeleter(const base::FilePath& folder);
  TreeDeleter(const TreeDeleter&) = delete;
  TreeDeleter& operator=(const TreeDeleter&) = delete;
  ~TreeDeleter() override;

  // What base::DeleteFile(folder, true) returns.
  bool Delete();

 private:
  static constexpr size_t kThreads = 4;

  // Deletes the files of the folders not yet taken, one folder at a time.
  void ThreadMain() override;

  const base::FilePath folder_;
  // The folder and every folder below it that is not a link, parents
  // first.
  std::vector<base::FilePath> folders_;
  std::atomic<size_t> next_folder_{0};
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_TREE_DELETER_H_
