#include "desktop/launcher/installer/service/transactions/create_folder_operation.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "desktop/launcher/installer/service/transactions/rollback_record.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"

namespace vexlo {
namespace installer {

CreateFolderOperation::CreateFolderOperation(const base::FilePath& path)
    : path_(path) {}

CreateFolderOperation::~CreateFolderOperation() = default;

bool CreateFolderOperation::Do(Transaction* spawned) {
  VLOG(1) << "Attempting to create folder " << path_.AsUTF8();
  if (base::DirectoryExists(path_)) {
    VLOG(1) << "Folder already exists";
    return true;
  }
  base::FilePath current = path_;
  base::FilePath parent = current.DirName();
  while (!base::DirectoryExists(parent) && parent != current) {
    current = parent;
    parent = current.DirName();
  }
  if (!base::DirectoryExists(parent)) {
    LOG(ERROR) << "Failed folder creation";
    return false;
  }
  VLOG(1) << "Valid ancestor";
  // Recorded before creating: a creation that fails half way has made
  // folders too.
  if (!spawned->Record(RollbackRecord::CreatedFolders(path_, parent)))
    return false;
  ancestor_ = parent;
  if (!base::CreateDirectory(path_)) {
    LOG(ERROR) << "Failed folder creation";
    return false;
  }
  VLOG(1) << "Folder created successfully";
  return true;
}

void CreateFolderOperation::Rollback() {
  if (!ancestor_.empty())
    RemoveCreatedFolders(path_, ancestor_);
}

// static
void CreateFolderOperation::RemoveCreatedFolders(
    const base::FilePath& path,
    const base::FilePath& ancestor) {
  std::vector<base::FilePath> folders;
  for (base::FilePath folder = path; folder != ancestor;) {
    folders.push_back(folder);
    const base::FilePath parent = folder.DirName();
    if (parent == folder)
      break;
    folder = parent;
  }
  // What a link leads to is not the run's, whatever it holds.
  const bool through_link = std::any_of(
      folders.begin(), folders.end(),
      [](const base::FilePath& folder) { return base::IsLink(folder); });
  // Only empty folders go: a folder that something else filled meanwhile
  // stays, with everything above it. The levels that a creation failing
  // half way never made are passed over.
  for (const base::FilePath& folder : folders) {
    if (!through_link)
      RemoveUnfinishedWrites(folder);
    if (base::DirectoryExists(folder) &&
        !::RemoveDirectoryW(folder.value().c_str())) {
      break;
    }
  }
}

// static
void CreateFolderOperation::RemoveUnfinishedWrites(
    const base::FilePath& folder) {
  base::FileEnumerator files(folder, false, base::FileEnumerator::FILES);
  for (base::FilePath file = files.Next(); !file.empty(); file = files.Next()) {
    if (base::IsTemporaryFileName(file.BaseName().value()) &&
        !base::DeleteFile(file, false)) {
      PLOG(ERROR) << "Could not delete " << file.AsUTF8();
    }
  }
}

}  // namespace installer
}  // namespace vexlo
