#include "base/win/registry.h"

#include <stdint.h>
#include <string.h>

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

const wchar_t kUntouched[] = L"untouched";
const uint32_t kUntouchedNumber = 0xDEADBEEF;

// Each test works below its own key under HKCU, removed before and after.
class RegKeyTest : public testing::Test {
 protected:
  void SetUp() override {
    const testing::TestInfo* info =
        testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = info->name();
    path_ = L"Software\\VexloRegKeyTest\\" +
            string16(name.begin(), name.end()) + L"-" +
            std::to_wstring(GetCurrentProcessId());
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
  }

  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VexloRegKeyTest");
  }

  bool KeyExists(const string16& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(key);
    return true;
  }

  // Stores |bytes| as they are, so that malformed values can be made.
  void PutRaw(RegKey* key,
              const wchar_t* name,
              DWORD type,
              const std::string& bytes) {
    ASSERT_EQ(ERROR_SUCCESS,
              key->WriteValueRaw(name, bytes.data(),
                                 static_cast<DWORD>(bytes.size()), type));
  }

  // The bytes of |text| without a terminating NUL.
  static std::string BytesOf(const string16& text) {
    return std::string(reinterpret_cast<const char*>(text.data()),
                       text.size() * sizeof(wchar_t));
  }

  string16 path_;
};

TEST_F(RegKeyTest, ConstructorOpensOrCreatesByAccess) {
  {
    RegKey read_only(HKEY_CURRENT_USER, path_.c_str(), KEY_READ);
    EXPECT_FALSE(read_only.Valid());
    EXPECT_EQ(0u, read_only.wow64_access());
  }
  EXPECT_FALSE(KeyExists(path_));

  {
    RegKey writable(HKEY_CURRENT_USER, path_.c_str(), KEY_WRITE);
    EXPECT_TRUE(writable.Valid());
  }
  EXPECT_TRUE(KeyExists(path_));

  // KEY_CREATE_SUB_KEY alone is enough to create.
  const string16 child = path_ + L"\\child";
  {
    RegKey creating(HKEY_CURRENT_USER, child.c_str(), KEY_CREATE_SUB_KEY);
    EXPECT_TRUE(creating.Valid());
  }
  EXPECT_TRUE(KeyExists(child));

  RegKey no_root(nullptr, path_.c_str(), KEY_WOW64_32KEY | KEY_READ);
  EXPECT_FALSE(no_root.Valid());
  EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_32KEY), no_root.wow64_access());
}

TEST_F(RegKeyTest, OpenAndCreateKeepTheHeldKeyOnFailure) {
  RegKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, path_.c_str(),
                                      KEY_ALL_ACCESS | KEY_WOW64_64KEY));
  EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_64KEY), key.wow64_access());
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValueDW(L"n", 7));
  const HKEY held = key.Handle();

  const string16 missing = path_ + L"\\missing";
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            key.Open(HKEY_CURRENT_USER, missing.c_str(), KEY_READ));
  EXPECT_EQ(held, key.Handle());
  EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_64KEY), key.wow64_access());
  // A root that is no key makes Create fail too.
  EXPECT_NE(ERROR_SUCCESS,
            key.Create(reinterpret_cast<HKEY>(0x1234), L"x", KEY_ALL_ACCESS));
  EXPECT_EQ(held, key.Handle());
  uint32_t n = 0;
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValueDW(L"n", &n));
  EXPECT_EQ(7u, n);

  // A successful open replaces the held key and its view bits.
  ASSERT_EQ(ERROR_SUCCESS,
            key.Open(HKEY_CURRENT_USER, path_.c_str(), KEY_READ));
  EXPECT_EQ(0u, key.wow64_access());
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValueDW(L"n", &n));

  key.Close();
  EXPECT_FALSE(key.Valid());
  EXPECT_EQ(0u, key.wow64_access());
  EXPECT_NE(ERROR_SUCCESS, key.ReadValueDW(L"n", &n));
  EXPECT_FALSE(key.HasValue(L"n"));
}

TEST_F(RegKeyTest, WriteValueStoresTheTerminatingNul) {
  RegKey key(HKEY_CURRENT_USER, path_.c_str(), KEY_ALL_ACCESS);
  ASSERT_TRUE(key.Valid());
  EXPECT_FALSE(key.HasValue(L"empty"));
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(L"empty", L""));
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(L"abc", L"abc"));
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValueDW(L"dw", 0xFFFFFFFF));
  EXPECT_TRUE(key.HasValue(L"empty"));

  BYTE data[64];
  DWORD size = sizeof(data);
  DWORD type = REG_NONE;
  ASSERT_EQ(ERROR_SUCCESS, key.ReadValueRaw(L"empty", data, &size, &type));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(2u, size);
  EXPECT_EQ(0, data[0] | data[1]);

  size = sizeof(data);
  ASSERT_EQ(ERROR_SUCCESS, key.ReadValueRaw(L"abc", data, &size, &type));
  EXPECT_EQ(8u, size);
  EXPECT_EQ(0, memcmp(data, L"abc", 8));

  size = sizeof(data);
  ASSERT_EQ(ERROR_SUCCESS, key.ReadValueRaw(L"dw", data, &size, &type));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(4u, size);

  string16 text = kUntouched;
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValue(L"empty", &text));
  EXPECT_EQ(L"", text);

  // The default value: null and empty names are the same value.
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(nullptr, L"default"));
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValue(L"", &text));
  EXPECT_EQ(L"default", text);

  EXPECT_EQ(ERROR_SUCCESS, key.DeleteValue(L"abc"));
  EXPECT_FALSE(key.HasValue(L"abc"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.DeleteValue(L"abc"));
  text = kUntouched;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.ReadValue(L"abc", &text));
  EXPECT_EQ(kUntouched, text);
}

