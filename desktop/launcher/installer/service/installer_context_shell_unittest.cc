#include <windows.h>

#include <sddl.h>
#include <shlwapi.h>

#include <memory>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/test/scoped_windows_version_override.h"
#include "base/test/unique_test_dir.h"
#include "base/win/registry.h"
#include "desktop/launcher/installer/service/installer_context.h"
#include "desktop/launcher/installer/service/test/fake_default_app_services.h"
#include "desktop/launcher/installer/service/test/product_registry.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

namespace {

using base::win::ScopedWindowsVersionOverride;
using Calls = std::vector<std::string>;

constexpr wchar_t kClassKey[] = L"Software\\Classes\\VexloTestdeveloper";
constexpr wchar_t kProtocolKey[] = L"Software\\Classes\\vxtest";
constexpr wchar_t kExtensionKey[] = L"Software\\Classes\\.vxtest";
constexpr wchar_t kProtocolChoice[] =
    L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\"
    L"vxtest\\UserChoice";
constexpr wchar_t kExtensionChoice[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\"
    L".vxtest\\UserChoice";
constexpr wchar_t kClientsKey[] = L"Software\\Clients\\StartMenuInternet";
constexpr wchar_t kCompanyKey[] = L"Software\\Vexlo Test Company";

std::vector<ScopedProductRegistry::Key> ShellKeys() {
  std::vector<ScopedProductRegistry::Key> keys;
  const std::vector<base::string16> targets = {
      L"vxtest", L".vxtest", L"http",  L"https",  L"ftp",
      L".crx",   L".htm",    L".html", L".vxext", L".vxdownload",
      L".shtml", L".xht",    L".xhtml"};
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    keys.push_back({root, kClassKey, false, L""});
    for (const base::string16& target : targets)
      keys.push_back({root, L"Software\\Classes\\" + target, false, L""});
    keys.push_back({root, kClientsKey, true, L""});
    keys.push_back({root, kCompanyKey, true, L"Previous Default Browser"});
  }
  keys.push_back({HKEY_CURRENT_USER, kProtocolChoice, false, L""});
  keys.push_back({HKEY_CURRENT_USER, kExtensionChoice, false, L""});
  return keys;
}

class InstallerContextShellTest : public testing::Test {
 protected:
  InstallerContextShellTest() : registry_(ShellKeys()) {}

  // A context for the test folder whose record says |all_users|.
  std::unique_ptr<InstallerContext> Context(bool all_users) {
    InstallationStatus status;
    status.all_users = all_users;
    return std::make_unique<InstallerContext>(folder_.path(), status);
  }

  base::string16 Read(HKEY root,
                      const base::string16& key,
                      const base::string16& name = L"") {
    return ScopedProductRegistry::ReadString(root, key, name);
  }

  base::string16 Launcher(const wchar_t* name) {
    return folder_.path().Append(name).value();
  }

  base::UniqueTestDir folder_;
  ScopedProductRegistry registry_;
  FakeDefaultAppServices services_;
};

}  // namespace

TEST_F(InstallerContextShellTest, ProgIdClassPerUserSkipsMachineRows) {
  ASSERT_TRUE(Context(false)->RegisterProgIdClass(false));
  const HKEY user = HKEY_CURRENT_USER;
  EXPECT_EQ(L"VexloTest Web Document",
            Read(user, kClassKey, L"FriendlyTypeName"));
  EXPECT_EQ(L"", Read(user, kClassKey, L"URL Protocol"));
  EXPECT_EQ(Launcher(L"Launcher.exe") + L",0",
            Read(user, base::string16(kClassKey) + L"\\DefaultIcon"));
  EXPECT_EQ(L"\"" + Launcher(L"Launcher.exe") + L"\" -noautoupdate -- \"%1\"",
            Read(user, base::string16(kClassKey) + L"\\shell\\open\\command"));
  EXPECT_EQ(L"", Read(user, base::string16(kClassKey) +
                                L"\\shell\\open\\ddeexec\\Topic"));
  EXPECT_EQ(L"none", Read(HKEY_LOCAL_MACHINE, kClassKey, L"FriendlyTypeName"));
}

TEST_F(InstallerContextShellTest, ProgIdClassMachineWideDropsDdeExec) {
  const base::string16 dde =
      base::string16(kClassKey) + L"\\shell\\open\\ddeexec";
  base::win::RegKey(HKEY_LOCAL_MACHINE, (dde + L"\\Topic").c_str(),
                    KEY_SET_VALUE)
      .WriteValue(nullptr, L"old");
  ASSERT_TRUE(Context(true)->RegisterProgIdClass(true));
  EXPECT_EQ(L"none", Read(HKEY_LOCAL_MACHINE, dde + L"\\Topic"));
  EXPECT_EQ(L"VexloTest Web Document",
            Read(HKEY_LOCAL_MACHINE, kClassKey, L"FriendlyTypeName"));
  EXPECT_EQ(L"none", Read(HKEY_CURRENT_USER, kClassKey, L"FriendlyTypeName"));
}

