#include "desktop/launcher/installer/installer.h"

#include <objbase.h>
#include <sddl.h>
#include <shlwapi.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/important_file_writer.h"
#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/run_loop.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/synchronization/waitable_event.h"
#include "base/test/fake_shortcut_shell.h"
#include "base/test/scoped_windows_version_override.h"
#include "base/test/unique_test_dir.h"
#include "base/time/time.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "base/win/shortcut.h"
#include "desktop/common/l10n/l10n_util.h"
#include "desktop/common/product/installer_features.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/installer_observer.h"
#include "desktop/launcher/installer/service/installer_context.h"
#include "desktop/launcher/installer/service/prefs_task_pool.h"
#include "desktop/launcher/installer/service/test/fake_default_app_services.h"
#include "desktop/launcher/installer/service/test/fake_task_scheduler.h"
#include "desktop/launcher/installer/service/xml_document.h"
#include "desktop/launcher/installer/settings.h"
#include "desktop/launcher/installer/test/installer_test_package.h"
#include "desktop/launcher/installer/test/scoped_path_override.h"
#include "desktop/launcher/installer/test/status_waiter.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

namespace {

using Snapshot = std::map<base::string16, std::string>;

constexpr wchar_t kUninstallRoot[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// Owner SYSTEM; nobody may create subkeys, set values or change the key's
// security, but everyone may read it and delete it.
constexpr wchar_t kLockedKeySddl[] =
    L"O:SYG:SYD:(D;;0xC0006;;;WD)(A;;0x30019;;;WD)";

// Records what the installer tells, one line per call, and quits the run
// when the installation ends.
class RecordingObserver : public InstallerObserver {
 public:
  void OnInstallationStarted() override {
    calls.push_back("started");
    if (on_started)
      on_started();
  }
  void OnSubprocessStarting(bool) override { calls.push_back("subprocess"); }
  void OnSubprocessFinished() override { calls.push_back("subprocess end"); }
  void SetTotalSteps(int32_t steps) override { total_steps = steps; }
  void OnNextStep() override {
    ++next_steps;
    if (on_next_step)
      on_next_step(next_steps);
  }
  void OnInstallationFailed(int32_t error_code,
                            const base::string16& message,
                            const std::string& detail) override {
    code = error_code;
    wide = message;
    narrow = detail;
    calls.push_back("failed");
  }
  void OnInstallationSucceeded() override {
    calls.push_back("succeeded");
    quit.Run();
  }
  void OnInstallerTerminated(bool success) override {
    calls.push_back(success ? "terminated ok" : "terminated");
    quit.Run();
  }

  std::vector<std::string> calls;
  int32_t total_steps = -1;
  int next_steps = 0;
  int32_t code = 0;
  base::string16 wide;
  std::string narrow;
  std::function<void(int)> on_next_step;
  std::function<void()> on_started;
  base::Closure quit;
};

void SignalEvent(HANDLE event) {
  ::SetEvent(event);
}

class InstallerTest : public testing::Test {
 protected:
  InstallerTest()
      : command_line_initialized_(base::CommandLine::Init()),
        package_(temp_.path().Append(L"package")),
        install_(temp_.path().Append(L"Vexlo Install")),
        exe_(base::DIR_EXE, package_),
        desktop_(base::DIR_USER_DESKTOP, temp_.path().Append(L"Desktop")),
        start_menu_(base::DIR_START_MENU, temp_.path().Append(L"Programs")),
        quick_launch_(base::DIR_USER_QUICK_LAUNCH,
                      temp_.path().Append(L"Quick Launch")),
        pins_(base::DIR_TASKBAR_PINS, temp_.path().Append(L"Pins")),
        registry_(InstallerRegistryKeys()),
        version_(base::UTF8ToUTF16(ProductInfo::GetVersionString())) {}

  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    interrupted_.Set(::CreateEventW(nullptr, TRUE, FALSE,
                                    InterruptedEventName(install_).c_str()));
    ASSERT_TRUE(interrupted_.IsValid());
    files_ = WriteTestPackage(package_, 5, {"root.dll", "sub\\root2.dat"});
    Installer::SetTaskSchedulerForTesting(&scheduler_);
    for (const wchar_t* folder :
         {L"Desktop", L"Programs", L"Quick Launch", L"Pins"}) {
      ASSERT_TRUE(base::CreateDirectory(temp_.path().Append(folder)));
    }
  }

  void TearDown() override {
    Installer::SetTaskSchedulerForTesting(nullptr);
    // Tests that add switches of the process take them back, so that the
    // next test in this process runs as it would alone.
    *base::CommandLine::ForCurrentProcess() = command_line_;
    ::CoUninitialize();
  }

  std::unique_ptr<Settings> MakeSettings(
      const std::vector<std::string>& switches = {},
      bool uninstall = false,
      bool autoupdate = false) {
    base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
    command_line.AppendSwitchASCII("allusers", "0");
    // Only the runs that check the browser's start start it.
    command_line.AppendSwitchASCII("launchvexlo", "0");
    for (const std::string& value : switches) {
      const size_t equals = value.find('=');
      command_line.AppendSwitchASCII(value.substr(0, equals),
                                     value.substr(equals + 1));
    }
    auto settings = std::make_unique<Settings>(uninstall, true, autoupdate,
                                               install_, false, command_line);
    StatusWaiter wait(settings.get());
    return settings;
  }

  // Runs the installer to its end.
  void Install(Settings* settings) {
    base::RunLoop run_loop;
    observer_.quit = run_loop.QuitClosure();
    installer_.AddObserver(&observer_);
    installer_.Run(settings);
    run_loop.Run();
    installer_.RemoveObserver(&observer_);
  }

  static std::string SavedRecordText(const InstallationStatus& record) {
    XmlDocument document;
    EXPECT_TRUE(document.Initialize());
    WriteInstallationStatus(&document, record);
    std::string text;
    EXPECT_TRUE(document.SaveToString(&text));
    return text;
  }

  // The text of |name| in the installation folder.
  std::string ReadText(const base::string16& name) {
    std::string text;
    EXPECT_TRUE(base::ReadFileToString(install_.Append(name), &text)) << name;
    return text;
  }

  // Writes the record of the last run as its finishing step would, with
  // |app_id| when given.
  void SaveRecord(const std::string& app_id = std::string()) {
    InstallationStatus record = installer_.status_record();
    if (!app_id.empty())
      record.app_id = app_id;
    SaveRecordAs(record);
  }

  void SaveRecordAs(const InstallationStatus& record) {
    const std::string text = SavedRecordText(record);
    ASSERT_EQ(static_cast<int>(text.size()),
              base::WriteFile(install_.Append(kInstallationStatusFileName),
                              text.data(), static_cast<int>(text.size())));
  }

  base::string16 Uninstall(const wchar_t* suffix = L"") {
    return base::string16(kUninstallRoot) + L"\\VexloTest " + version_ + suffix;
  }

  base::string16 Read(const base::string16& key, const base::string16& name) {
    return ScopedProductRegistry::ReadString(HKEY_CURRENT_USER, key, name);
  }

  // Runs |settings| in |installer| to its end, signalling the interruption
  // as the step that |at| picks from the count of posted steps and their
  // total is posted.
  void RunInterrupted(Installer* installer,
                      Settings* settings,
                      const std::function<bool(int, int)>& at,
                      RecordingObserver* observer) {
    base::RunLoop run_loop;
    observer->quit = run_loop.QuitClosure();
    observer->on_next_step = [this, observer, at](int count) {
      if (at(count, observer->total_steps)) {
        ::SetEvent(interrupted_.Get());
        ::Sleep(100);
      }
    };
    installer->AddObserver(observer);
    installer->Run(settings);
    run_loop.Run();
    EXPECT_EQ("terminated", observer->calls.back());
  }

  // Runs what is queued on the loop.
  void DrainLoop() {
    base::RunLoop run_loop;
    loop_.PostTask(LOCATION_FROM_HERE("DrainLoop"), run_loop.QuitClosure());
    run_loop.Run();
  }

  Snapshot State() {
    Snapshot state = SnapshotFolder(temp_.path());
    for (const auto& entry : registry_.Snapshot())
      state[entry.first] = entry.second;
    return state;
  }

  const bool command_line_initialized_;
  const base::CommandLine command_line_ =
      *base::CommandLine::ForCurrentProcess();
  base::MessageLoop loop_;
  base::UniqueTestDir temp_;
  const base::FilePath package_;
  const base::FilePath install_;
  ScopedPathOverride exe_;
  ScopedPathOverride desktop_;
  ScopedPathOverride start_menu_;
  ScopedPathOverride quick_launch_;
  ScopedPathOverride pins_;
  // The shell's taskbar verbs fail under the test platform, which also
  // keeps no application ids; the fake records both.
  base::win::FakeShortcutShell shell_;
  ScopedProductRegistry registry_;
  const base::string16 version_;
  base::win::ScopedHandle interrupted_;
  std::vector<std::string> files_;
  RecordingObserver observer_;
  FakeTaskScheduler scheduler_;
  Installer installer_;
};

}  // namespace

TEST_F(InstallerTest, InstallsFilesRootFilesLauncherAndRecord) {
  auto settings = MakeSettings();
  ASSERT_EQ(Settings::kInstallOperation, settings->operation());
  Install(settings.get());
  ASSERT_EQ((std::vector<std::string>{"started", "succeeded"}), observer_.calls)
      << observer_.narrow;
  EXPECT_TRUE(installer_.succeeded());
  // Seven steps, four more copies of files, one more of root files, and the
  // end that the last step reports.
  EXPECT_EQ(7 + 4 + 1 + 1, observer_.total_steps);
  EXPECT_EQ(7 + 4 + 1 + 1, observer_.next_steps);

  const base::FilePath subfolder = install_.Append(version_);
  for (const std::string& file : files_) {
    std::string content;
    EXPECT_TRUE(base::ReadFileToString(
        subfolder.Append(base::UTF8ToUTF16(file)), &content));
    std::string source;
    base::ReadFileToString(package_.Append(base::UTF8ToUTF16(file)), &source);
    EXPECT_EQ(source, content) << file;
  }
  std::string content;
  EXPECT_TRUE(
      base::ReadFileToString(install_.Append(L"sub\\root2.dat"), &content));
  EXPECT_EQ("root sub\\root2.dat", content);
  EXPECT_TRUE(
      base::ReadFileToString(install_.Append(L"launcher.exe"), &content));
  EXPECT_EQ("launcher", content);

  const InstallationStatus& record = installer_.status_record();
  EXPECT_EQ(install_, record.install_path);
  EXPECT_EQ(base::FilePath(version_), record.subfolder);
  EXPECT_FALSE(record.all_users);
  EXPECT_EQ(ProductInfo::GetVersionString(), record.version);
  ASSERT_EQ(files_.size(), record.files.size());
  EXPECT_EQ(base::FilePath(L"res\\deep\\file3.dat"), record.files[3]);
  EXPECT_EQ((std::vector<base::FilePath>{base::FilePath(L"root.dll"),
                                         base::FilePath(L"sub\\root2.dat")}),
            record.root_files);
  EXPECT_TRUE(record.machine_keys.empty());
  EXPECT_FALSE(record.user_keys.empty());
  unsigned app_id = 0;
  EXPECT_TRUE(base::StringToUint(record.app_id, &app_id));
  EXPECT_NEAR(static_cast<double>(base::Time::Now().ToTimeT()),
              static_cast<double>(app_id), 60);
  EXPECT_EQ(install_.value() + L"\\", Read(L"Software\\Vexlo Test Company",
                                           L"Last developer Install Path"));
}

