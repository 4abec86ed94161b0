// Runs the real installer, the host executable with the installer library,
// as a user would: in the program's folder, with a temporary folder (TMP and
// TEMP) of the test's own.

#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/files/file.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/test/unique_test_dir.h"
#include "base/threading/platform_thread.h"
#include "desktop/launcher/installer/host/installer_host_exit_codes.h"
#include "desktop/launcher/installer/test/installer_test_package.h"
#include "desktop/launcher/installer/ui/test/installer_window_driver.h"
#include "desktop/launcher/installer/ui/test/window_test_util.h"
#include "desktop/launcher/installer/wininet/test/http_test_server.h"
#include "desktop/windows/crash_reporter/test/crash_server_recorder.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr wchar_t kHostName[] = L"installer.exe";
constexpr wchar_t kLibraryName[] = L"vexlo_installer.dll";

std::string ReadWholeFile(const base::FilePath& path) {
  std::string content;
  base::ReadFileToString(path, &content);
  return content;
}

// Every file in and below |folder|, by its path relative to |folder|.
// The files under |folder|, but the log that every crash reporter a role
// started keeps in the temporary folder.
std::vector<std::string> ListFiles(const base::FilePath& folder) {
  static const std::string kReporterLog = "_crashreporter.log";
  std::vector<std::string> names;
  base::FileEnumerator enumerator(folder, true, base::FileEnumerator::FILES);
  for (base::FilePath file = enumerator.Next(); !file.empty();
       file = enumerator.Next()) {
    const std::string name = file.AsUTF8().substr(folder.AsUTF8().size() + 1);
    if (name.size() < kReporterLog.size() ||
        name.compare(name.size() - kReporterLog.size(), kReporterLog.size(),
                     kReporterLog) != 0) {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The installer's own lines of a log, as severity and message, the starting
// line without the command line.
std::string ReduceLog(const std::string& log) {
  const std::regex own_line(
      "\\[\\d{4}/\\d{6}:(\\w+):(?:installer_|run_directory|silent_installer)"
      "[^:]*\\(\\d+\\)\\] "
      "(.*?(Command line: |$)).*");
  std::string lines;
  std::istringstream stream(log);
  std::smatch parts;
  for (std::string line; std::getline(stream, line);) {
    if (std::regex_match(line, parts, own_line))
      lines += parts[1].str() + " " + parts[2].str() + "|";
  }
  return lines;
}

// The log a run should write, from a shorthand of lines ended by "|", in
// which "flags" and seven digits stand for the flag lines (uninstall,
// replace, silent, run immediately, backend, inside package, autoupdate),
// and the names below for the lines that every run of the roles writes.
std::string ExpandLog(const std::string& shorthand) {
  const std::map<std::string, std::string> kLines = {
      {"start",
       "VERBOSE1 Ensuring that TLS 1.0 is enabled|INFO Vexlo "
       "installer starting - version 12.0.1450.0 developerCommand "
       "line: "},
      {"refetch",
       "INFO Restarting package fetching, 1 of 3|INFO Restarting package "
       "fetching, 2 of 3|INFO Restarting package fetching, 3 of 3|WARNING "
       "Exceeded maximum number of fetcher retries, we won't retry until "
       "user decides to."},
      {"silent", "INFO Beginning installation"},
      {"legacy",
       "INFO It looks like we are autoupdating from the legacy "
       "updater.|INFO Recovered install folder from command line: "},
      {"folder", "VERBOSE1 Install folder from command line: "}};
  const char* const kFlags[] = {"Uninstall:", "Replace Talvik installation:",
                                "Silent:",    "Run Immediately",
                                "Backend",    "Inside package",
                                "Autoupdate:"};
  std::string log;
  for (const std::string& item : base::SplitString(
           shorthand, "|", base::KEEP_WHITESPACE, base::SPLIT_WANT_NONEMPTY)) {
    // Marks a run with the window, which writes nothing of its own.
    if (item == "window")
      continue;
    for (int i = 0; i < 7 && item.compare(0, 6, "flags ") == 0; ++i)
      log += std::string("INFO ") + kFlags[i] + item[6 + i] + "|";
    if (item.compare(0, 6, "flags ") != 0) {
      const size_t name_end = item.find(' ');
      const auto known = kLines.find(item.substr(0, name_end));
      log += known == kLines.end()
                 ? item
                 : known->second + (name_end == std::string::npos
                                        ? ""
                                        : item.substr(name_end + 1));
      log += "|";
    }
  }
  return log;
}

// |output| without the line of the crash reporter that a role started:
// in this build it ends at once and says so on the error stream it shares
// with the installer.
std::string WithoutReporterNotice(const std::string& output) {
  static const std::regex kNotice(
      "\\[[^\\]]*:ERROR:installer_main\\.cc\\(\\d+\\)\\] The crash "
      "reporter is not available in this build\\.\r?\n");
  return std::regex_replace(output, kNotice, "");
}

// Makes the size of the product configuration resource of |host| 0, which
// the library takes for a host built without one. A module loaded as a data
// file is the file as it is, so the resource's data entry, whose second
// field is the size, lies at the same offset in the file.
void EmptyProductConfiguration(const base::FilePath& host) {
  const HMODULE module =
      ::LoadLibraryExW(host.value().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(module);
  const HRSRC entry = ::FindResourceW(module, MAKEINTRESOURCEW(133), L"TXT");
  const uintptr_t offset = reinterpret_cast<uintptr_t>(entry) -
                           (reinterpret_cast<uintptr_t>(module) & ~3u);
  ::FreeLibrary(module);
  ASSERT_TRUE(entry);
  const char kNoSize[4] = {};
  ASSERT_EQ(4, base::File(host, base::File::FLAG_OPEN | base::File::FLAG_WRITE)
                   .Write(offset + 4, kNoSize, 4));
}

class InstallerMainTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(app_.IsValid() && temp_.IsValid() && io_.IsValid());
    ASSERT_TRUE(base::GetCurrentDirectory(&saved_current_directory_));
    ASSERT_TRUE(base::SetCurrentDirectory(io_.path()));
    for (const wchar_t* name : {L"TMP", L"TEMP"}) {
      wchar_t value[MAX_PATH] = {};
      ::GetEnvironmentVariableW(name, value, MAX_PATH);
      saved_environment_[name] = value;
      ::SetEnvironmentVariableW(name, temp_.path().value().c_str());
    }
  }
  void TearDown() override {
    for (const auto& variable : saved_environment_)
      ::SetEnvironmentVariableW(variable.first.c_str(),
                                variable.second.c_str());
    base::SetCurrentDirectory(saved_current_directory_);
  }

  // Empties the program's and the temporary folder and puts the host there,
  // with |library| (a file of the build) as its library.
  void Reset(const wchar_t* library = kLibraryName) {
    base::FilePath build;
    ASSERT_TRUE(base::PathService::Get(base::DIR_EXE, &build));
    for (const base::FilePath& folder : {app_.path(), temp_.path()}) {
      ASSERT_TRUE(DeleteOnceReleased(folder, true));
      ASSERT_TRUE(base::CreateDirectory(folder));
    }
    ASSERT_TRUE(base::CopyFile(build.Append(kHostName), Host()));
    if (library) {
      ASSERT_TRUE(base::CopyFile(build.Append(library),
                                 app_.path().Append(kLibraryName)));
    }
  }

  void AddAppFile(const wchar_t* name, const std::string& content) {
    ASSERT_EQ(static_cast<int>(content.size()),
              base::WriteFile(app_.path().Append(name), content.data(),
                              static_cast<int>(content.size())));
  }

  base::FilePath Host() const { return app_.path().Append(kHostName); }

  // Runs |host| with |arguments| in the program's folder; its exit code, or
  // -1, and its standard output and error in one. A run with the window
  // has it closed, as a user would, once |settled| holds.
  std::pair<int, std::string> Run(
      const base::string16& arguments,
      const base::FilePath& host,
      const std::function<bool()>& settled = nullptr) {
    const base::FilePath output_path = io_.path().Append(L"output.txt");
    DWORD exit_code = static_cast<DWORD>(-1);
    // A window takes the front of the display that the window tests share.
    std::unique_ptr<ScopedWindowTestLock> window_lock;
    if (settled)
      window_lock = std::make_unique<ScopedWindowTestLock>();
    {
      base::File output(
          output_path, base::File::FLAG_CREATE_ALWAYS | base::File::FLAG_WRITE);
      ::SetHandleInformation(output.GetPlatformFile(), HANDLE_FLAG_INHERIT,
                             HANDLE_FLAG_INHERIT);
      base::LaunchOptions options;
      options.inherit_handles = true;
      options.stdout_handle = options.stderr_handle = output.GetPlatformFile();
      EXPECT_TRUE(base::SetCurrentDirectory(app_.path()));
      const base::Process process = base::LaunchProcess(
          L"\"" + host.value() + L"\" " + arguments, options);
      EXPECT_TRUE(base::SetCurrentDirectory(io_.path()));
      if (process.IsValid() && settled)
        CloseWindow(process, settled);
      // Generous: a run ends within a second or two. Under heavy load Wine
      // has refused to start a process (error 1359), which says so.
      if (!process.IsValid()) {
        ADD_FAILURE() << "the installer did not start";
      } else if (::WaitForSingleObject(process.Handle(), 90000) !=
                 WAIT_OBJECT_0) {
        ADD_FAILURE() << "the installer did not end";
        process.Terminate(1, true);
      }
      ::GetExitCodeProcess(process.Handle(), &exit_code);
    }
    return {static_cast<int>(exit_code), ReadWholeFile(output_path)};
  }

  // Closes the window of |process| and confirms, once |settled| holds
  // (waiting at most a minute).
  void CloseWindow(const base::Process& process,
                   const std::function<bool()>& settled) {
    HWND window = WaitForProcessWindow(process.Pid());
    ASSERT_TRUE(window) << "no window";
    for (int i = 0; i < 600 && !settled(); ++i)
      base::PlatformThread::Sleep(base::TimeDelta::FromMilliseconds(100));
    EXPECT_TRUE(settled());
    const InstallerWindowDriver driver(process.Pid());
    EXPECT_TRUE(driver.Close());
    EXPECT_TRUE(
        driver.AnswerMessageBox(IDYES, base::TimeDelta::FromSeconds(60)));
  }

  // The installer's own lines of the first log in the temporary folder.
  std::string OwnLog() {
    for (const std::string& name : ListFiles(temp_.path())) {
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".log") == 0)
        return ReduceLog(ReadWholeFile(temp_.path().AppendASCII(name)));
    }
    return std::string();
  }

  base::UniqueTestDir app_;
  base::UniqueTestDir temp_;
  // The current directory between runs, where their output goes.
  base::UniqueTestDir io_;
  base::FilePath saved_current_directory_;
  std::map<base::string16, base::string16> saved_environment_;
};

