#include "desktop/launcher/installer/installer_backend.h"

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/features/feature_registry.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/run_loop.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/unique_test_dir.h"
#include "base/values.h"
#include "base/win/object_watcher.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "base/win/shortcut.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/launcher/installer/host/installer_host_exit_codes.h"
#include "desktop/launcher/installer/installer_names.h"
#include "desktop/launcher/installer/installer_runner.h"
#include "desktop/launcher/installer/ipc/ipc_mailslot_name.h"
#include "desktop/launcher/installer/package_fetcher/package_fetcher.h"
#include "desktop/launcher/installer/service/installation_status.h"
#include "desktop/launcher/installer/service/task_scheduler.h"
#include "desktop/launcher/installer/service/transactions/rollback_journal.h"
#include "desktop/launcher/installer/service/transactions/rollback_record.h"
#include "desktop/launcher/installer/service/xml_document.h"
#include "desktop/launcher/installer/settings.h"
#include "desktop/launcher/installer/silent_installer_controller.h"
#include "desktop/launcher/installer/test/foreign_mailslot_process.h"
#include "desktop/launcher/installer/test/installer_test_package.h"
#include "desktop/launcher/installer/test/scoped_path_override.h"
#include "desktop/launcher/installer/test/status_waiter.h"
#include "desktop/launcher/installer/wininet/test/http_test_server.h"
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

// The product configuration of the build's installer executable in place of
// the test library's while it lives. A front end and the backend it runs are
// one executable, and the front end takes back only the keys that its own
// product's configuration names.
class ScopedInstallerConfiguration {
 public:
  ScopedInstallerConfiguration() {
    base::FilePath folder;
    base::PathService::Get(base::DIR_EXE, &folder);
    const HMODULE installer = ::LoadLibraryExW(
        folder.Append(L"installer.exe").value().c_str(), nullptr,
        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    const HRSRC info =
        installer ? ::FindResourceW(installer, MAKEINTRESOURCEW(133), L"TXT")
                  : nullptr;
    const HGLOBAL resource = info ? ::LoadResource(installer, info) : nullptr;
    const void* data = resource ? ::LockResource(resource) : nullptr;
    EXPECT_TRUE(data) << "no configuration in the installer executable";
    const std::string text =
        data ? std::string(static_cast<const char*>(data),
                           ::SizeofResource(installer, info))
             : std::string();
    previous_ = ProductConfiguration::SwapDictionaryForTesting(
        ProductConfiguration::Parse(text));
    if (installer)
      ::FreeLibrary(installer);
  }
  ScopedInstallerConfiguration(const ScopedInstallerConfiguration&) = delete;
  ScopedInstallerConfiguration& operator=(const ScopedInstallerConfiguration&) =
      delete;
  ~ScopedInstallerConfiguration() {
    ProductConfiguration::SwapDictionaryForTesting(std::move(previous_));
  }

 private:
  std::unique_ptr<base::DictionaryValue> previous_;
};

// The installer executable of the build with a package around it, run as
// a backend whose front end is the test.
class InstallerBackendTest : public testing::Test {
 protected:
  InstallerBackendTest()
      : package_(temp_.path().Append(L"package")),
        install_(temp_.path().Append(L"Vexlo")),
        registry_(InstallerExecutableKeys()),
        shell_folders_(temp_.path()) {}

