#include "desktop/launcher/installer/installer_backend.h"

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/base_paths.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/unique_test_dir.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "base/win/shortcut.h"
#include "desktop/launcher/installer/service/installation_status.h"
#include "desktop/launcher/installer/service/task_scheduler.h"
#include "desktop/launcher/installer/service/xml_document.h"
#include "desktop/launcher/installer/test/installer_test_package.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

namespace {

using Snapshot = std::map<base::string16, std::string>;

// The product as the installer's own configuration names it.
constexpr wchar_t kVersion[] = L"12.0.1450.0";
constexpr const wchar_t* kUninstallKey = kInstallerExecutableUninstallKey;
constexpr int kPackageFiles = 300;
constexpr wchar_t kShortcutName[] = L"Vexlo developer.lnk";

// The installer executable of the build with a package around it, run as
// a backend whose front end is the test.
class InstallerBackendTest : public testing::Test {
 protected:
  InstallerBackendTest()
      : package_(temp_.path().Append(L"package")),
        install_(temp_.path().Append(L"Vexlo")),
        registry_(InstallerExecutableKeys()),
        desktop_folder_(L"Desktop", temp_.path().Append(L"Desktop")),
        programs_folder_(L"Programs", temp_.path().Append(L"Programs")) {}

  void SetUp() override {
    base::FilePath build;
    ASSERT_TRUE(base::PathService::Get(base::DIR_EXE, &build));
    files_ = WriteTestPackage(package_, kPackageFiles,
                              {"vexlo_installer.dll", "installer.exe"});
    // The installer carries its library; the launcher and the browser are
    // stand-ins.
    for (const wchar_t* name : {L"installer.exe", L"vexlo_installer.dll"})
      ASSERT_TRUE(base::CopyFile(build.Append(name), package_.Append(name)));
    ASSERT_TRUE(
        ScopedLauncherRecord::CopyLauncher(package_.Append(L"launcher.exe")));
    // The browser stands in the package twice: below "res", and beside the
    // installer for the tests that list it for the version folder.
    for (const wchar_t* name : {L"res\\vexlo.exe", L"vexlo.exe"}) {
      ASSERT_TRUE(base::CopyFile(build.Append(L"installer.exe"),
                                 package_.Append(name)));
    }
    interrupted_.Set(::CreateEventW(nullptr, TRUE, FALSE,
                                    InterruptedEventName(install_).c_str()));
    ASSERT_TRUE(interrupted_.IsValid());
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }

  void TearDown() override { ::CoUninitialize(); }

  // The product's shortcut in the test's own |folder|.
  base::FilePath Shortcut(const wchar_t* folder) const {
    return temp_.path().Append(folder).Append(kShortcutName);
  }

  // The backend's exit code. The taskbar verbs do not work on the test
  // platform, so the run does not pin.
  int RunBackend(const base::string16& switches = L"--install --launchvexlo=0",
                 base::FilePath folder = base::FilePath()) {
    if (folder.empty())
      folder = package_;
    const base::string16 command =
        L"\"" + folder.Append(L"installer.exe").value() + L"\" --backend " +
        switches + L" --allusers=0 --pintotaskbar=0 \"--installfolder=" +
        install_.value() + L"\" --initial-pid=" +
        base::UTF8ToUTF16(base::UintToString(::GetCurrentProcessId()));
    const base::Process process =
        base::LaunchProcess(command, base::LaunchOptions());
    EXPECT_TRUE(process.IsValid());
    if (::WaitForSingleObject(process.Handle(), 120000) != WAIT_OBJECT_0) {
      ADD_FAILURE() << "the backend did not end";
      process.Terminate(1, true);
    }
    DWORD exit_code = 1;
    ::GetExitCodeProcess(process.Handle(), &exit_code);
    return static_cast<int>(exit_code);
  }

