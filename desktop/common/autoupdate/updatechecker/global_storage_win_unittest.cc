#include "desktop/common/autoupdate/updatechecker/global_storage_win.h"

#include <windows.h>

#include <sddl.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "base/files/file_util.h"
#include "base/message_loop/message_loop.h"
#include "base/strings/string_number_conversions.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/service/test/operation_test.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace autoupdate {

namespace {

// Everyone may read, delete and change the access list, but not write.
const wchar_t kReadOnlyKey[] = L"O:BAG:BAD:(A;;0xF0019;;;WD)";
const wchar_t kWritableKey[] = L"O:BAG:BAD:(A;;KA;;;WD)";
const wchar_t kCompany[] = L"Company";

// Whether a thread other than the caller's can take the named mutex at once:
// an operation that kept it would shut other processes out.
bool MutexIsFree(const base::string16& name) {
  DWORD wait = WAIT_FAILED;
  std::thread([&] {
    base::win::ScopedHandle mutex(::CreateMutexW(nullptr, FALSE, name.c_str()));
    wait = ::WaitForSingleObject(mutex.Get(), 0);
    if (wait == WAIT_OBJECT_0)
      ::ReleaseMutex(mutex.Get());
  }).join();
  return wait == WAIT_OBJECT_0;
}

}  // namespace

class GlobalStorageWinTest : public installer::OperationTest {
 protected:
  GlobalStorageWinTest()
      : mutex_name_(L"vauc_test_mutex_" +
                    base::UintToString16(::GetCurrentProcessId()) + L"_" +
                    base::UintToString16(::GetTickCount())) {}

  std::unique_ptr<GlobalStorageWin> MakeStorage() {
    return std::make_unique<GlobalStorageWin>(Key(kCompany), mutex_name_);
  }
  // A store initialised with the test folder.
  std::unique_ptr<GlobalStorageWin> MakeInitializedStorage() {
    std::unique_ptr<GlobalStorageWin> storage = MakeStorage();
    storage->Initialize(temp_.path());
    return storage;
  }
  base::FilePath FallbackPath() const {
    return Path(GlobalStorageWin::kFallbackFileName);
  }
  std::string FallbackText() const {
    std::string text;
    return base::ReadFileToString(FallbackPath(), &text) ? text : "none";
  }
  void WriteFallback(const std::string& text) {
    Write(GlobalStorageWin::kFallbackFileName, text);
  }
  // The company key's value |name| as the narrow registry functions see it:
  // "<type>:<text up to the first zero>", or "none". (The narrow setter adds
  // a terminator of its own when the byte after the data is zero.)
  std::string ReadAnsi(const std::string& name) const {
    base::win::RegKey key(HKEY_CURRENT_USER, Key(kCompany).c_str(),
                          KEY_QUERY_VALUE);
    char data[256] = {};
    DWORD type = 0;
    DWORD size = sizeof(data) - 1;
    if (::RegQueryValueExA(key.Handle(), name.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(data),
                           &size) != ERROR_SUCCESS) {
      return "none";
    }
    return base::UintToString(type) + ":" + data;
  }
  void WriteAnsi(const std::string& name, DWORD type, const std::string& data) {
    base::win::RegKey key(HKEY_CURRENT_USER, Key(kCompany).c_str(),
                          KEY_SET_VALUE);
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegSetValueExA(key.Handle(), name.c_str(), 0, type,
                               reinterpret_cast<const BYTE*>(data.data()),
                               static_cast<DWORD>(data.size())));
  }
  std::string Get(GlobalStorageWin* storage,
                  const std::string& name,
                  int32_t expected_status = GlobalStorage::kSuccess) {
    std::string value = "stale";
    EXPECT_EQ(expected_status, storage->GetValue(name, &value)) << name;
    return value;
  }

  base::MessageLoop loop_;
  const base::string16 mutex_name_;
};

