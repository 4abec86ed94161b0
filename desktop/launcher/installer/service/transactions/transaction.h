#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_TRANSACTION_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_TRANSACTION_H_

#include <memory>
#include <vector>

#include "desktop/launcher/installer/service/transactions/operation.h"

namespace vexlo {
namespace installer {

// The operations done so far, in the order they completed: each operation
// follows the operations its Do spawned. Rolling back undoes them in the
// reverse order; destroying the transaction commits them.
//
// Operations are destroyed in the reverse order too, whether committed or
// rolled back, so that temporary permission grants stacked on one object
// are taken back in the reverse order they were made and the object ends
// with the access list it started with.
class Transaction {
 public:
  Transaction();
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

  // Destroys every operation without rolling any back.
  void Commit();

  bool empty() const { return operations_.empty(); }

 private:
  void DestroyAll();

  std::vector<std::unique_ptr<Operation>> operations_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_TRANSACTION_H_
