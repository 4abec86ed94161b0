#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_MOVE_FILE_OPERATION_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_MOVE_FILE_OPERATION_H_

#include "base/files/file_path.h"
#include "desktop/launcher/installer/service/transactions/file_transfer_operation.h"

namespace vexlo {
namespace installer {

// Moves a file (or folder) over any existing destination, across volumes
// too. Rolling back moves it back to the source; the old destination then
// comes back through the rollback of what the move spawned.
class MoveFileOperation : public FileTransferOperation {
 public:
  MoveFileOperation(const base::FilePath& source,
                    const base::FilePath& destination);
  ~MoveFileOperation() override;

 private:
  bool Transfer(Transaction* transaction) override;
  bool UndoTransfer() override;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_MOVE_FILE_OPERATION_H_
