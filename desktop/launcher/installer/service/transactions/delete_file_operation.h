#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_DELETE_FILE_OPERATION_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_DELETE_FILE_OPERATION_H_

#include <memory>

#include "base/files/file_path.h"
#include "desktop/launcher/installer/service/saved_dacl.h"
#include "desktop/launcher/installer/service/transactions/operation.h"

namespace vexlo {
namespace installer {

// Deletes a file or a folder with its contents. Do only moves it aside to
// "<path>.<seconds since 1970>.old" (with a number before ".old" when that
// name is taken); rolling back moves it back, and only the commit deletes
// it (at the next restart when it cannot be deleted now), wherever later
// operations have moved it meanwhile. A link, the path or one inside it,
// goes as a link; what it points to is never touched. Where a rename would
// move what a link points to rather than the link, Do leaves a link given
// to it in place and fails.
class DeleteFileOperation : public Operation {
 public:
  // With |check_in_use|, an executable or library that is in use (a running
  // program, a loaded module) is left in place and Do fails. With
  // |remove_emptied_parents|, the commit also removes the folders above the
  // path that the deletion left empty.
  DeleteFileOperation(const base::FilePath& path,
                      bool check_in_use,
                      bool remove_emptied_parents);
  DeleteFileOperation(const DeleteFileOperation&) = delete;
  DeleteFileOperation& operator=(const DeleteFileOperation&) = delete;
  ~DeleteFileOperation() override;

  // Without the rights to delete the path, grants them to the current user
  // and fails all the same; rolling back takes the grant back.
  bool Do(Transaction* spawned) override;
  void Rollback() override;

 private:
  // A name beside the path that nothing uses; false when none is found.
  bool ChooseTemporaryPath();
  bool IsImageInUse() const;
  // Moves the path back from the side; a file that cannot be moved back
  // stays aside, under its ".old" name, and is never deleted.
  void MoveBack();
  void Commit();

  const base::FilePath path_;
  const bool check_in_use_;
  const bool remove_emptied_parents_;
  // Watched while the path is aside, so that it follows later renames.
  base::FilePath temporary_path_;
  // Whether the path sits at |temporary_path_|.
  bool moved_aside_;
  bool rolled_back_;
  std::unique_ptr<SavedDacl> saved_dacl_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_DELETE_FILE_OPERATION_H_