  void SetUp() override {
    files_ = WriteInstallerExecutablePackage(package_, kPackageFiles);
    ASSERT_FALSE(HasFailure());
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

  // Gives the installation's desktop shortcut the name |other_name|, on
  // disk and in the installation's record, as a build that named it
  // otherwise made it.
  void RenameDesktopShortcut(const base::FilePath& other_name) {
    const base::FilePath record = install_.Append(L"installation_status.xml");
    std::string text;
    ASSERT_TRUE(base::ReadFileToString(record, &text));
    const std::string recorded = Shortcut(L"Desktop").AsUTF8();
    const size_t at = text.find(recorded);
    ASSERT_NE(std::string::npos, at);
    text.replace(at, recorded.size(), other_name.AsUTF8());
    ASSERT_EQ(
        static_cast<int>(text.size()),
        base::WriteFile(record, text.data(), static_cast<int>(text.size())));
    ASSERT_TRUE(base::Move(Shortcut(L"Desktop"), other_name));
  }

  // The backend's exit code. The taskbar verbs do not work on the test
  // platform, so the run does not pin.
  int RunBackend(const base::string16& switches = L"--install --launchvexlo=0",
                 const base::FilePath& folder = base::FilePath()) {
    return RunPackageInstaller(BackendArguments(switches), folder);
  }

  // The backend's arguments, with the installation folder spelled as
  // |spelled| when it is given.
  base::string16 BackendArguments(
      const base::string16& switches,
      const base::FilePath& spelled = base::FilePath()) const {
    return L"--backend " + switches +
           L" --allusers=0 --pintotaskbar=0 \"--installfolder=" +
           (spelled.empty() ? install_ : spelled).value() +
           L"\" --initial-pid=" +
           base::UTF8ToUTF16(base::UintToString(::GetCurrentProcessId()));
  }

  // Lists |names| of the package for the version folder too, as a real
  // package lists the browser and the installer that uninstalls it.
  void ListInVersionFolder(const std::vector<const char*>& names) {
    std::string list;
    ASSERT_TRUE(base::ReadFileToString(package_.Append(L"files_list"), &list));
    for (const char* name : names) {
      files_.push_back(name);
      list += std::string(name) + "\r\n";
    }
    ASSERT_EQ(static_cast<int>(list.size()),
              base::WriteFile(package_.Append(L"files_list"), list.data(),
                              static_cast<int>(list.size())));
  }

  // Starts the installer of |folder| (the package's when empty) with
  // |arguments|, in |job| when one is given.
  base::Process StartPackageInstaller(
      const base::string16& arguments,
      const base::FilePath& folder = base::FilePath(),
      HANDLE job = nullptr) {
    ScopedTempVariables scoped_temp(logs_.path());
    base::LaunchOptions options;
    options.job_handle = job;
    return base::LaunchProcess(L"\"" +
                                   (folder.empty() ? package_ : folder)
                                       .Append(L"installer.exe")
                                       .value() +
                                   L"\" " + arguments,
                               options);
  }

  // Runs the installer of |folder| (the package's when empty) with
  // |arguments| to its end; its exit code.
  int RunPackageInstaller(const base::string16& arguments,
                          const base::FilePath& folder = base::FilePath()) {
    const base::Process process = StartPackageInstaller(arguments, folder);
    EXPECT_TRUE(process.IsValid());
    if (::WaitForSingleObject(process.Handle(), 120000) != WAIT_OBJECT_0) {
      ADD_FAILURE() << "the installer did not end";
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

  // The names of the entries that changed since |before|, marked as for
  // NameDifference or as changed: the contents themselves, whole program
  // files among them, are too large to print.
  // The master shortcuts, which a run makes in the package folder, stay
  // with it.
  std::vector<base::string16> ChangesSince(const Snapshot& before) {
    const auto without_master_shortcuts = [](Snapshot state) {
      for (auto entry = state.begin(); entry != state.end();) {
        const bool master = base::StartsWith16(entry->first, L"package\\",
                                               base::CompareCase::SENSITIVE) &&
                            base::EndsWith16(entry->first, L".lnk",
                                             base::CompareCase::SENSITIVE);
        entry = master ? state.erase(entry) : std::next(entry);
      }
      return state;
    };
    const Snapshot then = without_master_shortcuts(before);
    const Snapshot now = without_master_shortcuts(State());
    std::vector<base::string16> changes = NameDifference(then, now);
    for (const auto& entry : then) {
      const auto same = now.find(entry.first);
      if (same != now.end() && same->second != entry.second)
        changes.push_back(L"changed " + entry.first);
    }
    return changes;
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
  // The temporary folder of the processes that the tests start, where
  // their logs go.
  base::UniqueTestDir logs_;
  const base::FilePath package_;
  const base::FilePath install_;
  ScopedProductRegistry registry_;
  // Taken while the product's registry is held, given back before.
  ScopedShellFolders shell_folders_;
  base::win::ScopedHandle interrupted_;
  std::vector<std::string> files_;
};

// What a front end hears, one entry per call but the steps, which are
// counted; the end of the backend ends the loop that waits for it.
class FrontEndRecorder : public InstallerObserver {
 public:
  void OnInstallationStarted() override {
    calls.push_back("started");
    if (on_started)
      on_started();
  }
  void OnSubprocessStarting(bool) override { calls.push_back("subprocess"); }
  void OnSubprocessFinished() override { calls.push_back("subprocess end"); }
  void SetTotalSteps(int32_t total) override {
    total_steps = total;
    calls.push_back("total");
  }
  void OnNextStep() override {
    ++steps;
    if (on_step)
      on_step(steps);
  }
  void OnInstallationFailed(int32_t code,
                            const base::string16& /* message */,
                            const std::string& detail) override {
    calls.push_back("failed " + base::IntToString(code) + " " + detail);
  }
  void OnInstallationSucceeded() override { calls.push_back("succeeded"); }
  void OnInstallerTerminated(bool success) override {
    calls.push_back(success ? "ended ok" : "ended");
    if (!quit.is_null())
      quit.Run();
  }

  std::vector<std::string> calls;
  int total_steps = 0;
  int steps = 0;
  std::function<void()> on_started;
  std::function<void(int)> on_step;
  base::Closure quit;
};

// The switches of every front end the tests run: the taskbar verbs do not
// work on the test platform, the browser is a stand-in, and nothing may
// reach the network.
constexpr wchar_t kFrontEndSwitches[] =
    L" --allusers=0 --pintotaskbar=0 --enable-installer-stats=0"
    L" --launchvexlo=0"
    L" --with-feature:installer-pref-default-overrides-support=off";

// Every running process that |parent| started, opened for waiting and
// ending: a front end starts its crash reporter as well as the backend.
// Process ids are reused, so a process that is older than |parent| is
// another's child.
std::vector<base::Process> OpenChildProcesses(const base::Process& parent) {
  FILETIME parent_start = {};
  FILETIME unused[3];
  EXPECT_TRUE(::GetProcessTimes(parent.Handle(), &parent_start, &unused[0],
                                &unused[1], &unused[2]));
  std::vector<base::Process> children;
  base::win::ScopedHandle snapshot(
      ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
       more = ::Process32NextW(snapshot.Get(), &entry)) {
    if (entry.th32ParentProcessID != static_cast<DWORD>(parent.Pid()))
      continue;
    base::Process child(::OpenProcess(
        SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE,
        FALSE, entry.th32ProcessID));
    FILETIME start = {};
    if (child.IsValid() &&
        ::GetProcessTimes(child.Handle(), &start, &unused[0], &unused[1],
                          &unused[2]) &&
        ::CompareFileTime(&start, &parent_start) >= 0) {
      children.push_back(std::move(child));
    }
  }
  return children;
}

// Keeps every thread of |process| from running while it lives, as a busy
// machine may keep a process waiting.
class PausedProcess {
 public:
  explicit PausedProcess(const base::Process& process) {
    base::win::ScopedHandle snapshot(
        ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Thread32First(snapshot.Get(), &entry); more;
         more = ::Thread32Next(snapshot.Get(), &entry)) {
      if (entry.th32OwnerProcessID != static_cast<DWORD>(process.Pid()))
        continue;
      auto thread = std::make_unique<base::win::ScopedHandle>(
          ::OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID));
      if (thread->IsValid() && ::SuspendThread(thread->Get()) != DWORD(-1))
        threads_.push_back(std::move(thread));
    }
    EXPECT_FALSE(threads_.empty());
  }
  PausedProcess(const PausedProcess&) = delete;
  PausedProcess& operator=(const PausedProcess&) = delete;
  ~PausedProcess() {
    for (const auto& thread : threads_)
      ::ResumeThread(thread->Get());
  }

 private:
  std::vector<std::unique_ptr<base::win::ScopedHandle>> threads_;
};

// Runs |kill| once |reached| holds, looking every millisecond on a thread
// of its own: the test's loop may be busy with a burst of the backend's
// messages, which a loaded machine delivers late, while the backend goes
// on.
class KillWhen {
 public:
  KillWhen(std::function<bool()> reached, std::function<void()> kill)
      : thread_([this, reached, kill] {
          while (!stop_) {
            if (reached()) {
              kill();
              killed_ = true;
              return;
            }
            ::Sleep(1);
          }
        }) {}
  KillWhen(const KillWhen&) = delete;
  KillWhen& operator=(const KillWhen&) = delete;
  ~KillWhen() {
    stop_ = true;
    thread_.join();
  }

  bool killed() const { return killed_; }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<bool> killed_{false};
  std::thread thread_;
};

// Another front end of the same folder, on a thread of its own: it takes the
// installer mutex and either ends at once, leaving it abandoned as a crashed
// one would, or holds it while it lives.
class OtherFrontEnd {
 public:
  OtherFrontEnd(const base::string16& mutex_name, bool abandon)
      : mutex_name_(mutex_name),
        abandon_(abandon),
        taken_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        release_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        thread_(::CreateThread(nullptr, 0, &ThreadMain, this, 0, nullptr)) {
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(taken_.Get(), 30000));
    if (abandon_)
      ::WaitForSingleObject(thread_.Get(), 30000);
  }
  ~OtherFrontEnd() {
    ::SetEvent(release_.Get());
    ::WaitForSingleObject(thread_.Get(), 30000);
  }

 private:
  static DWORD WINAPI ThreadMain(void* parameter) {
    auto* self = static_cast<OtherFrontEnd*>(parameter);
    base::win::ScopedHandle mutex(
        ::CreateMutexW(nullptr, FALSE, self->mutex_name_.c_str()));
    ::WaitForSingleObject(mutex.Get(), INFINITE);
    ::SetEvent(self->taken_.Get());
    if (self->abandon_)
      return 0;
    ::WaitForSingleObject(self->release_.Get(), INFINITE);
    ::ReleaseMutex(mutex.Get());
    return 0;
  }

  const base::string16 mutex_name_;
  const bool abandon_;
  base::win::ScopedHandle taken_;
  base::win::ScopedHandle release_;
  base::win::ScopedHandle thread_;
};

constexpr DWORD kKilledExitCode = 7;

// The front end's side: a runner in the test, with the built installer as
// the package's, or the whole silent front end run from the package.
class InstallerRunnerTest : public InstallerBackendTest {
 protected:
  InstallerRunnerTest() : runner_(package_) {
    base::CommandLine::Init();
    settings_ = MakeSettings(false);
    runner_.AddObserver(&recorder_);
  }

  // The settings of a front end as the folder is now, for an installation
  // or update or, with |uninstall|, a silent uninstallation.
  std::unique_ptr<Settings> MakeSettings(bool uninstall) {
    return MakeSettingsFor(install_, uninstall);
  }

  std::unique_ptr<Settings> MakeSettingsFor(const base::FilePath& folder,
                                            bool uninstall) {
    base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
    command_line.ParseFromString(L"installer.exe" +
                                 base::string16(kFrontEndSwitches));
    auto settings = std::make_unique<Settings>(uninstall, true, false, folder,
                                               false, command_line);
    StatusWaiter wait(settings.get());
    return settings;
  }

  // Starts the backend, for a package that is ready unless
  // |package_ready| is false, and runs the loop until it has ended.
  void RunInstallation(bool package_ready = true) {
    RunWith(&runner_, settings_.get(), package_ready);
  }

  // RunInstallation through |runner| with |settings|.
  void RunWith(InstallerRunner* runner,
               Settings* settings,
               bool package_ready = true) {
    ScopedTempVariables scoped_temp(logs_.path());
    if (package_ready)
      runner->SetPackageReady();
    ASSERT_TRUE(runner->StartInstallation(settings))
        << (recorder_.calls.empty() ? "" : recorder_.calls.back());
    EXPECT_FALSE(settings->editable());
    base::RunLoop run_loop;
    recorder_.quit = run_loop.QuitClosure();
    loop_.PostDelayedTask(LOCATION_FROM_HERE("InstallerRunnerTest"),
                          run_loop.QuitClosure(),
                          base::TimeDelta::FromSeconds(120));
    run_loop.Run();
    ASSERT_FALSE(recorder_.calls.empty());
    ASSERT_EQ(0u, recorder_.calls.back().find("ended")) << "no end came";
  }

  // Runs |settings| through |runner| and kills the backend with
  // |exit_code| once |reached| holds: by what the backend made rather than
  // by the steps the front end heard, which on a loaded machine it may hear
  // only after the end. True when the kill came before the backend
  // succeeded, which a success heard tells unless |others_succeed|: other
  // processes report successes of their own. The package is ready from the
  // start unless |package_later|: then the backend waits for it until its
  // first message.
  bool RunKilled(InstallerRunner* runner,
                 Settings* settings,
                 const std::function<bool()>& reached,
                 DWORD exit_code,
                 bool others_succeed = false,
                 bool package_later = false) {
    recorder_.calls.clear();
    recorder_.steps = 0;
    kill_when_ = [runner, reached, exit_code] {
      if (!reached())
        return false;
      runner->backend_process().Terminate(exit_code, false);
      return true;
    };
    PollKill();
    if (package_later)
      recorder_.on_started = [runner] { runner->SetPackageReady(); };
    RunWith(runner, settings, !package_later);
    recorder_.on_started = nullptr;
    // A success may still be on its way when the end is seen.
    base::RunLoop late_messages;
    loop_.PostDelayedTask(LOCATION_FROM_HERE("InstallerRunnerTest"),
                          late_messages.QuitClosure(),
                          base::TimeDelta::FromMilliseconds(300));
    late_messages.Run();
    kill_when_ = nullptr;
    runner->Stop();
    // What the ended run's channel still had on its way is dropped now,
    // while no run is heard.
    base::RunLoop drop_late;
    loop_.PostTask(LOCATION_FROM_HERE("InstallerRunnerTest"),
                   base::Bind(&base::MessageLoop::QuitWhenIdle, &loop_));
    drop_late.Run();
    DWORD ended_with = 1;
    ::GetExitCodeProcess(runner->backend_process().Handle(), &ended_with);
    return ended_with == exit_code &&
           (others_succeed ||
            std::find(recorder_.calls.begin(), recorder_.calls.end(),
                      "succeeded") == recorder_.calls.end());
  }

  // Looks every millisecond, while the run lasts, whether to kill.
  void PollKill() {
    if (!kill_when_ || kill_when_())
      return;
    loop_.PostDelayedTask(LOCATION_FROM_HERE("InstallerRunnerTest"),
                          base::Bind(&InstallerRunnerTest::PollKill, this),
                          base::TimeDelta::FromMilliseconds(1));
  }

  // Runs the package's installer as a silent front end for
  // |install_folder|; its exit code.
  int RunSilentFrontEnd(const base::FilePath& install_folder) {
    return RunPackageInstaller(SilentFrontEndArguments(install_folder));
  }

  base::string16 SilentFrontEndArguments(const base::FilePath& install_folder) {
    return L"--silent \"--installfolder=" + install_folder.value() + L"\"" +
           kFrontEndSwitches;
  }

  // Every log line that the processes of the runs wrote.
  std::string Logs() {
    std::string all;
    base::FileEnumerator logs(logs_.path(), true, base::FileEnumerator::FILES);
    for (base::FilePath log = logs.Next(); !log.empty(); log = logs.Next()) {
      if (log.Extension() != L".log")
        continue;
      std::string text;
      base::ReadFileToString(log, &text);
      all += text;
    }
    return all;
  }

  base::MessageLoop loop_;
  FrontEndRecorder recorder_;
  std::function<bool()> kill_when_;
  std::unique_ptr<Settings> settings_;
  InstallerRunner runner_;
};

using SilentInstallerControllerTest = InstallerRunnerTest;

// The controller as the package's own installer.exe runs it: its folder and
// executable are the package's, its statistics are on and its TEMP is |temp|.
class RunningInThePackage {
 public:
  RunningInThePackage(const base::FilePath& package, const base::FilePath& temp)
      : own_folder_(base::DIR_EXE, package),
        own_executable_(base::FILE_EXE, package.Append(L"installer.exe")),
        temp_(temp) {
    base::FeatureRegistry::GetInstance()->RegisterFeature("installer-ui-stats",
                                                          true, true);
  }

 private:
  const ScopedPathOverride own_folder_;
  const ScopedPathOverride own_executable_;
  const ScopedTempVariables temp_;
};

// Runs |controller| for |settings| from the package in |package|, asking the
// update server at |reply_url| for its package; the result of the run.
bool RunFetchingFrom(SilentInstallerController* controller,
                     Settings* settings,
                     const base::FilePath& package,
                     const base::FilePath& logs,
                     const base::string16& reply_url) {
  // The backend that starts while the package is fetched is the package's,
  // not this test program.
  const ScopedPathOverride own_executable(base::FILE_EXE,
                                          package.Append(L"installer.exe"));
  base::CommandLine* command_line = base::CommandLine::ForCurrentProcess();
  const base::CommandLine saved = *command_line;
  command_line->AppendSwitchNative(PackageFetcher::kPackageServerSwitch,
                                   reply_url);
  const bool succeeded = controller->Run(settings, false, logs);
  *command_line = saved;
  return succeeded;
}

// The statistics record of |controller|, as it would be uploaded.
std::string StatsRecord(SilentInstallerController* controller) {
  std::string json;
  EXPECT_TRUE(controller->stats()->SerializeRecord(&json));
  return json;
}

int32_t AnswerWithWindow(bool* ran, HWND__* /* window */) {
  *ran = true;
  return 1;
}

void StoreAnswer(int32_t* stored, int32_t answer) {
  *stored = answer;
}

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
  ListInVersionFolder({"vexlo.exe", "installer.exe", "vexlo_installer.dll"});

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
  EXPECT_EQ(std::vector<base::string16>(), ChangesSince(before));
}

// A run that finds what a killed one left takes it back first: the new
// installation goes where the killed one began, and nothing else stays.
TEST_F(InstallerBackendTest, ARunFirstTakesBackWhatAKilledOneLeft) {
  const base::Process killed =
      StartPackageInstaller(BackendArguments(L"--install --launchvexlo=0"));
  ASSERT_TRUE(killed.IsValid());
  const base::FilePath copied =
      install_.Append(kVersion).Append(base::UTF8ToUTF16(files_[10]));
  for (int i = 0; i < 30000 && !base::PathExists(copied); ++i)
    ::Sleep(1);
  ASSERT_TRUE(killed.Terminate(1, true));
  ASSERT_TRUE(base::PathExists(copied));
  ASSERT_EQ(0, RunBackend());
  ExpectInstalled(ExpectedFiles({kVersion}),
                  {L"installation_status.xml", L"installer_prefs.json"});
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

namespace vexlo {
namespace installer {

// The backend reports every step and the result over the mailslot, in
// order, before it ends. A mutex that a crashed front end left is taken
// over; while the run holds the folder, a second start changes nothing and
// a second front end is refused.
TEST_F(InstallerRunnerTest, HearsEveryStepAndTheResultAndHoldsTheFolder) {
  { OtherFrontEnd crashed(InstallerRunner::GetMutexName(install_), true); }
  RunInstallation();
  const std::vector<std::string> calls = {"started", "total", "succeeded",
                                          "ended ok"};
  EXPECT_EQ(calls, recorder_.calls);
  EXPECT_GT(recorder_.total_steps, kPackageFiles);
  EXPECT_EQ(recorder_.total_steps, recorder_.steps);
  EXPECT_TRUE(base::PathExists(install_.Append(L"installation_status.xml")));

  EXPECT_FALSE(runner_.StartInstallation(settings_.get()));
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, RunSilentFrontEnd(install_));
  EXPECT_NE(std::string::npos,
            Logs().find("Could not acquire installer mutex"));
  EXPECT_EQ(calls, recorder_.calls);
  runner_.Stop();
}

// A backend started before the package is ready is the front end's own
// executable; it waits for the package and then runs the package's
// installer, whose messages reach the front end as well.
TEST_F(InstallerRunnerTest, StartsBeforeThePackageIsReady) {
  const ScopedPathOverride own_executable(base::FILE_EXE,
                                          package_.Append(L"installer.exe"));
  FrontEndRecorder removed;
  runner_.AddObserver(&removed);
  runner_.RemoveObserver(&removed);
  recorder_.on_started = [this]() { runner_.SetPackageReady(); };
  RunInstallation(false);
  EXPECT_EQ((std::vector<std::string>{"started", "subprocess", "started",
                                      "total", "succeeded", "subprocess end",
                                      "succeeded", "ended ok"}),
            recorder_.calls);
  EXPECT_TRUE(removed.calls.empty());
  EXPECT_TRUE(base::PathExists(install_.Append(L"installation_status.xml")));
  runner_.Stop();
}

namespace {

// The backend whose watch the test cancels, and what its cancels found.
HANDLE g_watched_backend = nullptr;
int g_cancels = 0;
int g_cancels_while_the_backend_ran = 0;

BOOL WINAPI CountCancel(HANDLE wait, HANDLE completion_event) {
  ++g_cancels;
  if (::WaitForSingleObject(g_watched_backend, 0) == WAIT_TIMEOUT)
    ++g_cancels_while_the_backend_ran;
  return ::UnregisterWaitEx(wait, completion_event);
}

}  // namespace

// A runner that goes while its backend waits for the package cancels its
// watch of the backend before it tells the backend to end: a cancel that
// meets the watch as it fires can fault in the system's thread pool. It
// then waits for the backend's end.
TEST_F(InstallerRunnerTest, StopsWatchingItsBackendBeforeEndingIt) {
  const ScopedPathOverride own_executable(base::FILE_EXE,
                                          package_.Append(L"installer.exe"));
  auto runner = std::make_unique<InstallerRunner>(package_);
  runner->AddObserver(&recorder_);
  base::RunLoop started;
  recorder_.on_started = [&started] { started.Quit(); };
  {
    ScopedTempVariables scoped_temp(logs_.path());
    ASSERT_TRUE(runner->StartInstallation(settings_.get()));
  }
  loop_.PostDelayedTask(LOCATION_FROM_HERE("InstallerRunnerTest"),
                        started.QuitClosure(),
                        base::TimeDelta::FromSeconds(120));
  started.Run();
  ASSERT_EQ(std::vector<std::string>{"started"}, recorder_.calls);
  const base::win::ScopedHandle backend(::OpenProcess(
      SYNCHRONIZE, FALSE, static_cast<DWORD>(runner->backend_process().Pid())));
  ASSERT_TRUE(backend.IsValid());
  g_watched_backend = backend.Get();
  base::win::internal::SetUnregisterWaitExFunctionForTesting(&CountCancel);
  runner->RemoveObserver(&recorder_);
  runner.reset();
  base::win::internal::SetUnregisterWaitExFunctionForTesting(nullptr);
  EXPECT_EQ(1, g_cancels);
  EXPECT_EQ(1, g_cancels_while_the_backend_ran);
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(backend.Get(), 0));
}

// Failures found before a backend starts reach the observers with their
// code and detail, and leave no run behind.
TEST_F(InstallerRunnerTest, RefusesInvalidSettingsAndAFolderInUse) {
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  Settings uninstall(true, true, false, install_, false, command_line);
  StatusWaiter wait(&uninstall);
  EXPECT_FALSE(runner_.StartInstallation(&uninstall));
  {
    OtherFrontEnd running(InstallerRunner::GetMutexName(install_), false);
    EXPECT_FALSE(runner_.StartInstallation(settings_.get()));
    runner_.Stop();
  }
  EXPECT_EQ((std::vector<std::string>{
                "failed 37053 Attempting to start installation with invalid "
                "settings",
                "failed 37052 Could not acquire installer mutex"}),
            recorder_.calls);
  EXPECT_FALSE(base::PathExists(install_));
}

// A backend that dies mid-installation is a failure; one that its front
// end stops takes back everything it did before it ends. The stop of the
// first run does not reach the second.
TEST_F(InstallerRunnerTest, ABackendThatEndsEarlyFails) {
  const ScopedInstallerConfiguration configuration;
  constexpr DWORD kKilled = 7;
  const Snapshot before = State();
  for (bool kill : {false, true}) {
    SCOPED_TRACE(kill ? "killed" : "stopped");
    recorder_.calls.clear();
    recorder_.steps = 0;
    recorder_.on_step = [this, kill](int step) {
      if (step != 3)
        return;
      if (kill)
        runner_.backend_process().Terminate(kKilled, false);
      else
        runner_.Stop();
    };
    RunInstallation();
    EXPECT_EQ("ended", recorder_.calls.back());
    EXPECT_EQ(
        recorder_.calls.end(),
        std::find(recorder_.calls.begin(), recorder_.calls.end(), "succeeded"));
    DWORD exit_code = 0;
    ::GetExitCodeProcess(runner_.backend_process().Handle(), &exit_code);
    EXPECT_EQ(kill, exit_code == kKilled);
    runner_.Stop();
    // A killed backend's changes are taken back by the runner.
    EXPECT_EQ(std::vector<base::string16>(), ChangesSince(before));
  }
}

// A backend whose front end goes away mid-installation takes back what it
// did and ends.
TEST_F(InstallerRunnerTest, ABackendWhoseFrontEndGoesTakesItAllBack) {
  const Snapshot before = State();
  const base::Process front_end =
      StartPackageInstaller(SilentFrontEndArguments(install_));
  ASSERT_TRUE(front_end.IsValid());
  // The subfolder comes before the first copy.
  const base::FilePath subfolder = install_.Append(kVersion);
  for (int i = 0; i < 30000 && !base::PathExists(subfolder); ++i)
    ::Sleep(1);
  ASSERT_TRUE(base::PathExists(subfolder)) << "the installation never began";
  // The backend and, unless it could not start, the crash reporter.
  const std::vector<base::Process> children = OpenChildProcesses(front_end);
  ASSERT_FALSE(children.empty());
  ASSERT_TRUE(front_end.Terminate(1, true));
  std::vector<HANDLE> handles;
  for (const base::Process& child : children)
    handles.push_back(child.Handle());
  ASSERT_EQ(WAIT_OBJECT_0,
            ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()),
                                     handles.data(), TRUE, 60000));
  EXPECT_EQ(std::vector<base::string16>(), ChangesSince(before));
}

namespace {

// Tells whether anything under the user's classes key changed since the
// last Arm: a backend has reached its registry step then.
class ClassesWatch {
 public:
  // A new platform has no user classes key until a program writes one.
  ClassesWatch() : changed_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    classes_.Create(HKEY_CURRENT_USER, L"Software\\Classes", KEY_NOTIFY);
  }