// Which route each Windows version takes for a handler, and which rows it
// writes: the user's own choice is dropped only where nothing else chose.
TEST_F(InstallerContextShellTest, RegisterHandlerTakesEachVersionsRoute) {
  const base::string16 app = L"VexloTest developer";
  const struct {
    base::win::Version version;
    const wchar_t* target;
    bool all_users;
    bool record_all_users;
    bool fail_services;
    bool result;
    // Whether the handler's rows and the user-choice removal were made.
    bool rows;
    bool choice_removed;
    Calls calls;
  } kCases[] = {
      {base::win::VERSION_XP,
       L"vxtest",
       false,
       false,
       false,
       true,
       true,
       false,
       {}},
      {base::win::VERSION_WIN7,
       L"vxtest",
       false,
       false,
       false,
       true,
       true,
       true,
       {}},
      {base::win::VERSION_WIN7,
       L"vxtest",
       true,
       true,
       false,
       true,
       true,
       false,
       {}},
      {base::win::VERSION_WIN7,
       L"vxtest",
       false,
       true,
       false,
       true,
       true,
       false,
       {"SetAppAsDefault(VexloTest developer,vxtest,protocol)"}},
      {base::win::VERSION_WIN7,
       L".vxtest",
       false,
       true,
       false,
       true,
       true,
       false,
       {"SetAppAsDefault(VexloTest developer,.vxtest,extension)"}},
      {base::win::VERSION_VISTA,
       L"vxtest",
       false,
       true,
       true,
       false,
       false,
       false,
       {"SetAppAsDefault(VexloTest developer,vxtest,protocol)"}},
      {base::win::VERSION_VISTA,
       L".vxtest",
       false,
       false,
       false,
       true,
       true,
       true,
       {}},
      {base::win::VERSION_WIN8,
       L"vxtest",
       false,
       false,
       false,
       true,
       true,
       false,
       {"ShowOpenWithDialog(vxtest)", "NotifyAssociationsChanged"}},
      {base::win::VERSION_WIN8_1,
       L"vxtest",
       false,
       false,
       true,
       false,
       false,
       false,
       {"ShowOpenWithDialog(vxtest)"}},
      {base::win::VERSION_WIN8,
       L"vxtest",
       true,
       false,
       false,
       false,
       false,
       false,
       {}},
      {base::win::VERSION_WIN10,
       L"vxtest",
       false,
       false,
       false,
       true,
       false,
       false,
       {"OpenDefaultAppsSettings"}},
      {base::win::VERSION_WIN10_TH2,
       L".vxtest",
       false,
       false,
       true,
       false,
       false,
       false,
       {"OpenDefaultAppsSettings"}},
      {base::win::VERSION_WIN10,
       L"vxtest",
       true,
       false,
       false,
       false,
       false,
       false,
       {}},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(testing::Message() << test.version << " " << test.target << " "
                                    << test.all_users);
    FakeDefaultAppServices services;
    services.fail = test.fail_services;
    const bool extension = test.target[0] == L'.';
    const HKEY root = test.all_users ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const base::string16 key = extension ? kExtensionKey : kProtocolKey;
    const base::string16 choice =
        extension ? kExtensionChoice : kProtocolChoice;
    ::SHDeleteKeyW(root, key.c_str());
    base::win::RegKey(HKEY_CURRENT_USER, choice.c_str(), KEY_SET_VALUE)
        .WriteValue(L"Progid", L"Other");
    {
      ScopedWindowsVersionOverride version(test.version);
      EXPECT_EQ(test.result,
                Context(test.record_all_users)
                    ->RegisterHandler(test.target, test.all_users));
    }
    EXPECT_EQ(test.calls, services.calls());
    const base::string16 expected_data =
        extension
            ? base::string16(L"VexloTestdeveloper")
            : L"\"" + Launcher(L"launcher.exe") + L"\" -noautoupdate -- \"%1\"";
    const base::string16 written =
        extension ? Read(root, key)
                  : Read(root, key + L"\\shell\\open\\command");
    EXPECT_EQ(test.rows ? expected_data : L"none", written);
    EXPECT_EQ(test.choice_removed ? L"none" : L"Other",
              Read(HKEY_CURRENT_USER, choice, L"Progid"));
  }
}

