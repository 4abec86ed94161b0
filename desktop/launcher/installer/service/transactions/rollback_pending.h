#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_ROLLBACK_PENDING_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_ROLLBACK_PENDING_H_

#include <list>
#include <map>
#include <vector>

#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/service/transactions/file_identity.h"

namespace vexlo {
namespace installer {

// What one take-back is still to do across all the journals it takes back,
// known before it undoes anything of them: the renames back to come, and
// the files kept for later. A killed run's records and the leftovers of
// earlier take-backs lie in several journals, in no order that tells which
// of two changes to one name comes first; this tells each of them what the
// others wait for.
//
// A name that held a file before a killed run is freed of what a run made
// there only once what was set aside from it can come back at once: the
// file set aside is then held open until it is back, so that no process
// can stop it in between.
class RollbackPending {
 public:
  RollbackPending();
  RollbackPending(const RollbackPending&) = delete;
  RollbackPending& operator=(const RollbackPending&) = delete;
  ~RollbackPending();

  // The file of |identity| at |to| is to go back to |from|; an unknown
  // identity stands for whatever file is at |to| when it is asked for.
  void AddRenameBack(const base::FilePath& from,
                     const base::FilePath& to,
                     const FileIdentity& identity);
  // The file of |identity| is one that a take-back keeps.
  void AddKeptFile(const FileIdentity& identity);

  // Whether |identity| is that of a file that a take-back keeps.
  bool IsKept(const FileIdentity& identity) const;

  // Whether |from| may be freed: false while the next file to come back to
  // it, still where it was set aside, is in use or cannot be opened to be
  // moved. That file is held open from then on, until MoveHeld or
  // ReturnHeldTo moves it or the take-back ends.
  bool HoldReturnTo(const base::FilePath& from);
  // Moves the file held for going back from |to| to |from| there: kNotThere
  // when none is held.
  FileIdentity::Act MoveHeld(const base::FilePath& from,
                             const base::FilePath& to);
  // Moves the file held for going back to |from| there, whatever its
  // set-aside name.
  void ReturnHeldTo(const base::FilePath& from);

 private:
  struct Return {
    base::FilePath from;
    base::FilePath to;
    FileIdentity identity;
    base::win::ScopedHandle held;
  };

  // Moves |back|'s held file back, and lets it go.
  static FileIdentity::Act Move(Return* back);
  // The renames back to |from|.
  std::list<Return>* ReturnsTo(const base::FilePath& from);

  // By the name they go back to, as the file system compares names, each
  // in the order that the take-back meets them; a list, as a handle is
  // never moved. A take-back meets thousands of each.
  std::map<base::string16, std::list<Return>> returns_;
  std::vector<FileIdentity> kept_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_ROLLBACK_PENDING_H_
