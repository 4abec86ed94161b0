#include <windows.h>

#include <shlwapi.h>

#include <functional>
#include <memory>

#include "desktop/launcher/installer/service/service_utils.h"
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
constexpr wchar_t kOpenKey[] = L"O:BAG:BAD:(A;;KA;;;BA)";

// Registry operations on keys whose access lists refuse them: a grant
// opens the key for as long as the operation lives, and the key ends with
// the access list it had, whether the change is kept or rolled back.
class RegistryAccessTest : public OperationTest {
 protected:
  std::unique_ptr<Operation> SetValue(const wchar_t* key) {
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

TEST_F(RegistryAccessTest, GrantsLastAsLongAsTheOperation) {
  const struct {
    const wchar_t* security;
    bool denied_by_check;
    std::function<std::unique_ptr<Operation>()> make;
    bool done;
    bool loosened;
  } kCases[] = {
      {L"O:BAG:BAD:P(D;;KA;;;WD)", false, [&] { return SetValue(L"key"); },
       true, true},
      {kOpenKey, true, [&] { return SetValue(L"key"); }, true, true},
      {kLockedKey, false, [&] { return SetValue(L"key"); }, false, false},
      // Creating needs only the right to create subkeys.
      {L"O:BAG:BAD:P(D;;0x2;;;WD)(A;;KA;;;WD)", false,
       [&] { return CreateKey(L"key\\new"); }, true, false},
      {L"O:BAG:BAD:P(D;;0x4;;;WD)(A;;KA;;;WD)", false,
       [&] { return CreateKey(L"key\\new\\newer"); }, true, true},
      {kOpenKey, false, [&] { return CreateKey(L"key"); }, true, false},
      // Deleted: no access list left to compare.
      {L"O:BAG:BAD:P(D;;SD;;;WD)(A;;KA;;;WD)", false,
       [&] { return DeleteKey(L"key"); }, true, true},
      {kLockedKey, false, [&] { return DeleteKey(L""); }, false, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.security << " " << c.denied_by_check);
    OperationTest::SetValue(L"a", L"x", REG_SZ, "x");
    OperationTest::SetValue(L"key\\sub", L"w", REG_SZ, "w");
    SetKeySecurity(L"key", c.security);
    FakeSecurityChecks checks;
    if (c.denied_by_check)
      checks.Deny(GetRegistryObjectName(HKEY_CURRENT_USER, Key(L"key")));
    const Snapshot before = TakeSnapshot();
    const std::string security = KeySecurity(L"key");
    Transaction transaction;
    EXPECT_EQ(c.done, transaction.Execute(c.make()));
    if (c.done) {
      EXPECT_EQ(c.loosened, security != KeySecurity(L"key"));
    }
    transaction.RollbackAll();
    EXPECT_EQ(before, TakeSnapshot());

    EXPECT_EQ(c.done, transaction.Execute(c.make()));
    transaction.Commit();
    if (KeySecurity(L"key").find("error") == std::string::npos) {
      EXPECT_EQ(security, KeySecurity(L"key"));
    }
    SetKeySecurity(L"key", L"D:(A;OICI;KA;;;WD)");
    ::SHDeleteKeyW(HKEY_CURRENT_USER, Key(L"key").c_str());
  }
}

// Two operations loosen one key one after the other; the key ends with its
// first access list, not with the first grant.
TEST_F(RegistryAccessTest, StackedGrantsAreTakenBackInReverse) {
  OperationTest::SetValue(L"key", L"w", REG_SZ, "w");
  SetKeySecurity(L"key", L"O:BAG:BAD:P(D;;0x6;;;WD)(A;;KR;;;WD)");
  const Snapshot before = TakeSnapshot();
  const std::string security = KeySecurity(L"key");
  for (bool keep : {false, true}) {
    SCOPED_TRACE(keep);
    Transaction transaction;
    ASSERT_TRUE(transaction.Execute(SetValue(L"key\\new")));
    const std::string first_grant = KeySecurity(L"key");
    EXPECT_NE(security, first_grant);
    ASSERT_TRUE(transaction.Execute(SetValue(L"key")));
    EXPECT_NE(first_grant, KeySecurity(L"key"));
    if (keep)
      transaction.Commit();
    else
      transaction.RollbackAll();
    EXPECT_EQ(security, KeySecurity(L"key"));
  }
  EXPECT_NE(before, TakeSnapshot());
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
