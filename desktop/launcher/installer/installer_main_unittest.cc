// Runs the real installer, the host executable with the installer library,
// as a user would, and checks what each start-up answers, prints and logs.
// Each run gets a temporary folder of its own (TMP and TEMP), so that its
// log file is the only one there.

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/base_paths.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/strings/string16.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
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
// The product configuration of the host executable names the product
// "Vexlo" with the browser executable "vexlo.exe".
constexpr wchar_t kInstallerFolderName[] = L"Vexlo Installer";
constexpr char kStartingLine[] =
    "INFO Vexlo installer starting - version 12.0.1450.0 developerCommand "
    "line: ";

// Generous: a run ends within a second or two.
constexpr DWORD kRunTimeoutMs = 90000;

// What one run of the installer left behind.
struct InstallerRun {
  int exit_code = -1;
  std::string output;
  std::string errors;
};

base::FilePath GetBuildFolder() {
  base::FilePath folder;
  EXPECT_TRUE(base::PathService::Get(base::DIR_EXE, &folder));
  return folder;
}

std::string ReadWholeFile(const base::FilePath& path) {
  std::string content;
  base::ReadFileToString(path, &content);
  return content;
}

// A batch file that writes "ran" into |marker|.
std::string MakeMarkingBatch(const base::FilePath& marker) {
  return "@echo off\r\necho ran> \"" + marker.AsUTF8() + "\"\r\n";
}

// Batch files run on their own: waits, for at most a minute, until one has
// written its mark.
bool WaitForBatchMark(const base::FilePath& marker) {
  for (int i = 0; i < 600; ++i) {
    if (ReadWholeFile(marker) == "ran\r\n")
      return true;
    base::PlatformThread::Sleep(base::TimeDelta::FromMilliseconds(100));
  }
  return false;
}

