#include "desktop/launcher/installer/service/transactions/rollback_pending.h"

#include <algorithm>

#include "base/logging.h"

namespace vexlo {
namespace installer {

namespace {

using Act = FileIdentity::Act;

bool SamePath(const base::FilePath& a, const base::FilePath& b) {
  return base::FilePath::CompareIgnoreCase(a.value(), b.value()) == 0;
}

base::string16 Folded(const base::FilePath& path) {
  base::string16 folded = path.value();
  if (!folded.empty())
    ::CharUpperBuffW(&folded[0], static_cast<DWORD>(folded.size()));
  return folded;
}

}  // namespace

RollbackPending::RollbackPending() = default;

RollbackPending::~RollbackPending() = default;

void RollbackPending::AddRenameBack(const base::FilePath& from,
                                    const base::FilePath& to,
                                    const FileIdentity& identity) {
  std::list<Return>& returns = returns_[Folded(from)];
  returns.emplace_back();
  Return& back = returns.back();
  back.from = from;
  back.to = to;
  back.identity = identity;
}

void RollbackPending::AddKeptFile(const FileIdentity& identity) {
  kept_.push_back(identity);
}

bool RollbackPending::IsKept(const FileIdentity& identity) const {
  return identity.known() &&
         std::find(kept_.begin(), kept_.end(), identity) != kept_.end();
}

bool RollbackPending::HoldReturnTo(const base::FilePath& from) {
  std::list<Return>* returns = ReturnsTo(from);
  if (!returns)
    return true;
  for (Return& back : *returns) {
    const FileIdentity identity =
        back.identity.known() ? back.identity : FileIdentity::Of(back.to);
    switch (identity.OpenToChange(back.to, &back.held)) {
      case Act::kDone:
        return true;
      case Act::kNotThere:
        // Back already, or never set aside: the next one is asked.
        continue;
      case Act::kInUse:
      case Act::kFailed:
        LOG(WARNING) << back.to.AsUTF8() << " cannot go back to "
                     << from.AsUTF8() << " yet, which keeps what is there";
        return false;
    }
  }
  return true;
}

FileIdentity::Act RollbackPending::MoveHeld(const base::FilePath& from,
                                            const base::FilePath& to) {
  std::list<Return>* returns = ReturnsTo(from);
  if (!returns)
    return Act::kNotThere;
  for (Return& back : *returns) {
    if (back.held.IsValid() && SamePath(back.to, to))
      return Move(&back);
  }
  return Act::kNotThere;
}

void RollbackPending::ReturnHeldTo(const base::FilePath& from) {
  std::list<Return>* returns = ReturnsTo(from);
  if (!returns)
    return;
  for (Return& back : *returns) {
    if (back.held.IsValid()) {
      LOG_IF(WARNING, Move(&back) == Act::kDone)
          << "Moved " << back.to.AsUTF8() << " back to " << from.AsUTF8();
      return;
    }
  }
}

std::list<RollbackPending::Return>* RollbackPending::ReturnsTo(
    const base::FilePath& from) {
  const auto found = returns_.find(Folded(from));
  return found == returns_.end() ? nullptr : &found->second;
}

// static
FileIdentity::Act RollbackPending::Move(Return* back) {
  const Act moved =
      FileIdentity::MoveOpen(back->held.Get(), back->to, back->from);
  back->held.Close();
  return moved;
}

}  // namespace installer
}  // namespace vexlo
