#include "base/win/registry.h"

#include <stdint.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

const wchar_t kUntouched[] = L"untouched";
const uint32_t kUntouchedNumber = 0xDEADBEEF;

// The bytes of |text| without a terminating NUL.
std::string BytesOf(const string16& text) {
  return std::string(reinterpret_cast<const char*>(text.data()),
                     text.size() * sizeof(wchar_t));
}

// Each test works in its own key under HKCU, held in |key_|. The keys share
// no parent that one test could delete while another creates its key.
class RegKeyTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::string name =
        testing::UnitTest::GetInstance()->current_test_info()->name();
    path_ = L"Software\\VexloRegKeyTest-" + string16(name.begin(), name.end()) +
            L"-" + std::to_wstring(GetCurrentProcessId());
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    ASSERT_EQ(ERROR_SUCCESS,
              key_.Create(HKEY_CURRENT_USER, path_.c_str(), KEY_ALL_ACCESS));
  }
  void TearDown() override {
    key_.Close();
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
  }

  // Stores |bytes| as they are, so that malformed values can be made.
  void Put(const wchar_t* name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(ERROR_SUCCESS,
              key_.WriteValueRaw(name, bytes.data(),
                                 static_cast<DWORD>(bytes.size()), type));
  }

  string16 path_;
  RegKey key_;
};

TEST_F(RegKeyTest, CreatesOnlyForWritingAndKeepsTheKeyOnFailure) {
  const string16 child = path_ + L"\\child";
  EXPECT_FALSE(RegKey(HKEY_CURRENT_USER, child.c_str(), KEY_READ).Valid());
  // KEY_CREATE_SUB_KEY alone is enough to create.
  EXPECT_TRUE(
      RegKey(HKEY_CURRENT_USER, child.c_str(), KEY_CREATE_SUB_KEY).Valid());
  EXPECT_TRUE(RegKey(HKEY_CURRENT_USER, child.c_str(), KEY_READ).Valid());
  RegKey key(nullptr, path_.c_str(), KEY_WOW64_32KEY | KEY_READ);
  EXPECT_FALSE(key.Valid());
  EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_32KEY), key.wow64_access());
  ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, path_.c_str(),
                                      KEY_ALL_ACCESS | KEY_WOW64_64KEY));
  const HKEY held = key.Handle();
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            key.Open(HKEY_CURRENT_USER, (child + L"x").c_str(), KEY_READ));
  EXPECT_NE(ERROR_SUCCESS,
            key.Create(reinterpret_cast<HKEY>(0x1234), L"x", KEY_ALL_ACCESS));
  EXPECT_EQ(held, key.Handle());
  EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_64KEY), key.wow64_access());
  // Null and empty names are both the default value, stored with its NUL.
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(nullptr, L"abc"));
  ASSERT_EQ(ERROR_SUCCESS,
            key.Open(HKEY_CURRENT_USER, path_.c_str(), KEY_READ));
  EXPECT_EQ(0u, key.wow64_access());
  char data[16];
  DWORD size = sizeof(data), type = 0;
  ASSERT_EQ(ERROR_SUCCESS, key.ReadValueRaw(L"", data, &size, &type));
  EXPECT_EQ(BytesOf(string16(L"abc\0", 4)), std::string(data, size));
  key.Close();
  EXPECT_FALSE(key.Valid());
  EXPECT_FALSE(key.HasValue(L""));
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteValueDW(L"n", 0x80000001));
  EXPECT_EQ(ERROR_SUCCESS, key_.DeleteValue(L"n"));
  EXPECT_FALSE(key_.HasValue(L"n"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key_.DeleteValue(L"n"));
}

