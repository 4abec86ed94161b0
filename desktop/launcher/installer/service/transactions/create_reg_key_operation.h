#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_CREATE_REG_KEY_OPERATION_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_CREATE_REG_KEY_OPERATION_H_

#include <windows.h>

#include <memory>

#include "base/strings/string16.h"
#include "desktop/launcher/installer/service/saved_dacl.h"
#include "desktop/launcher/installer/service/transactions/operation.h"

namespace vexlo {
namespace installer {

// Creates a registry key with whatever keys above it are missing (never a
// root's direct subkey); rolling back deletes the topmost key it created
// with everything below. When the nearest existing key refuses subkeys, the
// current user is allowed to create them for as long as the operation
// lives.
class CreateRegKeyOperation : public Operation {
 public:
  CreateRegKeyOperation(HKEY root, const base::string16& key_path);
  CreateRegKeyOperation(const CreateRegKeyOperation&) = delete;
  CreateRegKeyOperation& operator=(const CreateRegKeyOperation&) = delete;
  ~CreateRegKeyOperation() override;

  bool Do(Transaction* spawned) override;
  void Rollback() override;

 private:
  // Finds the nearest existing key above |key_path_| and the key below it
  // that creating |key_path_| creates first. |result| is how opening the
  // ancestor ended: success or access denied.
  bool FindAncestor(base::string16* ancestor,
                    base::string16* topmost_missing,
                    LONG* result) const;

  const HKEY root_;
  const base::string16 key_path_;
  // Empty until Do is about to create keys.
  base::string16 topmost_created_key_;
  std::unique_ptr<SavedDacl> saved_dacl_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_CREATE_REG_KEY_OPERATION_H_
