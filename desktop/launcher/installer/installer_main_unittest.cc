// Runs the real installer, the host executable with the installer library,
// as a user would, and checks what each start-up answers, logs and leaves
// behind. Each run gets folders of its own: the program's folder, which is
// also the current directory, and the temporary folder (TMP and TEMP).

#include <windows.h>

#include <algorithm>
#include <map>
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
#include "base/strings/string16.h"
#include "base/strings/string_split.h"
#include "base/strings/stringprintf.h"
#include "base/test/unique_test_dir.h"
#include "base/threading/platform_thread.h"
#include "base/time/time.h"
#include "desktop/launcher/installer/host/installer_host_exit_codes.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr wchar_t kHostName[] = L"installer.exe";
constexpr wchar_t kLibraryName[] = L"vexlo_installer.dll";
// The host's product configuration names the product "Vexlo", with the
// browser executable "vexlo.exe".
constexpr wchar_t kInstallerFolderName[] = L"Vexlo Installer";
constexpr char kNoConfiguration[] =
    "The product configuration resource is missing or empty.";

std::string ReadWholeFile(const base::FilePath& path) {
  std::string content;
  base::ReadFileToString(path, &content);
  return content;
}

// Every file in and below |folder|, by its path relative to |folder|.
std::vector<std::string> ListFiles(const base::FilePath& folder) {
  std::vector<std::string> names;
  base::FileEnumerator enumerator(folder, true, base::FileEnumerator::FILES);
  for (base::FilePath file = enumerator.Next(); !file.empty();
       file = enumerator.Next()) {
    names.push_back(file.AsUTF8().substr(folder.AsUTF8().size() + 1));
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The log a run should write, from a shorthand of lines separated by "|":
// "flags" and seven digits stand for the flag lines (uninstall, replace,
// silent, run immediately, backend, inside package, autoupdate), "download"
// for the download folder line, and the names below for the lines of the
// services this build lacks. Every log starts alike.
std::vector<std::string> ExpandLog(const std::string& shorthand,
                                   const base::FilePath& download_folder) {
  const std::string missing = " is not available in this build.";
  const std::map<std::string, std::string> kLines = {
      {"pool",
       "VERBOSE1 The preferences worker pool is not available in this "
       "build; nothing waits for preference writes at exit."},
      {"settings",
       "ERROR The installer settings are not available in this "
       "build."},
      {"window", "ERROR The installer UI controller" + missing},
      {"silent", "ERROR The silent installer controller" + missing},
      {"backend", "ERROR The installer backend" + missing}};
  const char* const kFlags[] = {"Uninstall:", "Replace Talvik installation:",
                                "Silent:",    "Run Immediately",
                                "Backend",    "Inside package",
                                "Autoupdate:"};
  std::vector<std::string> lines = {
      "VERBOSE1 Ensuring that TLS 1.0 is enabled",
      "INFO Vexlo installer starting - version 12.0.1450.0 developerCommand "
      "line: ",
      "WARNING Crash reporting is not available in this build; no crash "
      "reporter watches this process."};
  for (const std::string& item : base::SplitString(
           shorthand, "|", base::KEEP_WHITESPACE, base::SPLIT_WANT_ALL)) {
    if (item.compare(0, 6, "flags ") == 0) {
      for (int i = 0; i < 7; ++i)
        lines.push_back(std::string("INFO ") + kFlags[i] + item[6 + i]);
    } else if (item == "download") {
      lines.push_back("INFO Installer download folder: " +
                      download_folder.AsUTF8());
    } else {
      lines.push_back(kLines.count(item) ? kLines.at(item) : item);
    }
  }
  return lines;
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
    // The runs inherit them.
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

  // Puts the host and its library into |folder|.
  static void InstallHost(const base::FilePath& folder,
                          bool configured = true) {
    base::FilePath build;
    ASSERT_TRUE(base::PathService::Get(base::DIR_EXE, &build));
    for (const wchar_t* name : {kHostName, kLibraryName})
      ASSERT_TRUE(base::CopyFile(build.Append(name), folder.Append(name)));
    if (!configured)
      EmptyProductConfiguration(folder.Append(kHostName));
  }

  void AddAppFile(const wchar_t* name, const std::string& content) {
    ASSERT_EQ(static_cast<int>(content.size()),
              base::WriteFile(app_.path().Append(name), content.data(),
                              static_cast<int>(content.size())));
  }

  // Runs the host of |folder| with |arguments|, in the program's folder;
  // its exit code, or -1, and its standard output and error, in one.
  std::pair<int, std::string> Run(const base::string16& arguments,
                                  const base::FilePath& folder) {
    const base::FilePath output_path = io_.path().Append(L"output.txt");
    DWORD exit_code = static_cast<DWORD>(-1);
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
          L"\"" + folder.Append(kHostName).value() + L"\" " + arguments,
          options);
      EXPECT_TRUE(base::SetCurrentDirectory(io_.path()));
      // Generous: a run ends within a second or two.
      if (::WaitForSingleObject(process.Handle(), 90000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the installer did not end";
        process.Terminate(1, true);
      }
      ::GetExitCodeProcess(process.Handle(), &exit_code);
    }
    return {static_cast<int>(exit_code), ReadWholeFile(output_path)};
  }

  // The installer's own lines, as severity and message, of the one file in
  // the temporary folder; the starting line without the command line.
  std::vector<std::string> ReadLog() const {
    const std::vector<std::string> files = ListFiles(temp_.path());
    EXPECT_EQ(1u, files.size());
    const std::regex own_line(
        "\\[\\d{4}/\\d{6}:(\\w+):(?:installer_|run_directory)[^:]*\\(\\d+\\)"
        "\\] (.*?(Command line: |$)).*");
    std::vector<std::string> lines;
    std::istringstream log(
        files.empty() ? "" : ReadWholeFile(temp_.path().AppendASCII(files[0])));
    std::smatch parts;
    for (std::string line; std::getline(log, line);) {
      if (std::regex_match(line, parts, own_line))
        lines.push_back(parts[1].str() + " " + parts[2].str());
    }
    return lines;
  }

  base::FilePath InstallerFolder() const {
    return temp_.path().Append(kInstallerFolderName);
  }

  base::UniqueTestDir app_;
  base::UniqueTestDir temp_;
  // The current directory between runs, where their output goes.
  base::UniqueTestDir io_;
  base::FilePath saved_current_directory_;
  std::map<base::string16, base::string16> saved_environment_;
};

// The roles that end before the log is opened answer, and leave no file
// anywhere: in real use the program's folder is the downloads folder. The
// first of version, internal version and stream wins, whatever the order on
// the line; the help goes to a console of its own.
TEST_F(InstallerMainTest, RolesBeforeTheLogLeaveNoFileBehind) {
  const struct {
    const wchar_t* arguments;
    bool configured;
    int exit_code;
    const char* output;
    const char* error;  // Beside the output; "" for none.
  } kCases[] = {
      {L"--version", true, HOST_EXIT_SUCCESS, "12.0.1450.0", ""},
      {L"--internal-version --stream", true, HOST_EXIT_SUCCESS, "1450.0", ""},
      {L"--stream", true, HOST_EXIT_SUCCESS, "developer", ""},
      {L"--stream --internal-version --version", true, HOST_EXIT_SUCCESS,
       "12.0.1450.0", ""},
      {L"--help --set-folder-permission --crash-reporter-parent-id=1 --stream",
       true, HOST_EXIT_SUCCESS, "developer", ""},
      {L"--help", true, HOST_EXIT_SUCCESS, "", ""},
      {L"/? --set-folder-permission", true, HOST_EXIT_SUCCESS, "", ""},
      {L"--crash-reporter-parent-id=7 --help", true, HOST_EXIT_INSTALLER_FAILED,
       "", "The crash reporter is not available in this build."},
      {L"--set-folder-permission", true, HOST_EXIT_INSTALLER_FAILED, "",
       "Granting folder permissions is not available in this build."},
      {L"--version", false, HOST_EXIT_SUCCESS, "12.0.1450.0", kNoConfiguration},
      // The log opens, in the temporary folder, after the failure.
      {L"--silent", false, HOST_EXIT_INSTALLER_FAILED, "", kNoConfiguration}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.arguments << " " << c.configured);
    for (const base::FilePath& folder : {app_.path(), temp_.path()}) {
      ASSERT_TRUE(base::DeleteFile(folder, true));
      ASSERT_TRUE(base::CreateDirectory(folder));
    }
    InstallHost(app_.path(), c.configured);
    const std::pair<int, std::string> run = Run(c.arguments, app_.path());
    EXPECT_EQ(c.exit_code, run.first);
    const std::string& output = run.second;
    EXPECT_TRUE(*c.error ? output.find(c.error) != std::string::npos &&
                               output.find(c.output) != std::string::npos
                         : output == c.output)
        << output;
    EXPECT_EQ(
        std::vector<std::string>({"installer.exe", "vexlo_installer.dll"}),
        ListFiles(app_.path()));
    const bool opens_log = !c.configured && c.exit_code != HOST_EXIT_SUCCESS;
    EXPECT_EQ(opens_log ? 1u : 0u, ListFiles(temp_.path()).size());
  }
}

