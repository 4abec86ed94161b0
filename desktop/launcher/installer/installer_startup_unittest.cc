#include "desktop/launcher/installer/installer_startup.h"

#include <windows.h>

#include <string>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/strings/string16.h"
#include "base/strings/string_split.h"
#include "base/test/unique_test_dir.h"
#include "base/win/registry.h"
#include "desktop/common/product/test/scoped_product_configuration.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

base::CommandLine MakeCommandLine(const base::string16& arguments) {
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  command_line.ParseFromString(L"installer.exe " + arguments);
  return command_line;
}

// Each flag is set by its switch's presence, whatever its value. In the
// order backend, uninstall, silent, run immediately, autoupdate, replace.
TEST(InstallerStartupTest, FlagsAreSetByPresenceAlone) {
  const std::pair<const wchar_t*, const char*> kCases[] = {
      {L"--silent", "001000"},
      {L"--backend=0 --uninstall=false --silent=no /runimmediately "
       L"-autoupdate --replacetalvikinstallation",
       "111111"}};
  for (const auto& c : kCases) {
    const StartupFlags flags = ReadStartupFlags(MakeCommandLine(c.first));
    std::string digits;
    for (bool flag :
         {flags.backend, flags.uninstall, flags.silent, flags.run_immediately,
          flags.autoupdate, flags.replace_talvik_installation}) {
      digits += flag ? "1" : "0";
    }
    EXPECT_EQ(c.second, digits) << c.first;
  }
}

// Only an absolute last argument; switches come before the arguments
// whatever their order on the line, and the program is no argument.
TEST(InstallerStartupTest, RecoversOnlyAnAbsoluteLastArgument) {
  const std::pair<const wchar_t*, const wchar_t*> kCases[] = {
      {L"--installfolder other \"C:\\Program Files\\Vexlo\"",
       L"C:\\Program Files\\Vexlo"},
      {L"D:\\Vexlo --installfolder", L"D:\\Vexlo"},
      {L"--installfolder Vexlo\\folder", L""},
      {L"--installfolder --autoupdate", L""}};
  for (const auto& c : kCases) {
    EXPECT_EQ(
        c.second,
        RecoverInstallFolderFromCommandLine(MakeCommandLine(c.first)).value())
        << c.first;
  }
  EXPECT_TRUE(RecoverInstallFolderFromCommandLine(
                  base::CommandLine(base::FilePath(L"C:\\x\\installer.exe")))
                  .empty());
}

// A package has the browser (of the configuration's name) and the file list
// beside an installer named exactly "installer.exe".
TEST(InstallerStartupTest, RecognisesAPackage) {
  ScopedProductConfiguration configuration(R"({"file_name_base": "vexlo_qa"})");
  const struct {
    const wchar_t* files;  // Beside the installer, separated by "|".
    const wchar_t* installer;
    bool browser;
    bool package;
  } kCases[] = {{L"", L"installer.exe", false, false},
                {L"vexlo_qa.exe", L"installer.exe", true, false},
                {L"vexlo_qa.exe|files_list", L"installer.exe", true, true},
                {L"vexlo_qa.exe|files_list", L"Installer.exe", true, false},
                {L"vexlo.exe|files_list", L"installer.exe", false, false}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.files << " " << c.installer);
    base::UniqueTestDir folder;
    ASSERT_TRUE(folder.IsValid());
    for (const auto& name : base::SplitString16(
             c.files, L"|", base::KEEP_WHITESPACE, base::SPLIT_WANT_NONEMPTY))
      ASSERT_EQ(1, base::WriteFile(folder.path().Append(name), "x", 1));
    EXPECT_EQ(c.browser, HasBrowserExecutable(folder.path()));
    EXPECT_EQ(c.package, IsRunningFromPackage(
                             folder.path(), folder.path().Append(c.installer)));
  }
}

// An absent mask means SSL 3.0 only; TLS 1.0 is added to the protocols that
// are on unless one from TLS 1.0 on is. Settings that cannot be read are
// left alone.
TEST(InstallerStartupTest, EnablesTls10InTheInternetSettings) {
  const base::string16 subkey = L"Software\\VexloInstallerTest\\Tls" +
                                std::to_wstring(::GetCurrentProcessId());
  const struct {
    int64_t protocols;  // -1: absent; -2: a string.
    TlsSetting result;
    int64_t stored;
  } kCases[] = {{-1, TlsSetting::kEnabledNow, 0xA0},
                {0xA0, TlsSetting::kUsable, 0xA0},
                {0x28, TlsSetting::kEnabledNow, 0xA8},
                {0x7F, TlsSetting::kEnabledNow, 0xFF},
                {0x200, TlsSetting::kUsable, 0x200},
                {0x80, TlsSetting::kUsable, 0x80},
                {0x80000000, TlsSetting::kUsable, 0x80000000},
                {-2, TlsSetting::kUsable, -1}};
  base::win::RegKey key(HKEY_CURRENT_USER, subkey.c_str(), KEY_ALL_ACCESS);
  ASSERT_TRUE(key.Valid());
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.protocols);
    key.DeleteValue(L"SecureProtocols");
    if (c.protocols >= 0)
      key.WriteValueDW(L"SecureProtocols", static_cast<uint32_t>(c.protocols));
    if (c.protocols == -2)
      key.WriteValue(L"SecureProtocols", L"0x20");
    EXPECT_EQ(c.result,
              EnableTLS10InInternetSettings(HKEY_CURRENT_USER, subkey.c_str()));
    uint32_t stored = 0;
    EXPECT_EQ(c.stored,
              key.ReadValueDW(L"SecureProtocols", &stored) == ERROR_SUCCESS
                  ? static_cast<int64_t>(stored)
                  : -1);
  }
  key.Close();
  ::RegDeleteKeyW(HKEY_CURRENT_USER, subkey.c_str());
  // No key at all.
  EXPECT_EQ(TlsSetting::kUsable,
            EnableTLS10InInternetSettings(HKEY_CURRENT_USER, subkey.c_str()));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