TEST_F(GlobalStorageWinTest, GetInstanceUsesCompanyKey) {
  EXPECT_EQ(L"Software\\Vexlo Test Company",
            GlobalStorageWin::CompanyKeyPath());
  EXPECT_EQ(GlobalStorageWin::GetInstance(), GlobalStorageWin::GetInstance());
}

TEST_F(GlobalStorageWinTest, StoresValuesWithoutTerminator) {
  std::unique_ptr<GlobalStorageWin> storage = MakeInitializedStorage();
  EXPECT_FALSE(storage->registry_read_only());
  EXPECT_EQ(0, storage->SetValue("UUID", "abc-1"));
  EXPECT_EQ(0, storage->SetValue("dotted.name", "x"));
  EXPECT_EQ("1:abc-1", ReadAnsi("UUID"));
  EXPECT_EQ("abc-1", Get(storage.get(), "UUID"));
  EXPECT_EQ("x", Get(storage.get(), "dotted.name"));
  EXPECT_EQ(0, storage->SetValue("UUID", "z"));
  EXPECT_EQ("z", Get(storage.get(), "UUID"));
  EXPECT_TRUE(MutexIsFree(mutex_name_));
  // The registry alone holds the values while it is writable.
  EXPECT_EQ("none", FallbackText());
}

TEST_F(GlobalStorageWinTest, ReadsRegistryData) {
  const struct {
    DWORD type;
    std::string bytes;
    std::string expected;
  } kCases[] = {
      {REG_SZ, std::string("term\0", 5), "term"},
      {REG_SZ, std::string("cut\0rest", 8), "cut"},
      {REG_SZ, "", ""},
      {REG_BINARY, "raw", "raw"},
  };
  std::unique_ptr<GlobalStorageWin> storage = MakeInitializedStorage();
  for (const auto& test : kCases) {
    WriteAnsi("v", test.type, test.bytes);
    EXPECT_EQ(test.expected, Get(storage.get(), "v")) << test.bytes;
  }
  EXPECT_EQ("", Get(storage.get(), "missing"));
}

TEST_F(GlobalStorageWinTest, EmptyValueDeletes) {
  std::unique_ptr<GlobalStorageWin> storage = MakeInitializedStorage();
  // Without the company key there is nothing to delete, and no key is made.
  EXPECT_EQ(0, storage->SetValue("k", ""));
  base::win::RegKey key;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            key.Open(HKEY_CURRENT_USER, Key(kCompany).c_str(), KEY_READ));
  EXPECT_EQ(0, storage->SetValue("k", "v"));
  EXPECT_EQ(0, storage->SetValue("k", ""));
  EXPECT_EQ("none", ReadAnsi("k"));
  EXPECT_EQ("", Get(storage.get(), "k"));
}

TEST_F(GlobalStorageWinTest, RefusesInvalidArguments) {
  std::unique_ptr<GlobalStorageWin> storage = MakeInitializedStorage();
  EXPECT_EQ(GlobalStorage::kInvalidArgument, storage->SetValue("", "v"));
  EXPECT_EQ(GlobalStorage::kInvalidArgument, storage->GetValue("k", nullptr));
  EXPECT_EQ("", Get(storage.get(), "", GlobalStorage::kInvalidArgument));
}

