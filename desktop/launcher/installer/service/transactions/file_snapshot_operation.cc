#include "desktop/launcher/installer/service/transactions/file_snapshot_operation.h"

#include <utility>

#include "base/bind.h"
#include "base/files/file_util.h"
#include "base/files/important_file_writer.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/synchronization/waitable_event.h"
#include "desktop/launcher/installer/service/transactions/rollback_record.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"

namespace vexlo {
namespace installer {

FileSnapshotOperation::FileSnapshotOperation(
    const base::FilePath& path,
    base::scoped_refptr<base::SequencedTaskRunner> writer)
    : path_(path), writer_(std::move(writer)), taken_(false), existed_(false) {}

FileSnapshotOperation::~FileSnapshotOperation() = default;

bool FileSnapshotOperation::Do(Transaction* spawned) {
  existed_ = base::PathExists(path_);
  if (existed_ && !base::ReadFileToString(path_, &content_)) {
    LOG(ERROR) << "Could not keep the content of " << path_.AsUTF8();
    return false;
  }
  if (!spawned->Record(
          RollbackRecord::FileContent(path_, existed_, content_))) {
    return false;
  }
  taken_ = true;
  return true;
}

void FileSnapshotOperation::Rollback() {
  if (!taken_)
    return;
  WaitForWriter();
  const bool restored =
      existed_ ? base::ImportantFileWriter::WriteFileAtomically(path_, content_)
               : base::DeleteFile(path_, false);
  if (!restored)
    LOG(ERROR) << "Could not put back " << path_.AsUTF8();
}

void FileSnapshotOperation::WaitForWriter() {
  base::WaitableEvent done(true, false);
  // A writer that takes no more tasks has run all it was given.
  if (writer_->PostTask(LOCATION_FROM_HERE("FileSnapshotOperation"),
                        base::Bind(&base::WaitableEvent::Signal, &done))) {
    done.Wait();
  }
}

}  // namespace installer
}  // namespace vexlo
