#include "desktop/launcher/installer/service/test/operation_test.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlwapi.h>

#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "desktop/launcher/installer/service/test/fake_security_checks.h"

namespace vexlo {
namespace installer {

namespace {

constexpr SECURITY_INFORMATION kKeySecurityInformation =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
    DACL_SECURITY_INFORMATION;

std::string SecurityDescriptorText(PSECURITY_DESCRIPTOR descriptor) {
  wchar_t* text = nullptr;
  EXPECT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(
      descriptor, SDDL_REVISION_1, kKeySecurityInformation, &text, nullptr));
  const std::string security = base::UTF16ToUTF8(text);
  ::LocalFree(text);
  return security;
}

// The security of an open key, as KeySecurity tells it.
std::string OpenKeySecurity(HKEY key) {
  std::vector<BYTE> descriptor(4096);
  DWORD size = static_cast<DWORD>(descriptor.size());
  const LONG result = ::RegGetKeySecurity(key, kKeySecurityInformation,
                                          descriptor.data(), &size);
  if (result != ERROR_SUCCESS)
    return "error " + base::IntToString(result);
  return SecurityDescriptorText(descriptor.data());
}

}  // namespace

const wchar_t OperationTest::kLockedKey[] =
    L"O:SYG:SYD:(D;;0xC0006;;;WD)(A;;0x30019;;;WD)";

OperationTest::OperationTest()
    : key_path_(L"Software\\VexloTest\\" +
                base::UintToString16(::GetCurrentProcessId()) + L"_" +
                base::UintToString16(::GetTickCount())) {}

OperationTest::~OperationTest() {
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

std::shared_ptr<void> OperationTest::Lock(const base::string16& relative,
                                          DWORD share) const {
  return std::shared_ptr<void>(
      ::CreateFileW(Path(relative).value().c_str(), GENERIC_READ, share,
                    nullptr, OPEN_EXISTING, 0, nullptr),
      ::CloseHandle);
}

std::shared_ptr<void> OperationTest::Deny(
    const base::string16& relative) const {
  auto checks = std::make_shared<FakeSecurityChecks>();
  checks->Deny(Path(relative).value());
  return checks;
}

base::string16 OperationTest::Key(const base::string16& relative) const {
  return relative.empty() ? key_path_ : key_path_ + L"\\" + relative;
}

base::string16 OperationTest::ObjectName(const base::string16& key) const {
  return GetRegistryObjectName(HKEY_CURRENT_USER, Key(key));
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
  base::win::RegKey reg_key;
  if (reg_key.Open(HKEY_CURRENT_USER, Key(key).c_str(),
                   WRITE_DAC | WRITE_OWNER) == ERROR_FILE_NOT_FOUND) {
    reg_key.Create(HKEY_CURRENT_USER, Key(key).c_str(),
                   WRITE_DAC | WRITE_OWNER);
  }
  EXPECT_EQ(ERROR_SUCCESS,
            ::RegSetKeySecurity(reg_key.Handle(), kKeySecurityInformation,
                                descriptor));
  ::LocalFree(descriptor);
}

std::string OperationTest::KeySecurity(const base::string16& key) const {
  return SecurityText(ObjectName(key), SE_REGISTRY_KEY);
}

// static
std::string OperationTest::SecurityText(const base::string16& object_name,
                                        SE_OBJECT_TYPE object_type) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD result = ::GetNamedSecurityInfoW(
      object_name.c_str(), object_type, kKeySecurityInformation, nullptr,
      nullptr, nullptr, nullptr, &descriptor);
  if (result != ERROR_SUCCESS)
    return "error " + base::UintToString(result);
  const std::string security = SecurityDescriptorText(descriptor);
  ::LocalFree(descriptor);
  return security;
}

Snapshot OperationTest::TakeSnapshot() const {
  Snapshot snapshot;
  base::FileEnumerator entries(
      temp_.path(), true,
      base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath path = entries.Next(); !path.empty();
       path = entries.Next()) {
    const base::FileEnumerator::FileInfo info = entries.GetInfo();
    const WIN32_FIND_DATAW& data = info.find_data();
    std::string& entry = snapshot[L"file " + path.value()];
    entry = base::StringPrintf("attributes %lx", data.dwFileAttributes);
    snapshot[L"security " + path.value()] =
        SecurityText(path.value(), SE_FILE_OBJECT);
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
  base::win::RegKey key;
  if (key.Open(HKEY_CURRENT_USER, Key(relative).c_str(), KEY_READ) !=
      ERROR_SUCCESS) {
    (*snapshot)[L"key " + relative] = KeySecurity(relative);
    return;
  }
  (*snapshot)[L"key " + relative] = OpenKeySecurity(key.Handle());
  wchar_t name[16384];
  std::vector<char> data(65536);
  for (DWORD i = 0;; ++i) {
    DWORD length = ARRAYSIZE(name);
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(data.size());
    const LONG result =
        ::RegEnumValueW(key.Handle(), i, name, &length, nullptr, &type,
                        reinterpret_cast<BYTE*>(data.data()), &size);
    if (result == ERROR_NO_MORE_ITEMS)
      break;
    if (result != ERROR_SUCCESS) {
      (*snapshot)[L"value " + relative + L" #" + base::UintToString16(i)] =
          "error " + base::IntToString(result);
      break;
    }
    (*snapshot)[L"value " + relative + L" : " + name] =
        base::StringPrintf("%lx:", type) + std::string(data.data(), size);
  }
  for (DWORD i = 0;; ++i) {
    DWORD length = ARRAYSIZE(name);
    if (::RegEnumKeyExW(key.Handle(), i, name, &length, nullptr, nullptr,
                        nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    SnapshotKey(relative.empty() ? name : relative + L"\\" + name, snapshot);
  }
}

}  // namespace installer
}  // namespace vexlo