  bool Arm() {
    ::ResetEvent(changed_.Get());
    return ::RegNotifyChangeKeyValue(
               classes_.Handle(), TRUE,
               REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
               changed_.Get(), TRUE) == ERROR_SUCCESS;
  }
  bool Changed() const {
    return ::WaitForSingleObject(changed_.Get(), 0) == WAIT_OBJECT_0;
  }

 private:
  base::win::RegKey classes_;
  base::win::ScopedHandle changed_;
};
}  // namespace

// A backend killed at any point of an installation or of an update over
// it leaves the folder, the registry and the shortcuts as they were before
// that run: the runner takes back what the backend had recorded. The run
// failed, whatever exit code the killed backend got (the system may give
// it 0) and whatever another process says; so did one whose package's
// installer was killed behind a backend that waited for it.
TEST_F(InstallerRunnerTest, AKilledBackendLeavesNoTrace) {
  const ScopedInstallerConfiguration configuration;
  ClassesWatch registry;
  const auto made = [](const base::FilePath& path) {
    return [path] { return base::PathExists(path); };
  };
  const auto copy = [this](int file) {
    return install_.Append(kVersion).Append(base::UTF8ToUTF16(files_[file]));
  };
  const auto running = [this] {
    return runner_.backend_process().IsValid() &&
           ::WaitForSingleObject(runner_.backend_process().Handle(), 0) ==
               WAIT_TIMEOUT;
  };
  // A package whose installer ends at once with 0, as one killed before it
  // began would, behind a backend that waits for it.
  const base::FilePath killed_package = temp_.path().Append(L"killed");
  ASSERT_TRUE(base::CreateDirectory(killed_package));
  ASSERT_TRUE(base::CopyFile(package_.Append(L"launcher.exe"),
                             killed_package.Append(L"installer.exe")));
  const ScopedPathOverride own_executable(base::FILE_EXE,
                                          package_.Append(L"installer.exe"));
  InstallerRunner waiting_runner(killed_package);
  waiting_runner.AddObserver(&recorder_);
  const struct {
    const char* name;
    std::function<bool()> reached;
    DWORD exit_code;
    // Another process says that the installation succeeded.
    const wchar_t* spoofed = nullptr;
    InstallerRunner* runner = nullptr;
    // What stays: a backend that waited and believes that its package
    // installed keeps the folder it made and the path it records.
    std::vector<base::string16> left;
  } kPoints[] = {
      {"first copies", made(copy(1)), kKilledExitCode},
      {"copying", made(copy(kPackageFiles / 2)), kKilledExitCode},
      {"copying, exit code 0", made(copy(kPackageFiles / 2)), 0},
      {"copying, exit code 0, told it succeeded", made(copy(kPackageFiles / 2)),
       0, L"6"},
      // After a run that heard successes.
      {"at its start, exit code 0", running, 0},
      {"after the files", made(install_.Append(L"installer.exe")),
       kKilledExitCode},
      {"registry", [&] { return registry.Changed(); }, kKilledExitCode},
      {"shortcuts", made(Shortcut(L"Desktop")), kKilledExitCode},
      // The backend that waited reports its success.
      {"the package's installer at its start, exit code 0",
       [] { return false; },
       0,
       nullptr,
       &waiting_runner,
       {L"extra HKCU\\Software\\Vexlo",
        L"extra HKCU\\Software\\Vexlo : Last developer Install Path",
        L"extra Vexlo"}},
  };
  const Snapshot before = State();
  for (const auto& point : kPoints) {
    SCOPED_TRACE(point.name);
    ASSERT_TRUE(registry.Arm());
    std::unique_ptr<ForeignMailslotProcess> spoofer;
    if (point.spoofed) {
      spoofer = std::make_unique<ForeignMailslotProcess>(
          L"spoof", InstallerChannelName(install_), point.spoofed);
    }
    // The folder is as it was for each run: the settings stay true.
    const bool waits = point.runner != nullptr;
    ASSERT_TRUE(RunKilled(waits ? point.runner : &runner_, settings_.get(),
                          point.reached, point.exit_code,
                          point.spoofed != nullptr || waits, waits))
        << (recorder_.calls.empty() ? "" : recorder_.calls.back());
    EXPECT_EQ("ended", recorder_.calls.back());
    EXPECT_EQ(point.left, ChangesSince(before));
  }
}