TEST_F(InstallerContextShellTest, ProtocolRowsPerUserAndMachineWide) {
  ScopedWindowsVersionOverride version(base::win::VERSION_WIN7);
  ASSERT_TRUE(Context(false)->RegisterHandler(L"vxtest", false));
  EXPECT_EQ("4:02000000", ScopedProductRegistry::ReadValue(
                              HKEY_CURRENT_USER, kProtocolKey, L"EditFlags"));
  EXPECT_EQ(L"", Read(HKEY_CURRENT_USER, kProtocolKey, L"URL Protocol"));
  EXPECT_EQ(
      Launcher(L"Launcher.exe") + L",0",
      Read(HKEY_CURRENT_USER, base::string16(kProtocolKey) + L"\\DefaultIcon"));
  EXPECT_EQ(L"", Read(HKEY_CURRENT_USER, base::string16(kProtocolKey) +
                                             L"\\shell\\open\\ddeexec"));
  const base::string16 dde =
      base::string16(kProtocolKey) + L"\\shell\\open\\ddeexec\\Application";
  base::win::RegKey(HKEY_LOCAL_MACHINE, dde.c_str(), KEY_SET_VALUE)
      .WriteValue(nullptr, L"old");
  ASSERT_TRUE(Context(true)->RegisterHandler(L"vxtest", true));
  EXPECT_EQ(L"none", Read(HKEY_LOCAL_MACHINE, dde));
  EXPECT_EQ(L"", Read(HKEY_LOCAL_MACHINE, kProtocolKey, L"URL Protocol"));
}

// A row that cannot be written takes back every row of its call.
TEST_F(InstallerContextShellTest, FailedRowRollsBackTheWholeHandler) {
  ScopedWindowsVersionOverride version(base::win::VERSION_WIN7);
  const base::string16 command =
      base::string16(kProtocolKey) + L"\\shell\\open\\command";
  base::win::RegKey(HKEY_CURRENT_USER, command.c_str(), KEY_SET_VALUE)
      .WriteValue(nullptr, L"before");
  base::win::RegKey(HKEY_CURRENT_USER, kProtocolKey, KEY_SET_VALUE)
      .WriteValue(L"EditFlags", L"before");
  // Nobody may set values or change the access list of the command key.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"O:SYG:SYD:(D;;0xC0006;;;WD)(A;;0x30019;;;WD)", SDDL_REVISION_1,
      &descriptor, nullptr));
  {
    base::win::RegKey key(HKEY_CURRENT_USER, command.c_str(),
                          WRITE_DAC | WRITE_OWNER);
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegSetKeySecurity(key.Handle(),
                                  DACL_SECURITY_INFORMATION |
                                      OWNER_SECURITY_INFORMATION |
                                      GROUP_SECURITY_INFORMATION,
                                  descriptor));
  }
  ::LocalFree(descriptor);
  const auto before = registry_.Snapshot();
  EXPECT_FALSE(Context(false)->RegisterHandler(L"vxtest", false));
  EXPECT_EQ(before, registry_.Snapshot());
  EXPECT_EQ(L"before", Read(HKEY_CURRENT_USER, kProtocolKey, L"EditFlags"));
}

TEST_F(InstallerContextShellTest, StartMenuInternetByVersionAndRecord) {
  {
    ScopedWindowsVersionOverride version(base::win::VERSION_WIN8);
    EXPECT_FALSE(Context(false)->RegisterStartMenuInternet(true));
    EXPECT_EQ(L"none", Read(HKEY_LOCAL_MACHINE, kClientsKey));
  }
  {
    ScopedWindowsVersionOverride version(base::win::VERSION_WIN7);
    services_.fail = true;
    EXPECT_FALSE(Context(true)->RegisterStartMenuInternet(false));
    EXPECT_EQ(L"none", Read(HKEY_CURRENT_USER, kClientsKey));
    services_.fail = false;
    EXPECT_TRUE(Context(true)->RegisterStartMenuInternet(false));
    EXPECT_EQ(L"VexloTestdeveloper", Read(HKEY_CURRENT_USER, kClientsKey));
    EXPECT_EQ(Calls(2,
                    "SetAppAsDefault(VexloTest developer,"
                    "StartmenuInternet,startmenu)"),
              services_.calls());
  }
  ScopedWindowsVersionOverride version(base::win::VERSION_WIN10);
  EXPECT_TRUE(Context(false)->RegisterStartMenuInternet(false));
}

