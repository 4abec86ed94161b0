#include "desktop/launcher/installer/service/registry_item.h"

#include <string.h>

#include "base/logging.h"
#include "base/win/windows_version.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/service/transactions/change_reg_value_operation.h"
#include "desktop/launcher/installer/service/transactions/delete_reg_key_operation.h"

namespace vexlo {
namespace installer {

constexpr uint32_t RegistryItem::kDeleteKey;
constexpr uint32_t RegistryItem::kDeleteValue;
constexpr int32_t RegistryItem::kAnyWindows;

namespace {

bool RowApplies(const RegistryItem& row, HKEY root, int channel_code) {
  if (base::win::GetVersion() < row.min_windows_version)
    return false;
  if (row.root == RegistryItem::kMachineRoot && root != HKEY_LOCAL_MACHINE)
    return false;
  if (row.root == RegistryItem::kUserRoot && root != HKEY_CURRENT_USER)
    return false;
  return channel_code >= row.min_channel_code;
}

// The value's bytes as the registry takes them, into the empty |data|;
// false for an unknown kind.
bool GetRowData(const RegistryItem& row,
                RegistryItem::Delegate* delegate,
                std::vector<uint8_t>* data) {
  switch (row.kind) {
    case REG_NONE:
    case RegistryItem::kDeleteValue:
      return true;
    case REG_SZ:
    case REG_EXPAND_SZ: {
      const base::string16 text =
          RegistryItem::ResolvePlaceholders(delegate, row.text);
      if (!text.empty()) {
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.c_str());
        data->assign(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
      }
      return true;
    }
    case REG_BINARY:
      if (row.bytes)
        data->assign(row.bytes, row.bytes + strlen(row.bytes));
      return true;
    case REG_DWORD: {
      const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&row.number);
      data->assign(bytes, bytes + sizeof(row.number));
      return true;
    }
    default:
      LOG(ERROR) << "Registry row of unknown kind " << row.kind;
      return false;
  }
}

}  // namespace

// static
base::string16 RegistryItem::ResolvePlaceholders(Delegate* delegate,
                                                 const wchar_t* text_template) {
  base::string16 text = text_template ? text_template : L"";
  size_t open = text.find(L'{');
  while (open != base::string16::npos) {
    const size_t close = text.find(L'}', open + 1);
    if (close == base::string16::npos)
      break;
    const base::string16 value =
        delegate->ResolvePlaceholder(text.substr(open + 1, close - open - 1));
    text.replace(open, close - open + 1, value);
    open = text.find(L'{', open + value.size());
  }
  return text;
}

bool CreateRegistryOperation(const RegistryItem& row,
                             RegistryItem::Delegate* delegate,
                             HKEY root,
                             std::unique_ptr<Operation>* operation) {
  return internal::CreateRegistryOperationForChannel(
      row, delegate, root, ProductInfo::GetChannelCode(), operation);
}

namespace internal {

bool CreateRegistryOperationForChannel(const RegistryItem& row,
                                       RegistryItem::Delegate* delegate,
                                       HKEY root,
                                       int channel_code,
                                       std::unique_ptr<Operation>* operation) {
  operation->reset();
  if (!RowApplies(row, root, channel_code))
    return true;
  const base::string16 key =
      RegistryItem::ResolvePlaceholders(delegate, row.key);
  if (row.kind == RegistryItem::kDeleteKey) {
    operation->reset(new DeleteRegKeyOperation(root, key));
    return true;
  }
  std::vector<uint8_t> data;
  if (!GetRowData(row, delegate, &data))
    return false;
  const base::string16 value_name =
      RegistryItem::ResolvePlaceholders(delegate, row.value_name);
  operation->reset(
      new ChangeRegValueOperation(root, key, value_name, data.data(), row.kind,
                                  static_cast<DWORD>(data.size())));
  std::vector<InstallationStatus::RegistryKey>* keys =
      delegate->GetStatusRegistryKeys(root);
  if (keys) {
    InstallationStatus::AddRegistryValue(
        keys, key, value_name, data.data(), row.kind,
        static_cast<uint32_t>(data.size()), row.clean);
  }
  return true;
}

}  // namespace internal

}  // namespace installer
}  // namespace vexlo
