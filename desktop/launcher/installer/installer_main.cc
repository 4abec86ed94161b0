#include "desktop/launcher/installer/installer_main.h"

#include <objbase.h>
#include <stdio.h>
#include <windows.h>

#include <memory>
#include <string>

#include "base/at_exit.h"
#include "base/base_paths.h"
#include "base/command_line.h"
#include "base/features/command_line_feature_reader.h"
#include "base/features/feature_registry.h"
#include "base/features/list_value_feature_reader.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/platform_thread.h"
#include "base/values.h"
#include "base/win/scoped_handle.h"
#include "desktop/common/product/installer_features.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/folder_permission.h"
#include "desktop/launcher/installer/installer_backend.h"
#include "desktop/launcher/installer/installer_help.h"
#include "desktop/launcher/installer/installer_log.h"
#include "desktop/launcher/installer/installer_names.h"
#include "desktop/launcher/installer/installer_startup.h"
#include "desktop/launcher/installer/package_fetcher/package_fetcher.h"
#include "desktop/launcher/installer/run_directory.h"
#include "desktop/launcher/installer/service/installer_context.h"
#include "desktop/launcher/installer/service/prefs_task_pool.h"
#include "desktop/launcher/installer/settings.h"
#include "desktop/launcher/installer/silent_installer_controller.h"
#include "desktop/launcher/installer/status.h"
#include "desktop/launcher/installer/ui/installer_ui_controller.h"
#include "desktop/windows/crash_reporter/crash_reporter_client.h"
#include "desktop/windows/crash_reporter/crash_reporter_server.h"

