#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_ROLLBACK_RECORD_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_ROLLBACK_RECORD_H_

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/pickle.h"
#include "base/strings/string16.h"
#include "desktop/launcher/installer/service/transactions/file_identity.h"

namespace vexlo {
namespace installer {

class RollbackLeftovers;
class RollbackPending;
class RollbackScope;

// The changes that a rollback journal keeps, and how another process takes
// each back once the process that made it is gone. Only the change itself is
// known then, not what the operation knew: every undoing is therefore
// careful on its own. A file is deleted only when the record says that the
// run created it, or when it is a temporary file of the atomic writer in a
// folder that the run created; a rename is only reversed when its old name
// is free again; folders go only when empty. A record whose change never
// happened, because the process died between the record and the change,
// thus undoes nothing.
class RollbackRecord {
 public:
  RollbackRecord() = delete;

  // |path| does not exist and is about to be created.
  static base::Pickle CreatedFile(const base::FilePath& path);
  // The folders from |path| up to, not including, |ancestor| are about to
  // be created.
  static base::Pickle CreatedFolders(const base::FilePath& path,
                                     const base::FilePath& ancestor);
  // |from| is about to be renamed |to|.
  static base::Pickle Renamed(const base::FilePath& from,
                              const base::FilePath& to);
  // |path| held |content| (or, unless |existed|, did not exist) before the
  // run changed it.
  static base::Pickle FileContent(const base::FilePath& path,
                                  bool existed,
                                  const std::string& content);
  // The key |path| of |root| is about to be created, with the keys below it.
  static base::Pickle CreatedKey(HKEY root, const base::string16& path);
  // The value |name| of the key |path| held |data| of |type| (or, unless
  // |existed|, was not there) before the run changes it.
  static base::Pickle RegistryValue(HKEY root,
                                    const base::string16& path,
                                    const base::string16& name,
                                    bool existed,
                                    DWORD type,
                                    const std::vector<uint8_t>& data);
  // The key |path| of |root|, which held |values| (the name, type and data
  // of each), is about to be deleted.
  struct Value {
    base::string16 name;
    DWORD type;
    std::vector<uint8_t> data;
  };
  static base::Pickle DeletedKey(HKEY root,
                                 const base::string16& path,
                                 const std::vector<Value>& values);

  // What a take-back keeps for later, in a leftover journal: the file of
  // |identity| that the killed run made as |path| and that could not be
  // deleted, and the free name |aside| that it is renamed to (empty when
  // it was given none) ...
  static base::Pickle KeptFile(const base::FilePath& path,
                               const base::FilePath& aside,
                               const FileIdentity& identity);
  // ... and the file of |identity| at |to|, which the killed run set aside
  // from |from|, to go back there once no kept file holds that name.
  static base::Pickle RenameBack(const base::FilePath& from,
                                 const base::FilePath& to,
                                 const FileIdentity& identity);

  // Whether |record| is one that only leftover journals hold; false for
  // one that cannot be read.
  static bool IsLeftover(const base::Pickle& record);
  // Whether a leftover journal may hold |record|: one of a kept file, a
  // rename back, or folders.
  static bool MayBeLeftover(const base::Pickle& record);
  // Adds the record that a leftover journal of an earlier build kept as
  // |record| (a created file, a rename, or folders, with no identity) to
  // |records| as this build keeps it; false for any other.
  static bool FromEarlierLeftover(const base::Pickle& record,
                                  std::vector<base::Pickle>* records);

  // Whether |record| can be read whole and names only what |scope| holds;
  // logged when not. Every count and length in it is checked against the
  // bytes that are there before anything is made of it, and no path may be
  // longer than the file system takes. A record of a path longer than a
  // run's file calls take names a change that never happened, and nothing.
  static bool IsWithin(const base::Pickle& record, const RollbackScope& scope);

  // Takes back the change that |record| describes, as far as it happened.
  // A key that the record says was created on the way to one of |scope|'s
  // own goes only while nothing in it holds a value. A created file that
  // cannot be deleted, being in use, goes to |leftovers|, with whatever
  // waits for it; so does what a leftover record still waits for. False,
  // logged, for a record that cannot be read, and when |leftovers| could
  // not keep what it had to: the record is then still needed.
  static bool Undo(const base::Pickle& record,
                   const RollbackScope& scope,
                   RollbackLeftovers* leftovers);

  // Tells |pending| what |record| leaves to come, before any record of the
  // take-back is undone: the rename back that it asks for, or the file that
  // it keeps.
  static void AddPending(const base::Pickle& record, RollbackPending* pending);

  // Adds the change that |record|, one that a take-back kept, still waits
  // for to |leftovers|, without doing anything; false for a record that
  // cannot be read or that no take-back keeps.
  static bool AddLeftover(const base::Pickle& record,
                          RollbackLeftovers* leftovers);
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_ROLLBACK_RECORD_H_
