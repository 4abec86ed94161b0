#include "desktop/launcher/installer/installer_backend.h"

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/base_paths.h"
#include "base/bind.h"
#include "base/features/feature_registry.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/run_loop.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/unique_test_dir.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/host/installer_host_exit_codes.h"
#include "desktop/launcher/installer/installer_runner.h"
#include "desktop/launcher/installer/settings.h"
#include "desktop/launcher/installer/silent_installer_controller.h"
#include "desktop/launcher/installer/test/installer_test_package.h"
#include "desktop/launcher/installer/test/scoped_path_override.h"
#include "desktop/launcher/installer/test/status_waiter.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

namespace {

using Snapshot = std::map<base::string16, std::string>;

// The product as the installer's own configuration names it.
constexpr wchar_t kVersion[] = L"12.0.1450.0";
constexpr wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vexlo "
    L"12.0.1450.0";
constexpr int kPackageFiles = 300;

std::vector<ScopedProductRegistry::Key> ProductKeys() {
  std::vector<ScopedProductRegistry::Key> keys;
  for (const wchar_t* key :
       {kUninstallKey, L"Software\\Classes\\Vexlodeveloper",
        L"Software\\Classes\\.vxe", L"Software\\Classes\\.vxdownload",
        L"Software\\Classes\\.htm", L"Software\\Classes\\.html",
        L"Software\\Classes\\.pdf", L"Software\\Classes\\.shtml",
        L"Software\\Classes\\.xht", L"Software\\Classes\\.xhtml",
        L"Software\\Clients\\StartMenuInternet\\Vexlodeveloper",
        L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\"
        L"Compatibility Assistant\\Persisted",
        L"Software\\Vexlo"}) {
    keys.push_back({HKEY_CURRENT_USER, key, false, L""});
  }
  keys.push_back({HKEY_CURRENT_USER, L"Software\\RegisteredApplications", true,
                  L"Vexlo developer"});
  return keys;
}

// Points TMP and TEMP of this process, and so of the processes it
// starts, at a folder while it lives.
class ScopedTempVariables {
 public:
  explicit ScopedTempVariables(const base::FilePath& folder) {
    for (const wchar_t* name : {L"TMP", L"TEMP"}) {
      wchar_t value[MAX_PATH] = {};
      ::GetEnvironmentVariableW(name, value, MAX_PATH);
      saved_[name] = value;
      ::SetEnvironmentVariableW(name, folder.value().c_str());
    }
  }
  ~ScopedTempVariables() {
    for (const auto& variable : saved_)
      ::SetEnvironmentVariableW(variable.first.c_str(),
                                variable.second.c_str());
  }

 private:
  std::map<base::string16, base::string16> saved_;
};

// The installer executable of the build with a package around it, run as
// a backend whose front end is the test.
class InstallerBackendTest : public testing::Test {
 protected:
  InstallerBackendTest()
      : package_(temp_.path().Append(L"package")),
        install_(temp_.path().Append(L"Vexlo")),
        registry_(ProductKeys()) {}

  void SetUp() override {
    base::FilePath build;
    ASSERT_TRUE(base::PathService::Get(base::DIR_EXE, &build));
    files_ = WriteTestPackage(package_, kPackageFiles,
                              {"vexlo_installer.dll", "installer.exe"});
    // The installer carries its library; the launcher and the browser are
    // stand-ins.
    for (const wchar_t* name : {L"installer.exe", L"vexlo_installer.dll"})
      ASSERT_TRUE(base::CopyFile(build.Append(name), package_.Append(name)));
    ASSERT_TRUE(base::CopyFile(build.Append(L"installer.exe"),
                               package_.Append(L"launcher.exe")));
    ASSERT_TRUE(base::CopyFile(build.Append(L"installer.exe"),
                               package_.Append(L"res\\vexlo.exe")));
    interrupted_.Set(::CreateEventW(nullptr, TRUE, FALSE,
                                    InterruptedEventName(install_).c_str()));
    ASSERT_TRUE(interrupted_.IsValid());
  }

  // The backend's exit code. The taskbar verbs do not work on the test
  // platform, so the run does not pin.
  int RunBackend() {
    return RunPackageInstaller(
        L"--backend --install --allusers=0 --pintotaskbar=0 "
        L"\"--installfolder=" +
        install_.value() + L"\" --initial-pid=" +
        base::UTF8ToUTF16(base::UintToString(::GetCurrentProcessId())));
  }

  base::Process StartPackageInstaller(const base::string16& arguments) {
    ScopedTempVariables scoped_temp(logs_.path());
    return base::LaunchProcess(
        L"\"" + package_.Append(L"installer.exe").value() + L"\" " + arguments,
        base::LaunchOptions());
  }

