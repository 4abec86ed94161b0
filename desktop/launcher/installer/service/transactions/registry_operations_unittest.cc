#include <windows.h>

#include <shlwapi.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/launcher/installer/service/test/fake_security_checks.h"
#include "desktop/launcher/installer/service/test/operation_test.h"
#include "desktop/launcher/installer/service/transactions/change_reg_value_operation.h"
#include "desktop/launcher/installer/service/transactions/create_reg_key_operation.h"
#include "desktop/launcher/installer/service/transactions/delete_reg_key_operation.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr DWORD kOne = 1;
constexpr DWORD kNoValue = ChangeRegValueOperation::kNoValue;
constexpr wchar_t kOpenKey[] = L"O:BAG:BAD:(A;;KA;;;BA)";

// The bytes of |text| as REG_SZ stores them, terminating NUL included.
std::string Wide(const wchar_t* text) {
  return std::string(reinterpret_cast<const char*>(text),
                     (wcslen(text) + 1) * sizeof(wchar_t));
}

class RegistryOperationTest : public OperationTest {
 protected:
  std::unique_ptr<Operation> SetDword(const wchar_t* key) {
    return std::make_unique<ChangeRegValueOperation>(
        HKEY_CURRENT_USER, Key(key), L"v", &kOne, REG_DWORD, sizeof(kOne));
  }
  std::unique_ptr<Operation> CreateKey(const wchar_t* key) {
    return std::make_unique<CreateRegKeyOperation>(HKEY_CURRENT_USER, Key(key));
  }
  std::unique_ptr<Operation> DeleteKey(const wchar_t* key) {
    return std::make_unique<DeleteRegKeyOperation>(HKEY_CURRENT_USER, Key(key));
  }
};

TEST_F(RegistryOperationTest, RollbackRestoresTheOldValueByteForByte) {
  const struct {
    const wchar_t* key;
    base::string16 name;
    bool had_value;
    DWORD old_type;
    std::string old_bytes;
    DWORD new_type;
    std::string new_bytes;
    bool done = true;
  } kCases[] = {
      {L"k", L"sz", true, REG_SZ, Wide(L"one"), REG_SZ, Wide(L"two")},
      {L"k", L"added", false, 0, "", REG_DWORD, "\1\2\3\4"},
      {L"k", L"removed", true, REG_DWORD, std::string("\1\0\0\0", 4), kNoValue,
       ""},
      {L"k", L"absent", false, 0, "", kNoValue, ""},
      {L"k", L"", true, REG_EXPAND_SZ, Wide(L"%T%"), REG_BINARY,
       std::string("\xff\0\1", 3)},
      {L"k", L"odd", true, REG_SZ, "abc", REG_MULTI_SZ,
       std::string("a\0\0\0\0\0", 6)},
      {L"k", L"empty", true, REG_NONE, "", REG_QWORD, std::string(8, '\x7f')},
      {L"k", L"own type", true, 0x12345678, std::string("\0\xfe", 2), REG_SZ,
       ""},
      {L"k", L"all ones", true, kNoValue, "x", REG_BINARY, "y"},
      // Nothing to remove under a missing key, and nothing created.
      {L"missing\\a\\b", L"v", false, 0, "", kNoValue, ""},
      {L"missing\\a\\b", L"v", false, 0, "", REG_SZ, Wide(L"x")},
      {L"k", base::string16(16384, L'n'), false, 0, "", REG_SZ, "", false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.key << " " << c.name.substr(0, 9));
    if (c.had_value)
      SetValue(c.key, c.name, c.old_type, c.old_bytes);
    const Snapshot before = TakeSnapshot();
    const std::string new_value =
        !c.done || c.new_type == kNoValue
            ? "none"
            : base::StringPrintf("%lx:", c.new_type) + c.new_bytes;
    auto make = [&c, this] {
      return std::make_unique<ChangeRegValueOperation>(
          HKEY_CURRENT_USER, Key(c.key), c.name, c.new_bytes.data(), c.new_type,
          static_cast<DWORD>(c.new_bytes.size()));
    };
    Transaction transaction;
    EXPECT_EQ(c.done, transaction.Execute(make()));
    EXPECT_EQ(new_value, ReadValue(c.key, c.name));
    transaction.RollbackAll();
    EXPECT_EQ(before, TakeSnapshot());

    EXPECT_EQ(c.done, transaction.Execute(make()));
    transaction.Commit();
    EXPECT_EQ(new_value, ReadValue(c.key, c.name));
    if (!c.had_value && c.new_type == kNoValue) {
      EXPECT_EQ(before, TakeSnapshot());
    }
  }
}