TEST_F(InstallerContextShellTest,
       DefaultStartMenuInternetReadsUserThenMachine) {
  ScopedWindowsVersionOverride version(base::win::VERSION_WIN7);
  EXPECT_FALSE(Context(false)->IsDefaultStartMenuInternet());
  base::win::RegKey(HKEY_LOCAL_MACHINE, kClientsKey, KEY_SET_VALUE)
      .WriteValue(nullptr, L"VexloTestdeveloper");
  EXPECT_TRUE(Context(false)->IsDefaultStartMenuInternet());
  base::win::RegKey(HKEY_CURRENT_USER, kClientsKey, KEY_SET_VALUE)
      .WriteValue(nullptr, L"VexloTestdeveloperX");
  EXPECT_FALSE(Context(false)->IsDefaultStartMenuInternet());
  // A machine-wide installation asks the association service.
  EXPECT_FALSE(Context(true)->IsDefaultStartMenuInternet());
  services_.defaults.insert(L"StartmenuInternet");
  EXPECT_TRUE(Context(true)->IsDefaultStartMenuInternet());
  ScopedWindowsVersionOverride xp(base::win::VERSION_XP);
  EXPECT_FALSE(Context(true)->IsDefaultStartMenuInternet());
  EXPECT_EQ(2u, services_.calls().size());
}

// The shell of the test platform reads classes of the machine only, so the
// registration that can be seen as the default is the machine's.
TEST_F(InstallerContextShellTest, SetAsDefaultBrowserRegistersEverything) {
  ScopedWindowsVersionOverride version(base::win::VERSION_WIN7);
  services_.defaults.insert(L"StartmenuInternet");
  EXPECT_TRUE(Context(true)->SetAsDefaultBrowser(true));
  const HKEY machine = HKEY_LOCAL_MACHINE;
  for (const wchar_t* target : {L"http", L"https", L"ftp"}) {
    EXPECT_EQ(L"\"" + Launcher(L"launcher.exe") + L"\" -noautoupdate -- \"%1\"",
              Read(machine, L"Software\\Classes\\" + base::string16(target) +
                                L"\\shell\\open\\command"));
  }
  for (const wchar_t* target :
       {L".crx", L".htm", L".html", L".vxext", L".vxdownload", L".shtml",
        L".xht", L".xhtml"}) {
    EXPECT_EQ(L"VexloTestdeveloper",
              Read(machine, L"Software\\Classes\\" + base::string16(target)));
  }
  EXPECT_EQ(L"VexloTestdeveloper", Read(machine, kClientsKey));
  EXPECT_EQ(L"VexloTest Web Document",
            Read(machine, kClassKey, L"FriendlyTypeName"));
  services_.defaults.clear();
  EXPECT_FALSE(Context(true)->IsDefaultBrowser());
}

TEST_F(InstallerContextShellTest, SetAsDefaultBrowserFromWindows8OnlyHttp) {
  ScopedWindowsVersionOverride version(base::win::VERSION_WIN8);
  Context(false)->SetAsDefaultBrowser(false);
  EXPECT_EQ((Calls{"ShowOpenWithDialog(http)", "NotifyAssociationsChanged"}),
            services_.calls());
  EXPECT_EQ(L"none", Read(HKEY_CURRENT_USER, L"Software\\Classes\\https"));
  EXPECT_EQ(L"none", Read(HKEY_CURRENT_USER, kClientsKey));
}

TEST_F(InstallerContextShellTest, SingleProfileNeverBecomesDefault) {
  const std::string prefs = "{\"single_profile\": true}";
  ASSERT_EQ(static_cast<int>(prefs.size()),
            base::WriteFile(folder_.path().Append(L"installer_prefs.json"),
                            prefs.data(), static_cast<int>(prefs.size())));
  ScopedWindowsVersionOverride version(base::win::VERSION_WIN7);
  const auto before = registry_.Snapshot();
  EXPECT_FALSE(Context(false)->SetAsDefaultBrowser(false));
  EXPECT_EQ(before, registry_.Snapshot());
  EXPECT_TRUE(services_.calls().empty());
}

TEST_F(InstallerContextShellTest, SavesAnotherBrowsersCommandOnly) {
  ScopedWindowsVersionOverride version(base::win::VERSION_WIN7);
  base::win::RegKey(HKEY_LOCAL_MACHINE,
                    L"Software\\Classes\\http\\shell\\open\\command",
                    KEY_SET_VALUE)
      .WriteValue(nullptr, L"other.exe \"%1\"");
  Context(false)->SavePreviousDefaultBrowser(false);
  EXPECT_EQ(L"other.exe \"%1\"",
            Read(HKEY_CURRENT_USER, kCompanyKey, L"Previous Default Browser"));
  // Once the installation handles "http" itself, nothing is saved over it.
  ASSERT_TRUE(Context(false)->RegisterHandler(L"http", true));
  ASSERT_TRUE(SetPreviousDefaultBrowser(L"kept", false));
  Context(false)->SavePreviousDefaultBrowser(false);
  EXPECT_EQ(L"kept",
            Read(HKEY_CURRENT_USER, kCompanyKey, L"Previous Default Browser"));
}

}  // namespace installer
}  // namespace vexlo
