#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_ROLLBACK_LEFTOVERS_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_ROLLBACK_LEFTOVERS_H_

#include <functional>
#include <vector>

#include "base/files/file_path.h"
#include "base/pickle.h"
#include "desktop/launcher/installer/service/transactions/file_identity.h"

namespace vexlo {
namespace installer {

class RollbackPending;

// What a take-back could not undo yet because a file that the killed run
// made is running or held open: the system deletes no running program,
// and the take-back may be run by that very program. Each such file is
// renamed aside at once where it can be, under a name that no run writes,
// so that its own name is free for what the killed run set aside under it
// and for the next run; it goes once it is free, with the folders that the
// killed run made around it.
//
// A kept file is known by its identity as well as its names, and nothing
// kept here is ever done to a file of another identity: by the time it is
// done, another run may have written a file of its own under the name.
// For the same reason, what the killed run set aside goes back only into
// a free name; where another run has taken the name, it goes, as the
// killed run would have deleted it.
//
// Each change is written, through |keep|, before it is made and before the
// record that it comes from leaves the journal, so that a take-back killed
// at any moment leaves records that name all it has not finished.
//
// A name that held a file before the killed run is never left empty while
// what was set aside from it cannot come back: the file that the killed
// run made there stays, kept, until it can, whether it runs or not.
class RollbackLeftovers {
 public:
  // Writes |record| where the next take-back finds it; false when it could
  // not.
  using KeepRecord = std::function<bool(const base::Pickle& record)>;

  // Keeps the changes in memory only.
  RollbackLeftovers();
  // |pending|, which outlives this, is what the whole take-back has still
  // to do; null when this is all of it.
  RollbackLeftovers(KeepRecord keep, RollbackPending* pending);
  RollbackLeftovers(const RollbackLeftovers&) = delete;
  RollbackLeftovers& operator=(const RollbackLeftovers&) = delete;
  ~RollbackLeftovers();

  // Each of these returns false, logged, when what it has to keep could
  // not be written: the change it comes from must not be taken as undone.

  // Takes back |path|, which the killed run made: it is deleted, or, where
  // it cannot be, renamed aside where it can be and kept; it is kept as it
  // is while what was set aside from |path| cannot come back.
  bool TakeBackMadeFile(const base::FilePath& path);
  // The killed run's rename of |from| to |to| is to be taken back: what is
  // at |to| goes back at once when |from| is free, and waits while a file
  // kept here holds |from| or, within one folder, while a process holds
  // the file at |to|.
  bool RenameBack(const base::FilePath& from, const base::FilePath& to);
  // The folders from |path| up to, not including, |ancestor|, which the
  // killed run made and which stayed, are kept while a file kept here lies
  // in them, which is why they stayed.
  bool KeepFoldersHoldingFiles(const base::FilePath& path,
                               const base::FilePath& ancestor);

  // Takes back a kept file, known as |path| and, renamed aside, as
  // |aside| (empty when it never had an aside name), of |identity|: it is
  // deleted, or renamed aside, or kept as it is, as far as it is free. It
  // is also found where a later run, killed in turn, set it aside from
  // |path|. An unknown identity is that of a file that an earlier build
  // kept: only a file under a set-aside name is deleted then.
  bool TakeBackKeptFile(const base::FilePath& path,
                        const base::FilePath& aside,
                        const FileIdentity& identity);
  // Takes back a rename back that waited: |to| holds the file of
  // |identity| that the killed run set aside from |from|.
  bool TakeBackRenameBack(const base::FilePath& from,
                          const base::FilePath& to,
                          const FileIdentity& identity);

  // Adds the kept changes as their records say, where their files are now,
  // without doing anything: for an uninstallation, which deletes them with
  // the rest.
  void FindKeptFile(const base::FilePath& path,
                    const base::FilePath& aside,
                    const FileIdentity& identity);
  void FindRenameBack(const base::FilePath& from,
                      const base::FilePath& to,
                      const FileIdentity& identity);
  void FindFolders(const base::FilePath& path, const base::FilePath& ancestor);

  // Turns each rename back into the deletion of the file set aside, known
  // by its identity: for an uninstallation, which deletes that file with
  // the rest, so that no take-back puts it back meanwhile.
  void ForgoRenamesBack();

  bool empty() const { return changes_.empty(); }
  // Whether a batch can finish what is kept: files that are under names
  // that no run writes, and folders, but no rename back, which needs to
  // tell one file from another.
  bool BatchCanFinish() const;

  // The records of the kept changes, in the order of their take-back.
  std::vector<base::Pickle> Records() const;
  // Where the kept files are now.
  std::vector<base::FilePath> Files() const;
  // The files that the killed run set aside, whose renames back wait.
  std::vector<base::FilePath> SetAside() const;
  // The folders to remove once empty, each level of them, deepest first.
  std::vector<base::FilePath> Folders() const;

 private:
  enum class Kind { kFile, kRename, kFolders };
  struct Change {
    Kind kind;
    // A file: its name, the name it is renamed aside to (or empty), its
    // identity, and where it is now. A rename back: the name that the file
    // of |identity| at |other| goes back to. Folders: the deepest, and the
    // one above the highest.
    base::FilePath path;
    base::FilePath other;
    FileIdentity identity;
    base::FilePath at;
  };

  // Keeps the file that the killed run made at |path|, renamed aside when
  // |set_aside| and it can be.
  bool KeepMadeFile(const base::FilePath& path, bool set_aside);
  // Writes |change| ahead, then adds it.
  bool Keep(const Change& change);
  bool HoldsKeptFile(const base::FilePath& path) const;
  // RollbackPending's, where there is one; MoveHeld tells whether the file
  // at |to| went back to |from| through the handle held for that.
  bool MayFree(const base::FilePath& path);
  bool MoveHeld(const base::FilePath& from, const base::FilePath& to);
  bool TakeBackUnknownFile(const base::FilePath& path);
  bool TakeBackUnknownRename(const base::FilePath& from,
                             const base::FilePath& to);
  static base::Pickle RecordOf(const Change& change);

  KeepRecord keep_;
  RollbackPending* const pending_;
  // In the order of their take-back.
  std::vector<Change> changes_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_ROLLBACK_LEFTOVERS_H_