// A package without root files: the root-file step passes and still
// counts as the one step it takes, and one listed file makes no extra step.
TEST_F(InstallerTest, InstallsAPackageWithoutRootFiles) {
  base::DeleteFile(package_, true);
  files_ = WriteTestPackage(package_, 1, {});
  auto settings = MakeSettings();
  Install(settings.get());
  ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
  EXPECT_EQ(7 + 1, observer_.total_steps);
  EXPECT_EQ(7 + 1, observer_.next_steps);
  EXPECT_TRUE(installer_.status_record().root_files.empty());
  EXPECT_TRUE(base::PathExists(
      install_.Append(version_).Append(base::UTF8ToUTF16(files_[0]))));
}

// The registry table row by row, on each side of the Vista branch.
TEST_F(InstallerTest, WritesTheRegistryTableForEachWindowsVersion) {
  for (base::win::Version version :
       {base::win::VERSION_WIN7, base::win::VERSION_XP}) {
    SCOPED_TRACE(version);
    base::DeleteFile(install_, true);
    for (const auto& key : InstallerRegistryKeys())
      ::SHDeleteKeyW(key.root, key.path.c_str());
    base::win::ScopedWindowsVersionOverride override_version(version);
    auto settings = MakeSettings();
    Installer installer;
    base::RunLoop run_loop;
    RecordingObserver observer;
    observer.quit = run_loop.QuitClosure();
    installer.AddObserver(&observer);
    installer.Run(settings.get());
    run_loop.Run();
    ASSERT_TRUE(installer.succeeded()) << observer.narrow;

    const bool vista = version >= base::win::VERSION_VISTA;
    const base::string16 folder = install_.value();
    const base::string16 launcher = L"\"" + folder + L"\\Launcher.exe\"";
    const base::string16 klass = L"Software\\Classes\\VexloTestdeveloper";
    const base::string16 client =
        L"Software\\Clients\\StartMenuInternet\\VexloTestdeveloper";
    const base::string16 capabilities = client + L"\\Capabilities";
    const struct {
      base::string16 key;
      base::string16 name;
      base::string16 text;
      bool vista_only;
    } kRows[] = {
        {klass, L"FriendlyTypeName", L"VexloTest Web Document", false},
        {klass, L"URL Protocol", L"", false},
        {klass + L"\\DefaultIcon", L"", folder + L"\\Launcher.exe,0", false},
        {klass + L"\\shell\\open\\command", L"",
         launcher + L" -noautoupdate -- \"%1\"", false},
        {klass + L"\\shell\\open\\ddeexec", L"", L"", false},
        {klass + L"\\shell\\open\\ddeexec\\Application", L"", L"", false},
        {klass + L"\\shell\\open\\ddeexec\\Topic", L"", L"", false},
        {L"Software\\Classes\\.vxe", L"", L"VexloTestdeveloper.Extension",
         false},
        {L"Software\\RegisteredApplications", L"VexloTest developer",
         capabilities, true},
        {client, L"", L"VexloTest developer", false},
        {client + L"\\DefaultIcon", L"", folder + L"\\Launcher.exe,0", false},
        {client + L"\\InstallInfo", L"ShowIconsCommand",
         launcher + L" --showicons", false},
        {client + L"\\InstallInfo", L"HideIconsCommand",
         launcher + L" --hideicons", false},
        {client + L"\\InstallInfo", L"ReinstallCommand",
         launcher + L" --makedefaultbrowser", false},
        {client + L"\\shell\\open\\command", L"", launcher, false},
        {capabilities, L"ApplicationIcon", launcher + L",0", true},
        {capabilities, L"ApplicationName", L"VexloTest developer", true},
        {capabilities + L"\\FileAssociations", L".vxdownload",
         L"VexloTestdeveloper", true},
        {capabilities + L"\\FileAssociations", L".xhtml", L"VexloTestdeveloper",
         true},
        {capabilities + L"\\Startmenu", L"StartMenuInternet",
         L"VexloTestdeveloper", true},
        {capabilities + L"\\UrlAssociations", L"mailto", L"VexloTestdeveloper",
         true},
        {Uninstall(), L"DisplayName", L"VexloTest developer " + version_,
         false},
        {Uninstall(), L"DisplayIcon", launcher + L",0", false},
        {Uninstall(), L"DisplayVersion", version_, false},
        {Uninstall(), L"HelpLink",
         base::UTF8ToUTF16(ProductConfiguration::GetUrl("help")), false},
        {Uninstall(), L"InstallLocation", folder, false},
        {Uninstall(), L"Publisher", L"Vexlo Test Company", false},
        {Uninstall(), L"UninstallString", launcher + L" /uninstall", false},
        {Uninstall(), L"URLInfoAbout",
         base::UTF8ToUTF16(ProductConfiguration::GetUrl("homepage")), false},
        {Uninstall(), L"URLUpdateInfo",
         base::UTF8ToUTF16(ProductConfiguration::GetUrl("download")), false},
    };
    for (const auto& row : kRows) {
      EXPECT_EQ(vista || !row.vista_only ? row.text : L"none",
                Read(row.key, row.name))
          << row.key << " : " << row.name;
    }
    EXPECT_EQ("4:01000000", ScopedProductRegistry::ReadValue(
                                HKEY_CURRENT_USER, Uninstall(), L"NoModify"));
    EXPECT_EQ("0:", ScopedProductRegistry::ReadValue(
                        HKEY_CURRENT_USER,
                        L"Software\\Classes\\.pdf\\OpenWithProgIDs",
                        L"VexloTestdeveloper"));
    EXPECT_EQ(vista ? "4:20000000" : "none",
              ScopedProductRegistry::ReadValue(
                  HKEY_CURRENT_USER,
                  L"Software\\Microsoft\\Windows NT\\CurrentVersion\\"
                  L"AppCompatFlags\\Compatibility Assistant\\Persisted",
                  folder + L"\\Launcher.exe"));
    // A developer build writes no application paths, and a per-user one
    // nothing for the machine.
    EXPECT_EQ(L"none",
              Read(L"Software\\Microsoft\\Windows\\CurrentVersion\\App "
                   L"Paths\\vexlo_test.exe",
                   L""));
    EXPECT_EQ(L"none", ScopedProductRegistry::ReadString(
                           HKEY_LOCAL_MACHINE, Uninstall(), L"DisplayName"));
    EXPECT_EQ(L"none", Read(Uninstall(), L"SystemComponent"));
  }
}

TEST_F(InstallerTest, TakesTheFirstFreeUninstallKeyAndNextSubfolder) {
  base::win::RegKey(HKEY_CURRENT_USER, Uninstall().c_str(), KEY_SET_VALUE)
      .WriteValue(L"DisplayName", L"another");
  ASSERT_TRUE(base::CreateDirectory(install_.Append(version_)));
  ASSERT_TRUE(base::CreateDirectory(install_.Append(version_ + L"_0")));
  auto settings = MakeSettings();
  Install(settings.get());
  ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
  EXPECT_EQ(L"another", Read(Uninstall(), L"DisplayName"));
  EXPECT_EQ(install_.value(), Read(Uninstall(L"1"), L"InstallLocation"));
  EXPECT_EQ(base::FilePath(version_ + L"_1"),
            installer_.status_record().subfolder);
  EXPECT_TRUE(base::PathExists(
      install_.Append(version_ + L"_1").Append(L"res\\file0.dat")));
}

// Without any key free, the search ends and the installation fails whole.
TEST_F(InstallerTest, BoundsTheSearchForAnUninstallKey) {
  for (int suffix = 0; suffix <= 1000; ++suffix) {
    const base::string16 key =
        suffix ? Uninstall(base::UTF8ToUTF16(base::IntToString(suffix)).c_str())
               : Uninstall();
    base::win::RegKey(HKEY_CURRENT_USER, key.c_str(), KEY_SET_VALUE);
  }
  auto settings = MakeSettings();
  const Snapshot before = State();
  Install(settings.get());
  for (int suffix = 3; suffix <= 1000; ++suffix) {
    ::SHDeleteKeyW(
        HKEY_CURRENT_USER,
        Uninstall(base::UTF8ToUTF16(base::IntToString(suffix)).c_str())
            .c_str());
  }
  EXPECT_EQ(37050, observer_.code);
  EXPECT_EQ("Failed writing uninstallation information", observer_.narrow);
  EXPECT_EQ(before, State());
}

namespace {}  // namespace

namespace {

std::unique_ptr<base::DictionaryValue> ParseDictionary(
    const std::string& text) {
  std::unique_ptr<base::Value> value = base::JSONReader::Read(text);
  base::DictionaryValue* dictionary = nullptr;
  if (!value || !value->GetAsDictionary(&dictionary))
    return nullptr;
  value.release();
  return std::unique_ptr<base::DictionaryValue>(dictionary);
}

// The JSON file |path| once the preference writes posted for it are done.
std::unique_ptr<base::DictionaryValue> ReadWrittenPrefs(
    const base::FilePath& path) {
  base::win::ScopedHandle written(
      ::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  PrefsTaskPool::GetInstance()->GetTaskRunnerForFile(path)->PostTask(
      LOCATION_FROM_HERE("ReadWrittenPrefs"),
      base::Bind(&SignalEvent, written.Get()));
  ::WaitForSingleObject(written.Get(), INFINITE);
  std::string text;
  base::ReadFileToString(path, &text);
  return ParseDictionary(text);
}

std::vector<std::string> Strings(const base::ListValue& list) {
  std::vector<std::string> strings;
  for (const auto& value : list) {
    std::string text;
    value->GetAsString(&text);
    strings.push_back(text);
  }
  return strings;
}

}  // namespace

class InstallerFaultTest;

// One way to make an installation fail, and what it must report.
struct Fault {
  const char* name;
  std::function<std::shared_ptr<void>(InstallerFaultTest*)> inject;
  int32_t code;
  std::string narrow;
  // Breaks only a run over an installation.
  bool update_only = false;
};

class InstallerFaultTest : public InstallerTest {
 protected:
  // Holds |path| open so that nobody may write, move or delete it, nor
  // read it without |share|.
  static std::shared_ptr<void> Lock(const base::FilePath& path,
                                    DWORD share = FILE_SHARE_READ) {
    return std::shared_ptr<void>(
        ::CreateFileW(path.value().c_str(), GENERIC_READ, share, nullptr,
                      OPEN_EXISTING, 0, nullptr),
        ::CloseHandle);
  }

  void WriteList(const wchar_t* name, const std::string& text) {
    ASSERT_EQ(static_cast<int>(text.size()),
              base::WriteFile(package_.Append(name), text.data(),
                              static_cast<int>(text.size())));
  }

