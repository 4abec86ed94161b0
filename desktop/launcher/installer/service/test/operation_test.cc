#include "desktop/launcher/installer/service/test/operation_test.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlwapi.h>

#include <utility>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "desktop/launcher/installer/service/service_utils.h"

namespace vexlo {
namespace installer {

namespace {

base::string16 MakeUniqueKeyPath() {
  static LONG counter = 0;
  return L"Software\\VexloTest\\" +
         base::UintToString16(::GetCurrentProcessId()) + L"_" +
         base::UintToString16(::GetTickCount()) + L"_" +
         base::UintToString16(::InterlockedIncrement(&counter));
}

std::string SecurityText(PSECURITY_DESCRIPTOR descriptor,
                         SECURITY_INFORMATION information) {
  wchar_t* text = nullptr;
  if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, information, &text, nullptr)) {
    return "unconvertible";
  }
  const std::string result = base::UTF16ToUTF8(text);
  ::LocalFree(text);
  return result;
}

}  // namespace

const wchar_t OperationTest::kLockedKey[] =
    L"O:SYG:SYD:P(D;;0xC0006;;;WD)(A;;0x30019;;;WD)";

OperationTest::OperationTest() : key_path_(MakeUniqueKeyPath()) {}

OperationTest::~OperationTest() {
  const std::vector<base::string16> secured_keys = std::move(secured_keys_);
  for (const base::string16& key : secured_keys)
    SetKeySecurity(key, L"D:(A;OICI;KA;;;WD)");
  EXPECT_EQ(ERROR_SUCCESS,
            ::SHDeleteKeyW(HKEY_CURRENT_USER, key_path_.c_str()));
}

void OperationTest::SetUp() {
  ASSERT_TRUE(temp_.IsValid());
  base::win::RegKey key(HKEY_CURRENT_USER, key_path_.c_str(), KEY_ALL_ACCESS);
  ASSERT_TRUE(key.Valid());
}

base::FilePath OperationTest::Path(const base::string16& relative) const {
  return temp_.path().Append(relative);
}

void OperationTest::Write(const base::string16& relative,
                          const std::string& content,
                          DWORD attributes) {
  ASSERT_TRUE(base::CreateDirectory(Path(relative).DirName()));
  ASSERT_EQ(static_cast<int>(content.size()),
            base::WriteFile(Path(relative), content.data(),
                            static_cast<int>(content.size())));
  ASSERT_TRUE(::SetFileAttributesW(Path(relative).value().c_str(), attributes));
}

std::string OperationTest::Read(const base::string16& relative) const {
  std::string content;
  return base::ReadFileToString(Path(relative), &content) ? content : "none";
}

base::string16 OperationTest::Key(const base::string16& relative) const {
  return relative.empty() ? key_path_ : key_path_ + L"\\" + relative;
}

void OperationTest::SetValue(const base::string16& key,
                             const base::string16& name,
                             DWORD type,
                             const std::string& bytes) {
  base::win::RegKey reg_key(HKEY_CURRENT_USER, Key(key).c_str(),
                            KEY_ALL_ACCESS);
  ASSERT_EQ(ERROR_SUCCESS,
            reg_key.WriteValueRaw(name.c_str(), bytes.data(),
                                  static_cast<DWORD>(bytes.size()), type));
}

std::string OperationTest::ReadValue(const base::string16& key,
                                     const base::string16& name) const {
  base::win::RegKey reg_key;
  DWORD size = 0;
  DWORD type = 0;
  if (reg_key.Open(HKEY_CURRENT_USER, Key(key).c_str(), KEY_QUERY_VALUE) !=
          ERROR_SUCCESS ||
      reg_key.ReadValueRaw(name.c_str(), nullptr, &size, &type) !=
          ERROR_SUCCESS) {
    return "none";
  }
  std::string bytes(size, '\0');
  reg_key.ReadValueRaw(name.c_str(), &bytes[0], &size, &type);
  return base::StringPrintf("%lx:", type) + bytes.substr(0, size);
}

void OperationTest::SetKeySecurity(const base::string16& key,
                                   const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
      sddl, SDDL_REVISION_1, &descriptor, nullptr));
  PSID owner = nullptr;
  PSID group = nullptr;
  PACL dacl = nullptr;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  ::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
  ::GetSecurityDescriptorGroup(descriptor, &group, &defaulted);
  ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
  base::string16 name = GetRegistryObjectName(HKEY_CURRENT_USER, Key(key));
  ::SetNamedSecurityInfoW(&name[0], SE_REGISTRY_KEY,
                          (owner ? OWNER_SECURITY_INFORMATION : 0) |
                              (group ? GROUP_SECURITY_INFORMATION : 0) |
                              DACL_SECURITY_INFORMATION,
                          owner, group, dacl, nullptr);
  ::LocalFree(descriptor);
  secured_keys_.push_back(key);
}

std::string OperationTest::KeySecurity(const base::string16& key) const {
  constexpr SECURITY_INFORMATION kInformation = OWNER_SECURITY_INFORMATION |
                                                GROUP_SECURITY_INFORMATION |
                                                DACL_SECURITY_INFORMATION;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD result = ::GetNamedSecurityInfoW(
      GetRegistryObjectName(HKEY_CURRENT_USER, Key(key)).c_str(),
      SE_REGISTRY_KEY, kInformation, nullptr, nullptr, nullptr, nullptr,
      &descriptor);
  if (result != ERROR_SUCCESS)
    return "error " + base::UintToString(result);
  const std::string text = SecurityText(descriptor, kInformation);
  ::LocalFree(descriptor);
  return text;
}

Snapshot OperationTest::TakeSnapshot() const {
  Snapshot snapshot;
  base::FileEnumerator entries(
      temp_.path(), true,
      base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath path = entries.Next(); !path.empty();
       path = entries.Next()) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    EXPECT_TRUE(::GetFileAttributesExW(path.value().c_str(),
                                       GetFileExInfoStandard, &data));
    std::string& entry = snapshot[L"file " + path.value()];
    entry = base::StringPrintf("attributes %lx", data.dwFileAttributes);
    std::string content;
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        base::ReadFileToString(path, &content)) {
      entry += base::StringPrintf(" written %lx.%lx ",
                                  data.ftLastWriteTime.dwHighDateTime,
                                  data.ftLastWriteTime.dwLowDateTime) +
               content;
    }
  }
  SnapshotKey(L"", &snapshot);
  return snapshot;
}

void OperationTest::SnapshotKey(const base::string16& relative,
                                Snapshot* snapshot) const {
  (*snapshot)[L"key " + relative] = KeySecurity(relative);
  base::win::RegKey key;
  if (key.Open(HKEY_CURRENT_USER, Key(relative).c_str(), KEY_READ) !=
      ERROR_SUCCESS) {
    return;
  }
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (::RegEnumValueW(key.Handle(), i, name, &length, nullptr, nullptr,
                        nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    (*snapshot)[L"value " + relative + L" : " + name] =
        ReadValue(relative, name);
  }
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (::RegEnumKeyExW(key.Handle(), i, name, &length, nullptr, nullptr,
                        nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    SnapshotKey(relative.empty() ? name : relative + L"\\" + name, snapshot);
  }
}

}  // namespace installer
}  // namespace vexlo