// The environment of this process with TMP and TEMP set to |temp|, as a
// block for CreateProcessW.
base::string16 MakeEnvironment(const base::FilePath& temp) {
  base::string16 block;
  wchar_t* const strings = ::GetEnvironmentStringsW();
  for (const wchar_t* entry = strings; *entry; entry += wcslen(entry) + 1) {
    const base::StringPiece16 text(entry);
    if (base::StartsWith16(text, L"TMP=",
                           base::CompareCase::INSENSITIVE_ASCII) ||
        base::StartsWith16(text, L"TEMP=",
                           base::CompareCase::INSENSITIVE_ASCII)) {
      continue;
    }
    block.append(entry).push_back(L'\0');
  }
  ::FreeEnvironmentStringsW(strings);
  for (const wchar_t* name : {L"TMP=", L"TEMP="})
    block.append(name).append(temp.value()).push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

// A file handle that a child process can inherit as a standard handle.
HANDLE CreateInheritableFile(const base::FilePath& path) {
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, TRUE};
  return ::CreateFileW(path.value().c_str(), GENERIC_WRITE | GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// One log line reduced to its severity and message, or empty for a line
// that is not one of the installer's own.
std::string ReduceLogLine(const std::string& line) {
  // "[MMDD/hhmmss:SEVERITY:file.cc(line)] message"
  const size_t severity_start = line.find(':');
  const size_t file_start = line.find(':', severity_start + 1);
  const size_t message_start = line.find(")] ");
  if (line.empty() || line[0] != '[' || severity_start == std::string::npos ||
      file_start == std::string::npos || message_start == std::string::npos) {
    return "unparsed line: " + line;
  }
  const std::string file =
      line.substr(file_start + 1, message_start - file_start - 1);
  if (!base::StartsWith(file, "installer_", base::CompareCase::SENSITIVE) &&
      !base::StartsWith(file, "run_directory", base::CompareCase::SENSITIVE)) {
    return std::string();
  }
  return line.substr(severity_start + 1, file_start - severity_start - 1) +
         " " + line.substr(message_start + 3);
}

class InstallerMainTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(app_.IsValid());
    ASSERT_TRUE(temp_.IsValid());
    ASSERT_TRUE(io_.IsValid());
    ASSERT_TRUE(InstallHost(app_.path(), kHostName));
  }

  // Puts the installer, the host and its library, into |folder|, the host
  // under |host_name|.
  static bool InstallHost(const base::FilePath& folder,
                          const wchar_t* host_name) {
    const base::FilePath build = GetBuildFolder();
    return base::CopyFile(build.Append(kHostName), folder.Append(host_name)) &&
           base::CopyFile(build.Append(kLibraryName),
                          folder.Append(kLibraryName));
  }

  void AddAppFile(const wchar_t* name, const std::string& content) {
    ASSERT_EQ(static_cast<int>(content.size()),
              base::WriteFile(app_.path().Append(name), content.data(),
                              static_cast<int>(content.size())));
  }

  InstallerRun Run(const base::string16& arguments) {
    return RunHost(app_.path().Append(kHostName), arguments);
  }

  InstallerRun RunHost(const base::FilePath& host,
                       const base::string16& arguments) {
    InstallerRun run;
    const base::FilePath output_path = io_.path().Append(L"stdout.txt");
    const base::FilePath errors_path = io_.path().Append(L"stderr.txt");
    const HANDLE output = CreateInheritableFile(output_path);
    const HANDLE errors = CreateInheritableFile(errors_path);
    EXPECT_NE(INVALID_HANDLE_VALUE, output);
    EXPECT_NE(INVALID_HANDLE_VALUE, errors);

    STARTUPINFOW startup_info = {};
    startup_info.cb = sizeof(startup_info);
    startup_info.dwFlags = STARTF_USESTDHANDLES;
    startup_info.hStdInput = nullptr;
    startup_info.hStdOutput = output;
    startup_info.hStdError = errors;
    base::string16 command_line = L"\"" + host.value() + L"\"";
    if (!arguments.empty())
      command_line += L" " + arguments;
    base::string16 environment = MakeEnvironment(temp_.path());
    PROCESS_INFORMATION process_info = {};
    const bool started = ::CreateProcessW(
        host.value().c_str(), &command_line[0], nullptr, nullptr, TRUE,
        CREATE_UNICODE_ENVIRONMENT, &environment[0],
        app_.path().value().c_str(), &startup_info, &process_info);
    ::CloseHandle(output);
    ::CloseHandle(errors);
    if (!started) {
      ADD_FAILURE() << "CreateProcess failed: " << ::GetLastError();
      return run;
    }
    ::CloseHandle(process_info.hThread);
    if (::WaitForSingleObject(process_info.hProcess, kRunTimeoutMs) ==
        WAIT_OBJECT_0) {
      DWORD exit_code = 0;
      ::GetExitCodeProcess(process_info.hProcess, &exit_code);
      run.exit_code = static_cast<int>(exit_code);
    } else {
      ADD_FAILURE() << "the installer did not end";
      ::TerminateProcess(process_info.hProcess, 1);
      ::WaitForSingleObject(process_info.hProcess, kRunTimeoutMs);
    }
    ::CloseHandle(process_info.hProcess);
    run.output = ReadWholeFile(output_path);
    run.errors = ReadWholeFile(errors_path);
    return run;
  }

  base::FilePath InstallerFolder() const {
    return temp_.path().Append(kInstallerFolderName);
  }

  // The log files of the runs so far.
  std::vector<base::FilePath> LogFiles() const {
    std::vector<base::FilePath> files;
    base::FileEnumerator enumerator(InstallerFolder(), false,
                                    base::FileEnumerator::FILES, L"*.log");
    for (base::FilePath file = enumerator.Next(); !file.empty();
         file = enumerator.Next()) {
      files.push_back(file);
    }
    return files;
  }

  // The installer's own lines of the one log file, as severity and message.
  std::vector<std::string> ReadLog() const {
    const std::vector<base::FilePath> files = LogFiles();
    EXPECT_EQ(1u, files.size());
    if (files.size() != 1)
      return std::vector<std::string>();
    std::vector<std::string> lines;
    for (std::string line :
         base::SplitString(ReadWholeFile(files[0]), "\n", base::KEEP_WHITESPACE,
                           base::SPLIT_WANT_NONEMPTY)) {
      // Messages may end in a blank; only the line end goes.
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      const std::string reduced = ReduceLogLine(line);
      if (!reduced.empty())
        lines.push_back(reduced);
    }
    return lines;
  }

  // Checks that the log holds |expected|, the command line of the starting
  // line aside, which must name this run's host.
  void ExpectLog(std::vector<std::string> expected) const {
    std::vector<std::string> lines = ReadLog();
    for (std::string& line : lines) {
      if (!base::StartsWith(line, kStartingLine, base::CompareCase::SENSITIVE))
        continue;
      EXPECT_TRUE(
          base::StartsWith(line.substr(std::string(kStartingLine).size()),
                           "\"" + app_.path().Append(kHostName).AsUTF8() + "\"",
                           base::CompareCase::INSENSITIVE_ASCII))
          << line;
      line = kStartingLine;
    }
    EXPECT_EQ(expected, lines);
  }

  // The lines that every installer run begins with.
  static std::vector<std::string> StartOfLog() {
    return {
        "VERBOSE1 Ensuring that TLS 1.0 is enabled",
        kStartingLine,
        "WARNING Crash reporting is not available in this build; no crash "
        "reporter watches this process.",
    };
  }

  static std::vector<std::string> FlagLines(bool uninstall,
                                            bool silent,
                                            bool run_immediately,
                                            bool backend,
                                            bool inside_package) {
    auto digit = [](bool flag) { return std::string(flag ? "1" : "0"); };
    return {
        "INFO Uninstall:" + digit(uninstall),
        "INFO Replace Talvik installation:0",
        "INFO Silent:" + digit(silent),
        "INFO Run Immediately" + digit(run_immediately),
        "INFO Backend" + digit(backend),
        "INFO Inside package" + digit(inside_package),
        "INFO Autoupdate:0",
    };
  }

  static std::vector<std::string> Join(
      std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> joined;
    for (const std::vector<std::string>& part : parts)
      joined.insert(joined.end(), part.begin(), part.end());
    return joined;
  }

  std::string DownloadFolderLine() const {
    return "INFO Installer download folder: " + InstallerFolder().AsUTF8();
  }

  // The folder of the host and its library, a package or installation when a
  // test adds the files that make it one.
  base::UniqueTestDir app_;
  // TMP and TEMP of the runs.
  base::UniqueTestDir temp_;
  // Where the runs' standard output and error go.
  base::UniqueTestDir io_;
};