TEST_F(RegKeyTest, ReadValueOfMalformedStrings) {
  RegKey key(HKEY_CURRENT_USER, path_.c_str(), KEY_ALL_ACCESS);
  ASSERT_TRUE(key.Valid());
  PutRaw(&key, L"no_nul", REG_SZ, BytesOf(L"whole"));
  PutRaw(&key, L"odd", REG_SZ, BytesOf(L"ab") + "c");
  PutRaw(&key, L"one_byte", REG_SZ, "x");
  PutRaw(&key, L"zero_bytes", REG_SZ, "");
  PutRaw(&key, L"inner_nul", REG_SZ, BytesOf(string16(L"ab\0cd", 5)));
  const string16 longest(RegKey::kMaxStringLength - 1, L'q');
  PutRaw(&key, L"longest_no_nul", REG_SZ, BytesOf(longest));
  PutRaw(&key, L"full_no_nul", REG_SZ, BytesOf(longest + L"q"));
  PutRaw(&key, L"too_long", REG_SZ,
         BytesOf(longest + L"qq") + std::string(2, '\0'));

  string16 text;
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValue(L"no_nul", &text));
  EXPECT_EQ(L"whole", text);
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValue(L"odd", &text));
  EXPECT_EQ(L"ab", text);
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValue(L"one_byte", &text));
  EXPECT_EQ(L"", text);
  text = kUntouched;
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValue(L"zero_bytes", &text));
  EXPECT_EQ(L"", text);
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValue(L"inner_nul", &text));
  EXPECT_EQ(L"ab", text);
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValue(L"longest_no_nul", &text));
  EXPECT_EQ(longest, text);
  // The registry may refuse to return a string that fills the buffer with
  // no room for a NUL; if it does return it, the text is read whole.
  text = kUntouched;
  const LONG full_result = key.ReadValue(L"full_no_nul", &text);
  if (full_result == ERROR_SUCCESS) {
    EXPECT_EQ(longest + L"q", text);
  } else {
    EXPECT_EQ(ERROR_MORE_DATA, full_result);
    EXPECT_EQ(kUntouched, text);
  }

  text = kUntouched;
  EXPECT_EQ(ERROR_MORE_DATA, key.ReadValue(L"too_long", &text));
  EXPECT_EQ(kUntouched, text);
}

TEST_F(RegKeyTest, ReadValueRefusesEveryOtherType) {
  RegKey key(HKEY_CURRENT_USER, path_.c_str(), KEY_ALL_ACCESS);
  ASSERT_TRUE(key.Valid());
  const std::string text_bytes = BytesOf(string16(L"text\0", 5));
  const DWORD other_types[] = {
      REG_NONE, REG_BINARY,   REG_DWORD, REG_DWORD_BIG_ENDIAN,
      REG_LINK, REG_MULTI_SZ, REG_QWORD, REG_RESOURCE_LIST};
  for (DWORD type : other_types) {
    SCOPED_TRACE(type);
    PutRaw(&key, L"v", type, text_bytes);
    string16 text = kUntouched;
    EXPECT_EQ(ERROR_CANTREAD, key.ReadValue(L"v", &text));
    EXPECT_EQ(kUntouched, text);
  }
}