  static void LockKey(const base::string16& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        kLockedKeySddl, SDDL_REVISION_1, &descriptor, nullptr));
    base::win::RegKey key(HKEY_CURRENT_USER, path.c_str(),
                          WRITE_DAC | WRITE_OWNER);
    EXPECT_EQ(ERROR_SUCCESS,
              ::RegSetKeySecurity(key.Handle(),
                                  OWNER_SECURITY_INFORMATION |
                                      GROUP_SECURITY_INFORMATION |
                                      DACL_SECURITY_INFORMATION,
                                  descriptor));
    ::LocalFree(descriptor);
  }

  // |state| without the master shortcuts, which are made in the package
  // folder and go with it.
  static Snapshot WithoutMasterShortcuts(Snapshot state) {
    for (auto entry = state.begin(); entry != state.end();) {
      const bool master =
          base::StartsWith16(entry->first, L"package\\",
                             base::CompareCase::SENSITIVE) &&
          base::EndsWith16(entry->first, L".lnk", base::CompareCase::SENSITIVE);
      entry = master ? state.erase(entry) : std::next(entry);
    }
    return state;
  }

  // Runs an installation that |inject| breaks and checks that it fails as
  // |fault| says, leaving files and registry as they were.
  void RunFault(const Fault& fault, bool update) {
    SCOPED_TRACE(fault.name);
    if (update) {
      auto first = MakeSettings();
      Install(first.get());
      ASSERT_TRUE(installer_.succeeded());
      SaveRecord();
      ReadWrittenPrefs(install_.Append(kInstallerPrefsFileName));
      observer_ = RecordingObserver();
    }
    const std::shared_ptr<void> held = fault.inject(this);
    auto settings = MakeSettings();
    const Snapshot before = State();
    Installer installer;
    base::RunLoop run_loop;
    observer_.quit = run_loop.QuitClosure();
    installer.AddObserver(&observer_);
    installer.Run(settings.get());
    run_loop.Run();
    EXPECT_FALSE(installer.succeeded());
    EXPECT_EQ(fault.code, observer_.code);
    EXPECT_EQ(fault.narrow, observer_.narrow);
    EXPECT_EQ("terminated", observer_.calls.back());
    EXPECT_FALSE(installer.running());
    // Nothing still queued may act once the run has ended.
    DrainLoop();
    // Nor may a preference write still on its way change the folder.
    ReadWrittenPrefs(install_.Append(kInstallerPrefsFileName));
    EXPECT_EQ(WithoutMasterShortcuts(before), WithoutMasterShortcuts(State()));
  }

  std::vector<Fault> Faults() {
    return {
        {"no files list",
         [](InstallerFaultTest* test) {
           base::DeleteFile(test->package_.Append(L"files_list"), false);
           return nullptr;
         },
         37050, "Could not read files list"},
        {"empty files list",
         [](InstallerFaultTest* test) {
           test->WriteList(L"files_list", " \r\n\r\n");
           return nullptr;
         },
         37050, "No files in files list"},
        {"entry leading out",
         [](InstallerFaultTest* test) {
           test->WriteList(L"files_list",
                           "res\\file0.dat\r\nres\\..\\..\\evil.dat\r\n");
           return nullptr;
         },
         37050, "Invalid path in files list"},
        {"absolute root entry",
         [](InstallerFaultTest* test) {
           test->WriteList(L"root_files_list", "C:\\evil.dat\r\n");
           return nullptr;
         },
         37050, "Invalid path in files list"},
        {"stream entry",
         [](InstallerFaultTest* test) {
           test->WriteList(L"root_files_list", "root.dll:hidden\r\n");
           return nullptr;
         },
         37050, "Invalid path in files list"},
        {"missing listed file",
         [](InstallerFaultTest* test) {
           base::DeleteFile(test->package_.Append(L"res\\deep\\file3.dat"),
                            false);
           return nullptr;
         },
         37057, "Failed copying res\\deep\\file3.dat"},
        {"locked last file",
         [](InstallerFaultTest* test) {
           return Lock(test->package_.Append(L"res\\file4.dat"), 0);
         },
         37057, "Failed copying res\\file4.dat"},
        {"locked root file",
         [](InstallerFaultTest* test) {
           base::CreateDirectory(test->install_.Append(L"sub"));
           base::WriteFile(test->install_.Append(L"sub\\root2.dat"), "old", 3);
           return Lock(test->install_.Append(L"sub\\root2.dat"));
         },
         37057, "Failed copying sub\\root2.dat"},
        {"missing launcher",
         [](InstallerFaultTest* test) {
           base::DeleteFile(test->package_.Append(L"launcher.exe"), false);
           return nullptr;
         },
         37057, "Failed copying the launcher"},
        {"locked launcher",
         [](InstallerFaultTest* test) {
           base::CreateDirectory(test->install_);
           base::WriteFile(test->install_.Append(L"launcher.exe"), "old", 3);
           return Lock(test->install_.Append(L"launcher.exe"));
         },
         37057, "Failed copying the launcher"},
        {"unwritable status file",
         [](InstallerFaultTest* test) {
           // A folder where the record goes fails its write at the very
           // end, after every other step has changed something.
           base::CreateDirectory(
               test->install_.Append(kInstallationStatusFileName));
           return nullptr;
         },
         37050, "Failed saving the installation status"},
        {"locked status record",
         [](InstallerFaultTest* test) {
           // Preferences the run changes, which must come back as they
           // were once the record of an update cannot be replaced.
           const std::string prefs = "{\"au_task_error_count\":3}";
           base::WriteFile(test->install_.Append(kInstallerPrefsFileName),
                           prefs.data(), static_cast<int>(prefs.size()));
           return Lock(test->install_.Append(kInstallationStatusFileName));
         },
         37050, "Failed saving the installation status", true},
        {"no interruption event",
         [](InstallerFaultTest* test) {
           test->interrupted_.Close();
           return nullptr;
         },
         37050, "The front end ended the run before the installation began"},
    };
  }
};

TEST_F(InstallerFaultTest, EachFailureOfAnInstallLeavesEverythingAsBefore) {
  for (const Fault& fault : Faults()) {
    if (fault.update_only)
      continue;
    RunFault(fault, false);
    // Each case starts from a fresh package and no installation.
    base::DeleteFile(install_, true);
    base::DeleteFile(package_, true);
    files_ = WriteTestPackage(package_, 5, {"root.dll", "sub\\root2.dat"});
    observer_ = RecordingObserver();
    if (!interrupted_.IsValid()) {
      interrupted_.Set(::CreateEventW(nullptr, TRUE, FALSE,
                                      InterruptedEventName(install_).c_str()));
    }
  }
}

// Preferences that cannot be read for keeping are not written either: the
// update goes on and leaves them as they are.
TEST_F(InstallerFaultTest, AnUpdateLeavesUnreadablePreferencesAlone) {
  Install(MakeSettings().get());
  ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
  const base::FilePath prefs = install_.Append(kInstallerPrefsFileName);
  ReadWrittenPrefs(prefs);
  std::string before;
  ASSERT_TRUE(base::ReadFileToString(prefs, &before));
  auto update = MakeSettings({"language=nb"});
  {
    const std::shared_ptr<void> held = Lock(prefs, 0);
    observer_ = RecordingObserver();
    Install(update.get());
  }
  ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
  ReadWrittenPrefs(prefs);
  std::string after;
  ASSERT_TRUE(base::ReadFileToString(prefs, &after));
  EXPECT_EQ(before, after);
}

// The uninstall entry that exists already under its first name is one the
// registry step cannot write into: the step takes the next name, so the
// failure has to come from a key that refuses its values.
TEST_F(InstallerFaultTest, AnUnwritableUninstallEntryFailsTheRegistryStep) {
  // Every name the step tries lies below a parent that takes no new keys.
  ::SHDeleteKeyW(HKEY_CURRENT_USER, kUninstallRoot);
  base::win::RegKey(HKEY_CURRENT_USER, kUninstallRoot, KEY_SET_VALUE);
  LockKey(kUninstallRoot);
  RunFault(
      {"locked uninstall parent", [](InstallerFaultTest*) { return nullptr; },
       37050, "Failed writing uninstallation information"},
      false);
  ::SHDeleteKeyW(HKEY_CURRENT_USER, kUninstallRoot);
}

TEST_F(InstallerFaultTest, EachFailureOfAnUpdateLeavesEverythingAsBefore) {
  for (const char* name :
       {"locked last file", "locked launcher", "missing listed file",
        "locked root file", "locked status record"}) {
    for (const Fault& fault : Faults()) {
      if (fault.name != std::string(name))
        continue;
      RunFault(fault, true);
      base::DeleteFile(install_, true);
      base::DeleteFile(package_, true);
      files_ = WriteTestPackage(package_, 5, {"root.dll", "sub\\root2.dat"});
      observer_ = RecordingObserver();
    }
  }
}

// An interruption between any two steps takes back the whole run, the
// shortcuts and the preferences written behind included. The event's watch
// reports on the loop within a step of the signal; the last step, posted
// twelfth, may thus finish first.
TEST_F(InstallerFaultTest, InterruptionAtEachStepTakesEverythingBack) {
  for (int step = 1; step <= 11; ++step) {
    SCOPED_TRACE(step);
    auto settings = MakeSettings();
    const Snapshot before = State();
    Installer installer;
    RecordingObserver observer;
    RunInterrupted(
        &installer, settings.get(),
        [step](int count, int) { return count == step; }, &observer);
    EXPECT_EQ(0, observer.code);
    EXPECT_FALSE(installer.succeeded());
    DrainLoop();
    ReadWrittenPrefs(install_.Append(kInstallerPrefsFileName));
    EXPECT_EQ(WithoutMasterShortcuts(before), WithoutMasterShortcuts(State()));
    ::ResetEvent(interrupted_.Get());
  }
}

namespace {

constexpr wchar_t kAppIdPrefix[] = L"VexloSoftware.VexloWebBrowser.";

// The shortcut name of this build; numbered ones carry the major version.
base::string16 ShortcutFileName(bool numbered, int major) {
  std::string name = ProductInfo::GetVisibleProductNameWithChannel();
  if (numbered)
    name += " " + base::IntToString(major);
  return base::UTF8ToUTF16(name + ProductConfiguration::GetShortcutSuffix()) +
         L".lnk";
}

base::string16 ShortcutFileName(bool numbered) {
  return ShortcutFileName(numbered, ProductInfo::GetMajorVersion());
}

class InstallerShortcutTest : public InstallerTest {
 protected:
  base::FilePath Desktop(const base::string16& name) const {
    return temp_.path().Append(L"Desktop").Append(name);
  }
  base::FilePath StartMenu(const base::string16& name) const {
    return temp_.path().Append(L"Programs").Append(name);
  }
  base::FilePath QuickLaunch(const base::string16& name) const {
    return temp_.path().Append(L"Quick Launch").Append(name);
  }
  base::FilePath Master(const base::string16& name) const {
    return package_.Append(name);
  }
  base::FilePath Launcher() const { return install_.Append(L"launcher.exe"); }