  // Exactly the listed files in each of |subfolders|, the root files and
  // the launcher.
  Snapshot ExpectedFiles(const std::vector<base::string16>& subfolders) {
    Snapshot expected;
    expected[L"."] = "<dir>";
    for (const base::string16& subfolder : subfolders) {
      expected[subfolder] = "<dir>";
      expected[subfolder + L"\\res"] = "<dir>";
      expected[subfolder + L"\\res\\deep"] = "<dir>";
      for (const std::string& file : files_) {
        const base::string16 name = base::UTF8ToUTF16(file);
        EXPECT_TRUE(base::ReadFileToString(
            package_.Append(name), &expected[subfolder + L"\\" + name]));
      }
    }
    for (const wchar_t* name :
         {L"launcher.exe", L"vexlo_installer.dll", L"installer.exe"}) {
      EXPECT_TRUE(
          base::ReadFileToString(package_.Append(name), &expected[name]));
    }
    return expected;
  }

  // Checks that the installation folder holds exactly |expected| and the
  // files |written| besides, and returns those, whose content the caller
  // checks.
  Snapshot ExpectInstalled(const Snapshot& expected,
                           const std::vector<const wchar_t*>& written) {
    Snapshot installed = SnapshotFolder(install_);
    Snapshot result;
    for (const wchar_t* name : written) {
      const auto entry = installed.find(name);
      if (entry == installed.end()) {
        ADD_FAILURE() << "missing " << name;
        continue;
      }
      result.insert(*entry);
      installed.erase(entry);
    }
    EXPECT_EQ(std::vector<base::string16>(),
              NameDifference(expected, installed));
    EXPECT_EQ(expected, installed);
    return result;
  }

  static bool ReadRecord(const base::FilePath& file,
                         InstallationStatus* record) {
    XmlDocument document;
    return document.Initialize() &&
           ReadInstallationStatus(&document, record, file);
  }

  // Every string value the record lists is in the registry as recorded,
  // and every other value is there.
  static void ExpectRecordedKeysWritten(const InstallationStatus& record) {
    EXPECT_FALSE(record.user_keys.empty());
    for (const auto& key : record.user_keys) {
      const base::string16 path = base::UTF8ToUTF16(key.path);
      for (const auto& value : key.values) {
        const base::string16 name = base::UTF8ToUTF16(value.name);
        SCOPED_TRACE(key.path + " : " + value.name);
        if (value.type == "REG_SZ") {
          EXPECT_EQ(
              base::UTF8ToUTF16(value.data),
              ScopedProductRegistry::ReadString(HKEY_CURRENT_USER, path, name));
        } else {
          EXPECT_NE("none", ScopedProductRegistry::ReadValue(HKEY_CURRENT_USER,
                                                             path, name));
        }
      }
    }
  }

  static std::vector<base::FilePath> Paths(
      const std::vector<std::string>& names) {
    std::vector<base::FilePath> paths;
    for (const std::string& name : names)
      paths.push_back(base::FilePath(base::UTF8ToUTF16(name)));
    return paths;
  }

  // The names that one snapshot has and the other lacks, each marked with
  // the side that has it.
  static std::vector<base::string16> NameDifference(const Snapshot& expected,
                                                    const Snapshot& actual) {
    std::vector<base::string16> difference;
    for (const auto& entry : expected) {
      if (!actual.count(entry.first))
        difference.push_back(L"missing " + entry.first);
    }
    for (const auto& entry : actual) {
      if (!expected.count(entry.first))
        difference.push_back(L"extra " + entry.first);
    }
    return difference;
  }

  static std::vector<std::string> PrefKeys(const std::string& json) {
    std::vector<std::string> keys;
    const std::unique_ptr<base::Value> value = base::JSONReader::Read(json);
    const base::DictionaryValue* prefs = nullptr;
    if (value && value->GetAsDictionary(&prefs)) {
      for (base::DictionaryValue::Iterator it(*prefs); !it.IsAtEnd();
           it.Advance()) {
        keys.push_back(it.key());
      }
    }
    return keys;
  }

