#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_FILE_TRANSFER_OPERATION_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_FILE_TRANSFER_OPERATION_H_

#include <windows.h>

#include "base/files/file_path.h"
#include "desktop/launcher/installer/service/transactions/operation.h"

namespace vexlo {
namespace installer {

// What moving and copying a file share: the destination's folder is created
// when missing and an existing destination is moved aside before the
// transfer (both as spawned operations, so that rolling back puts the old
// destination back),
// and a read-only source loses that attribute for the transfer and gets it
// back on rollback.
class FileTransferOperation : public Operation {
 public:
  FileTransferOperation(const FileTransferOperation&) = delete;
  FileTransferOperation& operator=(const FileTransferOperation&) = delete;
  ~FileTransferOperation() override;

  bool Do(Transaction* spawned) final;
  void Rollback() final;

 protected:
  FileTransferOperation(const base::FilePath& source,
                        const base::FilePath& destination);

  const base::FilePath& source() const { return source_; }
  const base::FilePath& destination() const { return destination_; }

 private:
  // Puts the source's content at the destination, recording the change in
  // |transaction|'s journal; true on success. It never replaces an
  // existing destination: it fails with ERROR_FILE_EXISTS or
  // ERROR_ALREADY_EXISTS then, and with ERROR_PATH_NOT_FOUND when the
  // destination's folder is missing.
  virtual bool Transfer(Transaction* transaction) = 0;
  // Undoes a successful Transfer; false when the source could not be put
  // back.
  virtual bool UndoTransfer() = 0;

  // The transfer alone, for a source that is not read-only; false (with
  // the transfer's error) when it did not happen.
  bool TransferToNewName(Transaction* spawned);
  // After a first try failed for a missing folder or a taken name: makes
  // the folder or moves the destination aside, then transfers.
  bool TransferAfterPreparing(Transaction* spawned);
  bool PrepareDestination(Transaction* spawned);
  void ClearSourceReadOnly();

  const base::FilePath source_;
  const base::FilePath destination_;
  bool done_;
  // The source's attributes before the read-only one was cleared;
  // INVALID_FILE_ATTRIBUTES when nothing was changed.
  DWORD changed_source_attributes_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_FILE_TRANSFER_OPERATION_H_