  // |path| is a link to the installed launcher, started in its folder, with
  // the installation's application id.
  void ExpectLauncherShortcut(const base::FilePath& path) {
    SCOPED_TRACE(path.value());
    using Properties = base::win::ShortcutProperties;
    Properties properties;
    ASSERT_TRUE(base::win::ReadShortcutProperties(
        path,
        Properties::PROPERTIES_TARGET | Properties::PROPERTIES_WORKING_DIR |
            Properties::PROPERTIES_APP_ID,
        &properties));
    EXPECT_EQ(0, base::FilePath::CompareIgnoreCase(Launcher().value(),
                                                   properties.target.value()))
        << properties.target.value();
    EXPECT_EQ(0, base::FilePath::CompareIgnoreCase(
                     install_.value(), properties.working_dir.value()))
        << properties.working_dir.value();
    ASSERT_FALSE(installer_.status_record().app_id.empty());
    EXPECT_EQ(
        kAppIdPrefix + base::UTF8ToUTF16(installer_.status_record().app_id),
        properties.app_id);
  }

  // Installs with |switches| and keeps the record as the finishing step
  // would.
  void InstallAndRecord(const std::vector<std::string>& switches) {
    auto settings = MakeSettings(switches);
    Install(settings.get());
    ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
    SaveRecord();
    observer_ = RecordingObserver();
    shell_.executions.clear();
  }

  // Runs |settings| to success in a fresh installer, whose record it
  // returns.
  InstallationStatus RunToSuccess(Settings* settings) {
    Installer installer;
    base::RunLoop run_loop;
    observer_.quit = run_loop.QuitClosure();
    installer.AddObserver(&observer_);
    installer.Run(settings);
    run_loop.Run();
    EXPECT_TRUE(installer.succeeded()) << observer_.narrow;
    return installer.status_record();
  }

  InstallationStatus Update(const std::vector<std::string>& switches) {
    auto settings = MakeSettings(switches);
    EXPECT_EQ(Settings::kUpdateOperation, settings->operation());
    return RunToSuccess(settings.get());
  }
};

}  // namespace

TEST_F(InstallerShortcutTest, InstallCopiesTheMasterShortcutAndPinsIt) {
  auto settings = MakeSettings({"quicklaunchshortcut=1", "pintotaskbar=1"});
  Install(settings.get());
  ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
  const base::string16 name = ShortcutFileName(false);
  const InstallationStatus& record = installer_.status_record();
  EXPECT_EQ(Desktop(name), record.desktop_shortcut);
  EXPECT_EQ(StartMenu(name), record.start_menu_shortcut);
  EXPECT_EQ(QuickLaunch(name), record.quick_launch_shortcut);
  for (const base::FilePath& path :
       {Master(name), Desktop(name), StartMenu(name), QuickLaunch(name)}) {
    ExpectLauncherShortcut(path);
  }
  EXPECT_EQ(std::vector<base::string16>{L"taskbarpin " + Master(name).value()},
            shell_.executions);
  EXPECT_TRUE(record.pinned);
}

// Pinning happens only when chosen, from Windows 7 on, and only a pin that
// worked is recorded; the master shortcut is made even when nothing is
// copied.
TEST_F(InstallerShortcutTest, PinsOnlyWhenChosenOnWindows7AndLater) {
  const struct {
    base::win::Version version;
    const char* pin;
    INT_PTR verb_result;
    bool pinned;
  } kCases[] = {
      {base::win::VERSION_WIN7, "pintotaskbar=1", 42, true},
      {base::win::VERSION_WIN7, "pintotaskbar=1", 2, false},
      {base::win::VERSION_WIN7, "pintotaskbar=0", 42, false},
      {base::win::VERSION_VISTA, "pintotaskbar=1", 42, false},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(testing::Message()
                 << test.version << test.pin << test.verb_result);
    base::win::ScopedWindowsVersionOverride version(test.version);
    shell_.executions.clear();
    shell_.execute_result = test.verb_result;
    auto settings = MakeSettings({"desktopshortcut=0", "startmenushortcut=0",
                                  "quicklaunchshortcut=0", test.pin});
    Install(settings.get());
    ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
    const base::FilePath master = Master(ShortcutFileName(false));
    EXPECT_TRUE(base::PathExists(master));
    const bool tried = test.pin == std::string("pintotaskbar=1") &&
                       test.version >= base::win::VERSION_WIN7;
    EXPECT_EQ(tried ? 1u : 0u, shell_.executions.size());
    EXPECT_EQ(test.pinned, installer_.status_record().pinned);
    EXPECT_TRUE(installer_.status_record().desktop_shortcut.empty());
    EXPECT_EQ(1u, SnapshotFolder(temp_.path().Append(L"Desktop")).size());
    EXPECT_EQ(1u, SnapshotFolder(temp_.path().Append(L"Programs")).size());
    base::DeleteFile(install_, true);
  }
}

TEST_F(InstallerShortcutTest, APlainNameOnTheDesktopNumbersEveryShortcut) {
  const base::string16 plain = ShortcutFileName(false);
  ASSERT_EQ(5, base::WriteFile(Desktop(plain), "other", 5));
  auto settings = MakeSettings();
  Install(settings.get());
  ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
  const base::string16 numbered = ShortcutFileName(true);
  EXPECT_EQ(Desktop(numbered), installer_.status_record().desktop_shortcut);
  EXPECT_EQ(StartMenu(numbered),
            installer_.status_record().start_menu_shortcut);
  ExpectLauncherShortcut(Desktop(numbered));
  ExpectLauncherShortcut(StartMenu(numbered));
  EXPECT_FALSE(base::PathExists(StartMenu(plain)));
  std::string other;
  EXPECT_TRUE(base::ReadFileToString(Desktop(plain), &other));
  EXPECT_EQ("other", other);
}

// An update removes the shortcuts no longer chosen, adds the new ones and
// keeps the others where they are.
TEST_F(InstallerShortcutTest, UpdateRemovesAddsAndKeepsShortcuts) {
  InstallAndRecord({});
  const base::string16 name = ShortcutFileName(false);
  ASSERT_TRUE(base::PathExists(Desktop(name)));
  const InstallationStatus record =
      Update({"desktopshortcut=0", "quicklaunchshortcut=1"});
  EXPECT_FALSE(base::PathExists(Desktop(name)));
  EXPECT_TRUE(record.desktop_shortcut.empty());
  EXPECT_EQ(StartMenu(name), record.start_menu_shortcut);
  ExpectLauncherShortcut(StartMenu(name));
  EXPECT_EQ(QuickLaunch(name), record.quick_launch_shortcut);
  ExpectLauncherShortcut(QuickLaunch(name));
}

// Shortcuts named with an older major version move to the new one's name.
TEST_F(InstallerShortcutTest, UpdateMovesNumberedShortcutsToTheNewVersion) {
  InstallAndRecord({});
  const base::string16 name = ShortcutFileName(false);
  const base::string16 old_name =
      ShortcutFileName(true, ProductInfo::GetMajorVersion() - 1);
  InstallationStatus old_record = installer_.status_record();
  ASSERT_TRUE(base::Move(Desktop(name), Desktop(old_name)));
  ASSERT_TRUE(base::Move(StartMenu(name), StartMenu(old_name)));
  old_record.desktop_shortcut = Desktop(old_name);
  old_record.start_menu_shortcut = StartMenu(old_name);
  SaveRecordAs(old_record);

  const InstallationStatus record = Update({});
  const base::string16 numbered = ShortcutFileName(true);
  EXPECT_EQ(Desktop(numbered), record.desktop_shortcut);
  EXPECT_EQ(StartMenu(numbered), record.start_menu_shortcut);
  for (const base::FilePath& path : {Desktop(numbered), StartMenu(numbered)})
    ExpectLauncherShortcut(path);
  EXPECT_FALSE(base::PathExists(Desktop(old_name)));
  EXPECT_FALSE(base::PathExists(StartMenu(old_name)));
}

// An existing pin is taken off when pinning is no longer chosen.
TEST_F(InstallerShortcutTest, UpdateUnpinsWhenPinningIsNoLongerChosen) {
  InstallAndRecord({});
  const base::FilePath pin = temp_.path().Append(L"Pins").Append(L"pin.lnk");
  ASSERT_TRUE(base::CopyFile(Desktop(ShortcutFileName(false)), pin));
  Update({"pintotaskbar=0"});
  EXPECT_EQ(std::vector<base::string16>{L"taskbarunpin " + pin.value()},
            shell_.executions);
}

TEST_F(InstallerShortcutTest, UninstallUnpinsAndDeletesTheShortcuts) {
  InstallAndRecord({"quicklaunchshortcut=1"});
  const base::string16 name = ShortcutFileName(false);
  const base::FilePath pin = temp_.path().Append(L"Pins").Append(L"pin.lnk");
  ASSERT_TRUE(base::CopyFile(Desktop(name), pin));
  const base::FilePath company = StartMenu(L"Vexlo Software");
  ASSERT_TRUE(base::CreateDirectory(company));
  ScopedPathOverride own_folder(base::DIR_EXE, install_.Append(version_));
  auto settings = MakeSettings({}, true);
  ASSERT_EQ(Settings::kUninstallOperation, settings->operation());
  RunToSuccess(settings.get());
  for (const base::FilePath& path :
       {Desktop(name), StartMenu(name), QuickLaunch(name), company}) {
    EXPECT_FALSE(base::PathExists(path)) << path.value();
  }
  EXPECT_EQ(std::vector<base::string16>{L"taskbarunpin " + pin.value()},
            shell_.executions);
}

// A run that fails after its shortcut step takes back every shortcut it
// copied, moved or deleted. The interruption comes as the shortcut step is
// posted, so that the step runs before the event's watch reports.
TEST_F(InstallerShortcutTest, AFailureAfterTheShortcutStepTakesThemBack) {
  InstallAndRecord({});
  const base::FilePath master = Master(ShortcutFileName(false));
  ASSERT_TRUE(base::DeleteFile(master, false));
  auto settings = MakeSettings({"desktopshortcut=0", "quicklaunchshortcut=1"});
  const Snapshot before = State();
  Installer installer;
  RecordingObserver observer;
  // The last step posted is the one after the shortcut step.
  RunInterrupted(
      &installer, settings.get(),
      [](int count, int total) { return count == total - 2; }, &observer);
  DrainLoop();
  // The master shortcut is the package's own and goes with the package.
  ASSERT_TRUE(base::PathExists(master));
  ASSERT_TRUE(base::DeleteFile(master, false));
  EXPECT_EQ(before, State());
}

