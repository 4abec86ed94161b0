#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_ROLLBACK_JOURNAL_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_ROLLBACK_JOURNAL_H_

#include <windows.h>

#include <stdint.h>

#include <memory>
#include <vector>

#include "base/files/file_path.h"
#include "base/pickle.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/service/transactions/rollback_scope.h"

namespace vexlo {
namespace installer {

class RollbackLeftovers;
class RollbackPending;

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
// A run of the installer may start another one for the same folder and
// wait for it. One started to wait for the package runs as the same user:
// it finds the journal held open and continues it behind the records of the
// first. One started elevated keeps its journal in the machine's folder of
// administrators' journals, never in its starter's: it begins a journal of
// its own there, which the next administrator's run for the folder replays
// when it was killed; its starter finds nothing of it behind its own
// records. A journal that nobody holds open is one that a killed run left.
// That folder goes with its last journal; an administrator's run that finds
// it made by someone else sets it aside, unread, and makes its own.
//
// A file that the killed run made and that a process still runs or holds
// cannot be deleted: what waits for it is kept in a leftover journal beside
// the journal, which a batch, or the next replay, finishes once it is free.
class RollbackJournal {
 public:
  RollbackJournal();
  RollbackJournal(const RollbackJournal&) = delete;
  RollbackJournal& operator=(const RollbackJournal&) = delete;
  // Closes the file but keeps the records: a process that ends without
  // Close leaves them for replay.
  ~RollbackJournal();

  // The journal of the installations into |folder|: in the user's
  // temporary folder, or, for an administrator's run, in the machine's
  // folder of journals; empty when there is none. Named by the folder as
  // the file system resolves it, so every spelling of one folder finds the
  // same journal. A journal that an earlier build named by the folder's
  // text as given is moved to this name first, unless one is there.
  static base::FilePath PathFor(const base::FilePath& folder);

  // Takes back what the journal at |path| holds and deletes it, or keeps
  // it aside, untouched, when it holds anything outside |scope| or more
  // records than any run writes, or when others than administrators could
  // have written it for an administrator's run. True when nothing is left of it
  // at |path|; false, leaving it, while a process holds it open or when it
  // cannot be read. The leftover journals of earlier take-backs are taken
  // back next, as far as their files are free now, unless a run holds the
  // journal.
  static bool Replay(const base::FilePath& path, const RollbackScope& scope);

  // Whether take-backs of the journal at |path| left anything to finish.
  static bool HasLeftovers(const base::FilePath& path);
  // Adds what take-backs of the journal at |path| left to finish to
  // |leftovers|, where its files are now, and the leftover journals that
  // keep it, with their batches, to |files|; those that |scope| does not
  // hold are passed over.
  static void FindLeftovers(const base::FilePath& path,
                            const RollbackScope& scope,
                            RollbackLeftovers* leftovers,
                            std::vector<base::FilePath>* files);

  // Makes each rename back that take-backs of the journal at |path| keep,
  // and that |scope| holds, the deletion of the file set aside, by its
  // identity: for an uninstallation, whose batch deletes those files, so
  // that no take-back puts one back meanwhile.
  static void ForgoRenamesBack(const base::FilePath& path,
                               const RollbackScope& scope);

  // Where a test ends a take-back, as a kill there would: once the records
  // of a journal are cut (each once what its undoing kept is written), once
  // a leftover journal is replaced by what is left of it and before it is
  // deleted, and once a batch is written and before it is started.
  enum class StopPoint { kNone, kRecordsCut, kLeftoverReplaced, kBatchWritten };
  static void SetStopPointForTesting(StopPoint point);

  // Whether the file or folder that |descriptor| protects is owned and
  // writable by none but administrators, the system and this process's
  // user.
  static bool OnlyAdministratorsWrite(PSECURITY_DESCRIPTOR descriptor);

  // Reads the owner and access list of the journal open as |file| or, when
  // |file| is null, of the folder |path|, into |descriptor|, which the
  // caller frees with LocalFree; a Windows error code, ERROR_SUCCESS on
  // success.
  using SecurityReader = DWORD (*)(HANDLE file,
                                   const base::FilePath& path,
                                   PSECURITY_DESCRIPTOR* descriptor);
  // Makes |reader| the one that an administrator's run asks (null: the
  // system's again): the test platform keeps no owner of a file.
  static void SetSecurityReaderForTesting(SecurityReader reader);

  // Replays a journal that a killed run left at |path|, then opens it to
  // record, behind the records of a run that holds it open. False, logged,
  // when it cannot be opened; nothing is recorded then.
  bool Open(const base::FilePath& path, const RollbackScope& scope);
  bool is_open() const { return file_.IsValid(); }

  // Writes |record| at the end; false, logged, when it did not reach the
  // file.
  bool Append(const base::Pickle& record);
  // Where the next record goes.
  uint64_t end() const { return end_; }
  // Forgets the records behind |end|.
  void TruncateTo(uint64_t end);
  // Takes back the records that a process started from this one left
  // behind this one's when it was killed; keeps them aside instead when any
  // is outside the scope, or when they are more than any run writes. True
  // when that process left anything there (or the journal cannot be read):
  // it did not reach its end, whatever exit code the system gives it.
  bool ReplayAbandoned();
  // Forgets this process's records, and deletes the journal unless it
  // continues another process's; for a transaction that has ended.
  void Close();
  // Close for a run that succeeded. A run that starts another for the same
  // folder succeeds exactly when the other does, so when the run whose
  // journal this one continued was killed meanwhile, its records are part
  // of the success too: the journal goes with them, once nobody holds it.
  void Commit();

 private:
  // Replay, for the journal alone, as part of a take-back that |pending|
  // tells of; |held| tells whether it stays because a run holds it.
  static bool ReplayJournal(const base::FilePath& path,
                            const RollbackScope& scope,
                            RollbackPending* pending,
                            bool* held);

  base::win::ScopedHandle file_;
  base::FilePath path_;
  std::unique_ptr<RollbackScope> scope_;
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