// An update or an uninstallation killed on its way leaves the installation
// whole once the next run has taken back what the journal holds, also when
// the killed run was given the folder in another spelling than the next.
// The company's start-menu folder of an older installation goes with an
// uninstallation, and comes back with it; so does a shortcut that a build
// of another channel named, as the installation's record holds it.
TEST_F(InstallerRunnerTest, AKilledUpdateOrUninstallationIsTakenBack) {
  const ScopedInstallerConfiguration configuration;
  ListInVersionFolder({"vexlo.exe", "installer.exe", "vexlo_installer.dll"});
  const base::FilePath company =
      temp_.path().Append(L"Programs").Append(L"Vexlo Software");
  ASSERT_TRUE(base::CreateDirectory(company));
  ASSERT_EQ(3, base::WriteFile(company.Append(L"Vexlo.lnk"), "old", 3));
  // The folder as the short name of the test's folder spells it.
  wchar_t name[MAX_PATH];
  const base::FilePath short_folder =
      base::FilePath(
          base::string16(name, ::GetShortPathNameW(temp_.path().value().c_str(),
                                                   name, MAX_PATH)))
          .Append(install_.BaseName());
  ASSERT_NE(install_, short_folder);
  // A backend runs only while the event of its folder's spelling is there.
  const base::win::ScopedHandle short_interrupted(::CreateEventW(
      nullptr, TRUE, FALSE, InterruptedEventName(short_folder).c_str()));
  ASSERT_TRUE(short_interrupted.IsValid());
  RunInstallation();
  runner_.Stop();
  ASSERT_EQ("ended ok", recorder_.calls.back());
  Snapshot installed = State();
  const base::FilePath version = install_.Append(kVersion);
  ClassesWatch registry;
  const auto registry_reached = [&] { return registry.Changed(); };
  const auto compatibility_value_written = [&short_folder] {
    return ScopedProductRegistry::ReadValue(
               HKEY_CURRENT_USER,
               L"Software\\Microsoft\\Windows NT\\CurrentVersion\\"
               L"AppCompatFlags\\Compatibility Assistant\\Persisted",
               short_folder.Append(L"Launcher.exe").value()) != "none";
  };
  const base::FilePath other_name =
      temp_.path().Append(L"Desktop").Append(L"Vexlo developer Beta.lnk");
  const auto other_name_gone = [&] { return !base::PathExists(other_name); };
  const struct {
    const char* name;
    const wchar_t* switches;
    base::FilePath folder;
    std::function<bool()> reached;
    base::FilePath spelled;
    bool named_otherwise;
  } kPoints[] = {
      {"update, copying", L"--install --launchvexlo=0", package_,
       [&] {
         return base::PathExists(
             install_.Append(base::string16(kVersion) + L"_0")
                 .Append(base::UTF8ToUTF16(files_[10])));
       }},
      {"update, registry", L"--install --launchvexlo=0", package_,
       registry_reached},
      {"update in the short spelling, registry", L"--install --launchvexlo=0",
       package_, compatibility_value_written, short_folder},
      // The first thing it does is to set the browser aside.
      {"uninstallation, start", L"--uninstall --silent", version,
       [&] { return !base::PathExists(version.Append(L"vexlo.exe")); }},
      {"uninstallation, registry", L"--uninstall --silent", version,
       registry_reached},
      {"uninstallation, company folder", L"--uninstall --silent", version,
       [&] { return !base::DirectoryExists(company); }},
      // The rows from here on find the shortcut of another name.
      {"update, shortcut of another name",
       L"--install --launchvexlo=0",
       package_,
       other_name_gone,
       {},
       true},
      {"uninstallation, shortcut of another name",
       L"--uninstall --silent",
       version,
       other_name_gone,
       {},
       true},
  };
  for (const auto& point : kPoints) {
    SCOPED_TRACE(point.name);
    if (point.named_otherwise && !base::PathExists(other_name)) {
      ASSERT_NO_FATAL_FAILURE(RenameDesktopShortcut(other_name));
      installed = State();
    }
    ASSERT_TRUE(registry.Arm());
    const base::Process backend = StartPackageInstaller(
        BackendArguments(point.switches, point.spelled), point.folder);
    ASSERT_TRUE(backend.IsValid());
    bool reached = false;
    for (int i = 0; i < 30000 && !(reached = point.reached()); ++i)
      ::Sleep(1);
    ASSERT_TRUE(reached);
    ASSERT_TRUE(backend.Terminate(kKilledExitCode, true));
    // What the next run, or the front end, does first.
    {
      ScopedTempVariables scoped_temp(logs_.path());
      EXPECT_TRUE(RollbackJournal::Replay(
          RollbackJournal::PathFor(point.spelled.empty() ? install_
                                                         : point.spelled),
          RollbackScope::ForInstallation(install_)));
    }
    EXPECT_EQ(std::vector<base::string16>(), ChangesSince(installed));
  }
}

