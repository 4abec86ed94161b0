#include "desktop/launcher/installer/service/transactions/file_transfer_operation.h"

#include <memory>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "desktop/launcher/installer/service/transactions/create_folder_operation.h"
#include "desktop/launcher/installer/service/transactions/delete_file_operation.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"

namespace vexlo {
namespace installer {

namespace {

// The failures that preparing the destination can mend.
bool IsMissingFolderOrTakenName(DWORD error) {
  return error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_EXISTS ||
         error == ERROR_ALREADY_EXISTS;
}

}  // namespace

FileTransferOperation::FileTransferOperation(const base::FilePath& source,
                                             const base::FilePath& destination)
    : source_(source),
      destination_(destination),
      done_(false),
      changed_source_attributes_(INVALID_FILE_ATTRIBUTES) {}

FileTransferOperation::~FileTransferOperation() = default;

bool FileTransferOperation::Do(Transaction* spawned) {
  if (!TransferToNewName(spawned) && !TransferAfterPreparing(spawned)) {
    LOG(ERROR) << "File copy failed";
    return false;
  }
  VLOG(1) << "File copied successfully";
  done_ = true;
  return true;
}

void FileTransferOperation::Rollback() {
  // A source that is not back is not the source's to change.
  if (done_ && !UndoTransfer())
    return;
  if (changed_source_attributes_ != INVALID_FILE_ATTRIBUTES &&
      !::SetFileAttributesW(source_.value().c_str(),
                            changed_source_attributes_)) {
    PLOG(ERROR) << "Couldn't restore the attributes of " << source_.AsUTF8();
  }
}

bool FileTransferOperation::TransferToNewName(Transaction* spawned) {
  // Most destinations are new names in folders that are there: the
  // transfer, which never replaces anything, settles those at once, where
  // asking after the folder and the name first would cost a scan of the
  // folder per missing name under Wine. A read-only source (or one whose
  // attributes cannot be read) takes the prepared way, which changes it
  // only once the destination is ready, and so does a transfer onto the
  // source itself, which a rename would let pass as done.
  const DWORD attributes = ::GetFileAttributesW(source_.value().c_str());
  if ((attributes & FILE_ATTRIBUTE_READONLY) ||
      base::FilePath::CompareIgnoreCase(source_.value(),
                                        destination_.value()) == 0) {
    ::SetLastError(ERROR_FILE_EXISTS);
    return false;
  }
  return Transfer(spawned);
}

bool FileTransferOperation::TransferAfterPreparing(Transaction* spawned) {
  if (!IsMissingFolderOrTakenName(::GetLastError()))
    return false;
  if (!PrepareDestination(spawned))
    return false;
  ClearSourceReadOnly();
  return Transfer(spawned);
}

bool FileTransferOperation::PrepareDestination(Transaction* spawned) {
  const base::FilePath folder = destination_.DirName();
  if (!base::DirectoryExists(folder))
    return spawned->Execute(std::make_unique<CreateFolderOperation>(folder));
  if (base::PathExists(destination_)) {
    return spawned->Execute(
        std::make_unique<DeleteFileOperation>(destination_, false, false));
  }
  return true;
}

void FileTransferOperation::ClearSourceReadOnly() {
  // An attribute query that fails counts as read-only: clearing is tried
  // and fails alike.
  const DWORD attributes = ::GetFileAttributesW(source_.value().c_str());
  if (!(attributes & FILE_ATTRIBUTE_READONLY))
    return;
  if (!::SetFileAttributesW(source_.value().c_str(),
                            attributes & ~FILE_ATTRIBUTE_READONLY)) {
    LOG(ERROR) << "Couldn't clear RO attribute of " << source_.AsUTF8();
    return;
  }
  changed_source_attributes_ = attributes;
}

}  // namespace installer
}  // namespace vexlo