constexpr char kPreferencesPoolLine[] =
    "VERBOSE1 The preferences worker pool is not available in this build; "
    "nothing waits for preference writes at exit.";
constexpr char kSettingsLine[] =
    "ERROR The installer settings are not available in this build.";
constexpr char kUILine[] =
    "ERROR The installer UI controller is not available in this build.";
constexpr char kSilentLine[] =
    "ERROR The silent installer controller is not available in this build.";

TEST_F(InstallerMainTest, AnswersTheInformationSwitches) {
  const struct {
    const wchar_t* arguments;
    const char* answer;
  } kCases[] = {
      {L"--version", "12.0.1450.0"},
      {L"--internal-version", "1450.0"},
      {L"--stream", "developer"},
      // The first of version, internal version and stream wins, whatever
      // the order on the line; nothing else runs.
      {L"--stream --internal-version --version", "12.0.1450.0"},
      {L"--stream --internal-version", "1450.0"},
      {L"--help --set-folder-permission --crash-reporter-parent-id=1 --stream",
       "developer"},
      {L"/version --silent", "12.0.1450.0"},
  };
  for (const auto& test_case : kCases) {
    const InstallerRun run = Run(test_case.arguments);
    EXPECT_EQ(HOST_EXIT_SUCCESS, run.exit_code) << test_case.arguments;
    EXPECT_EQ(test_case.answer, run.output) << test_case.arguments;
    EXPECT_EQ("", run.errors) << test_case.arguments;
  }
  // No log, no crash reporter, no folder.
  EXPECT_FALSE(base::PathExists(InstallerFolder()));
}