// The installation's own uninstaller, killed with every process it started
// once its journal holds records, has left the browser set aside: run
// again, it takes back what the killed run left and uninstalls as an
// undisturbed one does; also after a kill in its last step, which had set
// aside the launcher by which an uninstaller finds its installation, after
// a kill once it set aside a shortcut that only the installation's record
// names, and after an update killed as it set the launcher aside, which
// left the browser in place. An update killed once its new launcher was in
// place is uninstalled through that launcher, as the uninstall entry does,
// though the launcher runs all along; the uninstaller in the version
// folder of a killed update takes the update back, its own running program
// too, and ends as any uninstaller outside an installation does. The
// temporary file of a preferences write that a kill cut short goes with
// the installation.
TEST_F(InstallerRunnerTest, AnUninstallerRunAgainAfterAKillUninstalls) {
  ListInVersionFolder({"vexlo.exe", "installer.exe", "vexlo_installer.dll"});
  const base::FilePath version = install_.Append(kVersion);
  const base::string16 arguments =
      L"--uninstall --silent --deleteuserprofile=1" +
      base::string16(kFrontEndSwitches);
  const base::FilePath journal = [this] {
    ScopedTempVariables scoped_temp(logs_.path());
    return RollbackJournal::PathFor(install_);
  }();
  // What the take-backs of the journal left beside it: refused journals,
  // leftover journals, and the batches that finish these.
  const auto beside_journal = [&journal] {
    std::vector<base::string16> names;
    base::FileEnumerator files(journal.DirName(), false,
                               base::FileEnumerator::FILES,
                               journal.BaseName().value() + L".*");
    for (base::FilePath file = files.Next(); !file.empty();
         file = files.Next()) {
      if (file != journal)
        names.push_back(file.BaseName().value());
    }
    return names;
  };
  // The batches that delete what was in use end by deleting themselves.
  const auto wait_for_batches = [&] {
    const base::FilePath batch = install_.Append(L"k.bat");
    for (int i = 0;
         i < 600 && (base::PathExists(batch) || !beside_journal().empty());
         ++i) {
      ::Sleep(100);
    }
  };
  // Kills the installer of |folder| run with |run_arguments|, with every
  // process it started, once it |reached| a point.
  const auto kill_when = [&](const base::string16& run_arguments,
                             const base::FilePath& folder,
                             const std::function<bool()>& reached) {
    base::win::ScopedHandle job(::CreateJobObjectW(nullptr, nullptr));
    const base::Process run =
        StartPackageInstaller(run_arguments, folder, job.Get());
    ASSERT_TRUE(run.IsValid());
    for (int i = 0; i < 30000 && !reached(); ++i)
      ::Sleep(1);
    ASSERT_TRUE(::TerminateJobObject(job.Get(), kKilledExitCode));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(run.Handle(), 60000));
  };
  const auto kill_uninstaller_when = [&](const std::function<bool()>& reached) {
    kill_when(arguments, version, reached);
  };
  ClassesWatch registry;
  const auto kill_on_registry = [&] {
    ASSERT_TRUE(registry.Arm());
    kill_uninstaller_when([&] { return registry.Changed(); });
  };
  // An update reaches the registry once its version folder is whole and
  // its launcher in place.
  const auto kill_update_on_registry = [&] {
    ASSERT_TRUE(registry.Arm());
    kill_when(BackendArguments(L"--install --launchvexlo=0"), package_,
              [&] { return registry.Changed(); });
  };
  // The same with a new launcher that runs, as the uninstall entry starts
  // it.
  const auto kill_update_bringing_a_launcher_that_runs = [&] {
    base::FilePath build;
    ASSERT_TRUE(base::PathService::Get(base::DIR_MODULE, &build));
    const base::FilePath package_launcher = package_.Append(L"launcher.exe");
    ASSERT_TRUE(base::CopyFile(build.Append(L"waiting_launcher_test_child.exe"),
                               package_launcher));
    kill_update_on_registry();
    ASSERT_TRUE(ScopedLauncherRecord::CopyLauncher(package_launcher));
  };
  // A name that no build gives the product's shortcuts.
  const base::FilePath old_name =
      temp_.path().Append(L"Desktop").Append(L"Old Name.lnk");
  const auto kill_on_recorded_shortcut = [&] {
    ASSERT_NO_FATAL_FAILURE(RenameDesktopShortcut(old_name));
    kill_uninstaller_when([&] { return !base::PathExists(old_name); });
  };
  // What a run killed right after it set |files| aside leaves.
  const auto set_aside_by_killed_run =
      [&](const std::vector<base::FilePath>& files) {
        RollbackJournal killed;
        ASSERT_TRUE(
            killed.Open(journal, RollbackScope::ForInstallation(install_)));
        for (const base::FilePath& file : files) {
          const base::FilePath aside(file.value() + L".1712345678.old");
          ASSERT_TRUE(killed.Append(RollbackRecord::Renamed(file, aside)));
          ASSERT_TRUE(base::Move(file, aside));
        }
      };
  const base::FilePath browser = version.Append(L"vexlo.exe");
  const base::FilePath launcher = install_.Append(L"launcher.exe");
  const auto kill_in_last_step = [&] {
    set_aside_by_killed_run({browser, launcher});
  };
  // An update sets the launcher aside before it copies the new one.
  const auto kill_update_at_launcher = [&] {
    set_aside_by_killed_run({launcher});
  };
  // A write of the installation's preferences that a kill cut short.
  const auto kill_writing_preferences = [&] {
    ASSERT_EQ(4, base::WriteFile(install_.Append(L"1b3f.tmp"), "{\"\"}", 4));
  };
  // The same, and then a handle that shares no deletion holds the update's
  // launcher, as a scanner might, until the uninstaller has ended.
  base::win::ScopedHandle holder;
  const auto kill_update_and_hold_its_launcher = [&] {
    kill_update_on_registry();
    holder.Set(::CreateFileW(launcher.value().c_str(), GENERIC_READ,
                             FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder.IsValid());
  };
  // A run killed once it set aside a file that no uninstaller looks for,
  // which a handle that shares no deletion then holds where it was set
  // aside until the uninstaller has ended.
  const auto kill_at_library_and_hold_it = [&] {
    const base::FilePath library = version.Append(L"vexlo_installer.dll");
    set_aside_by_killed_run({library});
    holder.Set(::CreateFileW((library.value() + L".1712345678.old").c_str(),
                             GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder.IsValid());
  };
  // A first installation killed with every process once its record is
  // written, whose launcher then runs, as after a click on its shortcut,
  // through the next installation, which brings a launcher of other bytes:
  // once the killed run's launcher ends, the next run's is in place.
  const auto install_while_a_killed_runs_launcher_runs = [&] {
    base::FilePath build;
    ASSERT_TRUE(base::PathService::Get(base::DIR_MODULE, &build));
    const base::FilePath package_launcher = package_.Append(L"launcher.exe");
    ASSERT_TRUE(base::CopyFile(build.Append(L"waiting_launcher_test_child.exe"),
                               package_launcher));
    kill_when(BackendArguments(L"--install --launchvexlo=0"), package_, [&] {
      return base::PathExists(install_.Append(L"installation_status.xml")) &&
             base::PathExists(launcher);
    });
    ASSERT_TRUE(ScopedLauncherRecord::CopyLauncher(package_launcher));
    const base::Process running = base::LaunchProcess(
        L"\"" + launcher.value() + L"\"", base::LaunchOptions());
    ASSERT_TRUE(running.IsValid());
    EXPECT_EQ(0, RunBackend());
    ASSERT_TRUE(running.Terminate(0, true));
    wait_for_batches();
    std::string installed;
    std::string brought;
    EXPECT_TRUE(base::ReadFileToString(launcher, &installed));
    EXPECT_TRUE(base::ReadFileToString(package_launcher, &brought));
    EXPECT_TRUE(installed == brought);
  };
  // The same with a new launcher that runs as the uninstall entry starts
  // it, and a handle that shares no deletion holds the launcher that the
  // update set aside, as a scanner might, until it is let go.
  const auto kill_update_and_hold_the_launcher_it_set_aside = [&] {
    kill_update_bringing_a_launcher_that_runs();
    base::FileEnumerator set_aside(install_, false, base::FileEnumerator::FILES,
                                   L"launcher.exe.*.old");
    const base::FilePath old_launcher = set_aside.Next();
    ASSERT_FALSE(old_launcher.empty());
    holder.Set(::CreateFileW(old_launcher.value().c_str(), GENERIC_READ,
                             FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder.IsValid());
  };
  // The same, and the next update runs while the set-aside launcher is
  // held; it is let go after that.
  const auto update_while_the_launcher_set_aside_is_held = [&] {
    kill_update_and_hold_the_launcher_it_set_aside();
    EXPECT_EQ(0, RunBackend());
    holder.Close();
  };
  const auto uninstall_through_launcher = [&](const base::FilePath& folder) {
    ScopedTempVariables scoped_temp(logs_.path());
    return RunToEnd(L"\"" + launcher.value() + L"\" \"" +
                    folder.Append(L"installer.exe").value() + L"\" " +
                    arguments);
  };
  const struct {
    const char* name;
    std::function<void()> kill;
    // Whether the killed run left the browser in place.
    bool browser_kept = false;
    // The version folder whose uninstaller runs, the installation's when
    // null, and what it ends with.
    const wchar_t* uninstaller = nullptr;
    int exit_code = HOST_EXIT_SUCCESS;
    // Started by the installation's launcher, which waits for it.
    bool through_launcher = false;
    bool leaves_journal = true;
    // How the installation came about, when not by one run of the
    // installer.
    std::function<void()> install = nullptr;
    // Once the holder lets go, the uninstall entry runs again and must
    // uninstall, the installation's launcher having been there all along.
    bool entry_again = false;
    // Once the holder lets go, a take-back runs, as the next run for the
    // folder does first, before the batch's next round.
    bool take_back_once_let_go = false;
  } kRuns[] = {
      {"undisturbed", nullptr},
      {"killed once its journal holds records", kill_on_registry},
      {"killed in its last step", kill_in_last_step},
      {"killed once it set aside a shortcut only its record names",
       kill_on_recorded_shortcut},
      {"an update killed as it set the launcher aside", kill_update_at_launcher,
       true},
      {"an update killed with its new launcher in place, through that "
       "launcher",
       kill_update_bringing_a_launcher_that_runs, true, nullptr,
       HOST_EXIT_SUCCESS, true},
      {"an update killed once it made its version folder, that folder's "
       "uninstaller",
       kill_update_on_registry, true, L"12.0.1450.0_0",
       HOST_EXIT_INSTALLER_FAILED},
      {"killed writing the preferences", kill_writing_preferences, true,
       nullptr, HOST_EXIT_SUCCESS, false, false},
      {"an update killed with its new launcher in place, held open through "
       "the uninstallation",
       kill_update_and_hold_its_launcher, true},
      {"killed once it set a file aside, held open there through the "
       "uninstallation",
       kill_at_library_and_hold_it, true},
      {"installed while the launcher of a killed first installation runs",
       nullptr, false, nullptr, HOST_EXIT_SUCCESS, false, true,
       install_while_a_killed_runs_launcher_runs},
      {"an update killed with its new launcher in place, the launcher it set "
       "aside held through the uninstall entry, run again once let go",
       kill_update_and_hold_the_launcher_it_set_aside, true, L"12.0.1450.0_0",
       HOST_EXIT_INSTALLER_FAILED, true, true, nullptr, true},
      {"an update killed with its new launcher in place, the launcher it set "
       "aside held through the next update",
       update_while_the_launcher_set_aside_is_held, true, L"12.0.1450.0_0",
       HOST_EXIT_SUCCESS, false, false},
      {"killed once it set a file aside, held open there through the "
       "uninstallation, taken back between two rounds of its batch",
       kill_at_library_and_hold_it, true, nullptr, HOST_EXIT_SUCCESS, false,
       true, nullptr, false, true},
  };
  Snapshot undisturbed;
  for (const auto& run : kRuns) {
    SCOPED_TRACE(run.name);
    if (run.install) {
      ASSERT_NO_FATAL_FAILURE(run.install());
    } else {
      ASSERT_EQ(0, RunBackend());
    }
    const Snapshot installed = State();
    if (run.kill) {
      ASSERT_NO_FATAL_FAILURE(run.kill());
      ASSERT_EQ(run.leaves_journal, base::PathExists(journal));
      ASSERT_EQ(run.browser_kept, base::PathExists(browser));
    }
    const base::FilePath folder =
        run.uninstaller ? install_.Append(run.uninstaller) : version;
    // Whether the launcher went missing at any moment until the holder let
    // go.
    std::atomic<bool> watching(run.entry_again);
    std::atomic<bool> launcher_missed(false);
    std::thread launcher_watch([&] {
      for (; watching; ::Sleep(1)) {
        if (::GetFileAttributesW(launcher.value().c_str()) ==
            INVALID_FILE_ATTRIBUTES) {
          launcher_missed = true;
        }
      }
    });
    EXPECT_EQ(run.exit_code, run.through_launcher
                                 ? uninstall_through_launcher(folder)
                                 : RunPackageInstaller(arguments, folder));
    // A held file outlasts a whole round of the batch that waits for it.
    if (holder.IsValid())
      ::Sleep(2500);
    holder.Close();
    if (run.take_back_once_let_go) {
      ScopedTempVariables scoped_temp(logs_.path());
      RollbackJournal::Replay(journal,
                              RollbackScope::ForInstallation(install_));
    }
    watching = false;
    launcher_watch.join();
    EXPECT_FALSE(launcher_missed);
    if (run.entry_again) {
      EXPECT_EQ(HOST_EXIT_SUCCESS, uninstall_through_launcher(version));
    }
    wait_for_batches();
    EXPECT_FALSE(base::PathExists(journal));
    EXPECT_EQ(std::vector<base::string16>(), beside_journal());
    if (run.take_back_once_let_go) {
      EXPECT_FALSE(base::PathExists(version));
    }
    if (run.exit_code != HOST_EXIT_SUCCESS && !run.entry_again) {
      // Nothing of the killed run is left; the installation's own
      // uninstaller then removes the installation.
      EXPECT_EQ(std::vector<base::string16>(), ChangesSince(installed));
      EXPECT_EQ(HOST_EXIT_SUCCESS, RunPackageInstaller(arguments, version));
      wait_for_batches();
    }
    if (!run.kill)
      undisturbed = State();
    EXPECT_EQ(std::vector<base::string16>(), ChangesSince(undisturbed));
  }
}

// A run killed together with its front end is taken back by the next run,
// though that one is given the folder in its short spelling.
TEST_F(InstallerRunnerTest, TheNextRunInAnotherSpellingTakesBackAKilledOne) {
  wchar_t short_name[MAX_PATH];
  ASSERT_GT(
      ::GetShortPathNameW(temp_.path().value().c_str(), short_name, MAX_PATH),
      0u);
  const base::FilePath short_install =
      base::FilePath(short_name).Append(L"Vexlo");
  ASSERT_NE(install_.value(), short_install.value());
  // Both end at once, so neither takes back anything of the other.
  base::win::ScopedHandle job(::CreateJobObjectW(nullptr, nullptr));
  const base::Process front_end = StartPackageInstaller(
      SilentFrontEndArguments(install_), package_, job.Get());
  ASSERT_TRUE(front_end.IsValid());
  const base::FilePath copied =
      install_.Append(kVersion).Append(base::UTF8ToUTF16(files_[10]));
  for (int i = 0; i < 30000 && !base::PathExists(copied); ++i)
    ::Sleep(1);
  ASSERT_TRUE(::TerminateJobObject(job.Get(), kKilledExitCode));
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(front_end.Handle(), 60000));
  const base::FilePath journal = RollbackJournal::PathFor(install_);
  ASSERT_TRUE(base::PathExists(journal));
  EXPECT_EQ(HOST_EXIT_SUCCESS, RunSilentFrontEnd(short_install));
  EXPECT_FALSE(base::PathExists(journal));
  EXPECT_NE(std::string::npos,
            Logs().find("Taking back what a killed installer left"));
  ExpectInstalled(ExpectedFiles({kVersion}),
                  {L"installation_status.xml", L"installer_prefs.json"});
}

// A backend that waits for the package and is killed while the package's
// backend installs leaves that installation to finish on its own. What the
// killed one had done belongs to the finished installation: nothing of it
// is left for the next run to take back.
TEST_F(InstallerRunnerTest, AnInstallationOutlivingTheKilledStarterStays) {
  const ScopedInstallerConfiguration configuration;
  const ScopedPathOverride own_executable(base::FILE_EXE,
                                          package_.Append(L"installer.exe"));
  recorder_.on_started = [this]() { runner_.SetPackageReady(); };
  std::vector<base::Process> package_backends;
  recorder_.on_step = [this, &package_backends](int step) {
    if (step != 1)
      return;
    package_backends = OpenChildProcesses(runner_.backend_process());
    runner_.backend_process().Terminate(kKilledExitCode, false);
  };
  RunInstallation(false);
  runner_.Stop();
  DWORD exit_code = 0;
  ::GetExitCodeProcess(runner_.backend_process().Handle(), &exit_code);
  ASSERT_EQ(kKilledExitCode, exit_code);
  ASSERT_FALSE(package_backends.empty());
  std::vector<HANDLE> handles;
  for (const base::Process& process : package_backends)
    handles.push_back(process.Handle());
  ASSERT_EQ(WAIT_OBJECT_0,
            ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()),
                                     handles.data(), TRUE, 120000));
  ASSERT_TRUE(std::any_of(handles.begin(), handles.end(), [](HANDLE process) {
    DWORD code = 1;
    return ::GetExitCodeProcess(process, &code) && code == 0;
  }));
  ASSERT_TRUE(base::PathExists(install_.Append(L"installation_status.xml")));

  const base::FilePath journal = RollbackJournal::PathFor(install_);
  EXPECT_FALSE(base::PathExists(journal));
  // What the next run for the folder does first.
  const Snapshot finished = State();
  {
    ScopedTempVariables scoped_temp(logs_.path());
    EXPECT_TRUE(RollbackJournal::Replay(
        journal, RollbackScope::ForInstallation(install_)));
  }
  EXPECT_EQ(std::vector<base::string16>(), ChangesSince(finished));
}