// An installer inside an installation's version folder belongs to the
// installation above it, where the launcher is; the batch of an
// uninstallation there runs after the permission role, whatever it achieved.
TEST_F(InstallerMainTest, RunsTheUninstallBatchOfTheInstallation) {
  const base::FilePath version_folder = app_.path().Append(L"12.0.1450.0");
  ASSERT_TRUE(base::CreateDirectory(version_folder));
  const base::FilePath marker = io_.path().Append(L"batch_ran.txt");
  AddAppFile(L"k.bat",
             "@echo off\r\necho ran> \"" + marker.AsUTF8() + "\"\r\n");
  for (const base::FilePath& folder : {app_.path(), version_folder}) {
    SCOPED_TRACE(folder.AsUTF8());
    base::DeleteFile(marker, false);
    InstallHost(folder);
    EXPECT_EQ(
        HOST_EXIT_INSTALLER_FAILED,
        Run(L"--set-folder-permission --run-uninstall-bat", folder).first);
    // The batch runs on its own; waits for its mark, for at most a minute.
    for (int i = 0; i < 600 && ReadWholeFile(marker) != "ran\r\n"; ++i)
      base::PlatformThread::Sleep(base::TimeDelta::FromMilliseconds(100));
    EXPECT_EQ("ran\r\n", ReadWholeFile(marker));
    AddAppFile(L"launcher.exe", "launcher");
  }
}

