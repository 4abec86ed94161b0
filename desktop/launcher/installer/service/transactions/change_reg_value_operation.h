#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_CHANGE_REG_VALUE_OPERATION_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_CHANGE_REG_VALUE_OPERATION_H_

#include <windows.h>

#include <stdint.h>

#include <memory>
#include <vector>

#include "base/strings/string16.h"
#include "base/win/registry.h"
#include "desktop/launcher/installer/service/saved_dacl.h"
#include "desktop/launcher/installer/service/transactions/operation.h"

namespace vexlo {
namespace installer {

// Sets or removes one registry value, keeping its old type and bytes so that
// rolling back writes them back (or removes a value that did not exist),
// byte for byte. A missing key is created first, through a spawned
// operation. When the key refuses the change, the current user is allowed to
// make it for as long as the operation lives.
class ChangeRegValueOperation : public Operation {
 public:
  // The type that stands for no value: with it the value is removed.
  static constexpr DWORD kNoValue = 0xFFFFFFFF;

  // Copies the |size| bytes at |data| (may be null when |size| is 0).
  ChangeRegValueOperation(HKEY root,
                          const base::string16& key_path,
                          const base::string16& value_name,
                          const void* data,
                          DWORD type,
                          DWORD size);
  ChangeRegValueOperation(const ChangeRegValueOperation&) = delete;
  ChangeRegValueOperation& operator=(const ChangeRegValueOperation&) = delete;
  ~ChangeRegValueOperation() override;

  bool Do(Transaction* spawned) override;
  void Rollback() override;

 private:
  // Opens |key| for reading and writing values, creating the key or
  // loosening its permissions when needed. False when the value is to be
  // removed from a key that does not exist (|*nothing_to_do| set), or on
  // failure.
  bool OpenKey(Transaction* spawned,
               base::win::RegKey* key,
               bool* nothing_to_do);
  bool ReadOldValue(const base::win::RegKey& key);
  bool ChangeValue(base::win::RegKey* key);

  const HKEY root_;
  const base::string16 key_path_;
  const base::string16 value_name_;
  const base::string16 object_name_;
  const DWORD new_type_;
  const std::vector<uint8_t> new_data_;
  // Any type is a value's own, even kNoValue's.
  bool had_old_value_;
  DWORD old_type_;
  std::vector<uint8_t> old_data_;
  bool done_;
  std::unique_ptr<SavedDacl> saved_dacl_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_CHANGE_REG_VALUE_OPERATION_H_
