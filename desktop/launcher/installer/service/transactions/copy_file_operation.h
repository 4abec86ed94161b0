#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_COPY_FILE_OPERATION_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_COPY_FILE_OPERATION_H_

#include "base/files/file_path.h"
#include "desktop/launcher/installer/service/transactions/file_transfer_operation.h"

namespace vexlo {
namespace installer {

// Copies a file over any existing destination; the copy is never
// read-only. Rolling back deletes the copy; the old destination then comes
// back through the rollback of what the copy spawned.
class CopyFileOperation : public FileTransferOperation {
 public:
  CopyFileOperation(const base::FilePath& source,
                    const base::FilePath& destination);
  ~CopyFileOperation() override;

 private:
  bool Transfer(Transaction* transaction) override;
  bool UndoTransfer() override;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_COPY_FILE_OPERATION_H_
