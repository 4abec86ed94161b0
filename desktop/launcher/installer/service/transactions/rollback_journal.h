#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_ROLLBACK_JOURNAL_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_ROLLBACK_JOURNAL_H_

#include <stdint.h>

#include "base/files/file_path.h"
#include "base/pickle.h"
#include "base/win/scoped_handle.h"

namespace vexlo {
namespace installer {

// The changes of a running transaction, kept in a file for the case that
// its process is killed: nothing is then left in that process to roll them
// back, so whoever comes next (the front end that started it, or the next
// run for the same folder) replays the journal, last record first.
//
// Each record reaches the file, through one write that no buffer of this
// process holds back, before its change can be seen; a record is cut off
// the end again once its change has been taken back, so a process killed
// while rolling back leaves exactly what it had not undone yet. A record
// that a kill cut short is recognised by its checksum and ignored. The
// records survive the end of the process, not the end of the system.
//
// A run of the installer may start another one for the same folder (to
// wait for the package, or elevated) and wait for it: the other process
// finds the journal held open and continues it behind the records of the
// first. A journal that nobody holds open is one that a killed run left.
class RollbackJournal {
 public:
  RollbackJournal();
  RollbackJournal(const RollbackJournal&) = delete;
  RollbackJournal& operator=(const RollbackJournal&) = delete;
  // Closes the file but keeps the records: a process that ends without
  // Close leaves them for replay.
  ~RollbackJournal();

  // The journal of the installations into |folder|, in the user's
  // temporary folder; empty when there is none.
  static base::FilePath PathFor(const base::FilePath& folder);

  // Takes back what the journal at |path| holds and deletes it. True when
  // nothing is left of it; false, leaving it, while a process holds it open
  // or when it cannot be read.
  static bool Replay(const base::FilePath& path);

  // Replays a journal that a killed run left at |path|, then opens it to
  // record, behind the records of a run that holds it open. False, logged,
  // when it cannot be opened; nothing is recorded then.
  bool Open(const base::FilePath& path);
  bool is_open() const { return file_.IsValid(); }

  // Writes |record| at the end; false, logged, when it did not reach the
  // file.
  bool Append(const base::Pickle& record);
  // Where the next record goes.
  uint64_t end() const { return end_; }
  // Forgets the records behind |end|.
  void TruncateTo(uint64_t end);
  // Takes back the records that a process started from this one left
  // behind this one's when it was killed.
  void ReplayAbandoned();
  // Forgets this process's records, and deletes the journal unless it
  // continues another process's; for a transaction that has ended.
  void Close();

 private:
  base::win::ScopedHandle file_;
  base::FilePath path_;
  // Whether this process began the journal, rather than continuing the
  // journal of the run that started it.
  bool owner_;
  // Where this process's records begin and end.
  uint64_t start_;
  uint64_t end_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_ROLLBACK_JOURNAL_H_
