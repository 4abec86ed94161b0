#include "desktop/launcher/installer/installer_startup.h"

#include <windows.h>

#include <string>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/strings/string16.h"
#include "base/test/unique_test_dir.h"
#include "base/threading/platform_thread.h"
#include "base/time/time.h"
#include "base/win/registry.h"
#include "desktop/common/product/test/scoped_product_configuration.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr char kConfiguration[] = R"({"file_name_base": "vexlo_qa"})";

base::CommandLine MakeCommandLine(const base::string16& text) {
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  command_line.ParseFromString(L"installer.exe " + text);
  return command_line;
}

TEST(InstallerStartupTest, FlagsAreSetByPresenceAlone) {
  StartupFlags flags = ReadStartupFlags(MakeCommandLine(L""));
  EXPECT_FALSE(flags.backend || flags.uninstall || flags.silent ||
               flags.run_immediately || flags.autoupdate ||
               flags.replace_talvik_installation);

  flags = ReadStartupFlags(MakeCommandLine(
      L"--backend=0 --uninstall=false --silent=no /runimmediately "
      L"-autoupdate --replacetalvikinstallation"));
  EXPECT_TRUE(flags.backend);
  EXPECT_TRUE(flags.uninstall);
  EXPECT_TRUE(flags.silent);
  EXPECT_TRUE(flags.run_immediately);
  EXPECT_TRUE(flags.autoupdate);
  EXPECT_TRUE(flags.replace_talvik_installation);

  flags = ReadStartupFlags(MakeCommandLine(L"--silent"));
  EXPECT_TRUE(flags.silent);
  EXPECT_FALSE(flags.backend || flags.uninstall || flags.run_immediately ||
               flags.autoupdate || flags.replace_talvik_installation);
}

TEST(InstallerStartupTest, RecoversOnlyAnAbsoluteLastArgument) {
  EXPECT_EQ(L"C:\\Program Files\\Vexlo",
            RecoverInstallFolderFromCommandLine(
                MakeCommandLine(L"--installfolder --autoupdate --silent "
                                L"other \"C:\\Program Files\\Vexlo\""))
                .value());
  EXPECT_EQ(L"\\\\server\\share\\Vexlo",
            RecoverInstallFolderFromCommandLine(
                MakeCommandLine(L"--installfolder \\\\server\\share\\Vexlo"))
                .value());
  // Switches come before the arguments whatever their order on the line.
  EXPECT_EQ(L"D:\\Vexlo", RecoverInstallFolderFromCommandLine(
                              MakeCommandLine(L"D:\\Vexlo --installfolder"))
                              .value());
  EXPECT_TRUE(RecoverInstallFolderFromCommandLine(
                  MakeCommandLine(L"--installfolder Vexlo\\folder"))
                  .empty());
  EXPECT_TRUE(RecoverInstallFolderFromCommandLine(
                  MakeCommandLine(L"--installfolder \\Vexlo"))
                  .empty());
  // Without arguments there is nothing to recover: the program is not one.
  EXPECT_TRUE(RecoverInstallFolderFromCommandLine(
                  MakeCommandLine(L"--installfolder --autoupdate"))
                  .empty());
  base::CommandLine program_only(base::FilePath(L"C:\\x\\installer.exe"));
  EXPECT_TRUE(RecoverInstallFolderFromCommandLine(program_only).empty());
}

class InstallerPackageTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.IsValid()); }

  void AddFile(const wchar_t* name) {
    ASSERT_EQ(1, base::WriteFile(folder_.path().Append(name), "x", 1));
  }

  bool IsPackage(const wchar_t* executable_name) {
    return IsRunningFromPackage(folder_.path(),
                                folder_.path().Append(executable_name));
  }

  ScopedProductConfiguration configuration_{kConfiguration};
  base::UniqueTestDir folder_;
};

TEST_F(InstallerPackageTest, APackageHasTheBrowserAndTheFileList) {
  EXPECT_FALSE(HasBrowserExecutable(folder_.path()));
  EXPECT_FALSE(IsPackage(L"installer.exe"));
  AddFile(L"vexlo_qa.exe");
  EXPECT_TRUE(HasBrowserExecutable(folder_.path()));
  EXPECT_FALSE(IsPackage(L"installer.exe"));
  AddFile(L"files_list");
  EXPECT_TRUE(IsPackage(L"installer.exe"));
}

