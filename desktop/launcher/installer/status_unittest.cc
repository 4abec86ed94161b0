#include "desktop/launcher/installer/status.h"

#include <objbase.h>
#include <windows.h>

#include <string>

#include "base/base_paths_win.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/unique_test_dir.h"
#include "base/win/shortcut.h"
#include "base/win/windows_version.h"
#include "desktop/launcher/installer/service/security_checks.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "desktop/launcher/installer/test/scoped_path_override.h"
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

// Each case prepares files below the test's folder (name=content, each
// ended by "|"; content "/" for a folder), classifies a path and checks the
// outcome (the words "valid", "existing", "legacy", "launcher"), the log and
// the details (single profile, legacy product and language).
TEST_F(StatusTest, ClassifiesPreparedFolders) {
  constexpr int kReplaceTalvik = 1;
  constexpr int kCdRom = 2;
  const std::string record =
      "<install_log version=\"1\" copy_only=\"False\" all_users=\"False\" "
      "pinned=\"False\"><path>X</path><files><file>a</file></files>"
      "</install_log>|";
  const std::string ini =
      "[System]\r\nVexlo Product=2\r\nMulti User=0\r\n[User Prefs]\r\n"
      "Language Files Directory=C:\\Old\\locale\\nb-NO\\\r\n";
  const std::string existing =
      "Path is a folder|Path is a existing installation|Testing shortcuts|";
  const std::string folder =
      "Path is a folder|Path is not an existing installation|";
  std::string profile = "\"profile_path\": \"" + Path(L"user").AsUTF8() + "\"";
  base::ReplaceSubstringsAfterOffset(&profile, 0, "\\", "\\\\");
  const std::string prefs = "installer_prefs.json=";
  const struct Case {
    base::string16 path;  // Relative to the test's folder unless absolute.
    std::string files;
    int options;
    std::string log;  // After the line "Initializing status: " and the path.
    const char* outcome;
    const wchar_t* existing_folder;  // Null: none.
    const char* details;
  } kCases[] = {
      {L"", "", 0, "Path is empty|", "", nullptr, "-1 -1 "},
      {L"in|valid", "", 0, "Path is not a valid Win32 path|", "", nullptr,
       "-1 -1 "},
      {L"C:relative", "", 0, "Path is relative|", "", nullptr, "-1 -1 "},
      {L"f", "f=x|", 0, "Path is a file path|", "", nullptr, "-1 -1 "},
      {L"f\\a\\b", "f=x|", 0, "Path is child of a file (invalid)|", "", nullptr,
       "-1 -1 "},
      {L"new\\deeper", "", 0, "Path is valid|", "valid", L"", "-1 -1 "},
      {MissingDrive() + L"\\Vexlo\\x", "", 0,
       "Path is a root folder that's not valid(probably invalid drive "
       "letter)|",
       "", nullptr, "-1 -1 "},
      {L"cd\\missing", "", kCdRom, "Path is to a non-writable CD-ROM|", "",
       nullptr, "-1 -1 "},
      {L"cd", "cd=/|", kCdRom, folder, "valid", L"cd", "-1 -1 "},
      {L"i", "i\\launcher.exe=l|i\\installation_status.xml=<install_log>|", 0,
       folder, "valid launcher", L"i", "-1 -1 "},
      {L"i", "i\\vexloprefs_default.ini=" + ini, 0, folder, "valid", L"i",
       "1 2 nb-NO"},
      // A language folder that fills the buffer may have been cut: ignored.
      {L"i",
       "i\\vexloprefs_default.ini=[User Prefs]\nLanguage Files "
       "Directory=C:\\" +
           std::string(251, 'x') + "\\nb-N|",
       0, folder, "valid", L"i", "-1 0 nb-N"},
      {L"i",
       "i\\vexloprefs_default.ini=[User Prefs]\nLanguage Files "
       "Directory=C:\\" +
           std::string(251, 'x') + "\\nb-NO|",
       0, folder, "valid", L"i", "-1 0 "},
      {L"i",
       "i\\installation_status.xml=" + record + "i\\" + prefs +
           "{\"single_profile\": false, \"language\": \"de\", " + profile +
           "}|i\\vexloprefs_default.ini=" + ini,
       0, existing, "valid existing", L"i", "0 -1 de"},
      {L"i",
       "i\\installation_status.xml=" + record + "i\\" + prefs + "{" + profile +
           "}|user\\Local State={\"intl\": {\"app_locale\": "
           "\"sv\"}}|",
       0, existing, "valid existing", L"i", "-1 -1 sv"},
      {L"i",
       "i\\installation_status.xml=" + record +
           "i\\vexloprefs_default.ini=" + ini,
       0, existing, "valid existing", L"i", "1 2 nb-NO"},
      {L"i", "i\\vexlo_install_log.xml=" + record, 0, existing, "valid legacy",
       L"i", "-1 -1 "},
      {L"i",
       "i\\vexlo_install_log.xml=" + record + "i\\" + prefs +
           "{\"language\": \"de\"}|i\\vexloprefs_default.ini=" + ini,
       kReplaceTalvik, existing, "valid existing legacy", L"i", "1 2 nb-NO"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.path << " " << c.log);
    for (const wchar_t* name : {L"f", L"i", L"user", L"cd"})
      base::DeleteFile(Path(name), true);
    for (const std::string& line : base::SplitString(
             c.files, "|", base::KEEP_WHITESPACE, base::SPLIT_WANT_NONEMPTY)) {
      const size_t equals = line.find('=');
      const base::string16 name = base::UTF8ToUTF16(line.substr(0, equals));
      if (line.substr(equals + 1) == "/")
        ASSERT_TRUE(base::CreateDirectory(Path(name.c_str())));
      else
        Write(name.c_str(), line.substr(equals + 1));
    }
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
    EXPECT_EQ(("Initializing status: " + path.AsUTF8())
                      .substr(0, c.path.empty() ? 20 : std::string::npos) +
                  "|" + c.log,
              g_log);
    const std::string outcome = c.outcome;
    const auto has = [&outcome](const char* word) {
      return outcome.find(word) != std::string::npos;
    };
    EXPECT_EQ(path, status.requested_path());
    EXPECT_EQ(has("valid"), status.valid());
    EXPECT_EQ(has("existing"), status.existing_installation());
    EXPECT_EQ(has("legacy"), status.legacy_installation());
    EXPECT_EQ(has("launcher"), status.launcher_present());
    const base::FilePath existing_folder =
        c.existing_folder ? Path(c.existing_folder).StripTrailingSeparators()
                          : base::FilePath();
    EXPECT_EQ(existing_folder, status.existing_folder());
    // The whole folder for one that exists, a new subfolder in an ancestor.
    EXPECT_EQ(!c.existing_folder        ? 0
              : existing_folder == path ? 0x1201BF
                                        : FILE_ADD_SUBDIRECTORY,
              checks.access_);
    EXPECT_EQ(existing_folder.value(), checks.asked_);
    EXPECT_EQ(c.existing_folder != nullptr, status.writable());
    EXPECT_EQ(c.details, std::to_string(status.single_profile()) + " " +
                             std::to_string(status.legacy_product()) + " " +
                             base::UTF16ToUTF8(status.language()));
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
  const base::string16 root_browser = L"inst\\" + GetBrowserExeName();
  Write(root_browser.c_str(), "browser");
  Link(L"links\\quick.lnk", root_browser.c_str());
  Link(L"pins\\pin.lnk", root_browser.c_str());
  ScopedPathOverride pins(base::DIR_TASKBAR_PINS, Path(L"pins"));
  Record(L"inst\\installation_status.xml",
         "copy_only=\"False\" all_users=\"False\" pinned=\"True\"",
         "<registry hive=\"HKLM\"><key path=\"S\\V\" clean=\"1\"/></registry>"
         "<shortcut type=\"SC_DEST_DESKTOP\">" +
             Path(L"links\\desktop.lnk").AsUTF8() +
             "</shortcut><shortcut type=\"SC_DEST_MENU\">" +
             Path(L"links\\menu.lnk").AsUTF8() +
             "</shortcut><shortcut type=\"SC_DEST_QUICK_LAUNCH\">" +
             Path(L"links\\quick.lnk").AsUTF8() + "</shortcut>");
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
  // The desktop, quick-launch and pinned links run the browser: found and
  // owned. The menu link runs the launcher: found, owned only where the
  // system owns the menu anyway.
  EXPECT_TRUE(status.desktop_found());
  EXPECT_TRUE(status.desktop_owned());
  EXPECT_TRUE(status.start_menu_found());
  EXPECT_EQ(base::win::GetVersion() >= base::win::VERSION_WIN8,
            status.start_menu_owned());
  EXPECT_TRUE(status.quick_launch_found());
  EXPECT_TRUE(status.quick_launch_owned());
  EXPECT_EQ(Path(L"pins\\pin.lnk"), status.pinned_shortcut());
  EXPECT_TRUE(status.pinned_owned());
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