// The program's folder holds installer preferences that switch the test
// experiment on; only an uninstallation reads them, every other run takes
// the command line's experiments.
TEST_F(InstallerMainTest, LogsTheStartUpOfEachRole) {
  const struct {
    const wchar_t* arguments;
    bool browser;          // Beside the installer, as in an installation.
    const char* expected;  // In the shorthand of ExpandLog.
  } kCases[] = {
      {L"", false, "flags 0000000|pool|settings|download|window"},
      // The backend needs no download folder.
      {L"--backend --silent", false, "flags 0010100|pool|settings|backend"},
      {L"--uninstall", false,
       "ERROR Requested to uninstall, but we are not in a valid installation "
       "folder"},
      {L"--uninstall --with-feature:installer-experiment-test=off", true,
       "flags 1000010|pool|INFO Test experiment is enabled|settings|download|"
       "window"},
      {L"--silent --with-feature:installer-experiment-test=on", false,
       "flags 0010000|pool|INFO Test experiment is enabled|settings|download|"
       "silent"},
      // The legacy updater's autoupdate: the folder is the last argument,
      // and an absolute one makes the run start at once with the window.
      {L"--installfolder --autoupdate --silent \"C:\\Legacy Place\\Vexlo\"",
       false,
       "VERBOSE1 Install folder from command line: |INFO It looks like we are "
       "autoupdating from the legacy updater.|INFO Recovered install folder "
       "from command line: C:\\Legacy Place\\Vexlo|INFO Configuring for legacy "
       "autoupdate.|flags 0001001|pool|settings|download|window"},
      {L"--installfolder= --autoupdate --silent Legacy\\Vexlo", false,
       "VERBOSE1 Install folder from command line: |INFO It looks like we are "
       "autoupdating from the legacy updater.|INFO Recovered install folder "
       "from command line: |flags 0010001|pool|settings|download|silent"},
      {L"--installfolder=D:\\Vexlo --autoupdate --silent C:\\Other", false,
       "VERBOSE1 Install folder from command line: D:\\Vexlo|flags 0010001|"
       "pool|settings|download|silent"}};
  // "YYYYMMDDhhmmss" of the local time, as log file names carry it.
  auto stamp_now = [] {
    base::Time::Exploded t;
    base::Time::Now().Explode(true, &t);
    return base::StringPrintf("%04d%02d%02d%02d%02d%02d", t.year, t.month,
                              t.day_of_month, t.hour, t.minute, t.second);
  };
  InstallHost(app_.path());
  AddAppFile(L"installer_prefs.json",
             R"({"installer-experiments": ["installer-experiment-test@1"]})");
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.arguments);
    ASSERT_TRUE(base::DeleteFile(InstallerFolder(), true));
    base::DeleteFile(app_.path().Append(L"vexlo.exe"), false);
    if (c.browser)
      AddAppFile(L"vexlo.exe", "browser");
    const std::string before = stamp_now();
    EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, Run(c.arguments, app_.path()).first);
    const std::string after = stamp_now();
    EXPECT_EQ(ExpandLog(c.expected, InstallerFolder()), ReadLog());
    // The log is named by its start time.
    const std::vector<std::string> files = ListFiles(InstallerFolder());
    ASSERT_EQ(1u, files.size());
    EXPECT_TRUE(
        std::regex_match(files[0], std::regex("vexlo_installer_\\d{14}\\.log")))
        << files[0];
    EXPECT_LE(before, files[0].substr(16, 14));
    EXPECT_GE(after, files[0].substr(16, 14));
  }
}

// The folder that "temp-folder" names gets the installer's folder, which is
// not created there and goes after the run only when empty.
TEST_F(InstallerMainTest, UsesTheGivenTemporaryFolder) {
  InstallHost(app_.path());
  const base::FilePath given = io_.path().Append(L"given");
  const base::FilePath folder = given.Append(kInstallerFolderName);
  for (int files_there : {-1, 0, 1}) {  // -1: no folder at all.
    SCOPED_TRACE(files_there);
    ASSERT_TRUE(base::DeleteFile(InstallerFolder(), true));
    if (files_there >= 0)
      base::CreateDirectory(folder);
    if (files_there > 0)
      base::WriteFile(folder.Append(L"keep"), "keep", 4);
    Run(L"--silent \"--temp-folder=" + given.value() + L"\"", app_.path());
    EXPECT_EQ(ExpandLog("flags 0010000|pool|settings|download|silent", folder),
              ReadLog());
    EXPECT_EQ(files_there > 0, base::PathExists(folder));
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
