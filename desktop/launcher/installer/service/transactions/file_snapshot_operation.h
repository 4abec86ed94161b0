#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_FILE_SNAPSHOT_OPERATION_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_FILE_SNAPSHOT_OPERATION_H_

#include <string>

#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "base/sequenced_task_runner.h"
#include "desktop/launcher/installer/service/transactions/operation.h"

namespace vexlo {
namespace installer {

// Keeps what a file holds (or that there is none) for a file that a writer
// on another sequence changes outside the transaction. Rolling back first
// lets that sequence finish the writes already posted to it, then puts the
// file back as it was: the kept bytes, or no file. Committing keeps the
// file as the writer left it.
class FileSnapshotOperation : public Operation {
 public:
  FileSnapshotOperation(const base::FilePath& path,
                        base::scoped_refptr<base::SequencedTaskRunner> writer);
  FileSnapshotOperation(const FileSnapshotOperation&) = delete;
  FileSnapshotOperation& operator=(const FileSnapshotOperation&) = delete;
  ~FileSnapshotOperation() override;

  // Fails when the file exists but cannot be read.
  bool Do(Transaction* spawned) override;
  void Rollback() override;

 private:
  // Returns once every task posted to the writer so far has run.
  void WaitForWriter();

  const base::FilePath path_;
  const base::scoped_refptr<base::SequencedTaskRunner> writer_;
  bool taken_;
  bool existed_;
  std::string content_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_FILE_SNAPSHOT_OPERATION_H_
