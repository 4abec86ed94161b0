#include "desktop/launcher/installer/service/service_utils.h"

#include <windows.h>

#include <objbase.h>

#include <string>

#include "base/base_paths_win.h"
#include "base/files/file_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/shortcut.h"
#include "desktop/common/product/test/scoped_product_configuration.h"
#include "desktop/launcher/installer/service/test/fake_security_checks.h"
#include "desktop/launcher/installer/service/test/operation_test.h"
#include "desktop/launcher/installer/test/scoped_path_override.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

TEST(ServiceUtilsTest, IsValidPath) {
  auto expect = [](bool valid, std::initializer_list<const wchar_t*> paths) {
    for (const wchar_t* path : paths)
      EXPECT_EQ(valid, IsValidPath(base::FilePath(path))) << path;
  };
  expect(true,
         {L"C:", L"C:\\a\\b", L"C:/a/b\\", L"a\\b", L"\\\\server\\share\\",
          L"\\\\server\\share.\\a", L"C:\\console", L"C:\\com5", L"C:\\a\\.b"});
  expect(false, {L"", L"\\\\server", L"\\\\server\\share", L"\\\\\\share\\a",
                 L"\\\\server\\\\a", L"C:\\a.", L"C:\\con", L"C:\\dir\\Aux.log",
                 L"C:\\lpt1.txt\\x", L"C:\\a|b", L"C:\\a?", L"C:\\a:b",
                 L"C:\\a\x1f", L"C:\\a\x01", L"C:\\a\"", L"C:\\<a>", L"C:\\*"});
  const base::string16 longest = L"C:\\" + base::string16(244, L'x');
  expect(true, {longest.c_str()});
  expect(false, {(longest + L"y").c_str()});
}

