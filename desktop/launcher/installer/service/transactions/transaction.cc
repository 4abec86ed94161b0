#include "desktop/launcher/installer/service/transactions/transaction.h"

#include <iterator>
#include <utility>

#include "base/logging.h"
#include "base/pickle.h"
#include "desktop/launcher/installer/service/transactions/rollback_journal.h"

namespace vexlo {
namespace installer {

Transaction::Transaction() : Transaction(nullptr) {}

Transaction::Transaction(RollbackJournal* journal)
    : journal_(nullptr), journal_start_(0) {
  SetJournal(journal);
}

Transaction::~Transaction() {
  Commit();
}

void Transaction::SetJournal(RollbackJournal* journal) {
  // Leaving a journal is allowed at any time: the operations stay, no
  // longer recorded.
  DCHECK(operations_.empty() || !journal);
  journal_ = journal && journal->is_open() ? journal : nullptr;
  journal_start_ = journal_ ? journal_->end() : 0;
}

bool Transaction::Execute(std::unique_ptr<Operation> operation) {
  Transaction spawned(journal_);
  const bool done = operation->Do(&spawned);
  spawned.Append(std::move(operation));
  if (!done) {
    // The failed operation first, then what it spawned, as if it had
    // completed.
    spawned.RollbackAll();
    return false;
  }
  for (size_t i = 0; i < spawned.operations_.size(); ++i) {
    operations_.push_back(std::move(spawned.operations_[i]));
    journal_ends_.push_back(spawned.journal_ends_[i]);
  }
  spawned.operations_.clear();
  // Their records are this transaction's now, not to be forgotten when the
  // empty list commits.
  spawned.journal_ = nullptr;
  return true;
}

void Transaction::RollbackAll() {
  // An operation's own records follow those of what it spawned: each is
  // cut off as soon as its change is undone.
  for (size_t i = operations_.size(); i-- > 0;) {
    operations_[i]->Rollback();
    if (journal_)
      journal_->TruncateTo(i ? journal_ends_[i - 1] : journal_start_);
  }
  DestroyAll();
}

void Transaction::Commit() {
  if (journal_)
    journal_->TruncateTo(journal_start_);
  DestroyAll();
  operations_.shrink_to_fit();
  journal_ends_.shrink_to_fit();
}

bool Transaction::Record(const base::Pickle& record) {
  return !journal_ || journal_->Append(record);
}

void Transaction::Append(std::unique_ptr<Operation> operation) {
  operations_.push_back(std::move(operation));
  journal_ends_.push_back(journal_ ? journal_->end() : 0);
}

void Transaction::DestroyAll() {
  while (!operations_.empty())
    operations_.pop_back();
  journal_ends_.clear();
}

}  // namespace installer
}  // namespace vexlo
