#include "desktop/launcher/installer/service/transactions/rollback_leftovers.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "desktop/launcher/installer/service/transactions/rollback_pending.h"
#include "desktop/launcher/installer/service/transactions/rollback_record.h"
#include "desktop/launcher/installer/service/transactions/set_aside_paths.h"

namespace vexlo {
namespace installer {

namespace {

using Act = FileIdentity::Act;

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool IsTaken(DWORD error) {
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
}

bool InOneFolder(const base::FilePath& a, const base::FilePath& b) {
  return base::FilePath::CompareIgnoreCase(a.DirName().value(),
                                           b.DirName().value()) == 0;
}

// Where a later run set the file of |identity| aside from |path| under a
// name that FreeName gives, before it was killed too; empty when it did
// not.
base::FilePath FindSetAsideFrom(const base::FilePath& path,
                                const FileIdentity& identity) {
  const base::string16 name = path.BaseName().value();
  base::FileEnumerator names(path.DirName(), false, base::FileEnumerator::FILES,
                             name + L".*.old");
  for (base::FilePath at = names.Next(); !at.empty(); at = names.Next()) {
    // The system matches a pattern against short names as well.
    if (base::FilePath::CompareIgnoreCase(
            SetAsidePaths::OriginalName(at.BaseName().value()), name) == 0 &&
        identity.IsAt(at)) {
      return at;
    }
  }
  return base::FilePath();
}

// Where the file of |identity| that a take-back kept as |path|, and renamed
// aside to |aside|, is now; empty when it is gone.
base::FilePath WhereKept(const base::FilePath& path,
                         const base::FilePath& aside,
                         const FileIdentity& identity) {
  if (!aside.empty() && identity.IsAt(aside))
    return aside;
  if (identity.IsAt(path))
    return path;
  return FindSetAsideFrom(path, identity);
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

RollbackLeftovers::RollbackLeftovers() : pending_(nullptr) {}

RollbackLeftovers::RollbackLeftovers(KeepRecord keep, RollbackPending* pending)
    : keep_(std::move(keep)), pending_(pending) {}

RollbackLeftovers::~RollbackLeftovers() = default;

bool RollbackLeftovers::TakeBackMadeFile(const base::FilePath& path) {
  const bool frees = MayFree(path);
  if (frees) {
    if (::DeleteFileW(path.value().c_str()) || IsMissing(::GetLastError()))
      return true;
    PLOG(ERROR) << "Could not delete the created " << path.AsUTF8()
                << "; it goes once it is free";
  }
  return KeepMadeFile(path, frees);
}

bool RollbackLeftovers::KeepMadeFile(const base::FilePath& path,
                                     bool set_aside) {
  const FileIdentity identity = FileIdentity::Of(path);
  if (!identity.known()) {
    LOG_IF(ERROR, base::PathExists(path))
        << "Leaving " << path.AsUTF8()
        << ": it cannot be told from a file written there later";
    return true;
  }
  Change file{Kind::kFile, path, SetAsidePaths::FreeName(path), identity, path};
  // Kept under both names before it has either, so that a take-back killed
  // in between finds it under the one it has.
  if (!Keep(file))
    return false;
  if (!set_aside)
    return true;
  // A running program can be renamed, though not deleted.
  if (!file.other.empty() && identity.MoveAt(path, file.other) == Act::kDone) {
    LOG(WARNING) << "Setting aside " << path.AsUTF8() << " as "
                 << file.other.AsUTF8() << " until it can be deleted";
    changes_.back().at = file.other;
  } else {
    LOG(WARNING) << path.AsUTF8()
                 << " cannot even be renamed; it stays until it is free";
  }
  return true;
}

bool RollbackLeftovers::RenameBack(const base::FilePath& from,
                                   const base::FilePath& to) {
  const FileIdentity identity = FileIdentity::Of(to);
  if (HoldsKeptFile(from)) {
    // Nothing was set aside: the rename never happened.
    if (!identity.known())
      return true;
    LOG(WARNING) << to.AsUTF8() << " goes back to " << from.AsUTF8()
                 << " once the file kept there is gone";
    return Keep({Kind::kRename, from, to, identity, to});
  }
  // Held open since the file made at |from| went, it comes back through
  // that handle.
  if (MoveHeld(from, to))
    return true;
  // A file set aside in its folder goes back through a handle of its
  // identity, which tells one that a process holds: that one goes back once
  // it is free, and another run may write |from| meanwhile. Never over
  // anything: when |from| is taken, the rename never happened or was
  // already taken back.
  if (identity.known() && InOneFolder(from, to)) {
    if (identity.MoveAt(to, from) != Act::kInUse)
      return true;
    LOG(WARNING) << to.AsUTF8() << " is in use; it goes back to "
                 << from.AsUTF8() << " once it is free";
    return Keep({Kind::kRename, from, to, identity, to});
  }
  // A folder, or a file moved from another volume, which a handle cannot
  // rename back.
  if (!::MoveFileExW(to.value().c_str(), from.value().c_str(),
                     MOVEFILE_COPY_ALLOWED) &&
      !IsMissing(::GetLastError()) && !IsTaken(::GetLastError())) {
    PLOG(ERROR) << "Could not move " << to.AsUTF8() << " back to "
                << from.AsUTF8();
  }
  return true;
}

bool RollbackLeftovers::KeepFoldersHoldingFiles(
    const base::FilePath& path,
    const base::FilePath& ancestor) {
  const base::FilePath topmost = TopmostFolder(path, ancestor);
  const bool holds_kept_file = std::any_of(
      changes_.begin(), changes_.end(), [&topmost](const Change& c) {
        return c.kind != Kind::kFolders &&
               topmost.AppendRelativePath(c.at, nullptr);
      });
  return !holds_kept_file ||
         Keep({Kind::kFolders, path, ancestor, FileIdentity(), path});
}

bool RollbackLeftovers::TakeBackKeptFile(const base::FilePath& path,
                                         const base::FilePath& aside,
                                         const FileIdentity& identity) {
  if (!identity.known())
    return TakeBackUnknownFile(path);
  const base::FilePath at = WhereKept(path, aside, identity);
  Change file{Kind::kFile, path, aside, identity, at};
  // Under its name, it holds the name for what was set aside from it.
  const bool at_name = !at.empty() && at == path;
  if (at_name && !MayFree(path))
    return Keep(file);
  const Act deleted = at.empty() ? Act::kNotThere : identity.DeleteAt(at);
  const bool gone = deleted == Act::kDone || deleted == Act::kNotThere;
  if (deleted == Act::kDone) {
    LOG(WARNING) << "Deleted " << at.AsUTF8() << ", which a take-back kept";
  } else if (gone) {
    LOG(WARNING) << "The file that a take-back kept as " << path.AsUTF8()
                 << " is gone";
  } else if (at_name && !aside.empty() &&
             identity.MoveAt(path, aside) == Act::kDone) {
    LOG(WARNING) << "Setting aside " << path.AsUTF8() << " as "
                 << aside.AsUTF8() << " until it can be deleted";
    file.at = aside;
  }
  // What was set aside from the name comes back as soon as the name is
  // free, whichever journal keeps its rename back: that record then finds
  // it done.
  if (at_name && (gone || file.at != path) && pending_)
    pending_->ReturnHeldTo(path);
  return gone || Keep(file);
}

bool RollbackLeftovers::TakeBackRenameBack(const base::FilePath& from,
                                           const base::FilePath& to,
                                           const FileIdentity& identity) {
  if (!identity.known())
    return TakeBackUnknownRename(from, to);
  const Change rename{Kind::kRename, from, to, identity, to};
  switch (MoveHeld(from, to) ? Act::kDone : identity.MoveAt(to, from)) {
    case Act::kDone:
      LOG(WARNING) << "Moved " << to.AsUTF8() << " back to " << from.AsUTF8();
      return true;
    case Act::kNotThere:
      return true;
    case Act::kInUse:
      return Keep(rename);
    case Act::kFailed:
      break;
  }
  if (!base::PathExists(from) || HoldsKeptFile(from))
    return Keep(rename);
  // Another run has taken the name since, and what the killed run set
  // aside for it goes, as that run would have deleted it.
  switch (identity.DeleteAt(to)) {
    case Act::kDone:
      LOG(WARNING) << "Deleted " << to.AsUTF8() << ": another run has "
                   << "written " << from.AsUTF8() << " since";
      return true;
    case Act::kNotThere:
      return true;
    case Act::kInUse:
    case Act::kFailed:
      break;
  }
  return Keep({Kind::kFile, to, base::FilePath(), identity, to});
}

void RollbackLeftovers::FindKeptFile(const base::FilePath& path,
                                     const base::FilePath& aside,
                                     const FileIdentity& identity) {
  base::FilePath at;
  if (identity.known())
    at = WhereKept(path, aside, identity);
  else if (SetAsidePaths::IsSetAsideName(path) && base::PathExists(path))
    at = path;
  if (!at.empty())
    changes_.push_back({Kind::kFile, path, aside, identity, at});
}

void RollbackLeftovers::FindRenameBack(const base::FilePath& from,
                                       const base::FilePath& to,
                                       const FileIdentity& identity) {
  if (identity.known() ? identity.IsAt(to) : base::PathExists(to))
    changes_.push_back({Kind::kRename, from, to, identity, to});
}

void RollbackLeftovers::FindFolders(const base::FilePath& path,
                                    const base::FilePath& ancestor) {
  changes_.push_back({Kind::kFolders, path, ancestor, FileIdentity(), path});
}

void RollbackLeftovers::ForgoRenamesBack() {
  for (Change& change : changes_) {
    if (change.kind == Kind::kRename) {
      change = {Kind::kFile, change.other, base::FilePath(), change.identity,
                change.at};
    }
  }
}

bool RollbackLeftovers::BatchCanFinish() const {
  return std::all_of(changes_.begin(), changes_.end(), [](const Change& c) {
    return c.kind == Kind::kFolders ||
           (c.kind == Kind::kFile && SetAsidePaths::IsSetAsideName(c.at));
  });
}

std::vector<base::Pickle> RollbackLeftovers::Records() const {
  std::vector<base::Pickle> records;
  for (const Change& change : changes_)
    records.push_back(RecordOf(change));
  return records;
}

std::vector<base::FilePath> RollbackLeftovers::Files() const {
  std::vector<base::FilePath> files;
  for (const Change& change : changes_) {
    if (change.kind == Kind::kFile)
      files.push_back(change.at);
  }
  return files;
}

std::vector<base::FilePath> RollbackLeftovers::SetAside() const {
  std::vector<base::FilePath> paths;
  for (const Change& change : changes_) {
    if (change.kind == Kind::kRename)
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

bool RollbackLeftovers::Keep(const Change& change) {
  if (keep_ && !keep_(RecordOf(change))) {
    LOG(ERROR) << "Could not keep what waits for " << change.path.AsUTF8()
               << "; its record stays";
    return false;
  }
  changes_.push_back(change);
  if (change.kind == Kind::kFile && pending_)
    pending_->AddKeptFile(change.identity);
  return true;
}

bool RollbackLeftovers::HoldsKeptFile(const base::FilePath& path) const {
  const FileIdentity there = FileIdentity::Of(path);
  return there.known() && ((pending_ && pending_->IsKept(there)) ||
                           std::any_of(changes_.begin(), changes_.end(),
                                       [&there](const Change& c) {
                                         return c.kind == Kind::kFile &&
                                                c.identity == there;
                                       }));
}

bool RollbackLeftovers::MayFree(const base::FilePath& path) {
  return !pending_ || pending_->HoldReturnTo(path);
}

bool RollbackLeftovers::MoveHeld(const base::FilePath& from,
                                 const base::FilePath& to) {
  return pending_ && pending_->MoveHeld(from, to) == Act::kDone;
}

bool RollbackLeftovers::TakeBackUnknownFile(const base::FilePath& path) {
  // An earlier build kept the file by its name alone, which, but for a
  // set-aside name, a later run may have written since.
  if (!SetAsidePaths::IsSetAsideName(path)) {
    LOG(WARNING) << "Leaving " << path.AsUTF8() << ": a take-back kept it "
                 << "by its name alone, which a later run may have written";
    return true;
  }
  if (::DeleteFileW(path.value().c_str()) || IsMissing(::GetLastError())) {
    LOG(WARNING) << "Deleted " << path.AsUTF8() << ", which a take-back kept";
    return true;
  }
  return Keep({Kind::kFile, path, base::FilePath(), FileIdentity(), path});
}

bool RollbackLeftovers::TakeBackUnknownRename(const base::FilePath& from,
                                              const base::FilePath& to) {
  if (MoveHeld(from, to))
    return true;
  if (::MoveFileExW(to.value().c_str(), from.value().c_str(),
                    MOVEFILE_COPY_ALLOWED)) {
    LOG(WARNING) << "Moved " << to.AsUTF8() << " back to " << from.AsUTF8();
    return true;
  }
  const DWORD error = ::GetLastError();
  if (IsMissing(error))
    return true;
  if (IsTaken(error)) {
    LOG(WARNING) << "Leaving " << to.AsUTF8() << ": " << from.AsUTF8()
                 << " is taken, and a take-back kept no more than its name";
    return true;
  }
  return Keep({Kind::kRename, from, to, FileIdentity(), to});
}

// static
base::Pickle RollbackLeftovers::RecordOf(const Change& change) {
  switch (change.kind) {
    case Kind::kFile:
      return RollbackRecord::KeptFile(change.path, change.other,
                                      change.identity);
    case Kind::kRename:
      return RollbackRecord::RenameBack(change.path, change.other,
                                        change.identity);
    case Kind::kFolders:
      break;
  }
  return RollbackRecord::CreatedFolders(change.path, change.other);
}

}  // namespace installer
}  // namespace vexlo
