#include "desktop/launcher/installer/service/transactions/move_file_operation.h"

#include <windows.h>

#include "base/logging.h"
#include "desktop/launcher/installer/service/transactions/rollback_record.h"
#include "desktop/launcher/installer/service/transactions/set_aside_paths.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"

namespace vexlo {
namespace installer {

MoveFileOperation::MoveFileOperation(const base::FilePath& source,
                                     const base::FilePath& destination)
    : FileTransferOperation(source, destination) {}

MoveFileOperation::~MoveFileOperation() = default;

bool MoveFileOperation::Transfer(Transaction* transaction) {
  VLOG(1) << "Moving " << source().AsUTF8() << "to" << destination().AsUTF8();
  // One rename (a copy and a deletion for a file on another volume), never
  // over anything: the destination was moved aside. A folder that cannot be
  // renamed is not moved at all, as copying it and then deleting the source
  // could fail half way and leave its files in neither place. The record of
  // a try that fails stays: replaying it finds the source still in place
  // and moves nothing.
  return transaction->Record(
             RollbackRecord::Renamed(source(), destination())) &&
         SetAsidePaths::Rename(source(), destination(), MOVEFILE_COPY_ALLOWED);
}

bool MoveFileOperation::UndoTransfer() {
  if (!SetAsidePaths::Rename(destination(), source(), MOVEFILE_COPY_ALLOWED)) {
    PLOG(ERROR) << "Failed to move " << destination().AsUTF8() << " back to "
                << source().AsUTF8();
    return false;
  }
  return true;
}

}  // namespace installer
}  // namespace vexlo