TEST_F(GlobalStorageWinTest, ReadOnlyKeyUsesFallbackFile) {
  SetKeySecurity(kCompany, kReadOnlyKey);
  std::unique_ptr<GlobalStorageWin> storage = MakeStorage();
  ASSERT_TRUE(storage->registry_read_only());
  // No folder, no file to fall back on.
  EXPECT_EQ(GlobalStorage::kFailure, storage->SetValue("k", "v"));
  EXPECT_EQ("", Get(storage.get(), "k", GlobalStorage::kFailure));
  storage->Initialize(temp_.path());
  EXPECT_EQ(0, storage->SetValue("k", "v"));
  EXPECT_EQ(0, storage->SetValue("a.b", "w"));
  EXPECT_EQ("{\"GS\":{\"a.b\":\"w\",\"k\":\"v\"}}", FallbackText());
  EXPECT_EQ("none", ReadAnsi("k"));
  EXPECT_EQ("v", Get(storage.get(), "k"));
  EXPECT_EQ("w", Get(storage.get(), "a.b"));
  EXPECT_EQ(0, storage->SetValue("k", ""));
  EXPECT_EQ("{\"GS\":{\"a.b\":\"w\"}}", FallbackText());
  // A value set empty reads back empty, as from the registry.
  EXPECT_EQ("", Get(storage.get(), "k"));
  EXPECT_TRUE(MutexIsFree(mutex_name_));
  EXPECT_EQ(0, storage->SetValue("k", "x"));
  EXPECT_TRUE(MutexIsFree(mutex_name_));
  SetKeySecurity(kCompany, kWritableKey);
}

TEST_F(GlobalStorageWinTest, MalformedFallbackFile) {
  const struct {
    std::string text;
    int32_t set_status;
    int32_t get_status;
    std::string value;
  } kCases[] = {
      {"{}", 0, 0, ""},
      {"{\"GS\":{\"k\":\"old\"}}", 0, 0, "old"},
      {"{\"GS\":[1]}", -252, -252, ""},
      {"{\"GS\":{\"k\":7}}", 0, -252, ""},
      {"{\"GS\":{\"k\":\"caf\xC3\xA9\"}}", 0, -252, ""},
  };
  SetKeySecurity(kCompany, kReadOnlyKey);
  std::unique_ptr<GlobalStorageWin> storage = MakeInitializedStorage();
  for (const auto& test : kCases) {
    WriteFallback(test.text);
    EXPECT_EQ(test.value, Get(storage.get(), "k", test.get_status))
        << test.text;
    EXPECT_EQ(test.set_status, storage->SetValue("n", "1")) << test.text;
    if (test.set_status == 0)
      EXPECT_EQ("1", Get(storage.get(), "n")) << test.text;
    else
      EXPECT_EQ(test.text, FallbackText());
  }
  SetKeySecurity(kCompany, kWritableKey);
}

TEST_F(GlobalStorageWinTest, CopiesFallbackBackWhenWritable) {
  SetKeySecurity(kCompany, kReadOnlyKey);
  WriteFallback("{\"GS\":{\"n\":5,\"d\":{\"x\":\"y\"}}}");
  ASSERT_EQ(0, MakeInitializedStorage()->SetValue("UUID", "u-1"));
  EXPECT_EQ("none", ReadAnsi("UUID"));
  SetKeySecurity(kCompany, kWritableKey);

  std::unique_ptr<GlobalStorageWin> storage = MakeInitializedStorage();
  EXPECT_FALSE(storage->registry_read_only());
  EXPECT_EQ("1:u-1", ReadAnsi("UUID"));
  EXPECT_EQ("none", ReadAnsi("n"));
  EXPECT_EQ("none", ReadAnsi("d"));
  // The file stays the full copy, so writes go to both.
  EXPECT_EQ(0, storage->SetValue("UUID", "u-2"));
  EXPECT_EQ("1:u-2", ReadAnsi("UUID"));
  EXPECT_EQ("{\"GS\":{\"UUID\":\"u-2\",\"d\":{\"x\":\"y\"},\"n\":5}}",
            FallbackText());
}

TEST_F(GlobalStorageWinTest, NoCopyAfterRegistryWrite) {
  WriteFallback("{\"GS\":{\"a\":\"file\"}}");
  std::unique_ptr<GlobalStorageWin> storage = MakeStorage();
  ASSERT_EQ(0, storage->SetValue("a", "registry"));
  storage->Initialize(temp_.path());
  EXPECT_EQ("1:registry", ReadAnsi("a"));
}