// On keys whose access lists refuse the change, a grant opens the key for as
// long as the operation lives; the key ends with the access list it had,
// whether the change is kept or rolled back.
TEST_F(RegistryOperationTest, GrantsLastAsLongAsTheOperation) {
  const struct {
    const wchar_t* security;
    bool denied_by_check;
    std::function<std::unique_ptr<Operation>()> make;
    bool done;
    bool loosened;
  } kCases[] = {
      {L"O:BAG:BAD:(D;;KA;;;WD)", false, [&] { return SetDword(L"key"); }, true,
       true},
      {kOpenKey, true, [&] { return SetDword(L"key"); }, true, true},
      {kLockedKey, false, [&] { return SetDword(L"key"); }, false, false},
      // Creating needs only the right to create subkeys.
      {L"O:BAG:BAD:(D;;0x2;;;WD)(A;;KA;;;WD)", false,
       [&] { return CreateKey(L"key\\new"); }, true, false},
      {L"O:BAG:BAD:(D;;0x4;;;WD)(A;;KA;;;WD)", false,
       [&] { return CreateKey(L"key\\new\\newer"); }, true, true},
      {kOpenKey, false, [&] { return CreateKey(L"key"); }, true, false},
      // Deleted: no access list left to compare.
      {L"O:BAG:BAD:(D;;SD;;;WD)(A;;KA;;;WD)", false,
       [&] { return DeleteKey(L"key"); }, true, true},
      {kLockedKey, false, [&] { return DeleteKey(L""); }, false, false},
      // Opened, but the check says no.
      {kOpenKey, true, [&] { return DeleteKey(L"key"); }, true, true},
      {kOpenKey, false, [&] { return DeleteKey(L"missing"); }, true, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.security << " " << c.denied_by_check);
    SetValue(L"a", L"x", REG_SZ, "x");
    SetValue(L"key\\sub", L"w", REG_SZ, "w");
    SetKeySecurity(L"key", c.security);
    FakeSecurityChecks checks;
    if (c.denied_by_check)
      checks.Deny(ObjectName(L"key"));
    const Snapshot before = TakeSnapshot();
    const std::string security = KeySecurity(L"key");
    Transaction transaction;
    EXPECT_EQ(c.done, transaction.Execute(c.make()));
    EXPECT_EQ(c.loosened, security != KeySecurity(L"key"));
    transaction.RollbackAll();
    EXPECT_EQ(before, TakeSnapshot());

    EXPECT_EQ(c.done, transaction.Execute(c.make()));
    transaction.Commit();
    if (KeySecurity(L"key").find("error") == std::string::npos) {
      EXPECT_EQ(security, KeySecurity(L"key"));
    }
    if (c.security != kLockedKey)
      SetKeySecurity(L"key", kOpenKey);
    ::SHDeleteKeyW(HKEY_CURRENT_USER, Key(L"key").c_str());
  }
}

// Two operations loosen one key one after the other; the key ends with its
// first access list, not with the first grant.
TEST_F(RegistryOperationTest, StackedGrantsAreTakenBackInReverse) {
  SetKeySecurity(L"key", L"O:BAG:BAD:(D;;0x6;;;WD)(A;;KR;;;WD)");
  const std::string security = KeySecurity(L"key");
  for (bool keep : {false, true}) {
    SCOPED_TRACE(keep);
    {
      Transaction transaction;
      ASSERT_TRUE(transaction.Execute(SetDword(L"key\\new")));
      const std::string first_grant = KeySecurity(L"key");
      EXPECT_NE(security, first_grant);
      ASSERT_TRUE(transaction.Execute(SetDword(L"key")));
      EXPECT_NE(first_grant, KeySecurity(L"key"));
      if (!keep)
        transaction.RollbackAll();
    }
    EXPECT_EQ(security, KeySecurity(L"key"));
  }
  SetKeySecurity(L"key", kOpenKey);
}