TEST(ServiceUtilsTest, Names) {
  ScopedProductConfiguration configuration(
      R"({"file_name_base": "vexlo", "company_name": "Vexlo Ünï"})");
  const struct {
    base::string16 actual;
    base::string16 expected;
  } kCases[] = {
      {MakeKernelObjectName(L"n", L"C:\\dir", true), L"Global\\C:/dir/n"},
      {MakeKernelObjectName(L"a\\b", L"C:\\x\\", false), L"Local\\C:/x//a/b"},
      {GetRegistryObjectName(HKEY_CLASSES_ROOT, L"k"), L"CLASSES_ROOT\\k"},
      {GetRegistryObjectName(HKEY_CURRENT_USER, L"k"), L"CURRENT_USER\\k"},
      {GetRegistryObjectName(HKEY_LOCAL_MACHINE, L"k"), L"MACHINE\\k"},
      {GetRegistryObjectName(HKEY_USERS, L"k"), L"USERS\\k"},
      {GetRegistryObjectName(HKEY_CURRENT_CONFIG, L"k"), L"k"},
      {GetBrowserExeName(), L"vexlo.exe"},
      {GetCompanyRegistryKey(), L"Software\\Vexlo \u00dcn\u00ef"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(c.expected, c.actual);
  EXPECT_EQ("Developer", GetStreamName());
  EXPECT_EQ("Zent", internal::GetStreamNameOfChannel(3, "zent"));
  EXPECT_EQ("Stable", internal::GetStreamNameOfChannel(4, "stable"));
  EXPECT_EQ("nightly", internal::GetStreamNameOfChannel(5, "nightly"));
}

TEST(ServiceUtilsTest, AdministratorsAndUserName) {
  EXPECT_TRUE(IsUserInAdministratorsGroup(true));
  EXPECT_TRUE(IsUserInAdministratorsGroup(false));
  {
    FakeSecurityChecks checks;
    checks.set_administrator(false);
    EXPECT_FALSE(IsUserInAdministratorsGroup(true));
    EXPECT_FALSE(IsUserInAdministratorsGroup(false));
  }
  base::string16 name;
  base::string16 qualified;
  ASSERT_TRUE(GetCurrentUserName(false, &name));
  ASSERT_TRUE(GetCurrentUserName(true, &qualified));
  EXPECT_FALSE(name.empty());
  EXPECT_EQ(L"\\" + name, qualified.substr(qualified.find(L'\\')));
}

class AccessGrantTest : public OperationTest {
 protected:
  std::string Dacl(const wchar_t* key) {
    const std::string security = KeySecurity(key);
    return security.substr(security.find("D:"));
  }
};

TEST_F(AccessGrantTest, GrantsAndRestoresRegistryAccess) {
  const struct {
    const wchar_t* security;
    bool had_access;
    bool permanent;
    bool granted;
    // The start of the security after the grant.
    const char* after_grant;
  } kCases[] = {
      {L"O:BAG:BAD:(A;;KA;;;BA)", true, false, true,
       "O:BAG:BAD:(A;;KA;;;BA)(A;OICI;CCDC;;;"},
      // The user's deny entries lose the granted rights, others' stay.
      {L"O:BAG:BAD:(D;;KA;;;S-1-5-21-1-2-3-4)(D;;KR;;;WD)(A;;KA;;;BA)", false,
       false, true,
       "O:BAG:BAD:(D;;KA;;;S-1-5-21-1-2-3-4)(D;;SWRPRC;;;WD)(A;;KA;;;BA)(A;"
       "OICI;"
       "CCDC;;;"},
      {L"O:BAG:BAD:(D;;KA;;;WD)", false, true, true,
       "O:BAG:BAD:(D;;LCSWRPWPSDRCWDWO;;;WD)(A;OICI;CCDC;;;"},
      // Ownership is taken only when the access list cannot be written.
      {L"O:SYG:SYD:(A;;KA;;;WD)", true, false, true,
       "O:SYG:SYD:(A;;KA;;;WD)(A;OICI;CCDC;;;"},
      // Ownership taken to write the access list.
      {L"O:SYG:SYD:(D;;WD;;;WD)(A;;KA;;;WD)", true, false, true,
       "O:BAG:SYD:(D;;WD;;;WD)(A;;KA;;;WD)(A;OICI;CCDC;;;"},
      {kLockedKey, false, false, false, "O:SYG:SYD:"},
  };
  SetValue(L"canary", L"v", REG_SZ, "v");
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.security);
    SetValue(L"key", L"v", REG_SZ, "v");
    SetKeySecurity(L"key", c.security);
    const std::string before = Dacl(L"key");
    EXPECT_EQ(c.had_access,
              CurrentUserHasAccess(ObjectName(L"key"), SE_REGISTRY_KEY,
                                   KEY_QUERY_VALUE | KEY_SET_VALUE));
    // Emptied first: restoring this would succeed.
    std::unique_ptr<SavedDacl> saved(new SavedDacl(
        ObjectName(L"canary"), SE_REGISTRY_KEY, nullptr, nullptr));
    EXPECT_EQ(c.granted,
              GrantCurrentUserAccess(ObjectName(L"key"), SE_REGISTRY_KEY,
                                     KEY_QUERY_VALUE | KEY_SET_VALUE,
                                     c.permanent, &saved));
    EXPECT_EQ(c.granted,
              CurrentUserHasAccess(ObjectName(L"key"), SE_REGISTRY_KEY,
                                   KEY_QUERY_VALUE | KEY_SET_VALUE));
    EXPECT_EQ(0u, KeySecurity(L"key").find(c.after_grant))
        << KeySecurity(L"key");
    EXPECT_EQ(c.granted && !c.permanent, RestoreSavedDacl(&saved));
    EXPECT_FALSE(RestoreSavedDacl(&saved));
    EXPECT_EQ(c.granted && c.permanent, before != Dacl(L"key"));
    if (c.security != kLockedKey)
      SetKeySecurity(L"key", L"O:BAG:BAD:(A;;KA;;;WD)");
  }
  EXPECT_FALSE(
      CurrentUserHasAccess(ObjectName(L"missing"), SE_REGISTRY_KEY, KEY_READ));
  EXPECT_FALSE(CurrentUserHasAccess(ObjectName(L""), SE_SERVICE, KEY_READ));
}

