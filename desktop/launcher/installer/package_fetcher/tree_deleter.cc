#include "desktop/launcher/installer/package_fetcher/tree_deleter.h"

#include <windows.h>

#include <utility>

#include "base/files/file_util.h"

namespace vexlo {
namespace installer {

namespace {

// What a folder is held with: enough to list it, to open what is in it and
// to remove it. Not sharing its deletion keeps it from being renamed.
constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE |
                                      FILE_READ_ATTRIBUTES |
                                      FILE_WRITE_ATTRIBUTES | DELETE;
constexpr ULONG kFolderSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool IsPlainFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

DWORD AttributesOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(handle, &info) ? info.dwFileAttributes
                                                   : INVALID_FILE_ATTRIBUTES;
}

// Whether |handle|, opened by |entry|'s name, opens what the listing
// showed. Where a link's last component is followed in spite of being
// asked not to (under Wine), an entry swapped for a link after the listing
// opens another file.
bool IsListedEntry(HANDLE handle, const FolderEntry& entry) {
  const LONGLONG id = FileIdOf(handle);
  return id == 0 || entry.id == 0 || id == entry.id;
}

}  // namespace

TreeDeleter::TreeDeleter(const base::FilePath& folder) : folder_(folder) {}

TreeDeleter::~TreeDeleter() = default;

bool TreeDeleter::Delete() {
  // A file or a link given itself goes as itself, as base::DeleteFile has it.
  if (!IsPlainFolder(GetFileAttributesW(folder_.value().c_str())))
    return base::DeleteFile(folder_, true);
  base::win::ScopedHandle root(CreateFileW(
      folder_.value().c_str(), kFolderAccess, kFolderSharing, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
      nullptr));
  if (!root.IsValid()) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  // Replaced by a link since it was looked at.
  if (!IsPlainFolder(AttributesOf(root.Get()))) {
    root.Close();
    return base::DeleteFile(folder_, true);
  }
  HoldFolders(&root);
  if (before_deleting_)
    before_deleting_();
  base::win::ScopedHandle threads[kThreads];
  size_t started = 0;
  while (started < kThreads && started < folders_.size() &&
         base::PlatformThread::CreateWithPriority(
             0, this, &threads[started], base::ThreadPriority::kNormal)) {
    ++started;
  }
  // Without a thread of its own the deletion still happens, here.
  if (started == 0)
    ThreadMain();
  for (size_t i = 0; i < started; ++i)
    base::PlatformThread::Join(&threads[i]);
  // Children before their parents; each goes once its handle is closed.
  for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder) {
    if (DeleteWhenClosed(folder->handle.Get()) != 0)
      failed_ = true;
    folder->handle.Close();
  }
  folders_.clear();
  return !failed_ &&
         GetFileAttributesW(folder_.value().c_str()) == INVALID_FILE_ATTRIBUTES;
}

void TreeDeleter::HoldFolders(base::win::ScopedHandle* root) {
  folders_.emplace_back(folder_, root->Take());
  // Grows while it is walked: an index, not an iterator.
  for (size_t i = 0; i < folders_.size(); ++i) {
    std::vector<FolderEntry> entries;
    if (ListFolder(folders_[i].handle.Get(), &entries) != 0) {
      failed_ = true;
      continue;
    }
    for (FolderEntry& entry : entries) {
      if (!IsPlainFolder(entry.attributes)) {
        folders_[i].entries.push_back(std::move(entry));
        continue;
      }
      base::win::ScopedHandle child;
      if (OpenBelow(folders_[i].handle.Get(), entry.name, kFolderAccess,
                    kFolderSharing, FILE_OPEN, FILE_DIRECTORY_FILE,
                    &child) != 0 ||
          !IsPlainFolder(AttributesOf(child.Get())) ||
          !IsListedEntry(child.Get(), entry)) {
        // Changed since it was listed: left alone, and the deletion fails.
        failed_ = true;
        continue;
      }
      folders_.emplace_back(folders_[i].path.Append(entry.name), child.Take());
    }
  }
}

void TreeDeleter::ThreadMain() {
  for (size_t i = next_folder_++; i < folders_.size(); i = next_folder_++) {
    for (const FolderEntry& entry : folders_[i].entries) {
      if (!DeleteEntry(folders_[i], entry))
        failed_ = true;
    }
  }
}

bool TreeDeleter::DeleteEntry(const Folder& folder, const FolderEntry& entry) {
  // By its name in a folder that is held, so that the name stays where it
  // is: the one way to remove a link alone on every platform.
  if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT)
    return base::DeleteFile(folder.path.Append(entry.name), false);
  base::win::ScopedHandle file;
  return OpenBelow(folder.handle.Get(), entry.name,
                   DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                   FILE_OPEN, FILE_NON_DIRECTORY_FILE, &file) == 0 &&
         IsListedEntry(file.Get(), entry) && DeleteWhenClosed(file.Get()) == 0;
}

}  // namespace installer
}  // namespace vexlo
