#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_DELETE_REG_KEY_OPERATION_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_DELETE_REG_KEY_OPERATION_H_

#include <windows.h>

#include <stdint.h>

#include <memory>
#include <vector>

#include "base/strings/string16.h"
#include "base/win/registry.h"
#include "desktop/launcher/installer/service/saved_dacl.h"
#include "desktop/launcher/installer/service/transactions/operation.h"
#include "desktop/launcher/installer/service/transactions/rollback_record.h"

namespace vexlo {
namespace installer {

// Deletes a registry key with everything below it, saving each key's
// security and values first. Rolling back recreates the keys it deleted,
// parents first, with their security and values. Keys that refuse the
// deletion are opened up for the current user; rolling back closes them
// again.
class DeleteRegKeyOperation : public Operation {
 public:
  DeleteRegKeyOperation(HKEY root, const base::string16& key_path);
  DeleteRegKeyOperation(const DeleteRegKeyOperation&) = delete;
  DeleteRegKeyOperation& operator=(const DeleteRegKeyOperation&) = delete;
  ~DeleteRegKeyOperation() override;

  bool Do(Transaction* spawned) override;
  void Rollback() override;

 private:
  using SavedValue = RollbackRecord::Value;

  struct SavedKey {
    SavedKey();
    ~SavedKey();

    // Relative to the root.
    base::string16 path;
    // Self-relative, with the owner, the group, the access list and the
    // label.
    std::vector<uint8_t> security;
    std::vector<SavedValue> values;
    bool deleted;
    // The access list from before the deletion loosened it.
    std::unique_ptr<SavedDacl> saved_dacl;
  };

  // Saves |path| and everything below it, recording each key's values in
  // |transaction|'s journal, and deletes it, subkeys first.
  bool SaveAndDelete(const base::string16& path,
                     const base::string16& object_name,
                     Transaction* transaction);
  bool OpenForDeletion(const base::string16& object_name,
                       SavedKey* saved_key,
                       base::win::RegKey* key);
  bool SaveSecurity(const base::win::RegKey& key,
                    const base::string16& object_name,
                    SavedKey* saved_key);
  bool SaveValues(const base::win::RegKey& key,
                  const base::string16& object_name,
                  SavedKey* saved_key);
  // Deletes every subkey of |key| (named |path|); true when none is left.
  bool DeleteSubkeys(const base::win::RegKey& key,
                     const base::string16& path,
                     const base::string16& object_name,
                     Transaction* transaction);
  void Recreate(const SavedKey& saved_key);
  void RestoreSecurity(const SavedKey& saved_key);

  const HKEY root_;
  const base::string16 key_path_;
  // Parents before their subkeys, in the order they were visited.
  std::vector<std::unique_ptr<SavedKey>> saved_keys_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_DELETE_REG_KEY_OPERATION_H_
