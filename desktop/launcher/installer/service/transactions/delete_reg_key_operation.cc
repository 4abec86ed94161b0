#include "desktop/launcher/installer/service/transactions/delete_reg_key_operation.h"

#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "desktop/launcher/installer/service/transactions/registry_value_writer.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"

namespace vexlo {
namespace installer {

namespace {

constexpr REGSAM kDeletionAccess =
    KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | DELETE;
constexpr SECURITY_INFORMATION kSavedSecurity =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
    DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION;

}  // namespace

DeleteRegKeyOperation::SavedKey::SavedKey() : deleted(false) {}

DeleteRegKeyOperation::SavedKey::~SavedKey() = default;

DeleteRegKeyOperation::DeleteRegKeyOperation(HKEY root,
                                             const base::string16& key_path)
    : root_(root), key_path_(key_path) {}

// The keys are gone or rebuilt by now: nothing to finish.
DeleteRegKeyOperation::~DeleteRegKeyOperation() = default;

bool DeleteRegKeyOperation::Do(Transaction* spawned) {
  VLOG(1) << "Attempting to delete registry key "
          << base::UTF16ToUTF8(key_path_) << " under "
          << static_cast<const void*>(root_);
  const base::string16 object_name = GetRegistryObjectName(root_, key_path_);
  base::win::RegKey key;
  const LONG result = key.Open(root_, key_path_.c_str(), KEY_QUERY_VALUE);
  if (result == ERROR_FILE_NOT_FOUND) {
    VLOG(1) << "Key does not exist. Nothing to do.";
    return true;
  }
  if (result != ERROR_SUCCESS && result != ERROR_ACCESS_DENIED) {
    LOG(ERROR) << "Failed to open key " << base::UTF16ToUTF8(object_name);
    return false;
  }
  key.Close();
  return SaveAndDelete(key_path_, object_name, spawned);
}

void DeleteRegKeyOperation::Rollback() {
  for (const auto& saved_key : saved_keys_) {
    if (saved_key->deleted)
      Recreate(*saved_key);
  }
  // Only now that every key is back can the access lists close them again,
  // subkeys before the parents that must let them be created.
  for (auto it = saved_keys_.rbegin(); it != saved_keys_.rend(); ++it) {
    if ((*it)->saved_dacl)
      RestoreSavedDacl(&(*it)->saved_dacl);
  }
}

bool DeleteRegKeyOperation::SaveAndDelete(const base::string16& path,
                                          const base::string16& object_name,
                                          Transaction* transaction) {
  VLOG(1) << "DeleteAndSaveRecursive : " << base::UTF16ToUTF8(path);
  // Recorded at once, so that a rollback takes back a permission grant even
  // when saving fails later.
  saved_keys_.push_back(std::make_unique<SavedKey>());
  SavedKey* const saved_key = saved_keys_.back().get();
  saved_key->path = path;
  base::win::RegKey key;
  if (!OpenForDeletion(object_name, saved_key, &key) ||
      !SaveSecurity(key, object_name, saved_key) ||
      !SaveValues(key, object_name, saved_key) ||
      !transaction->Record(
          RollbackRecord::DeletedKey(root_, path, saved_key->values)) ||
      !DeleteSubkeys(key, path, object_name, transaction)) {
    return false;
  }
  key.Close();
  const LONG result = ::RegDeleteKeyW(root_, path.c_str());
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to delete key " << base::UTF16ToUTF8(object_name)
               << ": " << result;
    return false;
  }
  saved_key->deleted = true;
  return true;
}

bool DeleteRegKeyOperation::OpenForDeletion(const base::string16& object_name,
                                            SavedKey* saved_key,
                                            base::win::RegKey* key) {
  LONG result = key->Open(root_, saved_key->path.c_str(), kDeletionAccess);
  if (result == ERROR_SUCCESS &&
      CurrentUserHasAccess(object_name, SE_REGISTRY_KEY, KEY_READ | DELETE)) {
    return true;
  }
  if (result != ERROR_SUCCESS && result != ERROR_ACCESS_DENIED) {
    LOG(ERROR) << "Failed to open key " << base::UTF16ToUTF8(object_name);
    return false;
  }
  VLOG(1) << "Insufficient permissions on the key";
  if (!GrantCurrentUserAccess(object_name, SE_REGISTRY_KEY, kDeletionAccess,
                              false, &saved_key->saved_dacl)) {
    LOG(ERROR) << "Unable to obtain sufficient permissions on key"
               << base::UTF16ToUTF8(object_name);
    return false;
  }
  result = key->Open(root_, saved_key->path.c_str(), kDeletionAccess);
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to open key " << base::UTF16ToUTF8(object_name);
    return false;
  }
  return true;
}

