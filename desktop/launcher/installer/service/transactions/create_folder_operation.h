#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_

#include "base/files/file_path.h"
#include "desktop/launcher/installer/service/transactions/operation.h"

namespace vexlo {
namespace installer {

// Creates a folder and whatever folders above it are missing; rolling back
// removes those that are still empty, from the bottom up.
//
// The run writes some files behind, through the atomic writer, which makes
// a temporary file beside the file and renames it over the file. A process
// killed between the two leaves that temporary file, which nothing else
// names. In a folder that the run created it can only be the run's: it goes
// with the folder.
class CreateFolderOperation : public Operation {
 public:
  explicit CreateFolderOperation(const base::FilePath& path);
  CreateFolderOperation(const CreateFolderOperation&) = delete;
  CreateFolderOperation& operator=(const CreateFolderOperation&) = delete;
  ~CreateFolderOperation() override;

  bool Do(Transaction* spawned) override;
  void Rollback() override;

  // Removes the folders from |path| up to, not including, |ancestor| while
  // they are empty, from the bottom up, once the temporary files of writes
  // cut short are gone from them.
  static void RemoveCreatedFolders(const base::FilePath& path,
                                   const base::FilePath& ancestor);

  // Deletes from |folder| the temporary files of writes cut short.
  static void RemoveUnfinishedWrites(const base::FilePath& folder);

 private:
  const base::FilePath path_;
  // The nearest folder above |path_| that existed; empty until Do creates
  // anything.
  base::FilePath ancestor_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_