TEST_F(RegKeyTest, ReadValueExpandsEnvironmentReferences) {
  RegKey key(HKEY_CURRENT_USER, path_.c_str(), KEY_ALL_ACCESS);
  ASSERT_TRUE(key.Valid());
  const string16 variable =
      L"VEXLO_REGKEY_TEST_" + std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(SetEnvironmentVariableW(variable.c_str(), L"C:\\expanded"));
  const string16 reference = L"%" + variable + L"%";
  PutRaw(&key, L"with_nul", REG_EXPAND_SZ,
         BytesOf(reference + L"\\tail") + std::string(2, '\0'));
  // Stored without its NUL and with an odd byte count: the text ends at the
  // bytes returned, whatever the read buffer held after them.
  PutRaw(&key, L"no_nul", REG_EXPAND_SZ, BytesOf(reference));
  PutRaw(&key, L"odd", REG_EXPAND_SZ, BytesOf(reference + L"!") + "!");
  PutRaw(&key, L"unknown", REG_EXPAND_SZ, BytesOf(L"%VEXLO_NO_SUCH_VARIABLE%"));

  string16 text;
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValue(L"with_nul", &text));
  EXPECT_EQ(L"C:\\expanded\\tail", text);
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValue(L"no_nul", &text));
  EXPECT_EQ(L"C:\\expanded", text);
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValue(L"odd", &text));
  EXPECT_EQ(L"C:\\expanded!", text);
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValue(L"unknown", &text));
  EXPECT_EQ(L"%VEXLO_NO_SUCH_VARIABLE%", text);

  // The expansion may fill 1023 characters and its NUL, not one more,
  // though the stored text is far shorter.
  const string16 long_variable = variable + L"_LONG";
  const string16 long_text(1000, L'a');
  ASSERT_TRUE(
      SetEnvironmentVariableW(long_variable.c_str(), long_text.c_str()));
  const string16 pad(RegKey::kMaxStringLength - 1 - long_text.size(), L'p');
  PutRaw(&key, L"fits", REG_EXPAND_SZ,
         BytesOf(L"%" + long_variable + L"%" + pad));
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValue(L"fits", &text));
  EXPECT_EQ(long_text + pad, text);

  PutRaw(&key, L"overflows", REG_EXPAND_SZ,
         BytesOf(L"%" + long_variable + L"%" + pad + L"p"));
  text = kUntouched;
  EXPECT_EQ(ERROR_MORE_DATA, key.ReadValue(L"overflows", &text));
  EXPECT_EQ(kUntouched, text);

  // A full buffer without a NUL cannot expand into the same buffer size.
  PutRaw(&key, L"full", REG_EXPAND_SZ,
         BytesOf(string16(RegKey::kMaxStringLength, L'b')));
  EXPECT_EQ(ERROR_MORE_DATA, key.ReadValue(L"full", &text));
  EXPECT_EQ(kUntouched, text);

  SetEnvironmentVariableW(variable.c_str(), nullptr);
  SetEnvironmentVariableW(long_variable.c_str(), nullptr);
}

TEST_F(RegKeyTest, ReadValueDWAcceptsOnlyFourByteNumbers) {
  RegKey key(HKEY_CURRENT_USER, path_.c_str(), KEY_ALL_ACCESS);
  ASSERT_TRUE(key.Valid());
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValueDW(L"dword", 0x80000001));
  PutRaw(&key, L"binary4", REG_BINARY, std::string("\x01\x02\x03\x04", 4));

  uint32_t number = 0;
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValueDW(L"dword", &number));
  EXPECT_EQ(0x80000001u, number);
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValueDW(L"binary4", &number));
  EXPECT_EQ(0x04030201u, number);

  struct Refused {
    const wchar_t* name;
    DWORD type;
    std::string bytes;
  } const refused[] = {
      {L"qword", REG_QWORD, std::string(8, '\x01')},
      {L"binary3", REG_BINARY, std::string(3, '\x01')},
      {L"binary5", REG_BINARY, std::string(5, '\x01')},
      {L"short_dword", REG_DWORD, std::string(2, '\x01')},
      {L"empty_dword", REG_DWORD, std::string()},
      {L"big_endian", REG_DWORD_BIG_ENDIAN, std::string(4, '\x01')},
      {L"string", REG_SZ, BytesOf(string16(L"a\0", 2))},
      {L"none", REG_NONE, std::string(4, '\x01')},
  };
  for (const Refused& value : refused) {
    SCOPED_TRACE(value.name);
    PutRaw(&key, value.name, value.type, value.bytes);
    number = kUntouchedNumber;
    EXPECT_EQ(ERROR_CANTREAD, key.ReadValueDW(value.name, &number));
    EXPECT_EQ(kUntouchedNumber, number);
  }

  number = kUntouchedNumber;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.ReadValueDW(L"missing", &number));
  EXPECT_EQ(kUntouchedNumber, number);
}

TEST_F(RegKeyTest, RawValuesOfEveryTypeRoundTrip) {
  RegKey key(HKEY_CURRENT_USER, path_.c_str(), KEY_ALL_ACCESS);
  ASSERT_TRUE(key.Valid());
  const std::string bytes("\x00\x01\xFF\x7F\x00\x80\x10", 7);
  const DWORD types[] = {REG_NONE,   REG_SZ,       REG_EXPAND_SZ,
                         REG_BINARY, REG_DWORD,    REG_DWORD_BIG_ENDIAN,
                         REG_LINK,   REG_MULTI_SZ, REG_QWORD};
  for (DWORD type : types) {
    SCOPED_TRACE(type);
    PutRaw(&key, L"raw", type, bytes);
    char data[16] = {};
    DWORD size = sizeof(data);
    DWORD read_type = 0xFFFF;
    ASSERT_EQ(ERROR_SUCCESS, key.ReadValueRaw(L"raw", data, &size, &read_type));
    EXPECT_EQ(type, read_type);
    EXPECT_EQ(bytes, std::string(data, size));

    // A buffer one byte short reports the size it needs.
    size = static_cast<DWORD>(bytes.size() - 1);
    EXPECT_EQ(ERROR_MORE_DATA,
              key.ReadValueRaw(L"raw", data, &size, &read_type));
    EXPECT_EQ(bytes.size(), size);
  }
}

}  // namespace
}  // namespace win
}  // namespace base