TEST_F(InstallerMainTest, HelpOpensNoLog) {
  for (const wchar_t* arguments :
       {L"--help", L"/?", L"-?", L"--help --set-folder-permission"}) {
    const InstallerRun run = Run(arguments);
    EXPECT_EQ(HOST_EXIT_SUCCESS, run.exit_code) << arguments;
    // The help goes to a console of its own.
    EXPECT_EQ("", run.output) << arguments;
    EXPECT_EQ("", run.errors) << arguments;
  }
  EXPECT_FALSE(base::PathExists(InstallerFolder()));
}

TEST_F(InstallerMainTest, TheCrashReporterRoleComesBeforeTheHelp) {
  const InstallerRun run = Run(L"--crash-reporter-parent-id=7 --help");
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, run.exit_code);
  EXPECT_NE(
      std::string::npos,
      run.errors.find("The crash reporter is not available in this build."));
  EXPECT_FALSE(base::PathExists(InstallerFolder()));
}

TEST_F(InstallerMainTest, TheFolderPermissionRoleComesBeforeTheLog) {
  // The batch of an uninstallation in the program's folder runs after the
  // role, whatever the role achieved.
  const base::FilePath marker = io_.path().Append(L"batch_ran.txt");
  AddAppFile(L"k.bat", MakeMarkingBatch(marker));

  InstallerRun run = Run(L"--set-folder-permission");
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, run.exit_code);
  EXPECT_NE(std::string::npos,
            run.errors.find("Granting folder permissions is not available in "
                            "this build."));
  EXPECT_FALSE(base::PathExists(InstallerFolder()));

  run = Run(L"--set-folder-permission --run-uninstall-bat");
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, run.exit_code);
  EXPECT_FALSE(base::PathExists(InstallerFolder()));
  EXPECT_TRUE(WaitForBatchMark(marker));
}

// An installer inside an installation's version folder belongs to the
// installation above it, where the launcher is.
TEST_F(InstallerMainTest, TheInstallationIsWhereTheLauncherIs) {
  const base::FilePath version_folder = app_.path().Append(L"12.0.1450.0");
  ASSERT_TRUE(base::CreateDirectory(version_folder));
  ASSERT_TRUE(InstallHost(version_folder, kHostName));
  const base::FilePath marker = io_.path().Append(L"batch_ran.txt");
  AddAppFile(L"k.bat", MakeMarkingBatch(marker));
  AddAppFile(L"launcher.exe", "launcher");

  const InstallerRun run =
      RunHost(version_folder.Append(kHostName),
              L"--set-folder-permission --run-uninstall-bat");
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, run.exit_code);
  EXPECT_TRUE(WaitForBatchMark(marker));
}

TEST_F(InstallerMainTest, TheFrontEndWithAWindowIsTheDefault) {
  const InstallerRun run = Run(L"");
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, run.exit_code);
  EXPECT_EQ("", run.output);
  ExpectLog(Join(
      {StartOfLog(),
       FlagLines(false, false, false, false, false),
       {kPreferencesPoolLine, kSettingsLine, DownloadFolderLine(), kUILine}}));
}