  static TaskScheduler::State TaskState(const base::string16& name) {
    const std::unique_ptr<TaskScheduler> scheduler = TaskScheduler::Create();
    EXPECT_TRUE(scheduler->Init());
    return scheduler->GetTaskState(name);
  }

  Snapshot State() {
    Snapshot state = SnapshotFolder(temp_.path());
    for (const auto& entry : registry_.Snapshot())
      state[entry.first] = entry.second;
    return state;
  }

  base::UniqueTestDir temp_;
  const base::FilePath package_;
  const base::FilePath install_;
  ScopedProductRegistry registry_;
  // Taken while the product's registry is held, given back before.
  ScopedShellFolder desktop_folder_;
  ScopedShellFolder programs_folder_;
  base::win::ScopedHandle interrupted_;
  std::vector<std::string> files_;
};

}  // namespace

TEST_F(InstallerBackendTest, InstallsAPackageThroughTheInstallerExecutable) {
  ASSERT_EQ(0, RunBackend());
  const Snapshot expected = ExpectedFiles({kVersion});
  // The finishing steps add the record and the preferences of the run.
  Snapshot installed = SnapshotFolder(install_);
  EXPECT_NE(std::string::npos,
            installed[L"installation_status.xml"].find("<?xml"));
  EXPECT_NE(std::string::npos,
            installed[L"installer_prefs.json"].find("\"single_profile\""));
  installed.erase(L"installation_status.xml");
  installed.erase(L"installer_prefs.json");
  EXPECT_EQ(expected, installed);

  const auto read = [](const wchar_t* key, const wchar_t* name) {
    return ScopedProductRegistry::ReadString(HKEY_CURRENT_USER, key, name);
  };
  const base::string16 launcher =
      L"\"" + install_.value() + L"\\Launcher.exe\"";
  EXPECT_EQ(L"Vexlo developer 12.0.1450.0",
            read(kUninstallKey, L"DisplayName"));
  EXPECT_EQ(install_.value(), read(kUninstallKey, L"InstallLocation"));
  EXPECT_EQ(launcher + L" /uninstall", read(kUninstallKey, L"UninstallString"));
  EXPECT_EQ(L"Vexlo", read(kUninstallKey, L"Publisher"));
  EXPECT_EQ(
      launcher + L" -noautoupdate -- \"%1\"",
      read(L"Software\\Classes\\Vexlodeveloper\\shell\\open\\command", L""));
  EXPECT_EQ(install_.value() + L"\\",
            read(L"Software\\Vexlo", L"Last developer Install Path"));
}