// Every kind of stored value, through both readers: a string read may only
// cut the text at the bytes stored, and a number read takes only four bytes.
TEST_F(RegKeyTest, ReadersRefuseWhatTheyCannotRead) {
  const string16 long_text(1000, L'a');
  ASSERT_TRUE(SetEnvironmentVariableW(L"VEXLO_X", L"C:\\x"));
  ASSERT_TRUE(SetEnvironmentVariableW(L"VEXLO_L", long_text.c_str()));
  const string16 reference = L"%VEXLO_X%", long_reference = L"%VEXLO_L%";
  const string16 longest(RegKey::kMaxStringLength - 1, L'q');
  const string16 pad(RegKey::kMaxStringLength - 1 - long_text.size(), L'p');
  const std::string nul(2, '\0'), four("\x01\x02\x03\x84", 4);
  const LONG kOk = ERROR_SUCCESS, kNo = ERROR_CANTREAD, kMore = ERROR_MORE_DATA;
  struct Case {
    DWORD type;
    std::string bytes;
    LONG text_result;
    string16 text;
    LONG number_result;
  };
  std::vector<Case> cases = {
      {REG_SZ, BytesOf(L"whole"), kOk, L"whole", kNo},
      {REG_SZ, BytesOf(L"ab") + "c", kOk, L"ab", kNo},
      {REG_SZ, "x", kOk, L"", kNo},
      {REG_SZ, "", kOk, L"", kNo},
      {REG_SZ, BytesOf(string16(L"ab\0cd", 5)), kOk, L"ab", kNo},
      {REG_SZ, BytesOf(longest), kOk, longest, kNo},
      {REG_SZ, BytesOf(longest + L"qq") + nul, kMore, kUntouched, kNo},
      {REG_EXPAND_SZ, BytesOf(reference + L"\\t") + nul, kOk, L"C:\\x\\t", kNo},
      {REG_EXPAND_SZ, BytesOf(reference), kOk, L"C:\\x", kNo},
      {REG_EXPAND_SZ, BytesOf(reference + L"!") + "!", kOk, L"C:\\x!", kNo},
      {REG_EXPAND_SZ, BytesOf(L"%VEXLO_N%"), kOk, L"%VEXLO_N%", kNo},
      // The expansion may fill 1023 characters and the NUL, not one more.
      {REG_EXPAND_SZ, BytesOf(long_reference + pad), kOk, long_text + pad, kNo},
      {REG_EXPAND_SZ, BytesOf(long_reference + pad + L"p"), kMore, kUntouched,
       kNo},
      {REG_EXPAND_SZ, BytesOf(longest + L"q"), kMore, kUntouched, kNo},
      {REG_DWORD, four, kNo, kUntouched, kOk},
      {REG_BINARY, four, kNo, kUntouched, kOk},
      {REG_BINARY, four.substr(1), kNo, kUntouched, kNo},
      {REG_BINARY, four + "x", kNo, kUntouched, kNo},
      {REG_DWORD, four.substr(2), kNo, kUntouched, kNo},
      {REG_DWORD, "", kNo, kUntouched, kNo},
  };
  for (DWORD type : {REG_NONE, REG_DWORD_BIG_ENDIAN, REG_LINK, REG_MULTI_SZ,
                     REG_QWORD, REG_RESOURCE_LIST}) {
    cases.push_back({type, four + four, kNo, kUntouched, kNo});
    cases.push_back({type, four, kNo, kUntouched, kNo});
  }
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i);
    Put(L"v", cases[i].type, cases[i].bytes);
    string16 text = kUntouched;
    EXPECT_EQ(cases[i].text_result, key_.ReadValue(L"v", &text));
    EXPECT_EQ(cases[i].text, text);
    uint32_t number = kUntouchedNumber;
    EXPECT_EQ(cases[i].number_result, key_.ReadValueDW(L"v", &number));
    EXPECT_EQ(cases[i].number_result == kOk ? 0x84030201u : kUntouchedNumber,
              number);
  }
  string16 text;
  uint32_t number;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key_.ReadValue(L"missing", &text));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key_.ReadValueDW(L"missing", &number));
}

}  // namespace
}  // namespace win
}  // namespace base
