#include "desktop/launcher/installer/service/transactions/rollback_leftovers.h"

#include <windows.h>

#include <algorithm>

#include "base/logging.h"
#include "desktop/launcher/installer/service/transactions/rollback_record.h"
#include "desktop/launcher/installer/service/transactions/set_aside_paths.h"

namespace vexlo {
namespace installer {

namespace {

bool SamePath(const base::FilePath& a, const base::FilePath& b) {
  return base::FilePath::CompareIgnoreCase(a.value(), b.value()) == 0;
}

// The highest of the folders from |path| up to, not including, |ancestor|.
base::FilePath TopmostFolder(const base::FilePath& path,
                             const base::FilePath& ancestor) {
  base::FilePath folder = path;
  for (base::FilePath parent = folder.DirName();
       parent != ancestor && parent != folder; parent = folder.DirName()) {
    folder = parent;
  }
  return folder;
}

}  // namespace

RollbackLeftovers::RollbackLeftovers(bool free_names)
    : free_names_(free_names) {}

RollbackLeftovers::~RollbackLeftovers() = default;

void RollbackLeftovers::AddFile(const base::FilePath& path) {
  changes_.push_back({Kind::kFile, path, base::FilePath()});
}

void RollbackLeftovers::AddRenameBack(const base::FilePath& from,
                                      const base::FilePath& to) {
  changes_.push_back({Kind::kRenameBack, from, to});
}

void RollbackLeftovers::AddFolders(const base::FilePath& path,
                                   const base::FilePath& ancestor) {
  changes_.push_back({Kind::kFolders, path, ancestor});
}

void RollbackLeftovers::MakeWay(const base::FilePath& from,
                                const base::FilePath& to) {
  const auto kept =
      std::find_if(changes_.begin(), changes_.end(), [&from](const Change& c) {
        return c.kind == Kind::kFile && SamePath(c.path, from);
      });
  if (kept == changes_.end())
    return;
  // A running program can be renamed, though not deleted.
  const base::FilePath aside =
      free_names_ ? SetAsidePaths::FreeName(from) : base::FilePath();
  if (!aside.empty() &&
      ::MoveFileExW(from.value().c_str(), aside.value().c_str(), 0)) {
    LOG(WARNING) << "Setting aside " << from.AsUTF8() << " as "
                 << aside.AsUTF8() << " until it can be deleted";
    kept->path = aside;
    return;
  }
  PLOG(ERROR) << "Could not set aside " << from.AsUTF8()
              << "; what it replaced stays at " << to.AsUTF8()
              << " until it is gone";
  AddRenameBack(from, to);
}

void RollbackLeftovers::KeepFoldersHoldingFiles(
    const base::FilePath& path,
    const base::FilePath& ancestor) {
  const base::FilePath topmost = TopmostFolder(path, ancestor);
  const bool holds_kept_file = std::any_of(
      changes_.begin(), changes_.end(), [&topmost](const Change& c) {
        return c.kind != Kind::kFolders &&
               topmost.AppendRelativePath(c.path, nullptr);
      });
  if (holds_kept_file)
    AddFolders(path, ancestor);
}

bool RollbackLeftovers::OnlyDeletions() const {
  return std::none_of(changes_.begin(), changes_.end(), [](const Change& c) {
    return c.kind == Kind::kRenameBack;
  });
}

std::vector<base::Pickle> RollbackLeftovers::Records() const {
  std::vector<base::Pickle> records;
  for (auto change = changes_.rbegin(); change != changes_.rend(); ++change) {
    switch (change->kind) {
      case Kind::kFile:
        records.push_back(RollbackRecord::CreatedFile(change->path));
        break;
      case Kind::kRenameBack:
        records.push_back(RollbackRecord::Renamed(change->path, change->other));
        break;
      case Kind::kFolders:
        records.push_back(
            RollbackRecord::CreatedFolders(change->path, change->other));
        break;
    }
  }
  return records;
}

std::vector<base::FilePath> RollbackLeftovers::Files() const {
  return PathsOf(Kind::kFile);
}

std::vector<base::FilePath> RollbackLeftovers::SetAside() const {
  std::vector<base::FilePath> paths;
  for (const Change& change : changes_) {
    if (change.kind == Kind::kRenameBack)
      paths.push_back(change.other);
  }
  return paths;
}

std::vector<base::FilePath> RollbackLeftovers::Folders() const {
  std::vector<base::FilePath> folders;
  for (const Change& change : changes_) {
    if (change.kind != Kind::kFolders)
      continue;
    for (base::FilePath folder = change.path; folder != change.other;) {
      folders.push_back(folder);
      const base::FilePath parent = folder.DirName();
      if (parent == folder)
        break;
      folder = parent;
    }
  }
  return folders;
}

std::vector<base::FilePath> RollbackLeftovers::PathsOf(Kind kind) const {
  std::vector<base::FilePath> paths;
  for (const Change& change : changes_) {
    if (change.kind == kind)
      paths.push_back(change.path);
  }
  return paths;
}

}  // namespace installer
}  // namespace vexlo
