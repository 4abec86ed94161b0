#include "desktop/launcher/installer/status.h"

#include <objbase.h>
#include <windows.h>

#include <functional>
#include <string>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/unique_test_dir.h"
#include "base/win/shortcut.h"
#include "base/win/windows_version.h"
#include "desktop/launcher/installer/service/security_checks.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

// The classification lines of the status, joined by "|".
std::string g_log;
bool CaptureStatusLine(int,
                       const char* file,
                       int,
                       size_t start,
                       const std::string& line) {
  if (std::string(file).find("status.cc") == std::string::npos ||
      std::string(file).find("installation_status") != std::string::npos) {
    return false;
  }
  std::string message;
  base::TrimWhitespaceASCII(line.substr(start), base::TRIM_ALL, &message);
  g_log += message + "|";
  return true;
}

// Remembers the access asked for; answers as the system does.
class RecordingSecurityChecks : public SecurityChecks {
 public:
  RecordingSecurityChecks() : previous_(SetForTesting(this)) {}
  ~RecordingSecurityChecks() override { SetForTesting(previous_); }

  bool HasAccess(const base::string16& object_name,
                 SE_OBJECT_TYPE object_type,
                 ACCESS_MASK access) override {
    asked_ = object_name;
    access_ = access;
    return SecurityChecks::HasAccess(object_name, object_type, access);
  }

  base::string16 asked_;
  ACCESS_MASK access_ = 0;

 private:
  SecurityChecks* const previous_;
};

class StatusTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_TRUE(dir_.IsValid());
    base::SetMinLogLevel(-1);
    base::SetLogMessageHandler(&CaptureStatusLine);
  }
  void TearDown() override {
    base::SetLogMessageHandler(nullptr);
    base::SetMinLogLevel(0);
    ::CoUninitialize();
  }

  base::FilePath Path(const wchar_t* relative) const {
    return dir_.path().Append(relative);
  }
  void Write(const wchar_t* relative, const std::string& text) {
    const base::FilePath file = Path(relative);
    ASSERT_TRUE(base::CreateDirectory(file.DirName()));
    ASSERT_EQ(
        static_cast<int>(text.size()),
        base::WriteFile(file, text.data(), static_cast<int>(text.size())));
  }
  void Link(const wchar_t* relative, const wchar_t* target) {
    ASSERT_TRUE(base::CreateDirectory(Path(relative).DirName()));
    base::win::ShortcutProperties properties;
    properties.target = Path(target);
    properties.options = base::win::ShortcutProperties::PROPERTIES_TARGET;
    ASSERT_TRUE(base::win::CreateOrUpdateShortcutLink(
        Path(relative), properties, base::win::SHORTCUT_CREATE_ALWAYS));
  }

  // A record of the folder |relative| whose root element carries
  // |attributes| and whose body ends with |extra|.
  void Record(const wchar_t* relative,
              const std::string& attributes,
              const std::string& extra) {
    Write(relative, "<install_log version=\"1.0\" " + attributes +
                        "><path subfolder=\"1.0\">X</path><files><file>a"
                        "</file></files>" +
                        extra + "</install_log>");
  }

  base::UniqueTestDir dir_;
};

// A drive letter that names no drive.
base::string16 MissingDrive() {
  const DWORD drives = ::GetLogicalDrives();
  for (wchar_t letter = L'Q'; letter <= L'Y'; ++letter) {
    if (!(drives & (1u << (letter - L'A'))))
      return base::string16(1, letter) + L":";
  }
  return L"B:";
}

UINT WINAPI CdRomDriveType(const wchar_t* /* root */) {
  return DRIVE_CDROM;
}