namespace vexlo {
namespace installer {

namespace {

constexpr char kInstallerExperimentsPref[] = "installer-experiments";

// The library is built for SSE2. Run while the library loads, before any of
// its code that needs the instructions.
void CheckSSE2Support() {
  if (::IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE))
    return;
  ::MessageBoxW(
      nullptr,
      L"This program requires a computer that supports SSE2 instructions.",
      L"Error", MB_OK);
  ::ExitProcess(1);
}

struct SSE2SupportCheck {
  SSE2SupportCheck() { CheckSSE2Support(); }
} g_sse2_support_check;

// COM in a single-threaded apartment for the calling thread, for as long as
// the object lives, when it could be initialised.
class ScopedComApartment {
 public:
  ScopedComApartment()
      : initialized_(
            SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ScopedComApartment(const ScopedComApartment&) = delete;
  ScopedComApartment& operator=(const ScopedComApartment&) = delete;
  ~ScopedComApartment() {
    if (initialized_)
      ::CoUninitialize();
  }

 private:
  const bool initialized_;
};

// The process roles, each run to its end with the run's settings.

std::unique_ptr<Settings> CreateSettings(const StartupFlags& flags,
                                         const base::FilePath& install_folder) {
  return std::make_unique<Settings>(flags.uninstall, flags.silent,
                                    flags.autoupdate, install_folder,
                                    flags.replace_talvik_installation);
}

bool RunBackendRole(Settings* settings) {
  InstallerBackend backend;
  return backend.Run(settings, *base::CommandLine::ForCurrentProcess());
}

bool RunSilentRole(Settings* settings,
                   bool inside_package,
                   const base::FilePath& temporary_folder) {
  SilentInstallerController controller;
  return controller.Run(settings, inside_package, temporary_folder);
}

bool RunUIRole(Settings* settings,
               bool inside_package,
               const base::FilePath& temporary_folder,
               bool run_immediately) {
  InstallerUIController controller;
  return controller.RunUI(settings, inside_package, temporary_folder,
                          run_immediately);
}

// Answers "version", "internal-version" or "stream", the first one present,
// on the standard output without a line feed; false when none is present.
bool AnswerInformationSwitch(const base::CommandLine& command_line) {
  std::string answer;
  if (command_line.HasSwitch("version"))
    answer = ProductInfo::GetVersionString();
  else if (command_line.HasSwitch("internal-version"))
    answer = ProductInfo::GetInternalVersion();
  else if (command_line.HasSwitch("stream"))
    answer = ProductInfo::GetChannel();
  else
    return false;
  printf("%s", answer.c_str());
  fflush(stdout);
  return true;
}

// The first steps of every role but the crash reporter: the exception
// policy, then the crash reporter that watches this process, joined or
// started, and the crash keys, which are filled even when no reporter
// watches.
void PrepareCrashReporting() {
  ClearExceptionPolicyCallbackFilter();
  crash_reporter::JoinOrStartCrashReporter();
  crash_reporter::SetInstallerCrashKeys();
}

// Until the installer log is open no line may reach a file: the log's
// default file is beside the executable, which in real use is the user's
// downloads folder. Lines before then are dropped; errors still reach the
// standard error stream.
void KeepEarlyLinesFromFiles() {
  base::LoggingSettings settings;
  settings.logging_dest = base::LOG_NONE;
  base::InitLogging(settings);
}

void OpenInstallerLog() {
  const base::FilePath log_file =
      CreateInstallerLogFile(GetInstallerLogFilePath());
  base::LoggingSettings settings;
  settings.logging_dest = base::LOG_TO_FILE;
  settings.log_file = log_file.value().c_str();
  // The file is this process's own, made new.
  settings.delete_old = base::APPEND_TO_OLD_LOG_FILE;
  base::InitLogging(settings);
  // Most of the installer's diagnostics are verbose level 1 lines.
  base::SetMinLogLevel(-1);
  // Not in a folder that is not the installer's own.
  if (log_file.IsAbsolute())
    PackageFetcher::RemoveAbandonedLocks(log_file.DirName());
}

void LogStartup(const base::CommandLine& command_line) {
  LOG(INFO) << FormatWithProductName("%s installer starting - version ", false)
            << ProductInfo::GetVersionString() << " "
            << ProductInfo::GetChannel() << "Command line: "
            << base::UTF16ToUTF8(command_line.GetCommandLineString(false));
}

// The install folder of the command line. An autoupdate started by the
// legacy updater passes an empty "installfolder" and the folder as the last
// argument, and is run with the window rather than silently.
base::FilePath GetInstallFolder(const base::CommandLine& command_line,
                                StartupFlags* flags) {
  if (!command_line.HasSwitch("installfolder"))
    return base::FilePath();
  base::FilePath install_folder =
      command_line.GetSwitchValuePath("installfolder");
  VLOG(1) << "Install folder from command line: " << install_folder.AsUTF8();
  if (!install_folder.empty() || !flags->autoupdate)
    return install_folder;

  LOG(INFO) << "It looks like we are autoupdating from the legacy updater.";
  install_folder = RecoverInstallFolderFromCommandLine(command_line);
  LOG(INFO) << "Recovered install folder from command line: "
            << install_folder.AsUTF8();
  if (flags->silent && !install_folder.empty()) {
    LOG(INFO) << "Configuring for legacy autoupdate.";
    flags->silent = false;
    flags->run_immediately = true;
  }
  return install_folder;
}

void LogStartupFlags(const StartupFlags& flags, bool inside_package) {
  LOG(INFO) << "Uninstall:" << flags.uninstall;
  LOG(INFO) << "Replace Talvik installation:"
            << flags.replace_talvik_installation;
  LOG(INFO) << "Silent:" << flags.silent;
  LOG(INFO) << "Run Immediately" << flags.run_immediately;
  LOG(INFO) << "Backend" << flags.backend;
  LOG(INFO) << "Inside package" << inside_package;
  LOG(INFO) << "Autoupdate:" << flags.autoupdate;
}

// An uninstallation keeps the experiments its installation recorded in its
// preferences; every other run takes them from the command line.
void ReadFeatureOverrides(const base::CommandLine& command_line,
                          bool uninstall) {
  base::FeatureRegistry* registry = base::FeatureRegistry::GetInstance();
  if (uninstall) {
    const base::Value* value = nullptr;
    const base::ListValue* experiments = nullptr;
    if (InstallerContext::GetInstance()->GetInstallerPrefs()->GetValue(
            kInstallerExperimentsPref, &value) &&
        value->GetAsList(&experiments)) {
      base::ListValueFeatureReader reader(experiments);
      registry->AddReader(&reader);
    }
  } else {
    base::CommandLineFeatureReader reader(&command_line);
    registry->AddReader(&reader);
  }
  if (base::IsFeatureEnabled("installer-experiment-test"))
    LOG(INFO) << "Test experiment is enabled";
}

// The front end's working folder: inside the folder that "temp-folder"
// names, else the first of the run-directory candidates in which a copy of
// the installer runs. False when there is none.
bool GetFrontEndFolder(const base::CommandLine& command_line,
                       const base::FilePath& executable_path,
                       base::FilePath* folder) {
  if (command_line.HasSwitch("temp-folder")) {
    *folder = command_line.GetSwitchValuePath("temp-folder")
                  .Append(GetInstallerFolderName());
    return true;
  }
  return GetTemporaryInstallerFolder(GetInstallerFolderName(), executable_path,
                                     folder);
}

// Finds the front end's working folder on a thread of its own, from before
// the run is set up until the folder is needed: proving a candidate copies
// the installer there and waits for a run of the copy, while the set-up
// waits on the system too (COM's first apartment, above all). The search
// writes no log line of its own on the way to a folder, so the log reads as
// when one came after the other.
class FrontEndFolderSearch : public base::PlatformThread::Delegate {
 public:
  FrontEndFolderSearch(const base::CommandLine& command_line,
                       const base::FilePath& executable_path)
      : command_line_(command_line), executable_path_(executable_path) {
    // Without a thread the search waits for GetResult.
    base::PlatformThread::CreateWithPriority(0, this, &thread_,
                                             base::ThreadPriority::kNormal);
  }
  FrontEndFolderSearch(const FrontEndFolderSearch&) = delete;
  FrontEndFolderSearch& operator=(const FrontEndFolderSearch&) = delete;
  ~FrontEndFolderSearch() override { Join(); }