TEST_F(InstallerTest, RefusesInvalidOperations) {
  // Autoupdate installs only over an installation of the old engine.
  auto settings = MakeSettings({}, false, true);
  Install(settings.get());
  EXPECT_EQ(37050, observer_.code);
  EXPECT_EQ("Settings operation invalid for autoupdate", observer_.narrow);
  // A folder that cannot be an installation leaves no operation at all.
  const base::FilePath file = temp_.path().Append(L"a file");
  ASSERT_EQ(1, base::WriteFile(file, "x", 1));
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  command_line.AppendSwitchASCII("allusers", "0");
  Settings invalid(false, true, false, file, false, command_line);
  StatusWaiter wait(&invalid);
  ASSERT_EQ(Settings::kInvalidOperation, invalid.operation());
  observer_ = RecordingObserver();
  Install(&invalid);
  EXPECT_EQ(37053, observer_.code);
  EXPECT_EQ("Settings operation invalid", observer_.narrow);
  EXPECT_EQ(base::string16(), observer_.wide);
}

TEST_F(InstallerTest, UpdateReplacesTheInstallationAndKeepsItsId) {
  auto first = MakeSettings();
  Install(first.get());
  ASSERT_TRUE(installer_.succeeded());
  SaveRecord("1234567");
  // A key that the old record owns and that the new one no longer writes.
  base::win::RegKey(HKEY_CURRENT_USER, L"Software\\Classes\\VexloTestTrap\\x",
                    KEY_SET_VALUE)
      .WriteValue(L"v", L"old");
  base::WriteFile(install_.Append(L"root.dll"), "changed", 7);

  auto settings = MakeSettings();
  ASSERT_EQ(Settings::kUpdateOperation, settings->operation());
  observer_ = RecordingObserver();
  Install(settings.get());
  ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
  const InstallationStatus& record = installer_.status_record();
  EXPECT_EQ("1234567", record.app_id);
  EXPECT_EQ(base::FilePath(version_ + L"_0"), record.subfolder);
  std::string content;
  EXPECT_TRUE(base::ReadFileToString(install_.Append(L"root.dll"), &content));
  EXPECT_EQ("root root.dll", content);
  // The old status went aside for a later clean-up and the new one took its
  // place; the old files stay.
  EXPECT_EQ(SavedRecordText(record), ReadText(kInstallationStatusFileName));
  EXPECT_TRUE(base::DirectoryExists(install_.Append(L"old_status")));
  EXPECT_TRUE(
      base::PathExists(install_.Append(version_).Append(L"res\\file0.dat")));
  EXPECT_EQ(install_.value(), Read(Uninstall(), L"InstallLocation"));
  // Eleven steps, four more copies, one more root copy, one.
  EXPECT_EQ(11 + 4 + 1 + 1, observer_.total_steps);
}

// Each update removes the files of the version that the update before it
// replaced.
TEST_F(InstallerTest, CleanUpRemovesFilesOfPreservedRecords) {
  auto first = MakeSettings();
  Install(first.get());
  ASSERT_TRUE(installer_.succeeded());
  SaveRecord();
  for (int run = 0; run < 2; ++run) {
    auto settings = MakeSettings();
    observer_ = RecordingObserver();
    Install(settings.get());
    ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
    SaveRecord();
  }
  // The first version went with the second update; the second goes with
  // the next one.
  EXPECT_FALSE(base::PathExists(install_.Append(version_)));
  EXPECT_TRUE(base::PathExists(
      install_.Append(version_ + L"_0").Append(L"res\\deep\\file1.dat")));
  EXPECT_TRUE(base::PathExists(
      install_.Append(version_ + L"_1").Append(L"res\\deep\\file1.dat")));
  EXPECT_EQ(1u, SnapshotFolder(install_.Append(L"old_status")).size() - 1);
}

TEST_F(InstallerTest, RemovesRecordedKeysButNeverNearTheRoot) {
  auto first = MakeSettings();
  Install(first.get());
  ASSERT_TRUE(installer_.succeeded());
  // A damaged record: keys of one and two components, a key whose clean
  // reaches above the third level, and one value to remove from a key the
  // installation did not create.
  InstallationStatus record = installer_.status_record();
  auto add = [&record](const char* path, int clean, const char* value) {
    InstallationStatus::RegistryKey key;
    key.path = path;
    key.clean = clean;
    if (value)
      key.values.push_back({"REG_SZ", value, "x"});
    record.user_keys.push_back(key);
  };
  add("Software", 1, nullptr);
  add("Software\\Vexlo Test Company", 1, nullptr);
  add("Software\\Classes\\VexloTestTrap\\a\\b", 4, nullptr);
  add("Software\\Classes\\VexloTestTrap\\keep", 0, "gone");
  add("Software\\Classes\\VexloTestTrap\\c\\d", 2, nullptr);
  for (const wchar_t* key : {L"Software\\Classes\\VexloTestTrap\\a\\b",
                             L"Software\\Classes\\VexloTestTrap\\c\\d"}) {
    base::win::RegKey(HKEY_CURRENT_USER, key, KEY_SET_VALUE)
        .WriteValue(L"v", L"x");
  }
  const base::string16 keep = L"Software\\Classes\\VexloTestTrap\\keep";
  base::win::RegKey(HKEY_CURRENT_USER, keep.c_str(), KEY_SET_VALUE)
      .WriteValue(L"gone", L"x");
  base::win::RegKey(HKEY_CURRENT_USER, keep.c_str(), KEY_SET_VALUE)
      .WriteValue(L"stays", L"y");
  XmlDocument document;
  ASSERT_TRUE(document.Initialize());
  WriteInstallationStatus(&document, record);
  std::string text;
  ASSERT_TRUE(document.SaveToString(&text));
  base::WriteFile(install_.Append(kInstallationStatusFileName), text.data(),
                  static_cast<int>(text.size()));

  auto settings = MakeSettings();
  observer_ = RecordingObserver();
  Install(settings.get());
  ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
  // Four levels up from five components leaves "Software\\Classes".
  EXPECT_EQ(L"x", Read(L"Software\\Classes\\VexloTestTrap\\a\\b", L"v"));
  EXPECT_TRUE(base::win::RegKey(HKEY_CURRENT_USER,
                                L"Software\\Classes\\VexloTestTrap", KEY_READ)
                  .Valid());
  EXPECT_FALSE(base::win::RegKey(HKEY_CURRENT_USER,
                                 L"Software\\Classes\\VexloTestTrap\\c",
                                 KEY_READ)
                   .Valid());
  EXPECT_EQ(L"none", Read(keep, L"gone"));
  EXPECT_EQ(L"y", Read(keep, L"stays"));
  EXPECT_TRUE(base::win::RegKey(HKEY_CURRENT_USER,
                                L"Software\\Vexlo Test Company", KEY_READ)
                  .Valid());
}

// The uninstallation runs from the installed version's folder: it removes
// the recorded keys, unless the browser is in use.
TEST_F(InstallerTest, UninstallsRecordedKeysUnlessTheBrowserRuns) {
  auto first = MakeSettings();
  Install(first.get());
  ASSERT_TRUE(installer_.succeeded());
  SaveRecord();
  const base::FilePath browser =
      install_.Append(version_).Append(L"vexlo_test.exe");
  ASSERT_EQ(7, base::WriteFile(browser, "browser", 7));
  ScopedPathOverride own_folder(base::DIR_EXE, install_.Append(version_));
  ASSERT_EQ(install_, InstallerContext::GetInstance()->folder());
  for (bool in_use : {true, false}) {
    SCOPED_TRACE(in_use);
    base::win::ScopedHandle lock;
    if (in_use) {
      lock.Set(::CreateFileW(browser.value().c_str(), GENERIC_READ,
                             FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                             nullptr));
    }
    auto settings = MakeSettings({}, true);
    ASSERT_EQ(Settings::kUninstallOperation, settings->operation());
    const Snapshot before = State();
    observer_ = RecordingObserver();
    Installer installer;
    base::RunLoop run_loop;
    observer_.quit = run_loop.QuitClosure();
    installer.AddObserver(&observer_);
    installer.Run(settings.get());
    run_loop.Run();
    if (in_use) {
      EXPECT_EQ(37058, observer_.code);
      EXPECT_EQ("Can't uninstall when vexlo_test.exe is in use",
                observer_.narrow);
      EXPECT_EQ(before, State());
      continue;
    }
    ASSERT_TRUE(installer.succeeded()) << observer_.narrow;
    EXPECT_EQ(5 + 1, observer_.total_steps);
    EXPECT_EQ(L"none", Read(Uninstall(), L"DisplayName"));
    EXPECT_FALSE(base::win::RegKey(HKEY_CURRENT_USER,
                                   L"Software\\Classes\\VexloTestdeveloper",
                                   KEY_READ)
                     .Valid());
    EXPECT_FALSE(
        base::win::RegKey(
            HKEY_CURRENT_USER,
            L"Software\\Clients\\StartMenuInternet\\VexloTestdeveloper",
            KEY_READ)
            .Valid());
    EXPECT_EQ(L"none", Read(L"Software\\Classes\\.pdf\\OpenWithProgIDs",
                            L"VexloTestdeveloper"));
    EXPECT_FALSE(base::PathExists(browser));
  }
}

// Runs an uninstallation with |settings| to its end in an installer of its
// own, so that its transaction is committed when it returns.
void RunUninstall(Settings* settings, RecordingObserver* observer) {
  Installer installer;
  base::RunLoop run_loop;
  observer->quit = run_loop.QuitClosure();
  installer.AddObserver(observer);
  installer.Run(settings);
  run_loop.Run();
  installer.RemoveObserver(observer);
}

class InstallerUninstallTest : public InstallerTest {
 protected:
  InstallerUninstallTest()
      : roaming_(base::DIR_APP_DATA, temp_.path().Append(L"Roaming")),
        local_(base::DIR_LOCAL_APP_DATA, temp_.path().Append(L"Local")) {}

  void SetUp() override {
    InstallerTest::SetUp();
    // Other programs' data keep the application-data roots.
    for (const wchar_t* root : {L"Roaming", L"Local"}) {
      const base::FilePath folder = temp_.path().Append(root);
      ASSERT_TRUE(base::CreateDirectory(folder));
      ASSERT_EQ(1, base::WriteFile(folder.Append(L"other"), "o", 1));
    }
  }

  // Installs, then gives the installation a profile in the default place.
  void InstallWithProfile() {
    before_ = ProductState();
    auto settings = MakeSettings();
    Install(settings.get());
    ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
    for (const wchar_t* file :
         {L"Roaming\\Vexlo Test\\Profile Developer\\Default\\Bookmarks",
          L"Local\\Vexlo Test\\Profile Developer\\Cache\\data_0"}) {
      const base::FilePath path = temp_.path().Append(file);
      ASSERT_TRUE(base::CreateDirectory(path.DirName()));
      ASSERT_EQ(1, base::WriteFile(path, "p", 1));
    }
  }

  // Waits until the batch file of the uninstallation has run. The test
  // platform's cmd.exe holds the batch file until it ends, so the batch
  // cannot remove the folder that holds it, which it does on Windows; the
  // folder must be empty by then.
  void WaitForBatch() {
    const base::FilePath batch = install_.Append(L"k.bat");
    for (int i = 0; i < 600 && base::PathExists(batch); ++i)
      ::Sleep(100);
    EXPECT_FALSE(base::PathExists(batch));
    EXPECT_TRUE(!base::PathExists(install_) ||
                ::RemoveDirectoryW(install_.value().c_str()))
        << "left in the folder: " << SnapshotFolder(install_).size() - 1;
  }

