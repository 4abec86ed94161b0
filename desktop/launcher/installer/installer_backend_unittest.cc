#include "desktop/launcher/installer/installer_backend.h"

#include <windows.h>

#include <tlhelp32.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/base_paths.h"
#include "base/bind.h"
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
#include "desktop/launcher/installer/test/installer_test_package.h"
#include "desktop/launcher/installer/test/status_waiter.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

namespace {

using Snapshot = std::map<base::string16, std::string>;

// The product as the installer's own configuration names it.
constexpr wchar_t kVersion[] = L"12.0.1450.0";
constexpr const wchar_t* kUninstallKey = kInstallerExecutableUninstallKey;
constexpr int kPackageFiles = 300;

// The installer executable of the build with a package around it, run as
// a backend whose front end is the test.
class InstallerBackendTest : public testing::Test {
 protected:
  InstallerBackendTest()
      : package_(temp_.path().Append(L"package")),
        install_(temp_.path().Append(L"Vexlo")),
        registry_(InstallerExecutableKeys()) {}

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

  // Runs the package's installer with |arguments| to its end; its exit
  // code.
  int RunPackageInstaller(const base::string16& arguments) {
    return RunToEnd(L"\"" + package_.Append(L"installer.exe").value() + L"\" " +
                    arguments);
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
  base::win::ScopedHandle interrupted_;
  std::vector<std::string> files_;
};

// What a front end hears, one entry per call but the steps, which are
// counted; the end of the backend ends the loop that waits for it.
class FrontEndRecorder : public InstallerObserver {
 public:
  void OnInstallationStarted() override { calls.push_back("started"); }
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

  // Starts the backend and runs the loop until it has ended.
  void RunInstallation() {
    runner_.SetPackageReady();
    ASSERT_TRUE(runner_.StartInstallation(settings_.get()));
    base::RunLoop run_loop;
    recorder_.quit = run_loop.QuitClosure();
    loop_.PostDelayedTask(LOCATION_FROM_HERE("InstallerRunnerTest"),
                          run_loop.QuitClosure(),
                          base::TimeDelta::FromSeconds(120));
    run_loop.Run();
    ASSERT_FALSE(recorder_.calls.empty());
    ASSERT_EQ(0u, recorder_.calls.back().find("ended")) << "no end came";
  }

  // Runs the package's installer as a silent front end with |switches|,
  // its temporary folder the test's; its exit code.
  int RunSilentFrontEnd(const base::FilePath& install_folder) {
    const base::FilePath temp = temp_.path().Append(L"tmp");
    EXPECT_TRUE(base::CreateDirectory(temp));
    ScopedTempVariables scoped_temp(temp);
    return RunPackageInstaller(L"--silent \"--installfolder=" +
                               install_folder.value() + L"\"" +
                               kFrontEndSwitches);
  }

  // Every log line that the processes of the runs wrote.
  std::string Logs() {
    std::string all;
    base::FileEnumerator logs(temp_.path().Append(L"tmp"), true,
                              base::FileEnumerator::FILES);
    for (base::FilePath log = logs.Next(); !log.empty(); log = logs.Next()) {
      if (log.Extension() != L".log")
        continue;
      std::string text;
      base::ReadFileToString(log, &text);
      all += text;
    }
    return all;
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
// order, before it ends; while the run holds the folder, a second front end
// for it is refused, and one for another folder is not.
TEST_F(InstallerRunnerTest, HearsEveryStepAndTheResultAndHoldsTheFolder) {
  RunInstallation();
  EXPECT_EQ(
      (std::vector<std::string>{"started", "total", "succeeded", "ended ok"}),
      recorder_.calls);
  EXPECT_GT(recorder_.total_steps, kPackageFiles);
  EXPECT_EQ(recorder_.total_steps, recorder_.steps);
  EXPECT_TRUE(base::PathExists(install_.Append(L"installation_status.xml")));

  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, RunSilentFrontEnd(install_));
  EXPECT_NE(std::string::npos, Logs().find("Could not acquire installer mutex"))
      << Logs();
  runner_.Stop();
}

}  // namespace installer
}  // namespace vexlo
