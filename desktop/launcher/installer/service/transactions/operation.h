#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_OPERATION_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_OPERATION_H_

namespace vexlo {
namespace installer {

class Transaction;

// One reversible change to the machine, made through a Transaction.
// Do makes the change, Rollback undoes it, and destroying the operation
// keeps it: whatever must be finished only once the change is certain
// (really deleting a file that Do only moved aside), or put back in any
// case (permissions loosened for the change), happens in the destructor.
// Rollback follows every Do, successful or not, so an operation records
// what it completed and undoes exactly that.
class Operation {
 public:
  virtual ~Operation() = default;

  // Makes the change. Preparations that are changes of their own (a missing
  // parent folder or key created, an existing destination moved aside) are
  // executed as operations into |spawned|, an empty transaction of the
  // caller's. True when the change is made.
  virtual bool Do(Transaction* spawned) = 0;

  virtual void Rollback() = 0;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_OPERATION_H_
