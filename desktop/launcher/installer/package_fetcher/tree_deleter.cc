#include "desktop/launcher/installer/package_fetcher/tree_deleter.h"

#include <windows.h>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"

namespace vexlo {
namespace installer {

namespace {

bool IsPlainFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

TreeDeleter::TreeDeleter(const base::FilePath& folder) : folder_(folder) {}

TreeDeleter::~TreeDeleter() = default;

bool TreeDeleter::Delete() {
  if (IsPlainFolder(GetFileAttributesW(folder_.value().c_str()))) {
    folders_.push_back(folder_);
    for (size_t i = 0; i < folders_.size(); ++i) {
      base::FileEnumerator children(folders_[i], false,
                                    base::FileEnumerator::DIRECTORIES);
      for (base::FilePath child = children.Next(); !child.empty();
           child = children.Next()) {
        if (IsPlainFolder(children.GetInfo().find_data().dwFileAttributes))
          folders_.push_back(child);
      }
    }
    base::win::ScopedHandle threads[kThreads];
    size_t started = 0;
    while (started < kThreads && started < folders_.size() &&
           base::PlatformThread::CreateWithPriority(
               0, this, &threads[started], base::ThreadPriority::kNormal)) {
      ++started;
    }
    for (size_t i = 0; i < started; ++i)
      base::PlatformThread::Join(&threads[i]);
  }
  // What is left: the folders themselves, links, and whatever a thread
  // could not delete, which fails here as it would have without threads.
  return base::DeleteFile(folder_, true);
}

void TreeDeleter::ThreadMain() {
  for (size_t i = next_folder_++; i < folders_.size(); i = next_folder_++) {
    // The files and file links of that folder alone; its folders and folder
    // links stay for the last walk.
    base::DeleteFile(folders_[i].Append(L"*"), false);
  }
}

}  // namespace installer
}  // namespace vexlo
