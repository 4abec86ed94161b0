#include "desktop/launcher/installer/settings.h"

#include <memory>
#include <string>
#include <vector>

#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/features/command_line_feature_reader.h"
#include "base/features/feature_registry.h"
#include "base/files/file_util.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/run_loop.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_windows_version_override.h"
#include "base/test/unique_test_dir.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/installer_stats.h"
#include "desktop/launcher/installer/package_fetcher/test/no_ui_callback_runner.h"
#include "desktop/launcher/installer/package_fetcher/test/package_test_util.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "desktop/launcher/installer/service/test/fake_security_checks.h"
#include "desktop/launcher/installer/service/test/product_registry.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

// The option fields in a line: copy only, single profile, launch, all
// users, default browser, import, browser and installer statistics, then
// the desktop, start-menu, quick-launch and pinned shortcuts.
std::string Describe(const Settings& s) {
  std::string flags;
  for (bool flag : {s.copy_only(), s.single_profile(), s.launch_vexlo(),
                    s.all_users(), s.default_browser(), s.import_browser_data(),
                    s.enable_vexlo_stats(), s.enable_installer_stats(),
                    s.desktop_shortcut(), s.start_menu_shortcut(),
                    s.quick_launch_shortcut(), s.pinned_shortcut()}) {
    flags += flag ? '1' : '0';
  }
  return flags.substr(0, 3) + " " + flags.substr(3, 5) + " " + flags.substr(8);
}

// Counts what the settings tell, and ends a run loop on each new path.
class CountingObserver : public Settings::Observer {
 public:
  void OnSettingChanged() override { ++settings; }
  void OnLanguageChanged() override { ++languages; }
  void OnPathChanged() override {
    ++paths;
    if (run_loop)
      run_loop->Quit();
  }

  int settings = 0;
  int languages = 0;
  int paths = 0;
  base::RunLoop* run_loop = nullptr;
};

class SettingsTest : public testing::Test {
 protected:
  void SetUp() override {
    base::CommandLine::Init();
    base::SetMinLogLevel(-1);
    ASSERT_TRUE(dir_.IsValid());
  }
  void TearDown() override { base::SetMinLogLevel(0); }

  base::FilePath Path(const wchar_t* relative) const {
    return dir_.path().Append(relative);
  }

  // Settings of a run whose command line has |arguments|, for |folder|
  // (a new folder of the test's own when not given), observed by
  // observer_.
  std::unique_ptr<Settings> Make(
      const base::string16& arguments,
      bool uninstall = false,
      bool autoupdate = false,
      const base::FilePath& folder = base::FilePath()) {
    base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
    command_line.ParseFromString(L"installer.exe " + arguments);
    std::unique_ptr<Settings> settings(new Settings(
        uninstall, false, autoupdate, folder.empty() ? Path(L"new") : folder,
        false, command_line));
    settings->AddObserver(&observer_);
    return settings;
  }

  // Runs the loop until the settings have taken over a folder's status.
  void WaitForPath() {
    base::RunLoop run_loop;
    observer_.run_loop = &run_loop;
    // A watchdog, so that a lost reply fails the test rather than hangs it.
    loop_.PostDelayedTask(LOCATION_FROM_HERE("SettingsTest::WaitForPath"),
                          run_loop.QuitClosure(),
                          base::TimeDelta::FromSeconds(60));
    const int paths = observer_.paths;
    run_loop.Run();
    observer_.run_loop = nullptr;
    EXPECT_EQ(paths + 1, observer_.paths) << "no path change came";
  }

  void Write(const wchar_t* relative, const std::string& text) {
    const base::FilePath file = Path(relative);
    ASSERT_TRUE(base::CreateDirectory(file.DirName()));
    ASSERT_EQ(
        static_cast<int>(text.size()),
        base::WriteFile(file, text.data(), static_cast<int>(text.size())));
  }

  // An installation in |folder| whose record says |attributes| and whose
  // preferences are |prefs|.
  void MakeInstallation(const wchar_t* folder,
                        const std::string& attributes,
                        const std::string& prefs) {
    const base::string16 name(folder);
    Write((name + L"\\launcher.exe").c_str(), "launcher");
    Write((name + L"\\installation_status.xml").c_str(),
          "<install_log version=\"1.0\" pinned=\"False\" " + attributes +
              "><path subfolder=\"1.0\">X</path><files><file>a</file>"
              "</files></install_log>");
    if (!prefs.empty())
      Write((name + L"\\installer_prefs.json").c_str(), prefs);
  }