// One installation's whole life through the installer executable: what
// each run leaves, the browser each run starts, and the record that ties
// them together.
TEST_F(InstallerBackendTest, InstallsUpdatesAndUninstallsAnInstallation) {
  ScopedLauncherRecord launches(temp_.path());
  const Snapshot registry_before = registry_.Snapshot();
  const base::FilePath desktop = Shortcut(L"Desktop");
  const base::FilePath start_menu = Shortcut(L"Programs");
  const base::FilePath launcher = install_.Append(L"launcher.exe");
  const base::FilePath local_state =
      install_.Append(L"profile\\data\\Local State");

  // The version folder carries the browser and the installer that
  // uninstalls it, as a real package does.
  std::string list;
  ASSERT_TRUE(base::ReadFileToString(package_.Append(L"files_list"), &list));
  for (const char* name :
       {"vexlo.exe", "installer.exe", "vexlo_installer.dll"}) {
    files_.push_back(name);
    list += std::string(name) + "\r\n";
  }
  ASSERT_EQ(static_cast<int>(list.size()),
            base::WriteFile(package_.Append(L"files_list"), list.data(),
                            static_cast<int>(list.size())));

  ASSERT_EQ(0, RunBackend(L"--install --singleprofile=1 --language=nb "
                          L"--import-session=7"));
  InstallationStatus record;
  ASSERT_TRUE(ReadRecord(install_.Append(L"installation_status.xml"), &record));
  EXPECT_EQ(install_, record.install_path);
  EXPECT_EQ(base::FilePath(kVersion), record.subfolder);
  EXPECT_EQ(base::UTF16ToUTF8(kVersion), record.version);
  EXPECT_FALSE(record.all_users);
  EXPECT_EQ(desktop, record.desktop_shortcut);
  EXPECT_EQ(start_menu, record.start_menu_shortcut);
  EXPECT_TRUE(record.quick_launch_shortcut.empty());
  EXPECT_EQ(Paths(files_), record.files);
  EXPECT_EQ(Paths({"vexlo_installer.dll", "installer.exe"}), record.root_files);
  EXPECT_TRUE(record.machine_keys.empty());
  ExpectRecordedKeysWritten(record);
  const std::string app_id = record.app_id;
  EXPECT_TRUE(!app_id.empty() &&
              app_id.find_first_not_of("0123456789") == std::string::npos)
      << app_id;

  Snapshot written =
      ExpectInstalled(ExpectedFiles({kVersion}),
                      {L"installation_status.xml", L"installer_prefs.json"});
  const std::string prefs = written[L"installer_prefs.json"];
  const std::string record_text = written[L"installation_status.xml"];
  EXPECT_EQ(
      (std::vector<std::string>{"all-installer-experiments", "enable_stats",
                                "import_browser_data", "installer-experiments",
                                "language", "single_profile"}),
      PrefKeys(prefs));
  EXPECT_NE(std::string::npos, prefs.find("\"language\":\"nb\""));
  EXPECT_NE(std::string::npos, prefs.find("\"single_profile\":true"));
  // A new installation knows no profile yet.
  EXPECT_FALSE(base::PathExists(local_state));
  for (const base::FilePath& shortcut : {desktop, start_menu}) {
    base::FilePath target;
    EXPECT_TRUE(base::win::ResolveShortcut(shortcut, &target, nullptr))
        << shortcut.value();
    EXPECT_EQ(base::ToLowerASCII(launcher.AsUTF8()),
              base::ToLowerASCII(target.AsUTF8()));
  }
  const std::vector<std::string> install_run = {
      launcher.AsUTF8(), "--import-session=7", "--start-maximized"};
  EXPECT_EQ(std::vector<std::vector<std::string>>{install_run},
            launches.Runs());
  // The platform's scheduler refuses the task's trigger names, so the task
  // is not there; the installation succeeds all the same.
  EXPECT_EQ(TaskScheduler::STATE_NO_SUCH_TASK,
            TaskState(L"Autoupdate " + base::UTF8ToUTF16(app_id)));
  const Snapshot registry_installed = registry_.Snapshot();

  // The browser has made its profile meanwhile.
  ASSERT_TRUE(base::CreateDirectory(local_state.DirName()));
  ASSERT_EQ(0, RunBackend(L"--install --language=nn"));
  InstallationStatus updated;
  ASSERT_TRUE(
      ReadRecord(install_.Append(L"installation_status.xml"), &updated));
  EXPECT_EQ(app_id, updated.app_id);
  EXPECT_EQ(base::FilePath(base::string16(kVersion) + L"_0"),
            updated.subfolder);
  EXPECT_EQ(record.files, updated.files);
  EXPECT_EQ(record.user_keys, updated.user_keys);
  EXPECT_EQ(registry_installed, registry_.Snapshot());
  // The old version stays, with its record aside, for the next run to
  // remove; the profile the installation now has gets its language.
  Snapshot expected =
      ExpectedFiles({kVersion, base::string16(kVersion) + L"_0"});
  for (const wchar_t* folder : {L"old_status", L"profile", L"profile\\data"})
    expected[folder] = "<dir>";
  // The record aside is named by the second it went aside.
  base::string16 aside;
  for (const auto& entry : SnapshotFolder(install_)) {
    if (base::StartsWith16(entry.first, L"old_status\\installation_status.xml.",
                           base::CompareCase::SENSITIVE)) {
      aside = entry.first;
    }
  }
  written = ExpectInstalled(
      expected, {L"installation_status.xml", L"installer_prefs.json",
                 L"profile\\data\\Local State", aside.c_str()});
  EXPECT_EQ(record_text, written[aside]);
  EXPECT_EQ("{\"intl\":{\"app_locale\":\"nn\"}}",
            written[L"profile\\data\\Local State"]);
  EXPECT_NE(std::string::npos,
            written[L"installer_prefs.json"].find("\"language\":\"nn\""));
  EXPECT_TRUE(base::PathExists(desktop));
  EXPECT_TRUE(base::PathExists(start_menu));
  EXPECT_EQ(
      (std::vector<std::vector<std::string>>{install_run, {launcher.AsUTF8()}}),
      launches.Runs());

  // Run from the installation, as its uninstall entry runs it; silently,
  // since otherwise the survey page opens in a browser.
  ASSERT_EQ(0, RunBackend(L"--uninstall --silent",
                          install_.Append(updated.subfolder)));
  // Every key the record owns goes; the keys it shares with other
  // programs stay without its values, and so does the last folder chosen.
  Snapshot registry_left = registry_before;
  for (const auto& key : updated.user_keys) {
    if (key.clean != 0)
      continue;
    // The key and the keys above it that hold it.
    for (base::string16 name = L"HKCU\\" + base::UTF8ToUTF16(key.path);
         registry_installed.count(name); name.resize(name.rfind(L'\\'))) {
      registry_left[name] = "";
    }
  }
  for (const wchar_t* kept :
       {L"HKCU\\Software\\Vexlo",
        L"HKCU\\Software\\Vexlo : Last developer Install Path"}) {
    registry_left[kept] = registry_installed.at(kept);
  }
  EXPECT_EQ(registry_left, registry_.Snapshot());
  EXPECT_FALSE(base::PathExists(desktop));
  EXPECT_FALSE(base::PathExists(start_menu));
  // The old version and its record went; nothing was started.
  const Snapshot installed = SnapshotFolder(install_);
  EXPECT_EQ(0u, installed.count(kVersion));
  EXPECT_EQ(0u, installed.count(L"old_status"));
  EXPECT_EQ(2u, launches.Runs().size());
}