TEST_F(GlobalStorageWinTest, RegistryWriteFailureReported) {
  std::unique_ptr<GlobalStorageWin> storage = MakeInitializedStorage();
  // The key turns read-only after the store decided it was writable.
  SetKeySecurity(kCompany, kReadOnlyKey);
  EXPECT_EQ(GlobalStorage::kFailure, storage->SetValue("k", "v"));
  EXPECT_EQ(GlobalStorage::kFailure, storage->SetValue("k", ""));
  SetKeySecurity(kCompany, kWritableKey);
  // A failed write does not count as written: the file still migrates.
  WriteFallback("{\"GS\":{\"k\":\"file\"}}");
  storage->Initialize(temp_.path());
  EXPECT_EQ("1:file", ReadAnsi("k"));
}

TEST_F(GlobalStorageWinTest, MutexThatCannotBeCreated) {
  GlobalStorageWin storage(Key(kCompany), L"no\\such\\namespace");
  EXPECT_EQ(GlobalStorage::kFailure, storage.SetValue("k", "v"));
  EXPECT_EQ("", Get(&storage, "k", GlobalStorage::kFailure));
  EXPECT_EQ("none", ReadAnsi("k"));
}

TEST_F(GlobalStorageWinTest, WaitsOnMutexThatRefusesFullAccess) {
  // As a mutex made by a more privileged process: anyone may wait, no more.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:(A;;0x100000;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  base::win::ScopedHandle mutex(
      ::CreateMutexW(&attributes, FALSE, mutex_name_.c_str()));
  ::LocalFree(descriptor);
  ASSERT_TRUE(mutex.IsValid());
  std::unique_ptr<GlobalStorageWin> storage = MakeInitializedStorage();
  EXPECT_EQ(0, storage->SetValue("k", "v"));
  EXPECT_EQ("v", Get(storage.get(), "k"));
}

TEST_F(GlobalStorageWinTest, BusyMutexDoesNothing) {
  std::unique_ptr<GlobalStorageWin> storage = MakeInitializedStorage();
  ASSERT_EQ(0, storage->SetValue("k", "v"));
  // This thread holds the mutex, as another process would.
  base::win::ScopedHandle mutex(
      ::CreateMutexW(nullptr, FALSE, mutex_name_.c_str()));
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(mutex.Get(), 0));
  int32_t set_status = 0;
  int32_t get_status = 0;
  std::string value = "stale";
  std::thread([&] {
    set_status = storage->SetValue("k", "w");
    get_status = storage->GetValue("k", &value);
  }).join();
  ::ReleaseMutex(mutex.Get());
  EXPECT_EQ(GlobalStorage::kBusy, set_status);
  EXPECT_EQ(GlobalStorage::kBusy, get_status);
  EXPECT_EQ("", value);
  EXPECT_EQ("1:v", ReadAnsi("k"));
}

TEST_F(GlobalStorageWinTest, TwoThreadsContend) {
  constexpr int kRounds = 300;
  std::atomic<int> bad_status(0);
  auto run = [&](const std::string& name) {
    GlobalStorageWin storage(Key(kCompany), mutex_name_);
    std::string last;
    for (int i = 0; i < kRounds; ++i) {
      const std::string value = base::IntToString(i);
      const int32_t status = storage.SetValue(name, value);
      if (status == GlobalStorage::kSuccess)
        last = value;
      else if (status != GlobalStorage::kBusy)
        ++bad_status;
      std::string read;
      const int32_t read_status = storage.GetValue(name, &read);
      if (read_status == GlobalStorage::kSuccess && read != last)
        ++bad_status;
      else if (read_status != GlobalStorage::kSuccess &&
               read_status != GlobalStorage::kBusy)
        ++bad_status;
    }
    return last;
  };
  std::string last_a;
  std::thread other([&] { last_a = run("a"); });
  const std::string last_b = run("b");
  other.join();
  EXPECT_EQ(0, bad_status.load());
  EXPECT_EQ("1:" + last_a, ReadAnsi("a"));
  EXPECT_EQ("1:" + last_b, ReadAnsi("b"));
}

}  // namespace autoupdate
}  // namespace vexlo
