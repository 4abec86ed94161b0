#include "desktop/launcher/installer/service/transactions/copy_file_operation.h"

#include "base/files/file_util.h"
#include "base/logging.h"

namespace vexlo {
namespace installer {

CopyFileOperation::CopyFileOperation(const base::FilePath& source,
                                     const base::FilePath& destination)
    : FileTransferOperation(source, destination) {}

CopyFileOperation::~CopyFileOperation() = default;

bool CopyFileOperation::Transfer() {
  VLOG(1) << "Copying " << source().AsUTF8() << " to "
          << destination().AsUTF8();
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
