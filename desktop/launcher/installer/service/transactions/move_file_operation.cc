#include "desktop/launcher/installer/service/transactions/move_file_operation.h"

#include "base/files/file_util.h"
#include "base/logging.h"

namespace vexlo {
namespace installer {

MoveFileOperation::MoveFileOperation(const base::FilePath& source,
                                     const base::FilePath& destination)
    : FileTransferOperation(source, destination) {}

MoveFileOperation::~MoveFileOperation() = default;

bool MoveFileOperation::Transfer() {
  VLOG(1) << "Moving " << source().AsUTF8() << "to" << destination().AsUTF8();
  return base::Move(source(), destination());
}

void MoveFileOperation::UndoTransfer() {
  if (!base::Move(destination(), source())) {
    PLOG(ERROR) << "Failed to move " << destination().AsUTF8() << " back to "
                << source().AsUTF8();
  }
}

}  // namespace installer
}  // namespace vexlo