// The package's backend killed mid-installation with exit code 0 while the
// backend that started it waits: neither counts that a success, and nothing
// of the run stays.
TEST_F(InstallerRunnerTest, APackageBackendKilledWithExitCodeZeroFails) {
  const ScopedInstallerConfiguration configuration;
  const ScopedPathOverride own_executable(base::FILE_EXE,
                                          package_.Append(L"installer.exe"));
  const Snapshot before = State();
  const base::FilePath half_way = install_.Append(kVersion).Append(
      base::UTF8ToUTF16(files_[kPackageFiles / 2]));
  std::unique_ptr<KillWhen> kill;
  recorder_.on_started = [&] {
    runner_.SetPackageReady();
    if (kill)
      return;
    // The package's backend, and the crash reporter of the waiting one, by
    // what the package's backend made: the steps the test hears may come
    // only after its end.
    kill = std::make_unique<KillWhen>(
        [half_way] { return base::PathExists(half_way); },
        [this] {
          for (const base::Process& child :
               OpenChildProcesses(runner_.backend_process())) {
            child.Terminate(0, false);
          }
        });
  };
  RunInstallation(false);
  runner_.Stop();
  ASSERT_TRUE(kill && kill->killed());
  EXPECT_EQ("ended", recorder_.calls.back());
  DWORD exit_code = 0;
  ::GetExitCodeProcess(runner_.backend_process().Handle(), &exit_code);
  EXPECT_NE(0u, exit_code);
  EXPECT_EQ(std::vector<base::string16>(), ChangesSince(before));
}