  // The state less what is not the product's: the package folder, the
  // remembered installation folder, and keys without values (an emptied
  // shared key such as an extension's is not removed).
  Snapshot ProductState() {
    Snapshot state = State();
    for (auto entry = state.begin(); entry != state.end();) {
      const bool skip = entry->second.empty() ||
                        base::StartsWith16(entry->first, L"package",
                                           base::CompareCase::SENSITIVE) ||
                        entry->first.find(L"Last developer Install Path") !=
                            base::string16::npos;
      entry = skip ? state.erase(entry) : std::next(entry);
    }
    return state;
  }

  ScopedPathOverride roaming_;
  ScopedPathOverride local_;
  Snapshot before_;
};

// Registry, shortcuts, task, record, files, preferences, profile: nothing
// of the installation is left but the remembered folder, which the next
// installation offers again.
TEST_F(InstallerUninstallTest, LeavesNothingOfTheInstallation) {
  InstallWithProfile();
  ASSERT_EQ(1u, scheduler_.tasks().size());
  const std::string app_id = installer_.status_record().app_id;
  ASSERT_TRUE(
      base::WriteFile(install_.Append(L"server_tracking_data"), "t", 1) == 1 &&
      base::WriteFile(install_.Append(L"pref_default_overrides"), "{}", 2) ==
          2);
  ScopedPathOverride own_folder(base::DIR_EXE, install_.Append(version_));
  auto settings = MakeSettings({"deleteuserprofile=1", "silent=1"}, true);
  ASSERT_EQ(Settings::kUninstallOperation, settings->operation());
  observer_ = RecordingObserver();
  RunUninstall(settings.get(), &observer_);
  ASSERT_EQ("succeeded", observer_.calls.back()) << observer_.narrow;
  EXPECT_EQ(5 + 1, observer_.total_steps);
  EXPECT_EQ(5 + 1, observer_.next_steps);
  WaitForBatch();
  EXPECT_EQ(install_.value() + L"\\", Read(L"Software\\Vexlo Test Company",
                                           L"Last developer Install Path"));
  EXPECT_EQ(before_, ProductState());
  EXPECT_TRUE(scheduler_.tasks().empty());
  const std::vector<std::string> last_calls(scheduler_.calls().end() - 3,
                                            scheduler_.calls().end());
  EXPECT_EQ((std::vector<std::string>{"Init", "DeleteOrphanedTasks",
                                      "DeleteTask Autoupdate " + app_id}),
            last_calls);
}

// Without the status file's removal nothing else may happen: the
// uninstallation fails and takes back what it did.
TEST_F(InstallerUninstallTest, AStatusFileThatStaysFailsAndTakesAllBack) {
  InstallWithProfile();
  ScopedPathOverride own_folder(base::DIR_EXE, install_.Append(version_));
  const base::FilePath status = install_.Append(kInstallationStatusFileName);
  base::win::ScopedHandle lock(
      ::CreateFileW(status.value().c_str(), GENERIC_READ, FILE_SHARE_READ,
                    nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(lock.IsValid());
  auto settings = MakeSettings({"deleteuserprofile=1"}, true);
  const Snapshot installed = State();
  const size_t scheduler_calls = scheduler_.calls().size();
  observer_ = RecordingObserver();
  RunUninstall(settings.get(), &observer_);
  EXPECT_EQ(37050, observer_.code);
  EXPECT_EQ("Failed to remove installation status file", observer_.narrow);
  EXPECT_EQ(installed, State());
  EXPECT_EQ(scheduler_calls, scheduler_.calls().size());
  EXPECT_FALSE(base::PathExists(install_.Append(L"k.bat")));
}

// A backend started before its package was ready hands the run to the
// package's installer once the package-ready event comes, at once or
// through its watch, and reports that installer's outcome; the process's
// own command line names the package.
TEST_F(InstallerTest, HandsTheRunToThePackagesInstaller) {
  const base::FilePath ready_package = temp_.path().Append(L"ready");
  base::FilePath build;
  ASSERT_TRUE(base::PathService::Get(base::DIR_MODULE, &build));
  ASSERT_TRUE(base::CreateDirectory(ready_package));
  base::CommandLine::ForCurrentProcess()->AppendSwitchPath("wait-for-package",
                                                           ready_package);
  base::string16 ready_name = install_.value();
  for (wchar_t& character : ready_name) {
    if (character == L'\\')
      character = L'/';
  }
  ready_name = L"Global\\" + ready_name + L"/VexloInstaller/PackageReady";
  const struct {
    bool event;
    bool signalled;
    bool installer;
    int32_t code;
    const char* narrow;
  } kCases[] = {
      {false, false, true, 37050,
       "The front end ended the run before the package was ready"},
      {true, true, false, 37050,
       "Failed to start installer process from the package folder."},
      // The package's installer is a backend that no front end started: it
      // ends with failure, which is the run's.
      {true, true, true, 37050,
       "Installer process did not complete successfully."},
      {true, false, true, 37050,
       "Installer process did not complete successfully."},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(testing::Message()
                 << test.event << test.signalled << test.installer);
    DeleteOnceReleased(ready_package.Append(L"installer.exe"), false);
    if (test.installer) {
      ASSERT_TRUE(base::CopyFile(build.Append(L"installer.exe"),
                                 ready_package.Append(L"installer.exe")));
    }
    base::win::ScopedHandle ready;
    if (test.event) {
      ready.Set(
          ::CreateEventW(nullptr, TRUE, test.signalled, ready_name.c_str()));
    }
    auto settings = MakeSettings();
    observer_ = RecordingObserver();
    if (!test.signalled && test.event) {
      // After the installer has begun to watch the event.
      observer_.on_started = [this, &ready] {
        loop_.PostTask(LOCATION_FROM_HERE("SignalReady"),
                       base::Bind(&SignalEvent, ready.Get()));
      };
    }
    Installer installer;
    base::RunLoop run_loop;
    observer_.quit = run_loop.QuitClosure();
    installer.AddObserver(&observer_);
    installer.Run(settings.get());
    run_loop.Run();
    EXPECT_EQ(test.code, observer_.code);
    EXPECT_EQ(test.narrow, observer_.narrow);
    EXPECT_FALSE(installer.succeeded());
    EXPECT_EQ(test.event ? (std::vector<std::string>{"started", "subprocess",
                                                     "subprocess end", "failed",
                                                     "terminated"})
                         : (std::vector<std::string>{"started", "failed",
                                                     "terminated"}),
              observer_.calls);
    // No step of its own: the package's installer does the work.
    EXPECT_EQ(-1, observer_.total_steps);
  }
}

namespace {

// A hidden top-level window that keeps the section names of the settings
// changes broadcast to it.
class SettingChangeWindow {
 public:
  SettingChangeWindow() {
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = &Proc;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"VexloSettingChangeTest";
    ::RegisterClassW(&window_class);
    window_ =
        ::CreateWindowExW(0, window_class.lpszClassName, L"", WS_POPUP, 0, 0, 1,
                          1, nullptr, nullptr, window_class.hInstance, nullptr);
    EXPECT_TRUE(window_);
  }
  ~SettingChangeWindow() { ::DestroyWindow(window_); }

  static std::vector<base::string16>& sections() {
    static std::vector<base::string16> sections;
    return sections;
  }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_SETTINGCHANGE && w == 0 && l)
      sections().push_back(reinterpret_cast<const wchar_t*>(l));
    return ::DefWindowProcW(window, message, w, l);
  }

  HWND window_;
};

}  // namespace

// After an installation: the preferences with exactly their keys, the
// status record as the run holds it, the auto-update task with its values,
// the profile's language and the settings change told to every window.
TEST_F(InstallerTest, FinishingWritesPreferencesRecordTaskAndProfile) {
  const std::string include =
      "{\"welcome-url\": \"https://127.0.0.1/welcome\", \"other\": 1}";
  base::WriteFile(package_.Append(L"installer_prefs_include.json"),
                  include.data(), static_cast<int>(include.size()));
  auto settings = MakeSettings({"language=nb", "singleprofile=1",
                                "import-browser-data=0", "launchvexlo=0"});
  const base::FilePath data_folder = settings->status().user_data_folder();
  SettingChangeWindow window;
  SettingChangeWindow::sections().clear();
  Install(settings.get());
  ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
  const InstallationStatus& record = installer_.status_record();

  const auto prefs = ReadWrittenPrefs(install_.Append(kInstallerPrefsFileName));
  ASSERT_TRUE(prefs);
  std::vector<std::string> keys;
  for (base::DictionaryValue::Iterator it(*prefs); !it.IsAtEnd(); it.Advance())
    keys.push_back(it.key());
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(
      (std::vector<std::string>{"all-installer-experiments", "enable_stats",
                                "import_browser_data", "installer-experiments",
                                "language", "single_profile", "welcome-url"}),
      keys);
  std::string text;
  EXPECT_TRUE(prefs->GetString("welcome-url", &text));
  EXPECT_EQ("https://127.0.0.1/welcome", text);
  EXPECT_TRUE(prefs->GetString("language", &text));
  EXPECT_EQ("nb", text);
  bool flag = false;
  EXPECT_TRUE(prefs->GetBoolean("single_profile", &flag) && flag);
  EXPECT_TRUE(prefs->GetBoolean("import_browser_data", &flag) && !flag);
  EXPECT_TRUE(prefs->GetBoolean("enable_stats", &flag) && flag);
  const base::ListValue* all = nullptr;
  const base::ListValue* changed = nullptr;
  ASSERT_TRUE(prefs->GetList("all-installer-experiments", &all));
  ASSERT_TRUE(prefs->GetList("installer-experiments", &changed));
  size_t count = 0;
  const FeatureDefinition* features = GetInstallerFeatures(&count);
  const std::vector<std::string> all_entries = Strings(*all);
  const std::vector<std::string> changed_entries = Strings(*changed);
  ASSERT_EQ(count, all_entries.size());
  for (size_t i = 0; i < count; ++i) {
    const std::string& entry = all_entries[i];
    const bool enabled = entry == std::string(features[i].name) + "@1";
    EXPECT_TRUE(enabled || entry == std::string(features[i].name) + "@2");
    EXPECT_EQ(
        enabled != IsInstallerFeatureEnabledByDefault(features[i]),
        std::count(changed_entries.begin(), changed_entries.end(), entry) == 1)
        << entry;
  }

  EXPECT_EQ(SavedRecordText(record), ReadText(kInstallationStatusFileName));

  const base::string16 task = L"Autoupdate " + base::UTF8ToUTF16(record.app_id);
  EXPECT_EQ(
      (std::vector<std::string>{"Init", "DeleteOrphanedTasks",
                                "RegisterTask " + base::UTF16ToUTF8(task)}),
      scheduler_.calls());
  ASSERT_EQ(1u, scheduler_.tasks().count(task));
  const ScheduledTaskInfo& info = scheduler_.tasks().at(task).info;
  EXPECT_EQ(L"\"" + install_.Append(L"launcher.exe").value() +
                L"\" --scheduledautoupdate $(Arg0)",
            info.command.GetCommandLineString(false));
  EXPECT_EQ(l10n::GetLocalizedString(37047), info.description);
  EXPECT_EQ(0u, info.system);
  EXPECT_EQ(3600u, info.execution_time_limit);
  const bool daily = ProductConfiguration::ShouldScheduleAutoupdateTask();
  EXPECT_EQ(daily ? 1u : 2u, info.schedule_kind);
  EXPECT_EQ(daily, info.logon_trigger);
  EXPECT_TRUE(info.network_only);

  EXPECT_EQ(
      (std::vector<base::string16>{L"Software\\Clients\\StartMenuInternet"}),
      SettingChangeWindow::sections());
}

