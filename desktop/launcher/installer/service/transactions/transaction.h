#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_TRANSACTION_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_TRANSACTION_H_

#include <stdint.h>

#include <memory>
#include <vector>

#include "desktop/launcher/installer/service/transactions/operation.h"

namespace base {
class Pickle;
}

namespace vexlo {
namespace installer {

class RollbackJournal;

// The operations done so far, in the order they completed: each operation
// follows the operations its Do spawned. Rolling back undoes them in the
// reverse order; destroying the transaction commits them.
//
// Operations are destroyed in the reverse order too, whether committed or
// rolled back, so that temporary permission grants stacked on one object
// are taken back in the reverse order they were made and the object ends
// with the access list it started with.
//
// With a journal, the operations record each change in it before making
// it, and the transaction cuts the records of every change it takes back
// off the journal, so that the journal always holds what is done.
class Transaction {
 public:
  Transaction();
  // Records into |journal|, which must outlive the transaction, from its
  // current end on.
  explicit Transaction(RollbackJournal* journal);
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  // Commits.
  ~Transaction();

  // Does |operation|. On success it joins the list after what it spawned;
  // on failure it and what it spawned are rolled back and destroyed, and the
  // list stays as it was. Returns the result of Do.
  bool Execute(std::unique_ptr<Operation> operation);

  // Rolls every operation back, last first, and destroys them. The
  // transaction can be used again afterwards.
  void RollbackAll();

  // Destroys every operation without rolling any back. The journal's
  // records of them are forgotten first: a process killed while committing
  // keeps its changes.
  void Commit();

  // Records into |journal| (none when null) from now on; a journal can only
  // be joined while the transaction is empty.
  void SetJournal(RollbackJournal* journal);

  // For operations: writes |record| to the journal; true when it is there,
  // or when there is no journal.
  bool Record(const base::Pickle& record);
  bool journaled() const { return journal_ != nullptr; }

  bool empty() const { return operations_.empty(); }

 private:
  void Append(std::unique_ptr<Operation> operation);
  void DestroyAll();

  RollbackJournal* journal_;
  // Where the journal ended when the transaction began.
  uint64_t journal_start_;
  std::vector<std::unique_ptr<Operation>> operations_;
  // Where the journal ended once each operation was done.
  std::vector<uint64_t> journal_ends_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_TRANSACTION_H_