// A file of the package that cannot be read stops the backend, which takes
// back every file and key it made.
TEST_F(InstallerBackendTest, AFailedInstallationLeavesNothingBehind) {
  const Snapshot before = State();
  const base::FilePath locked =
      package_.Append(base::UTF8ToUTF16(files_[kPackageFiles - 2]));
  base::win::ScopedHandle lock(::CreateFileW(locked.value().c_str(),
                                             GENERIC_READ, 0, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(lock.IsValid());
  EXPECT_NE(0, RunBackend());
  lock.Close();
  EXPECT_EQ(before, State());
}

TEST(InstallerBackendHandleTest, DecodesTheFrontEndsHandle) {
  const struct {
    const char* text;
    bool valid;
    uintptr_t handle;
  } kCases[] = {
      {"a401000000000000", true, 0x1A4},
      {"A401000000000000ff", true, 0x1A4},
      {"a40100000000000", false, 0},
      {"a4010000000000", false, 0},
      {"a4010000000000zz", false, 0},
      {"", false, 0},
      {"0102030405060708a", false, 0},
      {"0102030405060708aabb", true, 0x0807060504030201},
  };
  for (const auto& test : kCases) {
    HANDLE handle = nullptr;
    EXPECT_EQ(test.valid, internal::DecodeProcessHandle(test.text, &handle))
        << test.text;
    if (test.valid) {
      EXPECT_EQ(test.handle, reinterpret_cast<uintptr_t>(handle)) << test.text;
    }
  }
}

}  // namespace installer
}  // namespace vexlo
