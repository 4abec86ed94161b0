#include "desktop/launcher/installer/service/transactions/change_reg_value_operation.h"

#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "desktop/launcher/installer/service/transactions/create_reg_key_operation.h"
#include "desktop/launcher/installer/service/transactions/registry_value_writer.h"
#include "desktop/launcher/installer/service/transactions/rollback_record.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"

namespace vexlo {
namespace installer {

namespace {

constexpr REGSAM kValueAccess = KEY_QUERY_VALUE | KEY_SET_VALUE;

std::vector<uint8_t> CopyBytes(const void* data, DWORD size) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  return size ? std::vector<uint8_t>(bytes, bytes + size)
              : std::vector<uint8_t>();
}

}  // namespace

constexpr DWORD ChangeRegValueOperation::kNoValue;

ChangeRegValueOperation::ChangeRegValueOperation(
    HKEY root,
    const base::string16& key_path,
    const base::string16& value_name,
    const void* data,
    DWORD type,
    DWORD size)
    : root_(root),
      key_path_(key_path),
      value_name_(value_name),
      object_name_(GetRegistryObjectName(root, key_path)),
      new_type_(type),
      new_data_(CopyBytes(data, size)),
      had_old_value_(false),
      old_type_(REG_NONE),
      done_(false) {}

ChangeRegValueOperation::~ChangeRegValueOperation() {
  if (saved_dacl_)
    RestoreSavedDacl(&saved_dacl_);
}

bool ChangeRegValueOperation::Do(Transaction* spawned) {
  VLOG(1) << "Attempting to change registry value at "
          << static_cast<const void*>(root_) << ": "
          << base::UTF16ToUTF8(key_path_) << " - "
          << base::UTF16ToUTF8(value_name_)
          << ". New Type:" << static_cast<int32_t>(new_type_);
  base::win::RegKey key;
  bool nothing_to_do = false;
  if (!OpenKey(spawned, &key, &nothing_to_do))
    return nothing_to_do;
  return ReadOldValue(key) &&
         spawned->Record(RollbackRecord::RegistryValue(
             root_, key_path_, value_name_, had_old_value_, old_type_,
             old_data_)) &&
         ChangeValue(&key);
}

void ChangeRegValueOperation::Rollback() {
  if (!done_)
    return;
  // By the path, as it is now: a later operation of the transaction may have
  // deleted the key that Do opened, and its rollback made a new one.
  base::win::RegKey key;
  LONG result = key.Open(root_, key_path_.c_str(), kValueAccess);
  if (result == ERROR_SUCCESS) {
    result = had_old_value_ ? WriteRegistryValue(key.Handle(), value_name_,
                                                 old_type_, old_data_)
                            : key.DeleteValue(value_name_.c_str());
  }
  LOG_IF(ERROR, result != ERROR_SUCCESS)
      << "Failed to restore " << base::UTF16ToUTF8(value_name_) << " of "
      << base::UTF16ToUTF8(object_name_) << ": " << result;
}

bool ChangeRegValueOperation::OpenKey(Transaction* spawned,
                                      base::win::RegKey* key,
                                      bool* nothing_to_do) {
  LONG result = key->Open(root_, key_path_.c_str(), kValueAccess);
  if (result == ERROR_FILE_NOT_FOUND) {
    VLOG(1) << "Key does not exist,";
    if (new_type_ == kNoValue) {
      VLOG(1) << "but we are trying to remove the value, nothing to do.";
      *nothing_to_do = true;
      return false;
    }
    VLOG(1) << "try to create it.";
    if (!spawned->Execute(
            std::make_unique<CreateRegKeyOperation>(root_, key_path_))) {
      return false;
    }
    result = key->Open(root_, key_path_.c_str(), kValueAccess);
  }
  if (result == ERROR_SUCCESS &&
      CurrentUserHasAccess(object_name_, SE_REGISTRY_KEY, kValueAccess)) {
    return true;
  }
  if (result == ERROR_SUCCESS || result == ERROR_ACCESS_DENIED) {
    VLOG(1) << "We don't have enough permissions on the key.";
    if (!GrantCurrentUserAccess(object_name_, SE_REGISTRY_KEY, kValueAccess,
                                false, &saved_dacl_)) {
      LOG(ERROR) << "Failed to obtain sufficient permissions on "
                 << base::UTF16ToUTF8(object_name_);
      return false;
    }
    result = key->Open(root_, key_path_.c_str(), kValueAccess);
  }
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to open " << base::UTF16ToUTF8(object_name_);
    return false;
  }
  return true;
}

bool ChangeRegValueOperation::ReadOldValue(const base::win::RegKey& key) {
  DWORD size = 0;
  LONG result = key.ReadValueRaw(value_name_.c_str(), nullptr, &size, nullptr);
  if (result == ERROR_FILE_NOT_FOUND) {
    VLOG(1) << "The value doesn't already exist.";
    return true;
  }
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to read " << base::UTF16ToUTF8(value_name_)
               << " from " << base::UTF16ToUTF8(object_name_);
    return false;
  }
  old_data_.resize(size);
  result = key.ReadValueRaw(value_name_.c_str(), old_data_.data(), &size,
                            &old_type_);
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to read " << base::UTF16ToUTF8(value_name_)
               << " from " << base::UTF16ToUTF8(object_name_)
               << " (but we succeeded before).";
    return false;
  }
  old_data_.resize(size);
  had_old_value_ = true;
  VLOG(1) << "Value read successfully.";
  return true;
}

bool ChangeRegValueOperation::ChangeValue(base::win::RegKey* key) {
  if (new_type_ != kNoValue) {
    if (WriteRegistryValue(key->Handle(), value_name_, new_type_, new_data_) !=
        ERROR_SUCCESS) {
      LOG(ERROR) << "Failed writing " << base::UTF16ToUTF8(value_name_)
                 << " to " << base::UTF16ToUTF8(object_name_);
      return false;
    }
  } else if (!had_old_value_) {
    VLOG(1) << "We are supposed to remove the value. Nothing to do.";
    return true;
  } else if (key->DeleteValue(value_name_.c_str()) != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to remove " << base::UTF16ToUTF8(value_name_)
               << " from " << base::UTF16ToUTF8(object_name_);
    return false;
  }
  VLOG(1) << "Value changed successfully.";
  done_ = true;
  return true;
}

}  // namespace installer
}  // namespace vexlo