// A backend that comes to its front end's events only after the front end
// has ended the run (its fetch failed, or it was cancelled) says so, and
// leaves nothing.
TEST_F(InstallerRunnerTest, ABackendLateForItsRunSaysThatTheRunEnded) {
  const base::string16 wait =
      L" \"--wait-for-package=" + package_.value() + L"\"";
  const struct {
    const char* name;
    bool interrupted_event;
    base::string16 switches;
    const char* line;
  } kCases[] = {
      {"installing", false, L"--install --launchvexlo=0",
       "Installation failed: 37050 The front end ended the run before the "
       "installation began"},
      {"waiting for the package", true, L"--install --launchvexlo=0" + wait,
       "Installation failed: 37050 The front end ended the run before the "
       "package was ready"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    interrupted_.Set(
        c.interrupted_event
            ? ::CreateEventW(nullptr, TRUE, FALSE,
                             InterruptedEventName(install_).c_str())
            : nullptr);
    EXPECT_NE(0, RunBackend(c.switches));
    EXPECT_NE(std::string::npos, Logs().find(c.line));
    EXPECT_FALSE(base::PathExists(install_));
  }
  EXPECT_EQ(std::string::npos, Logs().find("Failed to open a handle"));
}

// A journal that another process planted for the folder, with right
// checksums and records that name what lies outside the installation, is
// refused and kept aside by the next run, which installs as it would
// without it.
TEST_F(InstallerRunnerTest, APlantedJournalIsRefusedAndTheRunGoesOn) {
  const base::FilePath victim = temp_.path().Append(L"victim.txt");
  const base::FilePath moved = temp_.path().Append(L"moved.txt");
  ASSERT_TRUE(base::WriteFile(victim, "victim", 6));
  const base::FilePath journal = RollbackJournal::PathFor(install_);
  {
    RollbackJournal planted;
    ASSERT_TRUE(planted.Open(journal, RollbackScope(install_)));
    ASSERT_TRUE(planted.Append(RollbackRecord::FileContent(victim, false, "")));
    // The victim, named through the installation folder.
    ASSERT_TRUE(planted.Append(
        RollbackRecord::Renamed(moved, install_.Append(L"..\\victim.txt"))));
  }
  ASSERT_EQ(HOST_EXIT_SUCCESS, RunSilentFrontEnd(install_));
  std::string content;
  EXPECT_TRUE(base::ReadFileToString(victim, &content));
  EXPECT_EQ("victim", content);
  EXPECT_FALSE(base::PathExists(moved));
  EXPECT_TRUE(base::PathExists(install_.Append(L"installation_status.xml")));
  EXPECT_NE(std::string::npos, Logs().find("Refusing the rollback journal"));
  EXPECT_FALSE(base::PathExists(journal));
  base::FileEnumerator kept(journal.DirName(), false,
                            base::FileEnumerator::FILES,
                            journal.BaseName().value() + L".*.refused");
  int count = 0;
  for (base::FilePath file = kept.Next(); !file.empty(); file = kept.Next()) {
    ++count;
    base::DeleteFile(file, false);
  }
  EXPECT_EQ(1, count);
}

// The whole silent installation from the package, as a user starts it; the
// front end's and the backend's log lines all stay.
TEST_F(InstallerRunnerTest, SilentFrontEndInstallsFromThePackage) {
  ASSERT_EQ(HOST_EXIT_SUCCESS, RunSilentFrontEnd(install_));
  std::string content;
  ASSERT_TRUE(base::ReadFileToString(
      install_.Append(kVersion).Append(base::UTF8ToUTF16(files_[0])),
      &content));
  EXPECT_EQ("content " + files_[0], content);
  EXPECT_TRUE(base::PathExists(install_.Append(L"installation_status.xml")));
  const std::string logs = Logs();
  for (const char* line :
       {"] Backend0", "] Backend1", "] Beginning installation"}) {
    EXPECT_NE(std::string::npos, logs.find(line)) << line;
  }
}

// Both front ends of one package fetch the preference overrides into its
// folder: the second, started while the first installs and refused, leaves
// the first's overrides whole for its installation.
TEST_F(InstallerRunnerTest, ARefusedSecondFrontEndLeavesTheFirstsOverrides) {
  HttpTestServer server;
  ASSERT_TRUE(server.Start());
  const std::string overrides = "{\"homepage\": \"first\"}";
  ASSERT_EQ(
      static_cast<int>(overrides.size()),
      base::WriteFile(server.files_folder().Append(L"overrides"),
                      overrides.data(), static_cast<int>(overrides.size())));
  const base::string16 arguments =
      SilentFrontEndArguments(install_) +
      L" --with-feature:installer-pref-default-overrides-support=on"
      L" --local-pref-default-overrides-server=" +
      server.Url("/files/overrides");
  const base::Process first = StartPackageInstaller(arguments);
  // The second starts once the first's overrides lie in the package folder,
  // which its backend copies only after all the package's files.
  const auto overrides_in = [](const base::FilePath& folder) {
    std::string text;
    base::ReadFileToString(folder.Append(L"pref_default_overrides"), &text);
    return text;
  };
  for (int i = 0; i < 30000 && overrides_in(package_) != overrides; ++i)
    ::Sleep(1);
  ASSERT_EQ(overrides, overrides_in(package_)) << "the first fetch never ended";
  EXPECT_NE(HOST_EXIT_SUCCESS, RunPackageInstaller(arguments));
  EXPECT_EQ(HOST_EXIT_SUCCESS, WaitToEnd(first));
  EXPECT_NE(std::string::npos,
            Logs().find("Could not acquire installer mutex"));
  EXPECT_EQ(overrides, overrides_in(install_));
  // Nor does the refused run leave its own download behind.
  EXPECT_TRUE(base::FileEnumerator(package_, false, base::FileEnumerator::FILES,
                                   L"*.download")
                  .Next()
                  .empty());
}

// A process writes a log of its own, never one that another run began in
// the same second, and removes the locks that killed runs left alone beside
// the logs.
TEST_F(InstallerRunnerTest, ARunKeepsToItsOwnLogAndClearsLoneLocks) {
  const ScopedInstallerConfiguration configuration;
  const base::FilePath folder = logs_.path().Append(L"Vexlo Installer");
  ASSERT_TRUE(base::CreateDirectory(folder));
  // Another run's log of each second in which the process may start.
  std::vector<base::FilePath> others;
  for (int second = 0; second < 30; ++second) {
    base::Time::Exploded time;
    (base::Time::Now() + base::TimeDelta::FromSeconds(second))
        .Explode(true, &time);
    others.push_back(folder.Append(GetInstallerLogFileName(time)));
    ASSERT_EQ(6, base::WriteFile(others.back(), "other\n", 6));
  }
  const base::FilePath lone =
      folder.Append(L"vexlo_installer_20161207091939.lock");
  const base::FilePath held =
      folder.Append(L"vexlo_installer_20161207091940.lock");
  ASSERT_EQ(0, base::WriteFile(lone, "", 0));
  const base::win::ScopedHandle holder(::CreateFileW(
      held.value().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  ASSERT_TRUE(holder.IsValid());
  // Without a front end, a backend ends right after opening its log.
  EXPECT_NE(0, RunPackageInstaller(L"--backend"));
  for (const base::FilePath& other : others) {
    std::string content;
    EXPECT_TRUE(base::ReadFileToString(other, &content));
    EXPECT_EQ("other\n", content);
  }
  EXPECT_NE(std::string::npos, Logs().find("] No front-end process given"));
  EXPECT_FALSE(base::PathExists(lone));
  EXPECT_TRUE(base::PathExists(held));
}

// From inside a package the controller runs the backend at once and
// answers its result; the statistics say how it ended, and why it failed.
TEST_F(SilentInstallerControllerTest, InstallsFromThePackageItRunsIn) {
  const RunningInThePackage in_package(package_, logs_.path());
  for (bool locked_file : {true, false}) {
    SCOPED_TRACE(locked_file ? "a package file locked" : "plain");
    base::win::ScopedHandle lock;
    if (locked_file) {
      lock.Set(::CreateFileW(
          package_.Append(base::UTF8ToUTF16(files_[1])).value().c_str(),
          GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    SilentInstallerController controller;
    EXPECT_EQ(!locked_file,
              controller.Run(settings_.get(), true, logs_.path()));
    const std::string record = StatsRecord(&controller);
    for (const std::string& part :
         {std::string("\"installation_success\":") + (locked_file ? "0" : "1"),
          std::string("\"tracking_data\":\"\""),
          std::string(locked_file
                          ? "\"failure_reason\":\"Failed copying res"
                          : "\"installation_operation\":\"installing\"")}) {
      EXPECT_NE(std::string::npos, record.find(part)) << part << record;
    }
    EXPECT_EQ(!locked_file,
              base::PathExists(install_.Append(L"installation_status.xml")));
  }
}

// A package that cannot be fetched ends the run in failure, says so in the
// statistics and installs nothing.
TEST_F(SilentInstallerControllerTest, AFailedFetchEndsTheRunInFailure) {
  base::FeatureRegistry::GetInstance()->RegisterFeature("installer-ui-stats",
                                                        true, true);
  HttpTestServer server;
  ASSERT_TRUE(server.Start());
  {
    const ScopedTempVariables scoped_temp(logs_.path());
    SilentInstallerController controller;
    EXPECT_FALSE(RunFetchingFrom(&controller, settings_.get(), package_,
                                 logs_.path(), server.Url("/status/404")));
    EXPECT_NE(std::string::npos,
              StatsRecord(&controller).find("\"installation_success\":0"));
  }
  EXPECT_FALSE(server.GetRequests().empty());
  EXPECT_FALSE(base::PathExists(install_));
  // The backend, started while the package was fetched, says why it ended.
  EXPECT_EQ(std::string::npos, Logs().find("Failed to open a handle"));
}

// A fetch that failed after its download leaves nothing in TEMP once the
// run has ended, while the controller is still there: the package does not
// wait for the controller's end (nor for its statistics upload).
TEST_F(SilentInstallerControllerTest, AFailedFetchLeavesNoPackageBehind) {
  HttpTestServer server;
  ASSERT_TRUE(server.Start());
  ASSERT_EQ(7, base::WriteFile(server.files_folder().Append(L"package.exe"),
                               "package", 7));
  const std::string reply =
      "{\"installer\": \"" +
      base::UTF16ToUTF8(server.Url("/files/package.exe")) +
      "\", \"installer_checksum\": \"0\"}";
  ASSERT_EQ(static_cast<int>(reply.size()),
            base::WriteFile(server.files_folder().Append(L"reply.json"),
                            reply.data(), static_cast<int>(reply.size())));
  SilentInstallerController controller;
  EXPECT_FALSE(RunFetchingFrom(&controller, settings_.get(), package_,
                               logs_.path(), server.Url("/files/reply.json")));
  EXPECT_EQ(2u, server.GetRequests().size());
  base::FileEnumerator left(
      logs_.path(), false,
      base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES,
      L"vexlo_installer_*");
  EXPECT_TRUE(left.Next().empty());
}

// A backend killed mid-installation with exit code 0 fails the run, in its
// result and in its statistics, and leaves nothing.
TEST_F(SilentInstallerControllerTest, ABackendKilledWithExitCodeZeroFails) {
  const ScopedInstallerConfiguration configuration;
  const RunningInThePackage in_package(package_, logs_.path());
  const Snapshot before = State();
  const base::FilePath copied =
      install_.Append(kVersion).Append(base::UTF8ToUTF16(files_[10]));
  kill_when_ = [&copied] {
    if (!base::PathExists(copied))
      return false;
    for (const base::Process& child :
         OpenChildProcesses(base::Process::Current())) {
      child.Terminate(0, false);
    }
    return true;
  };
  PollKill();
  SilentInstallerController controller;
  EXPECT_FALSE(controller.Run(settings_.get(), true, logs_.path()));
  kill_when_ = nullptr;
  EXPECT_NE(std::string::npos,
            StatsRecord(&controller).find("\"installation_success\":0"));
  EXPECT_EQ(std::vector<base::string16>(), ChangesSince(before));
}

// Nothing can be shown: a request for the window is answered with 0 on the
// asking thread, and its callback never runs.
TEST_F(SilentInstallerControllerTest, AnswersRequestsForTheWindowWithNo) {
  SilentInstallerController controller;
  bool ran = false;
  int32_t answer = -1;
  base::RunLoop run_loop;
  controller.RunUICallbackAndPostReply(base::Bind(&AnswerWithWindow, &ran),
                                       loop_.task_runner(),
                                       base::Bind(&StoreAnswer, &answer));
  EXPECT_EQ(-1, answer);
  loop_.PostTask(LOCATION_FROM_HERE("AnswersRequestsForTheWindowWithNo"),
                 run_loop.QuitClosure());
  run_loop.Run();
  EXPECT_EQ(0, answer);
  EXPECT_FALSE(ran);
}

// The backend's last messages reach the front end before its end, even when
// a flood of foreign datagrams keeps the front end's reading behind.
TEST_F(InstallerRunnerTest, HearsTheResultBeforeTheEndBehindAFlood) {
  ForeignMailslotProcess flood(L"spoof", InstallerChannelName(install_),
                               L"junk");
  RunInstallation();
  EXPECT_EQ(
      (std::vector<std::string>{"started", "total", "succeeded", "ended ok"}),
      recorder_.calls);
  EXPECT_EQ(recorder_.total_steps, recorder_.steps);
  runner_.Stop();
}

// A front end that makes no room in its mailslot for a while, as on a busy
// machine, while another process keeps it full: its backend's report of the
// finished installation still reaches it, and the run succeeds.
TEST_F(InstallerRunnerTest, HearsTheResultThoughAFloodHoldsItBack) {
  const base::Process front_end =
      StartPackageInstaller(SilentFrontEndArguments(install_));
  ASSERT_TRUE(front_end.IsValid());
  {
    ForeignMailslotProcess flood(L"spoof", InstallerChannelName(install_),
                                 L"junk");
    const base::FilePath subfolder = install_.Append(kVersion);
    for (int i = 0; i < 30000 && !base::PathExists(subfolder); ++i)
      ::Sleep(1);
    ASSERT_TRUE(base::PathExists(subfolder)) << "the installation never began";
    // The backend and the front end's crash reporter, which outlives it.
    const std::vector<base::Process> children = OpenChildProcesses(front_end);
    std::vector<HANDLE> handles;
    for (const base::Process& child : children)
      handles.push_back(child.Handle());
    ASSERT_FALSE(handles.empty());
    PausedProcess paused(front_end);
    // Until the backend ends, or long past the end of the installation.
    ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(),
                             FALSE, 10000);
  }
  // The backend's messages wait behind the pause: on a loaded machine they
  // take a while.
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(front_end.Handle(), 240000));
  DWORD exit_code = HOST_EXIT_INSTALLER_FAILED;
  ::GetExitCodeProcess(front_end.Handle(), &exit_code);
  EXPECT_EQ(static_cast<DWORD>(HOST_EXIT_SUCCESS), exit_code);
  EXPECT_TRUE(base::PathExists(install_.Append(L"installation_status.xml")));
}

// Anyone may write to the mailslot: a foreign "succeeded" does not make a
// failing installation succeed, nor a foreign failure end a good one. The
// backend's exit decides.
TEST_F(SilentInstallerControllerTest, ForeignMessagesDecideNothing) {
  const RunningInThePackage in_package(package_, logs_.path());
  const struct {
    bool locked_file;
    const wchar_t* spoofed;
  } cases[] = {{true, L"6"}, {false, L"5"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locked_file ? "failing, told it succeeded"
                               : "good, told it failed");
    base::win::ScopedHandle lock;
    if (c.locked_file) {
      lock.Set(::CreateFileW(
          package_.Append(base::UTF8ToUTF16(files_[1])).value().c_str(),
          GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    ForeignMailslotProcess spoofer(L"spoof", InstallerChannelName(install_),
                                   c.spoofed);
    SilentInstallerController controller;
    EXPECT_EQ(!c.locked_file,
              controller.Run(settings_.get(), true, logs_.path()));
    const std::string record = StatsRecord(&controller);
    EXPECT_NE(std::string::npos,
              record.find(std::string("\"installation_success\":") +
                          (c.locked_file ? "0" : "1")))
        << record;
    // A good installation keeps no failure's reason, a foreign one least.
    EXPECT_EQ(c.locked_file,
              record.find("\"failure_reason\"") != std::string::npos)
        << record;
    EXPECT_EQ(!c.locked_file,
              base::PathExists(install_.Append(L"installation_status.xml")));
  }
}

// A process that holds the folder's mailslot first would hear the backend in
// the front end's stead: the run does not start, and says why.
TEST_F(InstallerRunnerTest, AMailslotNameHeldByAnotherProcessStopsTheRun) {
  ForeignMailslotProcess squatter(L"squat", InstallerChannelName(install_));
  ASSERT_TRUE(squatter.WaitUntilReady());
  runner_.SetPackageReady();
  EXPECT_FALSE(runner_.StartInstallation(settings_.get()));
  EXPECT_EQ(
      (std::vector<std::string>{"failed 37050 Could not connect to mailslot"}),
      recorder_.calls);
  EXPECT_FALSE(runner_.backend_process().IsValid());
  runner_.Stop();

  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, RunSilentFrontEnd(install_));
  EXPECT_NE(std::string::npos, Logs().find("another process holds its name"));
  EXPECT_FALSE(base::PathExists(install_));
}

// A folder too long for its files fails in the backend; the front end hears
// the backend's own reason before its end, and nothing stays.
TEST_F(InstallerRunnerTest, ALongFolderFailsWithTheBackendsReason) {
  constexpr size_t kLongFolderLength = 240;
  base::string16 long_name = temp_.path().value() + L"\\Vexlo ";
  ASSERT_LT(long_name.size(), kLongFolderLength);
  long_name.append(kLongFolderLength - long_name.size(), L'x');
  const base::FilePath long_folder(long_name);
  const Snapshot before = State();
  std::unique_ptr<Settings> settings = MakeSettingsFor(long_folder, false);
  RunWith(&runner_, settings.get());
  runner_.Stop();
  const std::vector<std::string>& calls = recorder_.calls;
  ASSERT_LE(2u, calls.size()) << calls.back();
  EXPECT_EQ(0u, calls[calls.size() - 2].find("failed 370"))
      << calls[calls.size() - 2];
  EXPECT_EQ("ended", calls.back());
  EXPECT_EQ(std::vector<base::string16>(), ChangesSince(before));

  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, RunSilentFrontEnd(long_folder));
  EXPECT_FALSE(base::PathExists(long_folder));
  EXPECT_EQ(std::vector<base::string16>(), ChangesSince(before));
}

// A front end that died in another process holding the folder's mutex
// left it abandoned: the next front end takes it over and installs.
TEST_F(InstallerRunnerTest, TakesOverTheMutexOfAFrontEndThatDied) {
  const base::string16 name = InstallerRunner::GetMutexName(install_);
  // Held here, so that the mutex outlives the process that dies with it.
  base::win::ScopedHandle mutex(::CreateMutexW(nullptr, FALSE, name.c_str()));
  ASSERT_TRUE(mutex.IsValid());
  base::FilePath build;
  ASSERT_TRUE(base::PathService::Get(base::DIR_EXE, &build));
  base::CommandLine child(build.Append(L"mutex_holder_test_child.exe"));
  child.AppendArg(base::UTF16ToUTF8(name));
  const base::Process died = base::LaunchProcess(child, base::LaunchOptions());
  ASSERT_TRUE(died.IsValid());
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(died.Handle(), 30000));
  DWORD exit_code = 1;
  ASSERT_TRUE(::GetExitCodeProcess(died.Handle(), &exit_code));
  ASSERT_EQ(0u, exit_code) << "the child did not take the mutex";
  RunInstallation();
  EXPECT_EQ(
      (std::vector<std::string>{"started", "total", "succeeded", "ended ok"}),
      recorder_.calls);
  runner_.Stop();
}

namespace {

// Copies of every handle a process holds, found by trying each value a
// handle can have there.
class HandleCopies {
 public:
  explicit HandleCopies(HANDLE process) {
    constexpr uintptr_t kLastValue = 0x8000;
    for (uintptr_t value = 4; value <= kLastValue; value += 4) {
      HANDLE copy = nullptr;
      if (::DuplicateHandle(process, reinterpret_cast<HANDLE>(value),
                            ::GetCurrentProcess(), &copy, 0, FALSE,
                            DUPLICATE_SAME_ACCESS)) {
        copies_.push_back(copy);
      }
    }
  }
  HandleCopies(const HandleCopies&) = delete;
  HandleCopies& operator=(const HandleCopies&) = delete;
  ~HandleCopies() {
    for (HANDLE copy : copies_)
      ::CloseHandle(copy);
  }

  // How many of the copies are handles of |object|'s kernel object.
  int CountOf(HANDLE object) const {
    // Exported by kernelbase.dll alone, from Windows 10 on.
    using CompareFunction = BOOL(WINAPI*)(HANDLE, HANDLE);
    using AnyFunction = void (*)();
    const auto compare = reinterpret_cast<CompareFunction>(
        reinterpret_cast<AnyFunction>(::GetProcAddress(
            ::GetModuleHandleW(L"kernelbase.dll"), "CompareObjectHandles")));
    EXPECT_TRUE(compare) << "the platform cannot compare handles";
    int count = 0;
    for (HANDLE copy : copies_) {
      if (compare && compare(copy, object))
        ++count;
    }
    return count;
  }

 private:
  std::vector<HANDLE> copies_;
};

}  // namespace

// The backend inherits the handle of its front end's process that its
// command line names, and no other handle of the front end: neither the
// folder's mutex nor a handle that another part of the front end made
// inheritable.
TEST_F(InstallerRunnerTest, TheBackendInheritsOnlyTheFrontEndsHandle) {
  // The backend waits for the package meanwhile, so it is there to look at.
  const ScopedPathOverride own_executable(base::FILE_EXE,
                                          package_.Append(L"installer.exe"));
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  const base::win::ScopedHandle other(
      ::CreateEventW(&inheritable, TRUE, FALSE, nullptr));
  ASSERT_TRUE(other.IsValid());
  const base::win::ScopedHandle own(
      ::OpenProcess(SYNCHRONIZE, FALSE, ::GetCurrentProcessId()));
  ASSERT_TRUE(own.IsValid());
  int own_handles = -1;
  int mutex_handles = -1;
  int other_handles = -1;
  recorder_.on_started = [&]() {
    // The package's own backend reports its start too.
    if (own_handles != -1)
      return;
    const HANDLE backend = runner_.backend_process().Handle();
    const HandleCopies held(backend);
    const base::win::ScopedHandle mutex(::OpenMutexW(
        SYNCHRONIZE, FALSE, InstallerRunner::GetMutexName(install_).c_str()));
    EXPECT_TRUE(mutex.IsValid());
    // Only a backend still running held what was found.
    if (::WaitForSingleObject(backend, 0) == WAIT_TIMEOUT) {
      own_handles = held.CountOf(own.Get());
      mutex_handles = held.CountOf(mutex.Get());
      other_handles = held.CountOf(other.Get());
    }
    runner_.SetPackageReady();
  };
  RunInstallation(false);
  EXPECT_EQ("ended ok", recorder_.calls.back());
  EXPECT_EQ(1, own_handles);
  EXPECT_EQ(0, mutex_handles);
  EXPECT_EQ(0, other_handles);
  runner_.Stop();
}

}  // namespace installer
}  // namespace vexlo