bool DeleteRegKeyOperation::SaveSecurity(const base::win::RegKey& key,
                                         const base::string16& object_name,
                                         SavedKey* saved_key) {
  DWORD size = 0;
  if (::RegGetKeySecurity(key.Handle(), kSavedSecurity, nullptr, &size) !=
      ERROR_INSUFFICIENT_BUFFER) {
    LOG(ERROR) << "Failed to obtain security descriptor for "
               << base::UTF16ToUTF8(object_name);
    return false;
  }
  saved_key->security.resize(size);
  if (::RegGetKeySecurity(key.Handle(), kSavedSecurity,
                          saved_key->security.data(), &size) != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to obtain security descriptor for "
               << base::UTF16ToUTF8(object_name)
               << "(but we succeeded earlier)";
    return false;
  }
  return true;
}

bool DeleteRegKeyOperation::SaveValues(const base::win::RegKey& key,
                                       const base::string16& object_name,
                                       SavedKey* saved_key) {
  DWORD value_count = 0;
  DWORD longest_name = 0;
  DWORD longest_data = 0;
  if (::RegQueryInfoKeyW(key.Handle(), nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, &value_count, &longest_name,
                         &longest_data, nullptr, nullptr) != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to obtain key info for "
               << base::UTF16ToUTF8(object_name);
    return false;
  }
  VLOG(1) << value_count << " values";
  std::vector<wchar_t> name(longest_name + 1);
  std::vector<uint8_t> data(longest_data);
  for (DWORD index = 0; index < value_count; ++index) {
    DWORD name_length = static_cast<DWORD>(name.size());
    DWORD data_size = static_cast<DWORD>(data.size());
    SavedValue value;
    if (::RegEnumValueW(key.Handle(), index, name.data(), &name_length, nullptr,
                        &value.type, data.data(),
                        &data_size) != ERROR_SUCCESS) {
      LOG(ERROR) << "Failed to obtain value nr " << index;
      return false;
    }
    value.name.assign(name.data(), name_length);
    value.data.assign(data.begin(), data.begin() + data_size);
    saved_key->values.push_back(std::move(value));
  }
  return true;
}

bool DeleteRegKeyOperation::DeleteSubkeys(const base::win::RegKey& key,
                                          const base::string16& path,
                                          const base::string16& object_name,
                                          Transaction* transaction) {
  DWORD longest_name = 0;
  if (::RegQueryInfoKeyW(key.Handle(), nullptr, nullptr, nullptr, nullptr,
                         &longest_name, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to obtain key info for "
               << base::UTF16ToUTF8(object_name);
    return false;
  }
  std::vector<wchar_t> name(longest_name + 1);
  for (;;) {
    // Always the first: each subkey is gone once visited.
    DWORD name_length = static_cast<DWORD>(name.size());
    const LONG result =
        ::RegEnumKeyExW(key.Handle(), 0, name.data(), &name_length, nullptr,
                        nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS)
      return true;
    if (result != ERROR_SUCCESS) {
      LOG(ERROR) << "Failed to read a subkey";
      return false;
    }
    const base::string16 subkey(name.data(), name_length);
    if (!SaveAndDelete(path + L"\\" + subkey, object_name + L"\\" + subkey,
                       transaction)) {
      return false;
    }
  }
}

void DeleteRegKeyOperation::Recreate(const SavedKey& saved_key) {
  SECURITY_ATTRIBUTES attributes = {
      sizeof(attributes), const_cast<uint8_t*>(saved_key.security.data()),
      FALSE};
  HKEY key = nullptr;
  DWORD disposition = 0;
  LONG result = ::RegCreateKeyExW(root_, saved_key.path.c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, kDeletionAccess,
                                  &attributes, &key, &disposition);
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to recreate key " << base::UTF16ToUTF8(saved_key.path)
               << ": " << result;
    return;
  }
  // A key that someone else made meanwhile keeps what it holds.
  if (disposition != REG_CREATED_NEW_KEY) {
    ::RegCloseKey(key);
    return;
  }
  for (const SavedValue& value : saved_key.values) {
    result = WriteRegistryValue(key, value.name, value.type, value.data);
    LOG_IF(ERROR, result != ERROR_SUCCESS)
        << "Failed to restore value " << base::UTF16ToUTF8(value.name) << " of "
        << base::UTF16ToUTF8(saved_key.path) << ": " << result;
  }
  ::RegCloseKey(key);
  RestoreSecurity(saved_key);
}

void DeleteRegKeyOperation::RestoreSecurity(const SavedKey& saved_key) {
  // Not every system applies the security given at creation, and only some
  // users may give a key back an owner other than themselves.
  for (REGSAM access : {WRITE_DAC | WRITE_OWNER, WRITE_DAC}) {
    base::win::RegKey key;
    if (key.Open(root_, saved_key.path.c_str(), access) == ERROR_SUCCESS &&
        ::RegSetKeySecurity(
            key.Handle(),
            (access & WRITE_OWNER
                 ? OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION
                 : 0) |
                DACL_SECURITY_INFORMATION,
            const_cast<uint8_t*>(saved_key.security.data())) == ERROR_SUCCESS) {
      return;
    }
  }
  LOG(ERROR) << "Failed to restore the security of "
             << base::UTF16ToUTF8(saved_key.path);
}

}  // namespace installer
}  // namespace vexlo
