#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_ROLLBACK_LEFTOVERS_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_ROLLBACK_LEFTOVERS_H_

#include <vector>

#include "base/files/file_path.h"
#include "base/pickle.h"

namespace vexlo {
namespace installer {

// What a take-back could not undo yet because a file that the killed run
// made is running or held open: the system deletes no running program,
// and the take-back may be run by that very program. Each such file goes
// once it is free, with the folders that the killed run made around it;
// what the killed run set aside under its name goes back in its place at
// once, the file being renamed aside to make way. The changes kept here
// are written as records of their own, so that whoever comes next
// finishes them should nothing else.
class RollbackLeftovers {
 public:
  // With |free_names|, a file kept here is renamed aside to make way for
  // what the killed run set aside under its name. A take-back of records
  // that an earlier one kept renames nothing: what it keeps then stays
  // what those records say, so that one killed half way leaves records
  // that are still true.
  explicit RollbackLeftovers(bool free_names = true);
  RollbackLeftovers(const RollbackLeftovers&) = delete;
  RollbackLeftovers& operator=(const RollbackLeftovers&) = delete;
  ~RollbackLeftovers();

  // |path|, which the killed run made, could not be deleted.
  void AddFile(const base::FilePath& path);
  // The killed run's rename of |from| to |to| waits to be taken back until
  // the file kept under the name |from| is gone.
  void AddRenameBack(const base::FilePath& from, const base::FilePath& to);
  // The folders from |path| up to, not including, |ancestor|, which the
  // killed run made, go once empty.
  void AddFolders(const base::FilePath& path, const base::FilePath& ancestor);

  // Frees the name |from| for the killed run's file set aside at |to|: a
  // file kept here under that name is renamed aside. When it cannot be, or
  // may not, the rename back is kept to follow the file.
  void MakeWay(const base::FilePath& from, const base::FilePath& to);
  // Keeps the folders from |path| up to |ancestor| when a file kept here
  // lies in them, which is why they stayed.
  void KeepFoldersHoldingFiles(const base::FilePath& path,
                               const base::FilePath& ancestor);

  bool empty() const { return changes_.empty(); }
  // Whether only deletions are kept: they finish by themselves once the
  // files are free, with no record to replay.
  bool OnlyDeletions() const;

  // The records of the kept changes, in the order that a journal keeps
  // them: its replay, last first, deletes the files before their folders
  // and before it renames anything back.
  std::vector<base::Pickle> Records() const;
  // The files to delete once they are free.
  std::vector<base::FilePath> Files() const;
  // The files that the killed run set aside, whose renames back wait.
  std::vector<base::FilePath> SetAside() const;
  // The folders to remove once empty, each level of them.
  std::vector<base::FilePath> Folders() const;

 private:
  enum class Kind { kFile, kRenameBack, kFolders };
  struct Change {
    Kind kind;
    base::FilePath path;
    base::FilePath other;
  };

  std::vector<base::FilePath> PathsOf(Kind kind) const;

  const bool free_names_;
  // In the order the take-back met them, the reverse of the journal's.
  std::vector<Change> changes_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_ROLLBACK_LEFTOVERS_H_
