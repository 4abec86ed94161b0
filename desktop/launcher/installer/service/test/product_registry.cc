#include "desktop/launcher/installer/service/test/product_registry.h"

#include <shlwapi.h>

#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

namespace {

constexpr wchar_t kMutexName[] = L"Global\\VexloTestProductRegistry";

base::string16 RootName(HKEY root) {
  return root == HKEY_LOCAL_MACHINE ? L"HKLM\\" : L"HKCU\\";
}

void SnapshotKey(HKEY root,
                 const base::string16& path,
                 std::map<base::string16, std::string>* snapshot) {
  base::win::RegKey key;
  if (key.Open(root, path.c_str(), KEY_READ) != ERROR_SUCCESS)
    return;
  (*snapshot)[RootName(root) + path] = "";
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (::RegEnumValueW(key.Handle(), i, name, &length, nullptr, nullptr,
                        nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    (*snapshot)[RootName(root) + path + L" : " + name] =
        ScopedProductRegistry::ReadValue(root, path, name);
  }
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (::RegEnumKeyExW(key.Handle(), i, name, &length, nullptr, nullptr,
                        nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    SnapshotKey(root, path + L"\\" + name, snapshot);
  }
}

}  // namespace

ScopedProductRegistry::ScopedProductRegistry(const std::vector<Key>& keys)
    : mutex_(::CreateMutexW(nullptr, FALSE, kMutexName)), keys_(keys) {
  EXPECT_TRUE(mutex_.IsValid());
  // Under load one holder keeps the keys for well over a minute (a whole
  // installation through the window); the tests' own time-out stays above
  // this wait, so a test that waits in vain still fails here, with a reason.
  const DWORD wait = ::WaitForSingleObject(mutex_.Get(), 240000);
  EXPECT_TRUE(wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) << wait;
  saved_ = Snapshot();
  Clear();
}

ScopedProductRegistry::~ScopedProductRegistry() {
  Clear();
  Restore();
  ::ReleaseMutex(mutex_.Get());
}

void ScopedProductRegistry::Restore() const {
  for (const auto& entry : saved_) {
    const base::string16& name = entry.first;
    const HKEY root = name.compare(0, 5, L"HKLM\\") == 0 ? HKEY_LOCAL_MACHINE
                                                         : HKEY_CURRENT_USER;
    const size_t separator = name.find(L" : ");
    const base::string16 path = name.substr(5, separator - 5);
    base::win::RegKey key(root, path.c_str(), KEY_SET_VALUE);
    if (separator == base::string16::npos || entry.second == "none")
      continue;
    const size_t colon = entry.second.find(':');
    unsigned type = 0;
    std::vector<uint8_t> bytes;
    base::StringToUint(entry.second.substr(0, colon), &type);
    base::HexStringToBytes(entry.second.substr(colon + 1), &bytes);
    ::RegSetValueExW(key.Handle(), name.substr(separator + 3).c_str(), 0, type,
                     bytes.data(), static_cast<DWORD>(bytes.size()));
  }
}

void ScopedProductRegistry::Clear() const {
  for (const Key& key : keys_) {
    if (!key.value_only) {
      ::SHDeleteKeyW(key.root, key.path.c_str());
    } else {
      base::win::RegKey(key.root, key.path.c_str(), KEY_SET_VALUE)
          .DeleteValue(key.value.c_str());
    }
  }
}

std::map<base::string16, std::string> ScopedProductRegistry::Snapshot() const {
  std::map<base::string16, std::string> snapshot;
  for (const Key& key : keys_) {
    if (!key.value_only) {
      SnapshotKey(key.root, key.path, &snapshot);
    } else {
      snapshot[RootName(key.root) + key.path + L" : " + key.value] =
          ReadValue(key.root, key.path, key.value);
    }
  }
  return snapshot;
}

// static
std::string ScopedProductRegistry::ReadValue(HKEY root,
                                             const base::string16& path,
                                             const base::string16& name) {
  const base::win::RegKey key(root, path.c_str(), KEY_READ);
  uint8_t data[4096];
  DWORD size = sizeof(data);
  DWORD type = REG_NONE;
  if (!key.Valid() || ::RegQueryValueExW(key.Handle(), name.c_str(), nullptr,
                                         &type, data, &size) != ERROR_SUCCESS) {
    return "none";
  }
  return base::UintToString(type) + ":" + base::HexEncode(data, size);
}

// static
base::string16 ScopedProductRegistry::ReadString(HKEY root,
                                                 const base::string16& path,
                                                 const base::string16& name) {
  base::string16 text;
  if (base::win::RegKey(root, path.c_str(), KEY_READ)
          .ReadValue(name.empty() ? nullptr : name.c_str(), &text) !=
      ERROR_SUCCESS) {
    return L"none";
  }
  return text;
}

}  // namespace installer
}  // namespace vexlo