// Each role answers and logs, and leaves no file in the program's folder,
// in real use the downloads folder: the roles that end before the log opens
// write no file at all, even when they fail. The first of version, internal
// version and stream wins, whatever the order on the line; the help goes to
// a console of its own. Installer preferences in the program's folder
// switch the test experiment on, and only an uninstallation reads them. The
// legacy updater's autoupdate passes the folder as the last argument, and
// an absolute one makes the run start at once with the window.
TEST_F(InstallerMainTest, RunsEachRoleAndLeavesNoFileBehind) {
  enum Folder { kPlain, kInstallation, kUnconfigured };
  const struct {
    const wchar_t* arguments;
    Folder folder;
    int exit_code;
    // In the standard output and error; all of it for a configured success.
    const char* output;
    const char* log;  // In the shorthand of ExpandLog; null for no log.
  } kCases[] = {
      {L"--version", kPlain, HOST_EXIT_SUCCESS, "12.0.1450.0", nullptr},
      {L"--internal-version --stream", kPlain, HOST_EXIT_SUCCESS, "1450.0",
       nullptr},
      {L"--stream --internal-version --version", kPlain, HOST_EXIT_SUCCESS,
       "12.0.1450.0", nullptr},
      {L"--help --set-folder-permission --crash-reporter-parent-id=1 --stream",
       kPlain, HOST_EXIT_SUCCESS, "developer", nullptr},
      {L"--help", kPlain, HOST_EXIT_SUCCESS, "", nullptr},
      {L"/? --set-folder-permission", kPlain, HOST_EXIT_SUCCESS, "", nullptr},
      // A reporter whose parent is not there ends at once, successfully.
      {L"--crash-reporter-parent-id=7 --help", kPlain, HOST_EXIT_SUCCESS, "",
       nullptr},
      // Without a user to grant to, the role has nothing to do.
      {L"--set-folder-permission", kPlain, HOST_EXIT_SUCCESS, "", nullptr},
      {L"--version", kUnconfigured, HOST_EXIT_SUCCESS, "12.0.1450.0", nullptr},
      {L"--silent", kUnconfigured, HOST_EXIT_INSTALLER_FAILED,
       "The product configuration resource is missing or empty.", ""},
      {L"--enable-installer-stats=0", kPlain, HOST_EXIT_INSTALLER_FAILED, "",
       "start|flags 0000000|download|refetch|window"},
      {L"--backend --silent", kPlain, HOST_EXIT_INSTALLER_FAILED, "",
       "start|flags 0010100|ERROR No front-end process given"},
      {L"--uninstall", kPlain, HOST_EXIT_INSTALLER_FAILED, "",
       "start|ERROR Requested to uninstall, but we are not in a valid "
       "installation folder"},
      {L"--uninstall --with-feature:installer-experiment-test=off",
       kInstallation, HOST_EXIT_INSTALLER_FAILED, "",
       "start|flags 1000010|INFO Test experiment is enabled|"
       "download|window"},
      {L"--silent --with-feature:installer-experiment-test=on"
       L" --enable-installer-stats=0",
       kPlain, HOST_EXIT_INSTALLER_FAILED, "",
       "start|flags 0010000|INFO Test experiment is enabled|"
       "download|silent"},
      {L"--installfolder --autoupdate --silent \"C:\\Legacy Place\\Vexlo\"",
       kPlain, HOST_EXIT_INSTALLER_FAILED, "",
       "start|folder|legacy C:\\Legacy Place\\Vexlo|INFO Configuring for "
       "legacy autoupdate.|flags 0001001|download|window"},
      {L"--installfolder= --autoupdate --silent --enable-installer-stats=0 "
       L"Legacy\\Vexlo",
       kPlain, HOST_EXIT_INSTALLER_FAILED, "",
       "start|folder|legacy|flags 0010001|download|silent"},
      {L"--installfolder=D:\\Vexlo --autoupdate --silent "
       L"--enable-installer-stats=0 C:\\Other",
       kPlain, HOST_EXIT_INSTALLER_FAILED, "",
       "start|folder D:\\Vexlo|flags 0010001|download|silent"},
      // The folder that "temp-folder" names gets the installer's folder,
      // which is not made there, and goes after the run when empty.
      {L"--silent --temp-folder=given --enable-installer-stats=0", kPlain,
       HOST_EXIT_INSTALLER_FAILED, "",
       "start|flags 0010000|INFO Installer download folder: "
       "given\\Vexlo Installer|silent"}};
  // Runs without an install folder start from the one the product
  // remembers, which a parallel test's installation may have just set: a
  // front end there would take that folder and, when its fetch fails,
  // interrupt the other test's backend. The product's registry is this
  // test's alone meanwhile.
  const ScopedProductRegistry registry(InstallerExecutableKeys());
  // A silent run without a package asks the update server for one; here a
  // server on this machine refuses at once.
  HttpTestServer server;
  ASSERT_TRUE(server.Start());
  const base::string16 no_package_server =
      L" --internal-package-server=" + server.Url("/status/404");
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.arguments << " " << c.folder);
    Reset();
    if (c.folder == kUnconfigured)
      EmptyProductConfiguration(Host());
    if (c.folder == kInstallation)
      AddAppFile(L"vexlo.exe", "browser");
    AddAppFile(L"installer_prefs.json",
               R"({"installer-experiments": ["installer-experiment-test@1"]})");
    ASSERT_TRUE(
        base::CreateDirectory(app_.path().Append(L"given\\Vexlo Installer")));
    const std::vector<std::string> app_files = ListFiles(app_.path());
    base::string16 arguments = c.arguments;
    const bool windowed =
        c.log && std::string(c.log).find("window") != std::string::npos;
    if (windowed || arguments.find(L"--silent") != base::string16::npos)
      arguments += no_package_server;
    std::string expected;
    if (c.log && *c.log) {
      expected = ExpandLog(c.log);
      const size_t download = expected.find("download|");
      if (download != std::string::npos) {
        expected.replace(download, 8,
                         "INFO Installer download folder: " +
                             temp_.path().Append(L"Vexlo Installer").AsUTF8());
      }
    }
    // The window is closed once the log holds all that the run writes
    // before the user acts.
    const std::pair<int, std::string> run =
        Run(arguments, Host(),
            windowed ? std::function<bool()>([&] {
              return OwnLog().compare(0, expected.size(), expected) == 0;
            })
                     : nullptr);
    EXPECT_EQ(c.exit_code, run.first);
    EXPECT_TRUE(c.exit_code == HOST_EXIT_SUCCESS && c.folder != kUnconfigured
                    ? WithoutReporterNotice(run.second) == c.output
                    : run.second.find(c.output) != std::string::npos)
        << run.second;
    EXPECT_EQ(app_files, ListFiles(app_.path()));
    const std::vector<std::string> logs = ListFiles(temp_.path());
    // A silent front end without a package, and a run that starts at once,
    // start the backend while the package is fetched; the backend's lines
    // follow its own, in the same file or, past a second's boundary, in the
    // next one.
    const bool starts_backend =
        arguments.find(L"--silent") != base::string16::npos &&
        arguments.find(L"--backend") == base::string16::npos;
    const size_t own_logs =
        starts_backend ? std::min<size_t>(logs.size(), 1u) : logs.size();
    ASSERT_EQ(c.log ? 1u : 0u, own_logs);
    ASSERT_LE(logs.size(), 2u);
    if (c.log && *c.log) {
      // Named by the product, in the installer's folder.
      EXPECT_EQ(0u, logs[0].find("Vexlo Installer\\vexlo_installer_"));
      const std::string raw_log =
          ReadWholeFile(temp_.path().AppendASCII(logs[0]));
      const std::string log = ReduceLog(raw_log);
      if (starts_backend && log.compare(0, expected.size(), expected) != 0) {
        // The folder's status and the package are fetched at once. A fetch
        // that fails before the status is known ends the run there: no
        // installation begins and no backend starts.
        static const std::string kBegun = "INFO Beginning installation|";
        ASSERT_EQ(kBegun, expected.substr(expected.size() - kBegun.size()));
        expected.resize(expected.size() - kBegun.size());
        EXPECT_EQ(expected, log);
        EXPECT_EQ(1u, logs.size());
        EXPECT_NE(std::string::npos,
                  raw_log.find("] Failed fetching the download URL"));
      } else {
        EXPECT_EQ(expected,
                  starts_backend ? log.substr(0, expected.size()) : log);
      }
    }
    EXPECT_EQ(std::wstring(c.arguments).find(L"--temp-folder=given") ==
                  std::wstring::npos,
              base::PathExists(app_.path().Append(L"given\\Vexlo Installer")));
  }
}