TEST_F(InstallerPackageTest, OnlyTheExactInstallerNameCounts) {
  AddFile(L"vexlo_qa.exe");
  AddFile(L"files_list");
  EXPECT_FALSE(IsPackage(L"Installer.exe"));
  EXPECT_FALSE(IsPackage(L"INSTALLER.EXE"));
  EXPECT_FALSE(IsPackage(L"setup.exe"));
  EXPECT_FALSE(IsPackage(L"installer.exe.bak"));
}

TEST_F(InstallerPackageTest, AFileListWithoutTheBrowserIsNoPackage) {
  AddFile(L"files_list");
  AddFile(L"vexlo.exe");
  EXPECT_FALSE(IsPackage(L"installer.exe"));
}

// A key of its own under the test user's hive, deleted afterwards.
class TlsSettingTest : public testing::Test {
 protected:
  TlsSettingTest()
      : subkey_(L"Software\\VexloInstallerTest\\Tls" +
                std::to_wstring(::GetCurrentProcessId())) {}

  void SetUp() override {
    ASSERT_EQ(ERROR_SUCCESS,
              key_.Create(HKEY_CURRENT_USER, subkey_.c_str(), KEY_ALL_ACCESS));
  }
  void TearDown() override {
    key_.Close();
    ::RegDeleteKeyW(HKEY_CURRENT_USER, subkey_.c_str());
  }

  // The mask stored in the key, or -1 when there is none.
  int64_t StoredProtocols() {
    uint32_t value = 0;
    if (key_.ReadValueDW(L"SecureProtocols", &value) != ERROR_SUCCESS)
      return -1;
    return value;
  }

  TlsSetting Check() {
    return EnableTLS10InInternetSettings(HKEY_CURRENT_USER, subkey_.c_str());
  }

  const base::string16 subkey_;
  base::win::RegKey key_;
};

TEST_F(TlsSettingTest, AnAbsentMaskMeansSsl3AndGetsTls10) {
  EXPECT_EQ(TlsSetting::kEnabledNow, Check());
  EXPECT_EQ(0xA0, StoredProtocols());
  // Once on, it stays as it is.
  EXPECT_EQ(TlsSetting::kUsable, Check());
  EXPECT_EQ(0xA0, StoredProtocols());
}

TEST_F(TlsSettingTest, AddsTls10ToTheProtocolsThatAreOn) {
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteValueDW(L"SecureProtocols", 0x28));
  EXPECT_EQ(TlsSetting::kEnabledNow, Check());
  EXPECT_EQ(0xA8, StoredProtocols());
}

TEST_F(TlsSettingTest, ALaterProtocolIsEnough) {
  // TLS 1.1 only, TLS 1.0 only, and a mask with the highest bit set.
  for (uint32_t protocols : {0x200u, 0x80u, 0x80000000u}) {
    ASSERT_EQ(ERROR_SUCCESS, key_.WriteValueDW(L"SecureProtocols", protocols));
    EXPECT_EQ(TlsSetting::kUsable, Check()) << protocols;
    EXPECT_EQ(protocols, StoredProtocols());
  }
}

TEST_F(TlsSettingTest, UnreadableSettingsAreLeftAlone) {
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteValue(L"SecureProtocols", L"0x20"));
  EXPECT_EQ(TlsSetting::kUsable, Check());
  base::string16 text;
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValue(L"SecureProtocols", &text));
  EXPECT_EQ(L"0x20", text);

  EXPECT_EQ(TlsSetting::kUsable,
            EnableTLS10InInternetSettings(HKEY_CURRENT_USER,
                                          (subkey_ + L"\\Missing").c_str()));
}

TEST(InstallerStartupTest, StartsTheUninstallBatchOfAFolder) {
  base::UniqueTestDir folder;
  ASSERT_TRUE(folder.IsValid());
  // Nothing to start.
  RunUninstallBatch(folder.path());

  const base::FilePath marker = folder.path().Append(L"ran.txt");
  const std::string batch =
      "@echo off\r\necho ran> \"" + marker.AsUTF8() + "\"\r\n";
  ASSERT_EQ(static_cast<int>(batch.size()),
            base::WriteFile(folder.path().Append(L"k.bat"), batch.data(),
                            static_cast<int>(batch.size())));
  RunUninstallBatch(folder.path());
  // The batch runs on its own; wait for its mark, for at most a minute.
  std::string content;
  for (int i = 0; i < 600 && content != "ran\r\n"; ++i) {
    base::PlatformThread::Sleep(base::TimeDelta::FromMilliseconds(100));
    base::ReadFileToString(marker, &content);
  }
  EXPECT_EQ("ran\r\n", content);
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