  // Runs the package's installer with |arguments| to its end; its exit
  // code.
  int RunPackageInstaller(const base::string16& arguments) {
    const base::Process process = StartPackageInstaller(arguments);
    EXPECT_TRUE(process.IsValid());
    if (::WaitForSingleObject(process.Handle(), 120000) != WAIT_OBJECT_0) {
      ADD_FAILURE() << "the installer did not end";
      process.Terminate(1, true);
    }
    DWORD exit_code = 1;
    ::GetExitCodeProcess(process.Handle(), &exit_code);
    return static_cast<int>(exit_code);
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

// The first running process that |parent| started, opened for waiting.
base::win::ScopedHandle OpenChildProcess(DWORD parent) {
  base::win::ScopedHandle snapshot(
      ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
       more = ::Process32NextW(snapshot.Get(), &entry)) {
    if (entry.th32ParentProcessID == parent) {
      return base::win::ScopedHandle(
          ::OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID));
    }
  }
  return base::win::ScopedHandle();
}

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

// The front end's side: a runner in the test, with the built installer as
// the package's, or the whole silent front end run from the package.
class InstallerRunnerTest : public InstallerBackendTest {
 protected:
  InstallerRunnerTest() : runner_(package_) {
    base::CommandLine::Init();
    base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
    command_line.ParseFromString(L"installer.exe" +
                                 base::string16(kFrontEndSwitches));
    settings_ = std::make_unique<Settings>(false, true, false, install_, false,
                                           command_line);
    StatusWaiter wait(settings_.get());
    runner_.AddObserver(&recorder_);
  }

  // Starts the backend, for a package that is ready unless
  // |package_ready| is false, and runs the loop until it has ended.
  void RunInstallation(bool package_ready = true) {
    ScopedTempVariables scoped_temp(logs_.path());
    if (package_ready)
      runner_.SetPackageReady();
    ASSERT_TRUE(runner_.StartInstallation(settings_.get()));
    EXPECT_FALSE(settings_->editable());
    base::RunLoop run_loop;
    recorder_.quit = run_loop.QuitClosure();
    loop_.PostDelayedTask(LOCATION_FROM_HERE("InstallerRunnerTest"),
                          run_loop.QuitClosure(),
                          base::TimeDelta::FromSeconds(120));
    run_loop.Run();
    ASSERT_FALSE(recorder_.calls.empty());
    ASSERT_EQ(0u, recorder_.calls.back().find("ended")) << "no end came";
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

  void SetUp() override {
    InstallerBackendTest::SetUp();
    // What makes the package's installer know that it runs from a package.
    base::FilePath build;
    ASSERT_TRUE(base::PathService::Get(base::DIR_EXE, &build));
    ASSERT_TRUE(base::CopyFile(build.Append(L"installer.exe"),
                               package_.Append(L"vexlo.exe")));
  }

  base::MessageLoop loop_;
  FrontEndRecorder recorder_;
  std::unique_ptr<Settings> settings_;
  InstallerRunner runner_;
};

using SilentInstallerControllerTest = InstallerRunnerTest;

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
  // Exactly the listed files, the root files and the launcher.
  Snapshot expected;
  expected[L"."] = "<dir>";
  for (const wchar_t* folder : {kVersion}) {
    const base::string16 subfolder = folder;
    expected[subfolder] = "<dir>";
    expected[subfolder + L"\\res"] = "<dir>";
    expected[subfolder + L"\\res\\deep"] = "<dir>";
  }
  for (const std::string& file : files_) {
    std::string content;
    const base::string16 name = base::UTF8ToUTF16(file);
    ASSERT_TRUE(base::ReadFileToString(package_.Append(name), &content));
    expected[base::string16(kVersion) + L"\\" + name] = content;
  }
  for (const wchar_t* name :
       {L"launcher.exe", L"vexlo_installer.dll", L"installer.exe"}) {
    std::string content;
    ASSERT_TRUE(base::ReadFileToString(package_.Append(name), &content));
    expected[name] = content;
  }
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
    if (!kill) {
      EXPECT_EQ(before, State());
    }
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
  const base::win::ScopedHandle backend = OpenChildProcess(front_end.Pid());
  ASSERT_TRUE(backend.IsValid());
  ASSERT_TRUE(front_end.Terminate(1, true));
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(backend.Get(), 60000));
  EXPECT_EQ(before, State());
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

// From inside a package the controller runs the backend at once and
// answers its result; the statistics say how it ended, and why it failed.
TEST_F(SilentInstallerControllerTest, InstallsFromThePackageItRunsIn) {
  base::FeatureRegistry::GetInstance()->RegisterFeature("installer-ui-stats",
                                                        true, true);
  const ScopedPathOverride own_folder(base::DIR_EXE, package_);
  const ScopedPathOverride own_executable(base::FILE_EXE,
                                          package_.Append(L"installer.exe"));
  ScopedTempVariables scoped_temp(logs_.path());
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

// Without a package fetcher the run ends at once in failure and says why in
// the statistics; no backend starts.
TEST_F(SilentInstallerControllerTest, FailsWithoutAPackageFetcher) {
  base::FeatureRegistry::GetInstance()->RegisterFeature("installer-ui-stats",
                                                        true, true);
  // Should a backend start after all, let it be the package's, not this
  // test program.
  const ScopedPathOverride own_executable(base::FILE_EXE,
                                          package_.Append(L"installer.exe"));
  SilentInstallerController controller;
  EXPECT_FALSE(controller.Run(settings_.get(), false, logs_.path()));
  const std::string record = StatsRecord(&controller);
  for (const char* part :
       {"\"installation_success\":0", "\"failure_reason\":\"Fetcher error\""}) {
    EXPECT_NE(std::string::npos, record.find(part)) << part;
  }
  EXPECT_FALSE(base::PathExists(install_));
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

}  // namespace installer
}  // namespace vexlo