// A value changed, then its key deleted and made anew: each rollback writes
// through the key that the path names when it runs.
TEST_F(RegistryOperationTest, RollbackReachesTheKeyByItsPathAtRollbackTime) {
  SetValue(L"k", L"changed", REG_SZ, Wide(L"old"));
  SetValue(L"k", L"removed", REG_DWORD, std::string("\1\0\0\0", 4));
  SetValue(L"k\\sub", L"", REG_SZ, Wide(L"sub"));
  const Snapshot before = TakeSnapshot();
  auto change = [this](const wchar_t* name, DWORD type) {
    static const wchar_t kData[] = L"new";
    return std::make_unique<ChangeRegValueOperation>(
        HKEY_CURRENT_USER, Key(L"k"), name, kData, type, sizeof(kData));
  };
  Transaction transaction;
  ASSERT_TRUE(transaction.Execute(change(L"changed", REG_SZ)));
  ASSERT_TRUE(transaction.Execute(change(L"removed", kNoValue)));
  ASSERT_TRUE(transaction.Execute(change(L"added", REG_BINARY)));
  ASSERT_TRUE(transaction.Execute(DeleteKey(L"k")));
  ASSERT_TRUE(transaction.Execute(change(L"changed", REG_EXPAND_SZ)));
  transaction.RollbackAll();
  EXPECT_EQ(before, TakeSnapshot());
}

// Strings stored without their closing NUL, and values of many sizes, come
// back exactly from a change and from a deleted key; what an operation
// writes is exactly what it was given.
TEST_F(RegistryOperationTest, ValuesComeBackByteForByte) {
  std::vector<std::string> names;
  SetValue(L"k", L"large", REG_BINARY, std::string(5000, '\x42'));
  for (DWORD type : {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ}) {
    for (size_t size = 0; size <= 9; ++size) {
      names.push_back(
          base::StringPrintf("%lx %u", type, static_cast<unsigned>(size)));
      SetValue(L"k", base::UTF8ToUTF16(names.back()), type,
               std::string(size, 'a'));
    }
  }
  SetValue(L"k\\sub", L"", REG_SZ, "x");
  const Snapshot before = TakeSnapshot();
  for (int round = 0; round < 2; ++round) {
    Transaction transaction;
    for (const std::string& name : names) {
      const std::string data(name.size() % 2 ? 3 : 5, 'b');
      ASSERT_TRUE(transaction.Execute(std::make_unique<ChangeRegValueOperation>(
          HKEY_CURRENT_USER, Key(L"k"), base::UTF8ToUTF16(name), data.data(),
          REG_SZ, static_cast<DWORD>(data.size()))));
      EXPECT_EQ("1:" + data, ReadValue(L"k", base::UTF8ToUTF16(name)));
    }
    if (round == 1) {
      ASSERT_TRUE(transaction.Execute(DeleteKey(L"k")));
    }
    transaction.RollbackAll();
    EXPECT_EQ(before, TakeSnapshot());
  }
}

// A key that refuses to show its values and subkeys to the user is opened
// up to be saved and deleted; rolling back brings it back with its values
// and with the security that refused them.
TEST_F(RegistryOperationTest, AKeyThatRefusesReadingIsDeletedAndRestored) {
  constexpr wchar_t kUnreadable[] = L"O:BAG:BAD:(D;;0x9;;;WD)(A;;KA;;;WD)";
  SetValue(L"hidden", L"v", REG_SZ, Wide(L"value"));
  SetValue(L"hidden", L"", REG_BINARY, std::string(70, '\7'));
  SetValue(L"hidden\\sub", L"w", REG_DWORD, std::string("\2\0\0\0", 4));
  const Snapshot readable = TakeSnapshot();
  for (const wchar_t* key : {L"hidden\\sub", L"hidden"})
    SetKeySecurity(key, kUnreadable);
  const Snapshot before = TakeSnapshot();
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.Execute(DeleteKey(L"hidden")));
    EXPECT_EQ("error 2", KeySecurity(L"hidden"));
    transaction.RollbackAll();
  }
  EXPECT_EQ(before, TakeSnapshot());
  for (const wchar_t* key : {L"hidden", L"hidden\\sub"})
    SetKeySecurity(key, kOpenKey);
  Snapshot opened = TakeSnapshot();
  Snapshot expected = readable;
  for (const wchar_t* key : {L"key hidden", L"key hidden\\sub"})
    expected[key] = opened[key];
  EXPECT_EQ(expected, opened);
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
