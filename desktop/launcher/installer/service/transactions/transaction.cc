#include "desktop/launcher/installer/service/transactions/transaction.h"

#include <iterator>
#include <utility>

namespace vexlo {
namespace installer {

Transaction::Transaction() = default;

Transaction::~Transaction() {
  Commit();
}

bool Transaction::Execute(std::unique_ptr<Operation> operation) {
  Transaction spawned;
  const bool done = operation->Do(&spawned);
  spawned.operations_.push_back(std::move(operation));
  if (!done) {
    // The failed operation first, then what it spawned, as if it had
    // completed.
    spawned.RollbackAll();
    return false;
  }
  operations_.insert(operations_.end(),
                     std::make_move_iterator(spawned.operations_.begin()),
                     std::make_move_iterator(spawned.operations_.end()));
  return true;
}

void Transaction::RollbackAll() {
  for (auto it = operations_.rbegin(); it != operations_.rend(); ++it)
    (*it)->Rollback();
  DestroyAll();
}

void Transaction::Commit() {
  DestroyAll();
  operations_.shrink_to_fit();
}

void Transaction::DestroyAll() {
  while (!operations_.empty())
    operations_.pop_back();
}

}  // namespace installer
}  // namespace vexlo