TEST_F(InstallerMainTest, NamesTheLogFileByItsStartTime) {
  base::Time::Exploded now;
  base::Time::Now().Explode(true, &now);
  const InstallerRun run = Run(L"--silent");
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, run.exit_code);
  base::Time::Exploded then;
  base::Time::Now().Explode(true, &then);

  const std::vector<base::FilePath> files = LogFiles();
  ASSERT_EQ(1u, files.size());
  const std::string name = files[0].BaseName().AsUTF8();
  ASSERT_EQ(std::string("vexlo_installer_").size() + 14 + 4, name.size())
      << name;
  EXPECT_EQ(0u, name.find("vexlo_installer_")) << name;
  EXPECT_EQ(".log", name.substr(name.size() - 4)) << name;
  const std::string stamp = name.substr(16, 14);
  auto format = [](const base::Time::Exploded& time) {
    char text[32];
    snprintf(text, sizeof(text), "%04d%02d%02d%02d%02d%02d", time.year,
             time.month, time.day_of_month, time.hour, time.minute,
             time.second);
    return std::string(text);
  };
  EXPECT_LE(format(now), stamp);
  EXPECT_GE(format(then), stamp);
}

TEST_F(InstallerMainTest, SilentAndBackendRunWithoutAWindow) {
  InstallerRun run = Run(L"--silent");
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, run.exit_code);
  ExpectLog(Join({StartOfLog(),
                  FlagLines(false, true, false, false, false),
                  {kPreferencesPoolLine, kSettingsLine, DownloadFolderLine(),
                   kSilentLine}}));

  ASSERT_TRUE(base::DeleteFile(InstallerFolder(), true));
  // The backend needs no download folder.
  run = Run(L"--backend --silent");
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, run.exit_code);
  ExpectLog(Join({StartOfLog(),
                  FlagLines(false, true, false, true, false),
                  {kPreferencesPoolLine, kSettingsLine,
                   "ERROR The installer backend is not available in this "
                   "build."}}));
}

TEST_F(InstallerMainTest, UninstallsOnlyFromAnInstallation) {
  InstallerRun run = Run(L"--uninstall");
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, run.exit_code);
  ExpectLog(Join({StartOfLog(),
                  {"ERROR Requested to uninstall, but we are not in a valid "
                   "installation folder"}}));

  // An installation: the browser beside the installer, with the
  // experiments it was installed with. The command line's are ignored.
  ASSERT_TRUE(base::DeleteFile(InstallerFolder(), true));
  AddAppFile(L"vexlo.exe", "browser");
  AddAppFile(L"installer_prefs.json",
             R"({"installer-experiments": ["installer-experiment-test@1"]})");
  run = Run(L"--uninstall --with-feature:installer-experiment-test=off");
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, run.exit_code);
  ExpectLog(Join({StartOfLog(),
                  FlagLines(true, false, false, false, true),
                  {kPreferencesPoolLine, "INFO Test experiment is enabled",
                   kSettingsLine, DownloadFolderLine(), kUILine}}));
}

TEST_F(InstallerMainTest, ReadsFeaturesFromTheCommandLine) {
  AddAppFile(L"installer_prefs.json",
             R"({"installer-experiments": ["installer-experiment-test@2"]})");
  const InstallerRun run =
      Run(L"--silent --with-feature:installer-experiment-test=on");
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, run.exit_code);
  ExpectLog(Join({StartOfLog(),
                  FlagLines(false, true, false, false, false),
                  {kPreferencesPoolLine, "INFO Test experiment is enabled",
                   kSettingsLine, DownloadFolderLine(), kSilentLine}}));
}

TEST_F(InstallerMainTest, RecognisesAnUnpackedPackage) {
  AddAppFile(L"vexlo.exe", "browser");
  AddAppFile(L"files_list", "vexlo.exe\n");
  InstallerRun run = Run(L"--silent");
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, run.exit_code);
  ExpectLog(Join({StartOfLog(),
                  FlagLines(false, true, false, false, true),
                  {kPreferencesPoolLine, kSettingsLine, DownloadFolderLine(),
                   kSilentLine}}));

  // The same folder with the installer named otherwise is no package.
  base::UniqueTestDir other_app;
  ASSERT_TRUE(other_app.IsValid());
  ASSERT_TRUE(InstallHost(other_app.path(), L"Installer.exe"));
  for (const wchar_t* name : {L"vexlo.exe", L"files_list"}) {
    ASSERT_TRUE(base::CopyFile(app_.path().Append(name),
                               other_app.path().Append(name)));
  }
  ASSERT_TRUE(base::DeleteFile(InstallerFolder(), true));
  run = RunHost(other_app.path().Append(L"Installer.exe"), L"--silent");
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, run.exit_code);
  std::vector<std::string> lines = ReadLog();
  EXPECT_NE(lines.end(),
            std::find(lines.begin(), lines.end(), "INFO Inside package0"));
}