  // What GetFrontEndFolder gives, once the search has ended.
  bool GetResult(base::FilePath* folder) {
    if (thread_.IsValid())
      Join();
    else
      ThreadMain();
    *folder = folder_;
    return found_;
  }

 private:
  void ThreadMain() override {
    found_ = GetFrontEndFolder(command_line_, executable_path_, &folder_);
  }
  void Join() {
    if (thread_.IsValid())
      base::PlatformThread::Join(&thread_);
  }

  const base::CommandLine& command_line_;
  const base::FilePath executable_path_;
  base::win::ScopedHandle thread_;
  base::FilePath folder_;
  bool found_ = false;
};

bool RunFrontEnd(Settings* settings,
                 const StartupFlags& flags,
                 bool inside_package,
                 FrontEndFolderSearch* folder_search) {
  base::FilePath temporary_folder;
  if (!folder_search->GetResult(&temporary_folder)) {
    LOG(ERROR) << "Could not obtain temporary installer folder";
    return false;
  }
  LOG(INFO) << "Installer download folder: " << temporary_folder.AsUTF8();
  const bool result =
      flags.silent ? RunSilentRole(settings, inside_package, temporary_folder)
                   : RunUIRole(settings, inside_package, temporary_folder,
                               flags.run_immediately);
  // Goes only when the run left it empty.
  ::RemoveDirectoryW(temporary_folder.value().c_str());
  return result;
}

// Whether the uninstaller in |executable_folder| is an installation's: the
// installation keeps it in a version folder, beside the browser. A run for
// the installation that was killed on its way may have set aside the
// browser, or the launcher by which the installer context finds the
// installation: what it left is taken back before either is looked for.
bool FindInstallationToUninstall(const base::FilePath& executable_folder) {
  {
    // The take-back reads what it may touch from the installation's records,
    // which are read through COM.
    ScopedComApartment com_apartment;
    Status::TakeBackKilledRun(executable_folder.DirName());
  }
  if (!HasBrowserExecutable(executable_folder)) {
    LOG(ERROR) << "Requested to uninstall, but we are not in a valid "
               << "installation folder";
    return false;
  }
  return true;
}

// The installer roles proper, once the log is open.
bool RunInstallerRole(const base::CommandLine& command_line) {
  StartupFlags flags = ReadStartupFlags(command_line);

  base::FilePath executable_folder;
  if (!base::PathService::Get(base::DIR_EXE, &executable_folder)) {
    LOG(ERROR) << "Cannot find own dir";
    return false;
  }
  base::FilePath executable_path;
  if (!base::PathService::Get(base::FILE_EXE, &executable_path)) {
    LOG(ERROR) << "Cannot find own file path";
    return false;
  }

  bool inside_package = false;
  if (flags.uninstall) {
    if (!FindInstallationToUninstall(executable_folder))
      return false;
    inside_package = true;
  } else {
    inside_package = IsRunningFromPackage(executable_folder, executable_path);
  }

  const base::FilePath install_folder = GetInstallFolder(command_line, &flags);
  LogStartupFlags(flags, inside_package);
  std::unique_ptr<FrontEndFolderSearch> folder_search;
  if (!flags.backend) {
    folder_search =
        std::make_unique<FrontEndFolderSearch>(command_line, executable_path);
  }

  // Declared first so that it goes last, after COM and the settings.
  base::MessageLoop main_loop(flags.backend || flags.silent
                                  ? base::MessageLoop::TYPE_DEFAULT
                                  : base::MessageLoop::TYPE_UI);
  // Created now, while the loop stands; the exit then waits for the
  // preference writes that the run posted.
  PrefsTaskPool::GetInstance();
  ReadFeatureOverrides(command_line, flags.uninstall);
  ScopedComApartment com_apartment;
  const std::unique_ptr<Settings> settings =
      CreateSettings(flags, install_folder);

  if (flags.backend)
    return RunBackendRole(settings.get());
  return RunFrontEnd(settings.get(), flags, inside_package,
                     folder_search.get());
}

// Every role but the information answers, in start-up order.
bool RunProcessRole(const base::CommandLine& command_line) {
  if (command_line.HasSwitch("crash-reporter-parent-id")) {
    // Succeeds whatever became of the reporting: nobody acts on it.
    crash_reporter::RunCrashReporter();
    return true;
  }

  PrepareCrashReporting();
  RegisterInstallerFeatures(base::FeatureRegistry::GetInstance());

  if (command_line.HasSwitch("help") || command_line.HasSwitch("?")) {
    PrintHelp();
    return true;
  }
  if (command_line.HasSwitch("set-folder-permission")) {
    // Found before the run it serves can delete the launcher that tells it.
    const base::FilePath context_folder =
        InstallerContext::GetInstance()->folder();
    RunSetFolderPermission();
    if (command_line.HasSwitch("run-uninstall-bat"))
      RunUninstallBatch(context_folder);
    return true;
  }

  OpenInstallerLog();
  if (!EnsureTLS10Enabled()) {
    LOG(ERROR) << "TLS1.0 or later not supported.";
    return false;
  }
  LogStartup(command_line);
  return RunInstallerRole(command_line);
}

}  // namespace

}  // namespace installer
}  // namespace vexlo

unsigned char RunInstaller() {
  base::CommandLine::Init();
  vexlo::installer::KeepEarlyLinesFromFiles();
  const base::CommandLine& command_line =
      *base::CommandLine::ForCurrentProcess();
  if (vexlo::installer::AnswerInformationSwitch(command_line))
    return 1;
  // Runs the clean-up registered during the run when the role ends.
  base::AtExitManager at_exit_manager;
  return vexlo::installer::RunProcessRole(command_line) ? 1 : 0;
}