// The task's error counter drops by one only after a registration and only
// from a positive number; a scheduler that fails leaves the installation
// successful and without a task.
TEST_F(InstallerTest, TaskRegistrationLowersThePositiveErrorCounter) {
  const struct {
    const char* prefs;
    bool failing;
    const char* expected;
  } kCases[] = {
      {"{\"au_task_error_count\": 3}", false, "3 2"},
      {"{\"au_task_error_count\": 1}", false, "1 0"},
      {"{\"au_task_error_count\": 0}", false, "0 0"},
      {"{\"au_task_error_count\": -2}", false, "-2 -2"},
      {"{\"au_task_error_count\": \"3\"}", false, "\"3\" \"3\""},
      {"{}", false, "none"},
      {"{\"au_task_error_count\": 3}", true, "3 3"},
  };
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(test_case.prefs);
    base::DeleteFile(install_, true);
    ASSERT_TRUE(base::CreateDirectory(install_));
    const base::FilePath file = install_.Append(kInstallerPrefsFileName);
    const std::string prefs = test_case.prefs;
    base::WriteFile(file, prefs.data(), static_cast<int>(prefs.size()));
    FakeTaskScheduler scheduler;
    scheduler.set_failing(test_case.failing);
    Installer::SetTaskSchedulerForTesting(&scheduler);
    observer_ = RecordingObserver();
    auto settings = MakeSettings({"launchvexlo=0"});
    Install(settings.get());
    Installer::SetTaskSchedulerForTesting(&scheduler_);
    ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
    EXPECT_EQ(test_case.failing ? 0u : 1u, scheduler.tasks().size());

    const auto written = ReadWrittenPrefs(file);
    ASSERT_TRUE(written);
    const base::Value* value = nullptr;
    std::string seen = "none";
    if (written->Get("au_task_error_count", &value)) {
      const auto before = ParseDictionary(test_case.prefs);
      const base::Value* old = nullptr;
      ASSERT_TRUE(before->Get("au_task_error_count", &old));
      std::string old_text;
      std::string new_text;
      base::JSONWriter::Write(*old, &old_text);
      base::JSONWriter::Write(*value, &new_text);
      seen = old_text + " " + new_text;
    }
    EXPECT_EQ(test_case.expected, seen);
  }
}

namespace {

// Holds the first write that the preference pool's thread makes, before it
// replaces its file, until Release, or for two seconds at most.
class PoolWriteHold {
 public:
  PoolWriteHold()
      : main_thread_(::GetCurrentThreadId()), release_(true, false) {
    base::ImportantFileWriter::SetStepHookForTesting(
        base::Bind(&PoolWriteHold::OnStep, this));
  }
  PoolWriteHold(const PoolWriteHold&) = delete;
  PoolWriteHold& operator=(const PoolWriteHold&) = delete;
  ~PoolWriteHold() {
    base::ImportantFileWriter::SetStepHookForTesting(
        base::ImportantFileWriter::StepHook());
  }

  void Release() { release_.Signal(); }

 private:
  bool OnStep(base::ImportantFileWriter::WriteStep step) {
    if (step == base::ImportantFileWriter::WriteStep::kReplace &&
        ::GetCurrentThreadId() != main_thread_ && !held_) {
      held_ = true;
      release_.TimedWait(base::TimeDelta::FromSeconds(2));
    }
    return true;
  }

  const DWORD main_thread_;
  base::WaitableEvent release_;
  // Only the pool's thread touches it.
  bool held_ = false;
};

}  // namespace

// The counter's decrement reads the preferences once the run's own write
// of them has landed, however late: read before, its write put the file as
// it was before the run back over what the run wrote.
TEST_F(InstallerTest, LoweringTheCounterKeepsThePreferencesOfTheRun) {
  ASSERT_TRUE(base::CreateDirectory(install_));
  const base::FilePath file = install_.Append(kInstallerPrefsFileName);
  const std::string prefs = "{\"au_task_error_count\": 3}";
  ASSERT_EQ(
      static_cast<int>(prefs.size()),
      base::WriteFile(file, prefs.data(), static_cast<int>(prefs.size())));
  auto settings = MakeSettings({"language=nb"});
  {
    PoolWriteHold hold;
    Install(settings.get());
    hold.Release();
  }
  ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
  const auto written = ReadWrittenPrefs(file);
  ASSERT_TRUE(written);
  int count = 0;
  EXPECT_TRUE(written->GetInteger("au_task_error_count", &count));
  EXPECT_EQ(2, count);
  std::string language;
  EXPECT_TRUE(written->GetString("language", &language));
  EXPECT_EQ("nb", language);
}

// Asked for, the browser is offered as the user's http handler; a silent
// run leaves the handler alone, and so does the elevated child of a later
// Windows, whose parent offers it.
TEST_F(InstallerTest, RegistersTheDefaultBrowserUnlessSilent) {
  const std::vector<std::string> dialog = {"ShowOpenWithDialog(http)",
                                           "NotifyAssociationsChanged"};
  const std::vector<std::string> settings_page = {"OpenDefaultAppsSettings"};
  const struct {
    base::win::Version version;
    bool silent;
    bool elevated_child;
    std::vector<std::string> calls;
  } kCases[] = {
      {base::win::VERSION_WIN8, true, false, {}},
      {base::win::VERSION_WIN8, false, false, dialog},
      {base::win::VERSION_WIN8, false, true, dialog},
      {base::win::VERSION_WIN10, false, true, {}},
      {base::win::VERSION_WIN10, false, false, settings_page},
  };
  for (const auto& test_case : kCases) {
    const bool silent = test_case.silent;
    SCOPED_TRACE(testing::Message()
                 << test_case.version << silent << test_case.elevated_child);
    base::win::ScopedWindowsVersionOverride version(test_case.version);
    *base::CommandLine::ForCurrentProcess() = command_line_;
    if (test_case.elevated_child)
      base::CommandLine::ForCurrentProcess()->AppendSwitchASCII("parent-pid",
                                                                "1");
    FakeDefaultAppServices services;
    base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
    command_line.AppendSwitchASCII("allusers", "0");
    command_line.AppendSwitchASCII("setdefaultbrowser", "1");
    command_line.AppendSwitchASCII("launchvexlo", "0");
    Settings settings(false, silent, false, install_, false, command_line);
    StatusWaiter wait(&settings);
    ASSERT_TRUE(settings.default_browser());
    observer_ = RecordingObserver();
    Install(&settings);
    ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
    EXPECT_EQ(test_case.calls, services.calls());
    base::DeleteFile(install_, true);
  }
}

// The browser starts at the end of a run that asks for it, with the import
// switches of the installer's own command line and, unless it updates,
// maximized; the run ends only once the browser's launcher has.
TEST_F(InstallerTest, StartsTheBrowserAsTheRunAsks) {
  ASSERT_TRUE(
      ScopedLauncherRecord::CopyLauncher(package_.Append(L"launcher.exe")));
  ScopedLauncherRecord launches(temp_.path());
  const std::string launcher = install_.Append(L"launcher.exe").AsUTF8();
  base::CommandLine* const own = base::CommandLine::ForCurrentProcess();
  const base::CommandLine saved = *own;
  own->AppendSwitchASCII("import-bookmarks", "C:\\b m.html");
  own->AppendSwitchASCII("import-session", "1");
  own->AppendSwitchASCII("import-topsites-to-speeddial", "");
  own->AppendSwitchASCII("import-passwords", "1");
  Install(MakeSettings({"launchvexlo=1"}).get());
  ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
  const std::vector<std::string> install_run = {
      launcher, "--import-bookmarks=C:\\b m.html", "--import-session=1",
      "--import-topsites-to-speeddial", "--start-maximized"};
  EXPECT_EQ(std::vector<std::vector<std::string>>{install_run},
            launches.Runs());
  *own = saved;

  Install(MakeSettings({"launchvexlo=1"}).get());
  ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
  Install(MakeSettings({"launchvexlo=0"}).get());
  ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
  EXPECT_EQ((std::vector<std::vector<std::string>>{install_run, {launcher}}),
            launches.Runs());
}

// The first-run preferences of the profile an update finds: its language,
// the statistics choice, and the partner files of the package, which never
// replace the profile's own.
TEST_F(InstallerTest, WritesTheProfilesFirstRunPreferences) {
  const struct {
    const char* name;
    bool autoupdate;
    bool r1, r2;  // in the package's resources
    bool d1, d2;  // in the profile
    const char* local_state;
    // What follows: the profile's partner files ("-" for none), Local
    // State, and whether the statistics preference stays.
    const char* after_d1;
    const char* after_d2;
    const char* after_local_state;
    bool statistics_kept;
  } kCases[] = {
      {"package without partner files", false, false, false, true, true, "{}",
       "-", "-",
       "{\"custom_partner_content\":{\"updated\":true},"
       "\"intl\":{\"app_locale\":\"nb\"}}",
       false},
      {"profile with tracking only", false, false, false, false, true,
       "{\"intl\":{\"app_locale\":\"de\"}}", "-", "-",
       "{\"intl\":{\"app_locale\":\"de\"}}", false},
      {"profile with its own files", false, true, true, false, true, "{}", "-",
       "profile 2", "{\"intl\":{\"app_locale\":\"nb\"}}", false},
      {"new partner content", false, true, true, false, false, "{}",
       "package 1", "-",
       "{\"custom_partner_content\":{\"updated\":true},"
       "\"intl\":{\"app_locale\":\"nb\"}}",
       false},
      {"new tracking only", false, false, true, false, false, "{}", "-",
       "package 2", "{\"intl\":{\"app_locale\":\"nb\"}}", false},
      {"autoupdate", true, true, false, false, true,
       "{\"intl\":{\"app_locale\":\"de\"}}", "-", "profile 2",
       "{\"intl\":{\"app_locale\":\"de\"}}", true},
  };
  const base::FilePath data = install_.Append(L"profile\\data");
  const base::FilePath d1 = data.Append(L"custom_partner_content.json");
  const base::FilePath d2 = data.Append(L"tracking_user_agent.json");
  const auto write = [](const base::FilePath& path, const std::string& text) {
    ASSERT_TRUE(base::CreateDirectory(path.DirName()));
    ASSERT_EQ(
        static_cast<int>(text.size()),
        base::WriteFile(path, text.data(), static_cast<int>(text.size())));
  };
  const auto read = [](const base::FilePath& path) {
    std::string text = "-";
    return base::ReadFileToString(path, &text) ? text : "-";
  };
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(test_case.name);
    Install(MakeSettings({"singleprofile=1"}).get());
    ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
    ReadWrittenPrefs(install_.Append(kInstallerPrefsFileName));
    write(data.Append(L"Local State"), test_case.local_state);
    write(data.Append(L"Preferences"),
          "{\"statistics\":{\"collection_enabled\":false}}");
    if (test_case.d1)
      write(d1, "profile 1");
    if (test_case.d2)
      write(d2, "profile 2");
    std::string list;
    ASSERT_TRUE(base::ReadFileToString(package_.Append(L"files_list"), &list));
    if (test_case.r1) {
      write(package_.Append(L"resources\\custom_partner_content.json"),
            "package 1");
      list += "resources\\custom_partner_content.json\r\n";
    }
    if (test_case.r2) {
      write(package_.Append(L"resources\\tracking_user_agent.json"),
            "package 2");
      list += "resources\\tracking_user_agent.json\r\n";
    }
    write(package_.Append(L"files_list"), list);

    observer_ = RecordingObserver();
    auto update = MakeSettings({"language=nb"}, false, test_case.autoupdate);
    ASSERT_EQ(data, update->status().user_data_folder());
    Install(update.get());
    ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;

    EXPECT_EQ(test_case.after_d1, read(d1));
    EXPECT_EQ(test_case.after_d2, read(d2));
    std::string local_state;
    base::JSONWriter::Write(*ReadWrittenPrefs(data.Append(L"Local State")),
                            &local_state);
    EXPECT_EQ(test_case.after_local_state, local_state);
    const auto preferences = ReadWrittenPrefs(data.Append(L"Preferences"));
    bool statistics = true;
    EXPECT_EQ(
        test_case.statistics_kept,
        preferences->GetBoolean("statistics.collection_enabled", &statistics));

    base::DeleteFile(install_, true);
    base::DeleteFile(package_, true);
    files_ = WriteTestPackage(package_, 5, {"root.dll", "sub\\root2.dat"});
  }
}