TEST_F(StatusTest, ClassifiesPreparedFolders) {
  constexpr int kReplaceTalvik = 1;
  constexpr int kCdRom = 2;
  const std::string kFlags =
      "copy_only=\"False\" all_users=\"False\" pinned=\"False\"";
  const std::string kOldConfiguration =
      "[System]\r\nVexlo Product=2\r\nMulti User=0\r\n[User Prefs]\r\n"
      "Language Files Directory=C:\\Old\\locale\\nb-NO\\\r\n";
  const std::string kExisting =
      "Path is a folder|Path is a existing "
      "installation|Testing shortcuts|";
  const std::string kFolder =
      "Path is a folder|Path is not an existing "
      "installation|";
  const std::string kProfile = Path(L"user").AsUTF8();
  std::string escaped_profile = kProfile;
  base::ReplaceSubstringsAfterOffset(&escaped_profile, 0, "\\", "\\\\");

  const struct Case {
    const char* what;
    base::string16 path;  // Relative to the test's folder unless absolute.
    std::function<void()> prepare;
    int options;      // kReplaceTalvik, kCdRom.
    const char* log;  // After "Initializing status: " and the path.
    bool valid;
    bool existing;
    bool legacy;
    bool launcher;
    const wchar_t* existing_folder;
    ACCESS_MASK access;  // 0: none asked.
    int32_t single_profile;
    int32_t legacy_product;
    const wchar_t* language;
  } kCases[] = {
      {"empty", L"", [] {}, false, "Path is empty|", false, false, false, false,
       nullptr, 0, -1, -1, L""},
      {"invalid", L"in|valid", [] {}, false, "Path is not a valid Win32 path|",
       false, false, false, false, nullptr, 0, -1, -1, L""},
      {"relative", L"C:relative", [] {}, false, "Path is relative|", false,
       false, false, false, nullptr, 0, -1, -1, L""},
      {"a file", L"file.txt", [this] { Write(L"file.txt", "x"); }, false,
       "Path is a file path|", false, false, false, false, nullptr, 0, -1, -1,
       L""},
      {"a child of a file", L"file.txt\\a\\b",
       [this] { Write(L"file.txt", "x"); }, false,
       "Path is child of a file (invalid)|", false, false, false, false,
       nullptr, 0, -1, -1, L""},
      {"missing parents", L"new\\deeper", [] {}, false, "Path is valid|", true,
       false, false, false, L"", FILE_ADD_SUBDIRECTORY, -1, -1, L""},
      {"a missing drive", MissingDrive() + L"\\Vexlo\\x", [] {}, false,
       "Path is a root folder that's not valid(probably invalid drive "
       "letter)|",
       false, false, false, false, nullptr, 0, -1, -1, L""},
      {"an empty folder", L"empty",
       [this] { ASSERT_TRUE(base::CreateDirectory(Path(L"empty"))); }, false,
       kFolder.c_str(), true, false, false, false, L"empty", 0x1201BF, -1, -1,
       L""},
      {"a folder with a launcher", L"app",
       [this] {
         Write(L"app\\launcher.exe", "l");
         Record(L"app\\installation_status.xml", "version=\"1\"", "");
       },
       false, kFolder.c_str(), true, false, false, true, L"app", 0x1201BF, -1,
       -1, L""},
      {"an old configuration", L"old",
       [this, &kOldConfiguration] {
         Write(L"old\\vexloprefs_default.ini", kOldConfiguration);
       },
       false, kFolder.c_str(), true, false, false, false, L"old", 0x1201BF, 1,
       2, L"nb-NO"},
      {"an installation", L"inst",
       [&] {
         Record(L"inst\\installation_status.xml", kFlags, "");
         Write(L"inst\\installer_prefs.json",
               "{\"single_profile\": false, \"language\": \"de\", "
               "\"profile_path\": \"" +
                   escaped_profile + "\"}");
         Write(L"inst\\vexloprefs_default.ini", kOldConfiguration);
       },
       false, kExisting.c_str(), true, true, false, false, L"inst", 0x1201BF, 0,
       -1, L"de"},
      {"an installation with a locale", L"inst",
       [&] {
         Record(L"inst\\installation_status.xml", kFlags, "");
         Write(L"inst\\installer_prefs.json",
               "{\"profile_path\": \"" + escaped_profile + "\"}");
         Write(L"user\\Local State", "{\"intl\": {\"app_locale\": \"sv\"}}");
       },
       false, kExisting.c_str(), true, true, false, false, L"inst", 0x1201BF,
       -1, -1, L"sv"},
      {"an installation without preferences", L"inst",
       [&] {
         Record(L"inst\\installation_status.xml", kFlags, "");
         Write(L"inst\\vexloprefs_default.ini", kOldConfiguration);
       },
       false, kExisting.c_str(), true, true, false, false, L"inst", 0x1201BF, 1,
       2, L"nb-NO"},
      {"a damaged record", L"inst",
       [&] { Write(L"inst\\installation_status.xml", "<install_log>"); }, false,
       kFolder.c_str(), true, false, false, false, L"inst", 0x1201BF, -1, -1,
       L""},
      {"a legacy installation", L"legacy",
       [&] { Record(L"legacy\\vexlo_install_log.xml", kFlags, ""); }, false,
       kExisting.c_str(), true, false, true, false, L"legacy", 0x1201BF, -1, -1,
       L""},
      {"a missing folder on a CD-ROM", L"cd\\missing", [] {}, kCdRom,
       "Path is to a non-writable CD-ROM|", false, false, false, false, nullptr,
       0, -1, -1, L""},
      {"a writable folder on a CD-ROM", L"empty",
       [this] { ASSERT_TRUE(base::CreateDirectory(Path(L"empty"))); }, kCdRom,
       kFolder.c_str(), true, false, false, false, L"empty", 0x1201BF, -1, -1,
       L""},
      {"a legacy installation to replace", L"legacy",
       [&] {
         Record(L"legacy\\vexlo_install_log.xml", kFlags, "");
         Write(L"legacy\\installer_prefs.json", "{\"language\": \"de\"}");
         Write(L"legacy\\vexloprefs_default.ini", kOldConfiguration);
       },
       kReplaceTalvik, kExisting.c_str(), true, true, true, false, L"legacy",
       0x1201BF, 1, 2, L"nb-NO"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    base::DeleteFile(Path(L"file.txt"), false);
    for (const wchar_t* folder :
         {L"app", L"old", L"inst", L"legacy", L"user", L"empty"})
      base::DeleteFile(Path(folder), true);
    c.prepare();
    const base::FilePath path =
        c.path.empty() || c.path.find(L':') != base::string16::npos
            ? base::FilePath(c.path)
            : Path(c.path.c_str());
    RecordingSecurityChecks checks;
    g_log.clear();
    Status::SetDriveTypeQueryForTesting(c.options & kCdRom ? &CdRomDriveType
                                                           : nullptr);
    Status status(c.options & kReplaceTalvik);
    status.Initialize(path);
    Status::SetDriveTypeQueryForTesting(nullptr);
    EXPECT_EQ(c.path.empty()
                  ? std::string("Initializing status:|") + c.log
                  : "Initializing status: " + path.AsUTF8() + "|" + c.log,
              g_log);
    EXPECT_EQ(path, status.requested_path());
    EXPECT_EQ(c.valid, status.valid());
    EXPECT_EQ(c.existing, status.existing_installation());
    EXPECT_EQ(c.legacy, status.legacy_installation());
    EXPECT_EQ(c.launcher, status.launcher_present());
    EXPECT_EQ(c.existing_folder
                  ? Path(c.existing_folder).StripTrailingSeparators()
                  : base::FilePath(),
              status.existing_folder());
    EXPECT_EQ(c.access, checks.access_);
    EXPECT_EQ(c.access ? status.existing_folder().value() : L"", checks.asked_);
    EXPECT_EQ(c.access != 0, status.writable());
    EXPECT_EQ(c.single_profile, status.single_profile());
    EXPECT_EQ(c.legacy_product, status.legacy_product());
    EXPECT_EQ(c.language, status.language());
  }
}

// What an existing installation was installed with comes from its record,
// its preferences, its tracking data and its shortcuts.
TEST_F(StatusTest, ReadsTheDetailsOfAnInstallation) {
  Write(L"inst\\launcher.exe", "launcher");
  const base::string16 browser = L"inst\\1.0\\" + GetBrowserExeName();
  Write(browser.c_str(), "browser");
  Link(L"links\\desktop.lnk", browser.c_str());
  Link(L"links\\menu.lnk", L"inst\\launcher.exe");
  Record(L"inst\\installation_status.xml",
         "copy_only=\"False\" all_users=\"False\" pinned=\"True\"",
         "<registry hive=\"HKLM\"><key path=\"S\\V\" clean=\"1\"/></registry>"
         "<shortcut type=\"SC_DEST_DESKTOP\">" +
             Path(L"links\\desktop.lnk").AsUTF8() +
             "</shortcut><shortcut type=\"SC_DEST_MENU\">" +
             Path(L"links\\menu.lnk").AsUTF8() +
             "</shortcut><shortcut type=\"SC_DEST_QUICK_LAUNCH\">" +
             Path(L"links\\none.lnk").AsUTF8() + "</shortcut>");
  Write(L"inst\\installer_prefs.json",
        "{\"import_browser_data\": true, \"enable_stats\": false, "
        "\"single_profile\": true, \"welcome-url\": \"https://w/\", "
        "\"all-installer-experiments\": [\"installer-experiment-test@1\"]}");
  Write(L"inst\\server_tracking_data", std::string("track\0ing", 9));
  Write(L"inst\\profile\\data\\Local State", "{\"intl\": {\"app_locale\": 5}}");

  Status status(false);
  status.Initialize(Path(L"inst"));
  ASSERT_TRUE(status.existing_installation());
  EXPECT_FALSE(status.record().copy_only);
  EXPECT_TRUE(status.record().all_users);
  EXPECT_TRUE(status.record().pinned);
  EXPECT_EQ(1, status.import_browser_data());
  EXPECT_EQ(0, status.enable_stats());
  EXPECT_EQ(1, status.single_profile());
  EXPECT_EQ(L"https://w/", status.welcome_url());
  EXPECT_EQ(std::string("track\0ing", 9), status.server_tracking_data());
  EXPECT_EQ(Path(L"inst\\profile\\data"), status.user_data_folder());
  EXPECT_TRUE(status.experiments().IsEnabled("installer-experiment-test"));
  EXPECT_NE(std::string::npos,
            g_log.find("Test experiment was enabled in install folder."));
  EXPECT_FALSE(status.default_browser());
  // The desktop link runs the browser: found and owned. The menu link runs
  // the launcher: found, owned only where the system owns the menu anyway.
  EXPECT_TRUE(status.desktop_found());
  EXPECT_TRUE(status.desktop_owned());
  EXPECT_TRUE(status.start_menu_found());
  EXPECT_EQ(base::win::GetVersion() >= base::win::VERSION_WIN8,
            status.start_menu_owned());
  EXPECT_FALSE(status.quick_launch_found());
  EXPECT_FALSE(status.quick_launch_owned());
  EXPECT_FALSE(status.pinned_owned());
}

// Copy-only holds only for a record that left nothing else behind; such an
// installation is never for all users, and machine keys make one for all.
TEST_F(StatusTest, SettlesTheInstallationFlags) {
  const std::string keys = "<key path=\"S\\V\" clean=\"1\"/></registry>";
  const struct {
    bool copy_only;
    bool all_users;
    std::string extra;
    bool settled_copy_only;
    bool settled_all_users;
  } kCases[] = {
      {true, true, "", true, false},
      {true, true, "<registry hive=\"HKCU\">" + keys, false, true},
      {true, false, "<shortcut type=\"SC_DEST_MENU\">C:\\m</shortcut>", false,
       false},
      {false, false, "<registry hive=\"HKLM\">" + keys, false, true},
      {false, true, "", false, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.copy_only << c.all_users << c.extra);
    Record(L"inst\\installation_status.xml",
           std::string("copy_only=\"") + (c.copy_only ? "True" : "False") +
               "\" all_users=\"" + (c.all_users ? "True" : "False") +
               "\" pinned=\"False\"",
           c.extra);
    Status status(false);
    status.Initialize(Path(L"inst"));
    ASSERT_TRUE(status.existing_installation());
    EXPECT_EQ(c.settled_copy_only, status.record().copy_only);
    EXPECT_EQ(c.settled_all_users, status.record().all_users);
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
