#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_

#include "base/files/file_path.h"
#include "desktop/launcher/installer/service/transactions/operation.h"

namespace vexlo {
namespace installer {

// Creates a folder and whatever folders above it are missing; rolling back
// removes those that are still empty, from the bottom up.
class CreateFolderOperation : public Operation {
 public:
  explicit CreateFolderOperation(const base::FilePath& path);
  CreateFolderOperation(const CreateFolderOperation&) = delete;
  CreateFolderOperation& operator=(const CreateFolderOperation&) = delete;
  ~CreateFolderOperation() override;

  bool Do(Transaction* spawned) override;
  void Rollback() override;

  // Removes the folders from |path| up to, not including, |ancestor| while
  // they are empty, from the bottom up.
  static void RemoveCreatedFolders(const base::FilePath& path,
                                   const base::FilePath& ancestor);

 private:
  const base::FilePath path_;
  // The nearest folder above |path_| that existed; empty until Do creates
  // anything.
  base::FilePath ancestor_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_