TEST(ServiceUtilsTest, SetPrivilege) {
  for (DWORD access : {TOKEN_QUERY, TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY}) {
    HANDLE token = nullptr;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), access, &token));
    const bool adjustable = access & TOKEN_ADJUST_PRIVILEGES;
    EXPECT_EQ(adjustable, SetPrivilege(L"SeShutdownPrivilege", true, token));
    EXPECT_EQ(adjustable, SetPrivilege(L"SeShutdownPrivilege", false, token));
    EXPECT_FALSE(SetPrivilege(L"SeNoSuchPrivilege", true, token));
    ::CloseHandle(token);
  }
}

class TaskbarPinTest : public OperationTest {
 protected:
  void SetUp() override {
    OperationTest::SetUp();
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    Write(L"app\\x.exe", "program");
    Write(L"other\\y.exe", "other program");
    // Another name of the same file.
    ASSERT_TRUE(::CreateHardLinkW(Path(L"other\\link.exe").value().c_str(),
                                  Path(L"app\\x.exe").value().c_str(),
                                  nullptr));
    Write(L"pins\\broken.lnk", "not a shortcut");
    base::win::ShortcutProperties properties;
    properties.target = Path(L"app\\x.exe");
    properties.options = base::win::ShortcutProperties::PROPERTIES_TARGET;
    ASSERT_TRUE(base::win::CreateOrUpdateShortcutLink(
        Path(L"pins\\x.lnk"), properties, base::win::SHORTCUT_CREATE_ALWAYS));
  }
  void TearDown() override { ::CoUninitialize(); }
};

TEST_F(TaskbarPinTest, FindsShortcutsByPathOrByFile) {
  ScopedPathOverride pins(base::DIR_TASKBAR_PINS, Path(L"pins"));
  BY_HANDLE_FILE_INFORMATION link;
  BY_HANDLE_FILE_INFORMATION other;
  ASSERT_TRUE(GetFileInformation(Path(L"other\\link.exe"), &link));
  ASSERT_TRUE(GetFileInformation(Path(L"other\\y.exe"), &other));
  EXPECT_FALSE(GetFileInformation(Path(L"missing.exe"), &other));
  const base::FilePath upper = Path(L"APP\\X.EXE");
  const struct {
    base::FilePath target;
    const BY_HANDLE_FILE_INFORMATION* information;
    bool found;
  } kCases[] = {
      {Path(L"app\\x.exe"), nullptr, true},
      {upper, nullptr, true},
      {Path(L"other\\link.exe"), nullptr, false},
      {Path(L"other\\link.exe"), &link, true},
      {Path(L"other\\y.exe"), &other, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.target.AsUTF8());
    EXPECT_EQ(c.found ? Path(L"pins\\x.lnk") : base::FilePath(),
              FindTaskbarPin(c.target, c.information));
    EXPECT_EQ(c.found,
              ShortcutPointsTo(Path(L"pins\\x.lnk"), c.target, c.information));
  }
  EXPECT_FALSE(ShortcutPointsTo(Path(L"pins\\broken.lnk"), Path(L"app\\x.exe"),
                                nullptr));
  EXPECT_FALSE(
      ShortcutPointsTo(Path(L"pins\\gone.lnk"), Path(L"app\\x.exe"), nullptr));
  EXPECT_FALSE(
      ShortcutPointsTo(base::FilePath(), Path(L"app\\x.exe"), nullptr));
  ScopedPathOverride no_pins(base::DIR_TASKBAR_PINS, Path(L"app\\x.exe"));
  EXPECT_EQ(base::FilePath(), FindTaskbarPin(Path(L"app\\x.exe"), nullptr));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
