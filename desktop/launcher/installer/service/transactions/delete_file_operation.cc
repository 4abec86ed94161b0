#include "desktop/launcher/installer/service/transactions/delete_file_operation.h"

#include <windows.h>

#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "desktop/launcher/installer/service/transactions/rollback_record.h"
#include "desktop/launcher/installer/service/transactions/set_aside_paths.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"

namespace vexlo {
namespace installer {

namespace {

// FILE_GENERIC_WRITE | DELETE.
constexpr ACCESS_MASK kDeleteAccess = 0x130116;

// What cannot be deleted now goes at the next start. The system deletes a
// folder then only once it is empty, so whatever is left inside is
// scheduled before it: the walk reports each folder before what it holds,
// and the schedule takes them in the opposite order. A link goes as a
// link: the walk never enters it, as what it points to is not the
// set-aside folder's.
void DeleteAtReboot(const base::FilePath& path) {
  std::vector<base::FilePath> entries = {path};
  if (base::DirectoryExists(path) && !base::IsLink(path)) {
    base::FileEnumerator walk(
        path, true,
        base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
    for (base::FilePath entry = walk.Next(); !entry.empty();
         entry = walk.Next()) {
      entries.push_back(entry);
    }
  }
  for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
    if (!base::DeleteFileAfterReboot(*entry))
      PLOG(ERROR) << "Failed to schedule the removal of " << entry->AsUTF8();
  }
}

bool IsImage(const base::FilePath& path) {
  return base::EndsWith16(path.value(), L".exe",
                          base::CompareCase::INSENSITIVE_ASCII) ||
         base::EndsWith16(path.value(), L".dll",
                          base::CompareCase::INSENSITIVE_ASCII);
}

}  // namespace

DeleteFileOperation::DeleteFileOperation(const base::FilePath& path,
                                         bool check_in_use,
                                         bool remove_emptied_parents)
    : path_(path),
      check_in_use_(check_in_use),
      remove_emptied_parents_(remove_emptied_parents),
      moved_aside_(false),
      rolled_back_(false) {}

DeleteFileOperation::~DeleteFileOperation() {
  if (moved_aside_ && !rolled_back_)
    Commit();
  SetAsidePaths::Forget(&temporary_path_);
  if (saved_dacl_)
    RestoreSavedDacl(&saved_dacl_);
}

bool DeleteFileOperation::Do(Transaction* spawned) {
  VLOG(1) << "Preparing file " << path_.AsUTF8() << " for removal";
  if (!base::PathExists(path_)) {
    VLOG(1) << "File does not exist. Nothing to do";
    return true;
  }
  if (base::IsLink(path_) && !base::RenamesMoveLinks()) {
    // Setting it aside would move what it points to, which is not ours.
    LOG(ERROR) << "Cannot set the link " << path_.AsUTF8()
               << " aside on this system";
    return false;
  }
  if (!ChooseTemporaryPath()) {
    LOG(ERROR) << "Temporary file with name" << temporary_path_.AsUTF8()
               << "already exists";
    return false;
  }
  if (!CurrentUserHasAccess(path_.value(), SE_FILE_OBJECT, kDeleteAccess)) {
    if (!GrantCurrentUserAccess(path_.value(), SE_FILE_OBJECT, kDeleteAccess,
                                false, &saved_dacl_)) {
      LOG(ERROR) << "Cannot obtain proper permissions on the file";
    }
    return false;
  }
  if (!spawned->Record(RollbackRecord::Renamed(path_, temporary_path_)))
    return false;
  // Never over anything: the name was free a moment ago.
  if (!SetAsidePaths::Rename(path_, temporary_path_, 0)) {
    PLOG(ERROR) << "File removal failed";
    return false;
  }
  moved_aside_ = true;
  SetAsidePaths::Watch(&temporary_path_);
  VLOG(1) << "File moved successfully to " << temporary_path_.AsUTF8();
  if (check_in_use_ && IsImage(path_) && IsImageInUse()) {
    // The rollback that follows a failed Do moves it back.
    PLOG(ERROR) << "Attempt to open the file for writing failed";
    LOG(ERROR) << "File removal failed";
    return false;
  }
  return true;
}

void DeleteFileOperation::Rollback() {
  rolled_back_ = true;
  if (moved_aside_)
    MoveBack();
  if (saved_dacl_)
    RestoreSavedDacl(&saved_dacl_);
}

bool DeleteFileOperation::ChooseTemporaryPath() {
  temporary_path_ = SetAsidePaths::FreeName(path_);
  return !temporary_path_.empty();
}

bool DeleteFileOperation::IsImageInUse() const {
  // A running program or a loaded module can be renamed but not opened for
  // writing.
  base::win::ScopedHandle file(::CreateFileW(
      temporary_path_.value().c_str(), GENERIC_WRITE, FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return !file.IsValid();
}

void DeleteFileOperation::MoveBack() {
  // Never over what now stands at the path: what is aside stays there.
  if (!SetAsidePaths::Rename(temporary_path_, path_, 0)) {
    PLOG(ERROR) << "Failed to move " << temporary_path_.AsUTF8() << " back to "
                << path_.AsUTF8();
    return;
  }
  moved_aside_ = false;
}

void DeleteFileOperation::Commit() {
  VLOG(1) << "Actual removal of " << temporary_path_.AsUTF8();
  if (!base::DeleteFile(temporary_path_, true))
    DeleteAtReboot(temporary_path_);
  if (!remove_emptied_parents_)
    return;
  // A link above is no emptied folder of ours: on some systems its removal
  // would take the folder it points to.
  for (base::FilePath folder = path_.DirName();
       !base::IsLink(folder) && ::RemoveDirectoryW(folder.value().c_str());
       folder = folder.DirName()) {
  }
}

}  // namespace installer
}  // namespace vexlo
