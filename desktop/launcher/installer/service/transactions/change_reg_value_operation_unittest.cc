#include "desktop/launcher/installer/service/transactions/change_reg_value_operation.h"

#include <memory>
#include <string>

#include "base/strings/stringprintf.h"
#include "desktop/launcher/installer/service/test/operation_test.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr DWORD kNoValue = ChangeRegValueOperation::kNoValue;

// The bytes of |text| as REG_SZ stores them, terminating NUL included.
std::string Wide(const wchar_t* text) {
  return std::string(reinterpret_cast<const char*>(text),
                     (wcslen(text) + 1) * sizeof(wchar_t));
}

using ChangeRegValueOperationTest = OperationTest;

TEST_F(ChangeRegValueOperationTest, RollbackRestoresTheOldValueByteForByte) {
  const struct {
    const wchar_t* key;
    const wchar_t* name;
    bool had_value;
    DWORD old_type;
    std::string old_bytes;
    DWORD new_type;
    std::string new_bytes;
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
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.key << " " << c.name);
    if (c.had_value)
      SetValue(c.key, c.name, c.old_type, c.old_bytes);
    const Snapshot before = TakeSnapshot();
    const std::string new_value =
        c.new_type == kNoValue
            ? "none"
            : base::StringPrintf("%lx:", c.new_type) + c.new_bytes;
    auto make = [&c, this] {
      return std::make_unique<ChangeRegValueOperation>(
          HKEY_CURRENT_USER, Key(c.key), c.name, c.new_bytes.data(), c.new_type,
          static_cast<DWORD>(c.new_bytes.size()));
    };
    Transaction transaction;
    EXPECT_TRUE(transaction.Execute(make()));
    EXPECT_EQ(new_value, ReadValue(c.key, c.name));
    transaction.RollbackAll();
    EXPECT_EQ(before, TakeSnapshot());

    EXPECT_TRUE(transaction.Execute(make()));
    transaction.Commit();
    EXPECT_EQ(new_value, ReadValue(c.key, c.name));
    if (!c.had_value && c.new_type == kNoValue) {
      EXPECT_EQ(before, TakeSnapshot());
    }
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