TEST_F(InstallerMainTest, RecoversTheFolderOfALegacyAutoupdate) {
  InstallerRun run =
      Run(L"--installfolder --autoupdate --silent \"C:\\Legacy Place\\Vexlo\"");
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, run.exit_code);
  std::vector<std::string> flags = FlagLines(false, false, true, false, false);
  flags.back() = "INFO Autoupdate:1";
  ExpectLog(Join(
      {StartOfLog(),
       {"VERBOSE1 Install folder from command line: ",
        "INFO It looks like we are autoupdating from the legacy "
        "updater.",
        "INFO Recovered install folder from command line: "
        "C:\\Legacy Place\\Vexlo",
        "INFO Configuring for legacy autoupdate."},
       flags,
       {kPreferencesPoolLine, kSettingsLine, DownloadFolderLine(), kUILine}}));

  // A relative last argument is no folder: the run stays silent.
  ASSERT_TRUE(base::DeleteFile(InstallerFolder(), true));
  run = Run(L"--installfolder= --autoupdate --silent Legacy\\Vexlo");
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, run.exit_code);
  flags = FlagLines(false, true, false, false, false);
  flags.back() = "INFO Autoupdate:1";
  ExpectLog(Join({StartOfLog(),
                  {"VERBOSE1 Install folder from command line: ",
                   "INFO It looks like we are autoupdating from the legacy "
                   "updater.",
                   "INFO Recovered install folder from command line: "},
                  flags,
                  {kPreferencesPoolLine, kSettingsLine, DownloadFolderLine(),
                   kSilentLine}}));

  // A folder given outright is taken as it is.
  ASSERT_TRUE(base::DeleteFile(InstallerFolder(), true));
  run = Run(L"--installfolder=D:\\Vexlo --autoupdate --silent C:\\Other");
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, run.exit_code);
  ExpectLog(Join({StartOfLog(),
                  {"VERBOSE1 Install folder from command line: D:\\Vexlo"},
                  flags,
                  {kPreferencesPoolLine, kSettingsLine, DownloadFolderLine(),
                   kSilentLine}}));
}

TEST_F(InstallerMainTest, UsesTheGivenTemporaryFolder) {
  base::UniqueTestDir given;
  ASSERT_TRUE(given.IsValid());
  const base::FilePath folder = given.path().Append(kInstallerFolderName);
  const base::string16 arguments =
      L"--silent \"--temp-folder=" + given.path().value() + L"\"";
  const std::vector<std::string> expected = Join(
      {StartOfLog(),
       FlagLines(false, true, false, false, false),
       {kPreferencesPoolLine, kSettingsLine,
        "INFO Installer download folder: " + folder.AsUTF8(), kSilentLine}});

  // Not created when missing.
  InstallerRun run = Run(arguments);
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, run.exit_code);
  ExpectLog(expected);
  EXPECT_FALSE(base::PathExists(folder));

  // Removed after the run when empty.
  ASSERT_TRUE(base::DeleteFile(InstallerFolder(), true));
  ASSERT_TRUE(base::CreateDirectory(folder));
  run = Run(arguments);
  ExpectLog(expected);
  EXPECT_FALSE(base::PathExists(folder));

  // Kept with what it holds.
  ASSERT_TRUE(base::DeleteFile(InstallerFolder(), true));
  ASSERT_TRUE(base::CreateDirectory(folder));
  ASSERT_EQ(4, base::WriteFile(folder.Append(L"keep"), "keep", 4));
  run = Run(arguments);
  ExpectLog(expected);
  EXPECT_TRUE(base::PathExists(folder.Append(L"keep")));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