// An installer inside an installation's version folder belongs to the
// installation above it, where the launcher is; the batch of an
// uninstallation there runs after the permission role, whatever it achieved.
TEST_F(InstallerMainTest, RunsTheUninstallBatchOfTheInstallation) {
  Reset();
  const base::FilePath version_folder = app_.path().Append(L"12.0.1450.0");
  ASSERT_TRUE(base::CreateDirectory(version_folder));
  for (const wchar_t* name : {kHostName, kLibraryName}) {
    ASSERT_TRUE(
        base::CopyFile(app_.path().Append(name), version_folder.Append(name)));
  }
  const base::FilePath marker = io_.path().Append(L"batch_ran.txt");
  AddAppFile(L"k.bat",
             "@echo off\r\necho ran> \"" + marker.AsUTF8() + "\"\r\n");
  for (const base::FilePath& folder : {app_.path(), version_folder}) {
    SCOPED_TRACE(folder.AsUTF8());
    base::DeleteFile(marker, false);
    EXPECT_EQ(HOST_EXIT_SUCCESS,
              Run(L"--set-folder-permission --run-uninstall-bat",
                  folder.Append(kHostName))
                  .first);
    // The batch runs on its own; waits for its mark, for at most a minute.
    for (int i = 0; i < 600 && ReadWholeFile(marker) != "ran\r\n"; ++i)
      base::PlatformThread::Sleep(base::TimeDelta::FromMilliseconds(100));
    EXPECT_EQ("ran\r\n", ReadWholeFile(marker));
    AddAppFile(L"launcher.exe", "launcher");
  }
}