// After an elevated run, the first process finishes for its own user: the
// profile's language and the browser's start, and nothing of the
// installation itself; an uninstallation gets neither.
TEST_F(InstallerTest, PostElevationTasksFinishForTheCurrentUser) {
  ASSERT_TRUE(
      ScopedLauncherRecord::CopyLauncher(package_.Append(L"launcher.exe")));
  Install(MakeSettings({"singleprofile=1"}).get());
  ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
  ReadWrittenPrefs(install_.Append(kInstallerPrefsFileName));
  const base::FilePath local_state =
      install_.Append(L"profile\\data\\Local State");
  ASSERT_TRUE(base::CreateDirectory(local_state.DirName()));
  ScopedLauncherRecord launches(temp_.path());
  base::CommandLine::ForCurrentProcess()->AppendSwitch(
      "post-elevated-install-tasks");
  for (const bool uninstall : {true, false}) {
    SCOPED_TRACE(uninstall);
    std::unique_ptr<ScopedPathOverride> own_folder;
    if (uninstall) {
      own_folder = std::make_unique<ScopedPathOverride>(
          base::DIR_EXE, install_.Append(version_));
    }
    auto settings = MakeSettings({"language=nb", "launchvexlo=1"}, uninstall);
    const Snapshot before = SnapshotFolder(install_);
    observer_ = RecordingObserver();
    Install(settings.get());
    ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
    ReadWrittenPrefs(local_state);
    Snapshot after = SnapshotFolder(install_);
    if (!uninstall) {
      EXPECT_EQ("{\"intl\":{\"app_locale\":\"nb\"}}",
                after[L"profile\\data\\Local State"]);
      after.erase(L"profile\\data\\Local State");
    }
    EXPECT_EQ(before, after);
  }
  // The installation exists: the browser starts as after an update.
  EXPECT_EQ(
      std::vector<std::vector<std::string>>{
          {install_.Append(L"launcher.exe").AsUTF8()}},
      launches.Runs());
}

// The task of one installation goes, through this Windows version's
// scheduler; with no scheduler at hand nothing happens.
TEST_F(InstallerTest, DeletesTheAutoupdateTaskOfAnInstallation) {
  Install(MakeSettings().get());
  ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
  const base::string16 task =
      L"Autoupdate " + base::UTF8ToUTF16(installer_.status_record().app_id);
  ASSERT_EQ(1u, scheduler_.tasks().count(task));
  Installer::DeleteAutoupdateTask("1");
  EXPECT_EQ(1u, scheduler_.tasks().count(task));
  scheduler_.set_failing(true);
  Installer::DeleteAutoupdateTask(installer_.status_record().app_id);
  EXPECT_EQ(1u, scheduler_.tasks().count(task));
  scheduler_.set_failing(false);
  Installer::DeleteAutoupdateTask(installer_.status_record().app_id);
  EXPECT_EQ(0u, scheduler_.tasks().count(task));
  EXPECT_EQ("DeleteTask " + base::UTF16ToUTF8(task), scheduler_.calls().back());
}

// An update of an installation whose record has no id gives it one, as an
// installation gets: its shortcuts and its task are named by it.
TEST_F(InstallerTest, UpdateGivesARecordWithoutIdAnId) {
  auto first = MakeSettings();
  Install(first.get());
  ASSERT_TRUE(installer_.succeeded());
  InstallationStatus without_id = installer_.status_record();
  without_id.app_id.clear();
  SaveRecordAs(without_id);
  auto settings = MakeSettings();
  ASSERT_EQ(Settings::kUpdateOperation, settings->operation());
  observer_ = RecordingObserver();
  Install(settings.get());
  ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
  unsigned app_id = 0;
  EXPECT_TRUE(base::StringToUint(installer_.status_record().app_id, &app_id))
      << installer_.status_record().app_id;
  EXPECT_NEAR(static_cast<double>(base::Time::Now().ToTimeT()),
              static_cast<double>(app_id), 60);
}

// The last name the search may try is tried.
TEST_F(InstallerTest, TakesTheLastUninstallKeyTheSearchTries) {
  for (int suffix = 0; suffix < 1000; ++suffix) {
    const base::string16 key =
        suffix ? Uninstall(base::UTF8ToUTF16(base::IntToString(suffix)).c_str())
               : Uninstall();
    base::win::RegKey(HKEY_CURRENT_USER, key.c_str(), KEY_SET_VALUE);
  }
  auto settings = MakeSettings();
  Install(settings.get());
  EXPECT_TRUE(installer_.succeeded()) << observer_.narrow;
  EXPECT_EQ(install_.value(), Read(Uninstall(L"1000"), L"InstallLocation"));
  for (int suffix = 1; suffix <= 1000; ++suffix) {
    ::SHDeleteKeyW(
        HKEY_CURRENT_USER,
        Uninstall(base::UTF8ToUTF16(base::IntToString(suffix)).c_str())
            .c_str());
  }
}

// Preference overrides reach the installation only when they read as JSON;
// a damaged download stays in the package.
TEST_F(InstallerTest, InstallsOnlyPreferenceOverridesThatReadAsJson) {
  const struct {
    std::string text;
    bool installed;
  } kCases[] = {
      {"{\"homepage\": ", false},
      {"homepage", false},
      {"{\"homepage\": \"https://127.0.0.1/\"}", true},
  };
  const base::FilePath installed = install_.Append(L"pref_default_overrides");
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(static_cast<int>(c.text.size()),
              base::WriteFile(package_.Append(L"pref_default_overrides"),
                              c.text.data(), static_cast<int>(c.text.size())));
    auto settings = MakeSettings();
    observer_ = RecordingObserver();
    Install(settings.get());
    ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
    std::string text;
    EXPECT_EQ(c.installed, base::ReadFileToString(installed, &text));
    EXPECT_EQ(c.installed ? c.text : "", text);
  }
}

// A version number in a shortcut's name is one whatever its last digit.
TEST_F(InstallerShortcutTest, UpdateKeepsNamesNumberedWhateverTheLastDigit) {
  InstallAndRecord({});
  InstallationStatus record = installer_.status_record();
  const base::string16 numbered = ShortcutFileName(true);
  for (int last_digit : {0, 9}) {
    const base::string16 old_name = ShortcutFileName(
        true, ProductInfo::GetMajorVersion() * 10 + last_digit);
    SCOPED_TRACE(old_name);
    ASSERT_TRUE(base::Move(record.desktop_shortcut, Desktop(old_name)));
    ASSERT_TRUE(base::Move(record.start_menu_shortcut, StartMenu(old_name)));
    record.desktop_shortcut = Desktop(old_name);
    record.start_menu_shortcut = StartMenu(old_name);
    SaveRecordAs(record);
    record = Update({});
    EXPECT_EQ(Desktop(numbered), record.desktop_shortcut);
    EXPECT_EQ(StartMenu(numbered), record.start_menu_shortcut);
  }
}

// A file in use of an older version keeps that version's record and files
// for a later update to try again; an uninstallation deletes the rest of
// them all the same.
TEST_F(InstallerUninstallTest, AFileInUseHoldsBackOnlyAnUpdatesCleanUp) {
  Install(MakeSettings().get());
  ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
  observer_ = RecordingObserver();
  Install(MakeSettings().get());
  ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
  // The next record set aside must not take this one's name.
  const base::FilePath old_status = install_.Append(L"old_status");
  const base::FilePath kept = old_status.Append(L"installation_status.xml.1");
  ASSERT_TRUE(base::Move(
      base::FileEnumerator(old_status, false, base::FileEnumerator::FILES)
          .Next(),
      kept));
  const base::FilePath old_version = install_.Append(version_);
  base::win::ScopedHandle in_use(::CreateFileW(
      old_version.Append(base::UTF8ToUTF16(files_[0])).value().c_str(),
      GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(in_use.IsValid());
  const auto present = [&] {
    std::vector<bool> present;
    for (const std::string& file : files_)
      present.push_back(
          base::PathExists(old_version.Append(base::UTF8ToUTF16(file))));
    return present;
  };

  observer_ = RecordingObserver();
  Install(MakeSettings().get());
  ASSERT_TRUE(installer_.succeeded()) << observer_.narrow;
  EXPECT_TRUE(base::PathExists(kept));
  EXPECT_EQ(std::vector<bool>(files_.size(), true), present());

  ScopedPathOverride own_folder(base::DIR_EXE,
                                install_.Append(version_ + L"_1"));
  auto settings = MakeSettings({"silent=1"}, true);
  observer_ = RecordingObserver();
  RunUninstall(settings.get(), &observer_);
  ASSERT_EQ("succeeded", observer_.calls.back()) << observer_.narrow;
  EXPECT_FALSE(base::PathExists(old_status));
  std::vector<bool> only_the_first(files_.size(), false);
  only_the_first[0] = true;
  EXPECT_EQ(only_the_first, present());
  const base::FilePath batch = install_.Append(L"k.bat");
  for (int i = 0; i < 600 && base::PathExists(batch); ++i)
    ::Sleep(100);
}

}  // namespace installer
}  // namespace vexlo
