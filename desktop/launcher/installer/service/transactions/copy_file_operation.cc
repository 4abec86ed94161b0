#include "desktop/launcher/installer/service/transactions/copy_file_operation.h"

#include <windows.h>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "desktop/launcher/installer/service/transactions/rollback_record.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"

namespace vexlo {
namespace installer {

CopyFileOperation::CopyFileOperation(const base::FilePath& source,
                                     const base::FilePath& destination)
    : FileTransferOperation(source, destination) {}

CopyFileOperation::~CopyFileOperation() = default;

bool CopyFileOperation::Transfer(Transaction* transaction) {
  VLOG(1) << "Copying " << source().AsUTF8() << " to "
          << destination().AsUTF8();
  if (transaction->journaled()) {
    // Recorded before the copy begins, so that a copy cut short is in the
    // journal too; and only for a free name, so that the journal never
    // names a file that was there before.
    if (base::PathExists(destination())) {
      ::SetLastError(ERROR_FILE_EXISTS);
      return false;
    }
    if (!transaction->Record(RollbackRecord::CreatedFile(destination())))
      return false;
  }
  return base::CopyFileWithoutReplacing(source(), destination());
}

bool CopyFileOperation::UndoTransfer() {
  if (!base::DeleteFile(destination(), false)) {
    PLOG(ERROR) << "Failed to delete the copy " << destination().AsUTF8();
  }
  // The source was never moved.
  return true;
}

}  // namespace installer
}  // namespace vexlo