// Start-up joins the crash reporter that the command line names, here the
// test process listening as one, before the role runs.
TEST_F(InstallerMainTest, JoinsTheCrashReporterItIsGiven) {
  Reset();
  crash_reporter::CrashServerRecorder reporter;
  ASSERT_TRUE(reporter.Start());
  EXPECT_EQ(HOST_EXIT_SUCCESS,
            Run(L"--set-folder-permission --crash-reporter-pid=" +
                    base::UintToString16(::GetCurrentProcessId()),
                Host())
                .first);
  EXPECT_EQ(1u, reporter.connected().size());
  EXPECT_TRUE(reporter.WaitForExits(1));
  EXPECT_EQ(reporter.connected(), reporter.exited());
}

// The host runs the library beside it and returns its result, and fails
// cleanly without one, with one that lacks the entry point, and with one
// only in the current folder, which must not be run.
// The executable carries the installer itself: a lone copy, as the package
// check and the run directory start it, answers without any library, and a
// file by the library's old name beside it changes nothing.
using InstallerHostTest = InstallerMainTest;
TEST_F(InstallerHostTest, ALoneCopyAnswersTheInformationSwitches) {
  Reset(nullptr);
  AddAppFile(kLibraryName, "not a library");
  const struct {
    const wchar_t* arguments;
    const char* answer;
  } kCases[] = {{L"--version", "12.0.1450.0"},
                {L"--internal-version", "1450.0"},
                {L"--stream", "developer"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.arguments);
    EXPECT_EQ(std::make_pair(static_cast<int>(HOST_EXIT_SUCCESS),
                             std::string(c.answer)),
              Run(c.arguments, Host()));
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
