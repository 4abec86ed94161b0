#include "desktop/launcher/installer/service/transactions/create_reg_key_operation.h"

#include <shlwapi.h>

#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "desktop/launcher/installer/service/transactions/rollback_record.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"

namespace vexlo {
namespace installer {

CreateRegKeyOperation::CreateRegKeyOperation(HKEY root,
                                             const base::string16& key_path)
    : root_(root), key_path_(key_path) {}

CreateRegKeyOperation::~CreateRegKeyOperation() {
  if (saved_dacl_)
    RestoreSavedDacl(&saved_dacl_);
}

bool CreateRegKeyOperation::Do(Transaction* spawned) {
  VLOG(1) << "Attempting to create registry key "
          << base::UTF16ToUTF8(key_path_) << " under "
          << static_cast<const void*>(root_);
  base::win::RegKey key;
  if (key.Open(root_, key_path_.c_str(), KEY_QUERY_VALUE) !=
      ERROR_FILE_NOT_FOUND) {
    VLOG(1) << "The key already exists. No need to do anything.";
    return true;
  }
  VLOG(1) << "Attempting to find the nearest existing ancestor.";
  base::string16 ancestor;
  base::string16 topmost_missing;
  LONG result = ERROR_SUCCESS;
  if (!FindAncestor(&ancestor, &topmost_missing, &result))
    return false;
  VLOG(1) << "Ancestor found: " << base::UTF16ToUTF8(ancestor);

  // Creating needs only the right to add subkeys; checking for that right
  // also keeps a second creation below the same ancestor from stacking a
  // second grant on the first.
  const base::string16 object_name = GetRegistryObjectName(root_, ancestor);
  if (result == ERROR_ACCESS_DENIED ||
      !CurrentUserHasAccess(object_name, SE_REGISTRY_KEY, KEY_CREATE_SUB_KEY)) {
    VLOG(1) << "No access to" << base::UTF16ToUTF8(object_name);
    if (!GrantCurrentUserAccess(object_name, SE_REGISTRY_KEY,
                                KEY_CREATE_SUB_KEY, false, &saved_dacl_)) {
      LOG(ERROR) << "Failed obtaining permissions on "
                 << base::UTF16ToUTF8(object_name);
      return false;
    }
  }

  if (!spawned->Record(RollbackRecord::CreatedKey(root_, topmost_missing)))
    return false;
  topmost_created_key_ = topmost_missing;
  HKEY created = nullptr;
  result = ::RegCreateKeyExW(root_, key_path_.c_str(), 0, nullptr,
                             REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                             &created, nullptr);
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed creating key.";
    return false;
  }
  ::RegCloseKey(created);
  return true;
}

void CreateRegKeyOperation::Rollback() {
  if (topmost_created_key_.empty())
    return;
  const LONG result = ::SHDeleteKeyW(root_, topmost_created_key_.c_str());
  LOG_IF(ERROR, result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
      << "Failed to delete the created key "
      << base::UTF16ToUTF8(topmost_created_key_) << ": " << result;
}

bool CreateRegKeyOperation::FindAncestor(base::string16* ancestor,
                                         base::string16* topmost_missing,
                                         LONG* result) const {
  base::string16 current = key_path_;
  for (;;) {
    const size_t separator = current.rfind(L'\\');
    if (separator == base::string16::npos) {
      LOG(ERROR) << "No existing ancestor found.";
      return false;
    }
    *ancestor = current.substr(0, separator);
    base::win::RegKey key;
    *result = key.Open(root_, ancestor->c_str(), KEY_CREATE_SUB_KEY);
    if (*result == ERROR_SUCCESS || *result == ERROR_ACCESS_DENIED) {
      *topmost_missing = current;
      return true;
    }
    if (*result != ERROR_FILE_NOT_FOUND) {
      LOG(ERROR) << "Existing ancestor could not be opened.";
      return false;
    }
    current = *ancestor;
  }
}

}  // namespace installer
}  // namespace vexlo