  base::MessageLoop loop_;
  base::UniqueTestDir dir_;
  CountingObserver observer_;
};

TEST(SwitchValueTest, ReadsYesTrueAndNumbers) {
  const struct {
    const wchar_t* value;
    bool is_true;
  } kCases[] = {
      {L"", false},      {L"yes", true},   {L"YES", true},  {L"tRuE", true},
      {L"1", true},      {L"2", true},     {L"-1", true},   {L"12ab", true},
      {L" 3", true},     {L"0", false},    {L"00", false},  {L"no", false},
      {L"false", false}, {L"yes!", false}, {L"ab1", false}, {L"0x1", false},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(c.is_true, SwitchValueIsTrue(c.value)) << c.value;
}

// Options from the command line over the defaults, and the installation
// modes over those; the wine user is an administrator on Windows 7, of a
// release channel that is not Stable.
TEST_F(SettingsTest, ReadsTheCommandLineAndSetsModes) {
  const base::win::Version kWin7 = base::win::VERSION_WIN7;
  const struct {
    const wchar_t* arguments;
    int mode;  // -1: none set.
    const char* flags;
    bool administrator;
    base::win::Version version;
  } kCases[] = {
      {L"", -1, "001 10111 1101", true, kWin7},
      {L"", -1, "001 00111 1101", false, kWin7},
      {L"", -1, "001 10111 1110", true, base::win::VERSION_XP},
      {L"--copyonly=1 --allusers=1 --desktopshortcut=1", -1, "111 00111 0000",
       true, kWin7},
      {L"--copyonly=1 --allusers=1 --singleprofile=0", -1, "101 00111 0000",
       true, kWin7},
      {L"--copyonly", -1, "001 10111 1101", true, kWin7},
      {L"--enable-stats=0 --enable-installer-stats=1", -1, "001 10101 1101",
       true, kWin7},
      {L"--enable-stats=0", -1, "001 10100 1101", true, kWin7},
      {L"--enable-installer-stats=0 --enable-stats=1", -1, "001 10110 1101",
       true, kWin7},
      {L"--launchbrowser=0", -1, "000 10111 1101", true, kWin7},
      {L"--launchvexlo=1 --launchbrowser=0", -1, "001 10111 1101", true, kWin7},
      {L"--allusers=0 --setdefaultbrowser=1 --import-browser-data=no", -1,
       "001 01011 1101", true, kWin7},
      {L"--desktopshortcut=0 --startmenushortcut=0 --quicklaunchshortcut=1 "
       L"--pintotaskbar=0",
       -1, "001 10111 0010", true, kWin7},
      {L"--allusers=0", 0, "001 10111 1101", true, kWin7},
      {L"", 1, "001 00111 1101", true, kWin7},
      {L"", 2, "111 00111 0000", true, kWin7},
      {L"--singleprofile=1", 1, "011 00111 1101", true, kWin7},
      {L"--singleprofile=0", 2, "101 00111 0000", true, kWin7},
      {L"", 3, "001 10111 1101", true, kWin7},  // Refused.
  };
  for (const auto& c : kCases) {
    FakeSecurityChecks checks;
    checks.set_administrator(c.administrator);
    base::win::ScopedWindowsVersionOverride version(c.version);
    std::unique_ptr<Settings> settings = Make(c.arguments);
    if (c.mode >= 0) {
      EXPECT_EQ(c.mode < 3, settings->SetInstallationMode(c.mode));
    }
    EXPECT_EQ(c.flags, Describe(*settings)) << c.arguments << " " << c.mode;
  }
  // Leaving standalone takes both setters.
  std::unique_ptr<Settings> settings = Make(L"");
  EXPECT_TRUE(settings->SetInstallationMode(2));
  EXPECT_TRUE(settings->SetInstallationMode(0));
  EXPECT_EQ("001 10111 0000", Describe(*settings));
}

TEST_F(SettingsTest, RefusesSettersByTheRules) {
  std::unique_ptr<Settings> settings = Make(L"");
  EXPECT_TRUE(settings->SetAllUsers(false));
  EXPECT_TRUE(settings->SetCopyOnly(true));
  EXPECT_EQ("101 00111 0000", Describe(*settings));
  // A standalone copy has no system changes.
  EXPECT_FALSE(settings->SetAllUsers(true));
  EXPECT_FALSE(settings->SetDefaultBrowser(true));
  EXPECT_FALSE(settings->SetDeleteProfile(true));  // Not an uninstall.
  EXPECT_TRUE(settings->SetImportBrowserData(false));
  EXPECT_TRUE(settings->SetEnableInstallerStats(false));
  EXPECT_TRUE(settings->SetEnableVexloStats(false));
  EXPECT_TRUE(settings->SetSingleProfile(true));
  EXPECT_TRUE(settings->SetCopyOnly(false));
  EXPECT_TRUE(settings->SetDefaultBrowser(true));
  // Each accepted setter is told, also without a change.
  EXPECT_EQ(8, observer_.settings);
  EXPECT_TRUE(settings->SetDefaultBrowser(true));
  EXPECT_EQ(9, observer_.settings);

  settings->SetLanguage(L"de");
  settings->SetLanguage(L"de");
  EXPECT_EQ(L"de", settings->language());
  EXPECT_EQ(1, observer_.languages);

  settings->set_editable(false);
  for (bool (Settings::*setter)(bool) :
       {&Settings::SetImportBrowserData, &Settings::SetEnableVexloStats,
        &Settings::SetEnableInstallerStats, &Settings::SetCopyOnly,
        &Settings::SetSingleProfile, &Settings::SetAllUsers,
        &Settings::SetDefaultBrowser}) {
    EXPECT_FALSE((settings.get()->*setter)(false));
  }
  EXPECT_FALSE(settings->SetInstallationMode(1));
  settings->SetLanguage(L"fr");
  EXPECT_EQ(L"de", settings->language());
  EXPECT_EQ(9, observer_.settings);
}

// A new folder is installed into; the same folder is not checked twice; a
// folder chosen while another is being checked makes the first one's
// result vanish.
TEST_F(SettingsTest, ChecksEachNewFolderOnce) {
  std::unique_ptr<Settings> settings = Make(L"");
  EXPECT_TRUE(settings->fetching_status());
  EXPECT_EQ(Settings::kInvalidOperation, settings->operation());
  WaitForPath();
  EXPECT_EQ(Settings::kInstallOperation, settings->operation());
  EXPECT_EQ(Path(L"new"), settings->status().requested_path());
  EXPECT_EQ(Path(L"new"), settings->first_valid_folder());
  settings->SetInstallFolder(Path(L"new"));
  EXPECT_FALSE(settings->fetching_status());

  settings->SetInstallFolder(Path(L"first"));
  settings->SetInstallFolderFromString(Path(L"second").value());
  WaitForPath();
  EXPECT_EQ(Path(L"second"), settings->status().requested_path());
  settings->SetInstallFolderFromString(Path(L"third").value() + L"/x");
  WaitForPath();
  EXPECT_EQ(Path(L"third\\x"), settings->status().requested_path());
  EXPECT_EQ(3, observer_.paths);
  EXPECT_EQ(Path(L"new"), settings->first_valid_folder());

  // An invalid folder leaves no operation.
  settings->SetInstallFolderFromString(L"C:\\in|valid");
  WaitForPath();
  EXPECT_FALSE(settings->status().valid());
  EXPECT_EQ(Settings::kInvalidOperation, settings->operation());
  // Settings that go away before the reply take it with them.
  settings->SetInstallFolder(Path(L"fourth"));
  settings.reset();
  // A new folder's profile mode follows the copy mode unless the command
  // line names one.
  // A new folder's profile mode is the one its old configuration names,
  // else it follows the copy mode, unless the command line names one.
  Write(L"prefs\\vexloprefs_default.ini", "[System]\r\nMulti User=0\r\n");
  const struct {
    const wchar_t* arguments;
    const wchar_t* folder;
    bool single_profile;
  } kFresh[] = {{L"", L"new", false},
                {L"--singleprofile=1", L"new", true},
                {L"", L"prefs", true},
                {L"--singleprofile=0", L"prefs", false}};
  for (const auto& c : kFresh) {
    std::unique_ptr<Settings> fresh =
        Make(c.arguments, false, false, Path(c.folder));
    WaitForPath();
    EXPECT_EQ(c.single_profile, fresh->single_profile()) << c.arguments;
  }
}

// An existing installation is updated with what it was installed with,
// unless the command line says otherwise.
TEST_F(SettingsTest, TakesOverAnExistingInstallation) {
  MakeInstallation(L"inst", "copy_only=\"False\" all_users=\"False\"",
                   "{\"import_browser_data\": false, \"enable_stats\": false, "
                   "\"single_profile\": true, \"language\": \"de\"}");
  const struct {
    const wchar_t* arguments;
    const char* flags;
    const wchar_t* language;
  } kCases[] = {
      {L"", "011 00000 0000", L"de"},
      {L"--enable-installer-stats=1 --desktopshortcut=1 --language=fr",
       "011 00001 1000", L"fr"},
      {L"--enable-stats=1 --import-browser-data=1", "011 00111 0000", L"de"},
  };
  for (const auto& c : kCases) {
    std::unique_ptr<Settings> settings =
        Make(c.arguments, false, false, Path(L"inst"));
    // An existing installation reads the command line again.
    EXPECT_TRUE(settings->SetDefaultBrowser(true));
    WaitForPath();
    EXPECT_EQ(Settings::kUpdateOperation, settings->operation());
    EXPECT_FALSE(settings->SetInstallationMode(1));
    EXPECT_EQ(c.flags, Describe(*settings)) << c.arguments;
    EXPECT_EQ(c.language, settings->language());
    // An update keeps the installation's mode.
    EXPECT_FALSE(settings->SetCopyOnly(true));
    EXPECT_FALSE(settings->SetAllUsers(true));
    EXPECT_FALSE(settings->SetSingleProfile(false));
  }
}

// The backend's switches, in order, for each operation.
TEST_F(SettingsTest, BuildsTheBackendCommandLine) {
  MakeInstallation(L"inst", "copy_only=\"False\" all_users=\"False\"",
                   "{\"import_browser_data\": true, \"enable_stats\": true, "
                   "\"single_profile\": false}");
  MakeInstallation(L"standalone", "copy_only=\"True\" all_users=\"False\"", "");
  const base::string16 inst = Path(L"inst").value();
  const base::string16 fresh = Path(L"new").value();
  const base::string16 standalone = Path(L"standalone").value();
  const struct {
    const wchar_t* arguments;
    bool uninstall;
    bool autoupdate;
    base::FilePath folder;
    bool suppress_launch;
    base::string16 expected;
  } kCases[] = {
      {L"--initial-pid=5 --temp-folder=C:\\t --server-tracking-data=abc "
       L"--import-session=1 --import-bookmarks=0 --language=de",
       false, false, Path(L"new"), false,
       L"--backend --initial-pid=5 --temp-folder=\"C:\\t\" --install "
       L"--import-browser-data=1 --enable-stats=1 --enable-installer-stats=1 "
       L"--launchvexlo=1 --installfolder=\"" +
           fresh +
           L"\" --profile-folder --language=de --singleprofile=0 --copyonly=0 "
           L"--allusers=1 --setdefaultbrowser=0 --startmenushortcut=1 "
           L"--desktopshortcut=1 --quicklaunchshortcut=0 --pintotaskbar=1 "
           L"--server-tracking-data=abc "
           L"--with-feature:settings-test-feature=off "
           L"--import-bookmarks=0 "
           L"--import-session=1"},
      {L"--copyonly=1 --profile-folder=C:\\p", false, false, Path(L"new"), true,
       L"--backend --install --import-browser-data=1 --enable-stats=1 "
       L"--enable-installer-stats=1 --launchvexlo=0 --installfolder=\"" +
           fresh +
           L"\" --profile-folder=\"C:\\p\" --language=en --singleprofile=1 "
           L"--copyonly=1 --with-feature:settings-test-feature=off"},
      {L"", false, true, Path(L"inst"), false,
       L"--backend --install --autoupdate --import-browser-data=1 "
       L"--enable-stats=1 --enable-installer-stats=1 --launchvexlo=1 "
       L"--installfolder=\"" +
           inst +
           L"\" --profile-folder --language=en --setdefaultbrowser=0 "
           L"--startmenushortcut=0 --desktopshortcut=0 "
           L"--quicklaunchshortcut=0 --pintotaskbar=0 "
           L"--with-feature:settings-test-feature=off"},
      {L"", false, false, Path(L"standalone"), false,
       L"--backend --install --import-browser-data=1 --enable-stats=1 "
       L"--enable-installer-stats=1 --launchvexlo=1 --installfolder=\"" +
           standalone +
           L"\" --profile-folder --language=en "
           L"--with-feature:settings-test-feature=off"},
      {L"--initial-pid=9 --deleteuserprofile=1", true, false, Path(L"inst"),
       false, L"--backend --initial-pid=9 --uninstall --deleteuserprofile=1"},
      {L"--initial-pid=9", false, false, Path(L"in|valid"), false,
       L"--backend --initial-pid=9"},
  };
  // The run's feature overrides travel to an installing backend.
  base::CommandLine features(base::CommandLine::NO_PROGRAM);
  features.ParseFromString(L"x.exe --with-feature:settings-test-feature=off");
  base::CommandLineFeatureReader reader(&features);
  base::FeatureRegistry::GetInstance()->AddReader(&reader);
  for (const auto& c : kCases) {
    ScopedLogCapture log;
    std::unique_ptr<Settings> settings =
        Make(c.arguments, c.uninstall, c.autoupdate, c.folder);

    WaitForPath();
    if (c.uninstall) {
      // An uninstallation starts in the program's own folder, which holds
      // no installation here: nothing to do there.
      EXPECT_TRUE(log.Saw("Invalid install folder"));
      EXPECT_EQ(Settings::kInvalidOperation, settings->operation());
      EXPECT_TRUE(settings->delete_profile());
      EXPECT_TRUE(settings->SetDeleteProfile(true));
      settings->SetInstallFolder(c.folder);
      WaitForPath();
    }
    EXPECT_EQ(c.expected, settings->GetBackendCommandLine(c.suppress_launch)
                              .GetArgumentsString(false))
        << c.arguments;
  }
}

// The registry remembers the folder under the name that the installer
// writes, and under the names that older installers wrote.
TEST_F(SettingsTest, FindsTheRememberedFolder) {
  const base::string16 key_path =
      L"Software\\VexloSettingsTest\\" + dir_.path().BaseName().value();
  base::win::RegKey key;
  ASSERT_EQ(ERROR_SUCCESS,
            key.Create(HKEY_CURRENT_USER, key_path.c_str(), KEY_ALL_ACCESS));
  ASSERT_TRUE(base::CreateDirectory(Path(L"a")));
  ASSERT_TRUE(base::CreateDirectory(Path(L"b")));
  // Written, then older: by channel, by stream, the oldest. Value names
  // ignore case, so the channel's name differs from the stream's here.
  const wchar_t* const kNames[] = {
      L"Last Developer Install Path", L"Last dev Install Path x64",
      L"Last Developer Install Path x64", L"Last install path"};
  const struct {
    const wchar_t* values[4];  // By kNames; null for none.
    int channel_code;
    const wchar_t* expected;
  } kCases[] = {
      {{L"a\\"}, 2, L"a"},  // As the installer writes it.
      {{L"a", L"b"}, 2, L"a"},
      {{nullptr, L"b\\\\"}, 2, L"b"},
      {{nullptr, nullptr, L"b"}, 2, L"b"},
      {{L"gone", nullptr, L"b"}, 2, L"b"},
      {{nullptr, nullptr, nullptr, L"a"}, 2, nullptr},
      {{nullptr, nullptr, nullptr, L"a"}, 4, L"a"},
      {{}, 4, nullptr},
  };
  for (const auto& c : kCases) {
    for (int i = 0; i < 4; ++i) {
      key.DeleteValue(kNames[i]);
      if (c.values[i])
        key.WriteValue(kNames[i], Path(c.values[i]).value().c_str());
    }
    EXPECT_EQ(
        (c.expected ? Path(c.expected) : base::FilePath()).value(),
        internal::ReadRegistryInstallFolder(HKEY_CURRENT_USER, key_path, "dev",
                                            "Developer", c.channel_code)
            .value())
        << (&c - kCases);
  }
  // A relative folder is passed over.
  key.WriteValue(kNames[0], L"a");
  EXPECT_EQ(base::FilePath(),
            internal::ReadRegistryInstallFolder(HKEY_CURRENT_USER, key_path,
                                                "dev", "Developer", 2));
  key.Close();
  EXPECT_EQ(ERROR_SUCCESS, ::RegDeleteTreeW(HKEY_CURRENT_USER,
                                            L"Software\\VexloSettingsTest"));
}

// The drives' ranks from A on, '-' for none with a medium.
const char* g_drive_ranks = "";
int RankFromTable(wchar_t letter) {
  const char rank = g_drive_ranks[letter - L'A'];
  return rank == '-' ? -1 : rank - '0';
}

// The best drive for a standalone copy: the lowest rank, a removable one
// at once; drive A when no drive holds a medium.
TEST_F(SettingsTest, ChoosesTheStandaloneDrive) {
  const struct {
    uint32_t drives;
    const char* ranks;
    const wchar_t* root;
  } kCases[] = {
      {0, "00000000000000000000000000", L"A:\\"},
      {0x1C, "00351000000000000000000000", L"E:\\"},
      {0x0C, "00330000000000000000000000", L"C:\\"},
      {0x1C, "00700000000000000000000000", L"D:\\"},
      {1u << 25, "00000000000000000000000007", L"Z:\\"},
  };
  for (const auto& c : kCases) {
    g_drive_ranks = c.ranks;
    EXPECT_EQ(base::FilePath(c.root),
              internal::ChooseStandaloneDrive(c.drives, &RankFromTable))
        << c.ranks;
  }
  // The system's own answer is some drive's root.
  EXPECT_EQ(3u, internal::ChooseStandaloneDrive(::GetLogicalDrives(),
                                                &internal::RankDrive)
                    .value()
                    .size());
}

// Where a new installation goes by default.
TEST_F(SettingsTest, ChoosesTheDefaultFolder) {
  // Installations that tests beside this one make remember their folder
  // there, which would become the default.
  const ScopedProductRegistry registry(
      {{HKEY_CURRENT_USER, GetCompanyRegistryKey(), false, L""}});
  std::unique_ptr<Settings> settings = Make(L"", false, false, Path(L"cl"));
  const base::FilePath name(
      base::UTF8ToUTF16(ProductInfo::GetVisibleProductNameWithChannel()));
  EXPECT_EQ(Path(L"cl"), settings->GetDefaultInstallFolder(true, true));
  base::FilePath program_files, user_programs;
  ASSERT_TRUE(base::PathService::Get(base::DIR_PROGRAM_FILES, &program_files));
  // Where the system cannot name the per-user programs folder, it is still
  // found where it lies.
  if (!GetUserProgramFilesFolder(&user_programs)) {
    ASSERT_TRUE(
        base::PathService::Get(base::DIR_LOCAL_APP_DATA, &user_programs));
    user_programs = user_programs.Append(L"Programs");
  }
  EXPECT_EQ(program_files.Append(name),
            settings->GetDefaultInstallFolder(false, true));
  EXPECT_TRUE(settings->SetAllUsers(false));
  EXPECT_EQ(user_programs.Append(name),
            settings->GetDefaultInstallFolder(false, false));
  EXPECT_TRUE(settings->SetCopyOnly(true));
  EXPECT_EQ(settings->standalone_drive().Append(name),
            settings->GetDefaultInstallFolder(false, false));
}

TEST_F(SettingsTest, RecordsItsStatistics) {
  base::FeatureRegistry::GetInstance()->RegisterFeature("installer-ui-stats",
                                                        true, true);
  std::unique_ptr<Settings> settings = Make(L"--copyonly=1", false, true);
  WaitForPath();
  NoUICallbackRunner ui_runner;
  InstallerStats stats(&ui_runner);
  settings->RecordStats("ui.initial_", stats.stats());
  std::string json;
  ASSERT_TRUE(stats.SerializeRecord(&json));
  for (const char* expected :
       {"\"autoupdate\":1",
        "\"ui\":{\"initial_installation_mode\":"
        "\"standalone\",\"initial_installation_operation\":"
        "\"installing\",\"initial_make_default\":0,"
        "\"initial_using_default_installation_folder\":0,"
        "\"initial_using_privileged_installation_folder\":"
        "0}"}) {
    EXPECT_NE(std::string::npos, json.find(expected)) << json;
  }
  // A user who is not an administrator installing for all users.
  FakeSecurityChecks checks;
  checks.set_administrator(false);
  settings = Make(L"--allusers=1");
  WaitForPath();  // A writable folder.
  settings->RecordStats("", stats.stats());
  ASSERT_TRUE(stats.SerializeRecord(&json));
  EXPECT_NE(std::string::npos,
            json.find("\"using_privileged_installation_folder\":1"))
      << json;
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
