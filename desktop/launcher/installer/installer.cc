#include "desktop/launcher/installer/installer.h"

#include <shellapi.h>

#include <algorithm>
#include <limits>
#include <utility>

#include "base/base_paths.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/features/command_line_feature_reader.h"
#include "base/features/feature_registry.h"
#include "base/features/list_value_feature_reader.h"
#include "base/files/file_util.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "base/win/windows_version.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/folder_permission.h"
#include "desktop/launcher/installer/installer_observer.h"
#include "desktop/launcher/installer/service/installer_context.h"
#include "desktop/launcher/installer/service/prefs_task_pool.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "desktop/launcher/installer/service/transactions/create_folder_operation.h"
#include "desktop/launcher/installer/service/transactions/delete_file_operation.h"
#include "desktop/launcher/installer/settings.h"
#include "desktop/launcher/installer/status.h"

namespace vexlo {
namespace installer {

namespace {

constexpr char kCrashReporterPidSwitch[] = "crash-reporter-pid";
constexpr char kLaunchVexloSwitch[] = "launchvexlo";
constexpr char kParentPidSwitch[] = "parent-pid";
constexpr char kPostElevatedTasksSwitch[] = "post-elevated-install-tasks";
constexpr char kWaitForPackageSwitch[] = "wait-for-package";

constexpr wchar_t kInterruptedEventName[] =
    L"VexloInstaller/InstallationInterrupted";
constexpr wchar_t kPackageReadyEventName[] = L"VexloInstaller/PackageReady";
constexpr wchar_t kFilesListName[] = L"files_list";
constexpr wchar_t kRootFilesListName[] = L"root_files_list";
constexpr wchar_t kPackageInstallerName[] = L"installer.exe";
constexpr wchar_t kSystemPoliciesKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr char kInstallerExperimentsPref[] = "installer-experiments";
constexpr char kTestExperiment[] = "installer-experiment-test";

// Read, list, traverse, create files and folders, write attributes: what
// an installation needs in its folder.
constexpr ACCESS_MASK kFolderAccess = 0x1201BF;

const base::CommandLine& ProcessCommandLine() {
  return *base::CommandLine::ForCurrentProcess();
}

// Why an event of the front end could not be opened, right after the open
// failed: one that does not exist was closed by a front end that had ended
// the run (its fetch failed, or it was cancelled) before this process got to
// it, which |gone| says; any other failure is |failure|.
const char* EventOpenFailure(const char* failure, const char* gone) {
  return ::GetLastError() == ERROR_FILE_NOT_FOUND ? gone : failure;
}

// The non-empty lines of a list file, white space trimmed at both ends.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos)
      end = text.size();
    std::string line;
    base::TrimWhitespaceASCII(text.substr(start, end - start), base::TRIM_ALL,
                              &line);
    if (!line.empty())
      lines.push_back(line);
    start = end + 2;
  }
  return lines;
}

// Whether |entry| names a place inside the folder it is joined to: no
// root, drive, stream or device colon, and no "." or ".." component.
bool IsContainedRelativePath(const base::FilePath& entry) {
  if (entry.empty() || entry.IsAbsolute() ||
      base::FilePath::IsSeparator(entry.value()[0]) ||
      entry.value().find(L':') != base::string16::npos) {
    return false;
  }
  std::vector<base::string16> components;
  entry.GetComponents(&components);
  for (const base::string16& component : components) {
    if (component == base::FilePath::kCurrentDirectory ||
        component == base::FilePath::kParentDirectory) {
      return false;
    }
  }
  return true;
}

std::string UnixTimeString() {
  return base::Int64ToString(base::Time::Now().ToTimeT());
}

}  // namespace

base::Lock& GetProcessLaunchLock() {
  static base::Lock* const lock = new base::Lock();
  return *lock;
}

Installer::Installer()
    : message_loop_(base::MessageLoop::current()),
      settings_(nullptr),
      running_(false),
      succeeded_(false),
      record_registry_(false),
      parent_process_id_(0),
      elevated_(false),
      next_step_(0),
      weak_factory_(this) {}

Installer::~Installer() {
  if (running_)
    Abort();
  package_ready_watcher_.StopWatching();
  interrupted_watcher_.StopWatching();
}

void Installer::AddObserver(InstallerObserver* observer) {
  observers_.AddObserver(observer);
}

void Installer::RemoveObserver(InstallerObserver* observer) {
  observers_.RemoveObserver(observer);
}

void Installer::Run(Settings* settings) {
  DCHECK(!running_ && !settings_);
  DCHECK(!settings->fetching_status());
  settings->set_editable(false);
  settings_ = settings;
  succeeded_ = false;
  // What an earlier run did is final: a failure of this one must not take
  // it back.
  transaction_.Commit();
  message_loop_->PostTask(
      LOCATION_FROM_HERE("vexlo::installer::Installer::Run"),
      base::Bind(&Installer::StartTask, weak_factory_.GetWeakPtr()));
}

const base::FilePath& Installer::install_path() const {
  return settings_->status().requested_path();
}

void Installer::StartTask() {
  running_ = true;
  if (!CheckOperation())
    return;
  if (!base::PathService::Get(base::DIR_EXE, &package_folder_)) {
    LOG(ERROR) << Fail(kInstallerErrorGeneric, base::string16(),
                       "Failed getting our own path");
    return;
  }
  if (ProcessCommandLine().HasSwitch(kPostElevatedTasksSwitch)) {
    RunPostElevationTasks();
    Succeed();
    return;
  }
  if (!WatchInterruption())
    return;
  OpenJournal();
  unsigned parent_pid = 0;
  if (base::StringToUint(
          ProcessCommandLine().GetSwitchValueASCII(kParentPidSwitch),
          &parent_pid)) {
    parent_process_id_ = parent_pid;
  }
  const bool admin = IsUserInAdministratorsGroup(false);
  if (settings_->all_users() && settings_->silent() && !admin) {
    LOG(ERROR) << Fail(
        kInstallerErrorGeneric, base::string16(),
        "Installation requires elevation, but cannot elevate when silent");
    return;
  }
  bool write_access = true;
  bool handed_over = false;
  if (!EnsureWriteAccess(admin, &write_access, &handed_over) || handed_over)
    return;
  if (!transaction_.Execute(
          std::make_unique<CreateFolderOperation>(install_path()))) {
    LOG(ERROR) << Fail(kInstallerErrorCreateFolder, install_path().value(),
                       "Could not create installation folder");
    return;
  }
  observers_.Notify(&InstallerObserver::OnInstallationStarted);
  if (ProcessCommandLine().HasSwitch(kWaitForPackageSwitch)) {
    WaitForPackage(false);
    return;
  }
  FillRecord();
  int64_t extra_steps = 0;
  if (settings_->operation() != Settings::kUninstallOperation) {
    if (!ReadFilesLists(&extra_steps) || !CreateSubfolder())
      return;
  } else if (!CheckBrowserNotInUse()) {
    return;
  }
  if (settings_->operation() == Settings::kUpdateOperation)
    ReadExperiments();
  FillSteps();
  const int64_t total = static_cast<int64_t>(steps_.size()) + extra_steps + 1;
  CHECK_LE(total, std::numeric_limits<int32_t>::max());
  observers_.Notify(&InstallerObserver::SetTotalSteps,
                    static_cast<int32_t>(total));
  next_step_ = 0;
  ScheduleNextStep();
}

void Installer::OpenJournal() {
  // Without a journal the run goes on; only a kill would leave its changes.
  if (journal_.Open(RollbackJournal::PathFor(install_path()),
                    RollbackScope::ForInstallation(install_path())))
    transaction_.SetJournal(&journal_);
}

void Installer::CloseJournal() {
  journal_.Close();
  transaction_.SetJournal(nullptr);
}

bool Installer::CheckOperation() {
  if (settings_->autoupdate() &&
      settings_->operation() != Settings::kUpdateOperation &&
      !settings_->status().legacy_installation()) {
    LOG(ERROR) << Fail(kInstallerErrorGeneric, base::string16(),
                       "Settings operation invalid for autoupdate");
    return false;
  }
  if (settings_->operation() == Settings::kInvalidOperation) {
    LOG(ERROR) << Fail(kInstallerErrorInvalidOperation, base::string16(),
                       "Settings operation invalid");
    return false;
  }
  return true;
}

bool Installer::WatchInterruption() {
  // The runner and the permission granter create the event under this
  // name; only the same name meets them.
  interrupted_event_.Set(::OpenEventW(
      SYNCHRONIZE, FALSE,
      MakeKernelObjectName(kInterruptedEventName, install_path().value(), true)
          .c_str()));
  if (!interrupted_event_.IsValid()) {
    const char* detail = EventOpenFailure(
        "Failed to open a handle to the installation interrupted event",
        "The front end ended the run before the installation began");
    LOG(ERROR) << Fail(kInstallerErrorGeneric, base::string16(), detail);
    return false;
  }
  if (!interrupted_watcher_.StartWatchingOnce(interrupted_event_.Get(), this)) {
    LOG(ERROR) << Fail(kInstallerErrorGeneric, base::string16(),
                       "Failed to watch the installation interrupted event");
    return false;
  }
  return true;
}

bool Installer::EnsureWriteAccess(bool admin,
                                  bool* write_access,
                                  bool* handed_over) {
  const Status& status = settings_->status();
  const bool install = settings_->operation() == Settings::kInstallOperation;
  if (install_path() != status.existing_folder() &&
      (!settings_->all_users() || admin)) {
    *write_access = status.writable();
    if (*write_access &&
        !transaction_.Execute(
            std::make_unique<CreateFolderOperation>(install_path()))) {
      LOG(ERROR) << Fail(kInstallerErrorCreateFolder, install_path().value(),
                         "Could not create installation folder");
      return false;
    }
  }
  if (settings_->operation() != Settings::kUninstallOperation &&
      !settings_->copy_only() && !settings_->autoupdate()) {
    const RegistryItem last_path = {L"{CompanyRegistryKey}",
                                    L"Last {Stream} Install Path",
                                    REG_SZ,
                                    L"{InstallFolder}\\",
                                    nullptr,
                                    0,
                                    RegistryItem::kAnyWindows,
                                    RegistryItem::kAnyRoot,
                                    0,
                                    0};
    std::unique_ptr<Operation> operation;
    if (CreateRegistryOperation(last_path, this, HKEY_CURRENT_USER,
                                &operation) &&
        operation) {
      transaction_.Execute(std::move(operation));
    }
  }
  if (*write_access) {
    *write_access = CurrentUserHasAccess(install_path().value(), SE_FILE_OBJECT,
                                         kFolderAccess);
  }
  if (install && !*write_access && settings_->single_profile() &&
      status.single_profile() != 1) {
    LOG(ERROR) << Fail(kInstallerErrorNoWriteAccess, base::string16(),
                       "Single profile installations are only allowed to "
                       "locations where the user has write access");
    return false;
  }
  if (settings_->all_users() && !admin)
    return ReportElevation(RunElevated(), handed_over);
  if (install && admin && settings_->single_profile() &&
      status.single_profile() != 1) {
    std::unique_ptr<SavedDacl> dropped;
    GrantCurrentUserAccess(install_path().value(), SE_FILE_OBJECT, GENERIC_ALL,
                           true, &dropped);
  }
  VLOG(1) << "Write privileges for install folder: " << *write_access;
  if (*write_access ||
      GrantCurrentUserAccess(install_path().value(), SE_FILE_OBJECT,
                             kFolderAccess, false, &saved_dacl_)) {
    return true;
  }
  if (admin) {
    LOG(ERROR) << Fail(kInstallerErrorNoWriteAccess, base::string16(),
                       "Could not obtain write permissions to installation "
                       "folder");
    return false;
  }
  if (IsUserInAdministratorsGroup(true))
    return ReportElevation(RunElevated(), handed_over);
  return RequestPermission();
}

bool Installer::ReportElevation(ElevationResult result, bool* handed_over) {
  switch (result) {
    case kElevated:
      // With a package still coming, the package's run reports.
      *handed_over = true;
      if (!ProcessCommandLine().HasSwitch(kWaitForPackageSwitch))
        Succeed();
      return true;
    case kCannotElevate:
      LOG(ERROR) << Fail(kInstallerErrorElevation, base::string16(),
                         "Elevated installation failed.");
      return false;
    case kElevatedFailed:
      LOG(ERROR) << Fail(kInstallerErrorGeneric, base::string16(),
                         "Installer process did not complete successfully.");
      return false;
    case kSetupFailed:
      break;
  }
  LOG(ERROR) << Fail(kInstallerErrorGeneric, base::string16(),
                     "Error when setting up the installer process");
  return false;
}

bool Installer::RequestPermission() {
  FolderPermissionGrant grant;
  switch (RequestFolderPermission(install_path(), settings_->single_profile(),
                                  false, 0, &grant)) {
    case kFolderPermissionGranted:
      permission_undo_event_.Set(grant.undo_event.Take());
      if (grant.elevated_process_id)
        parent_process_id_ = grant.elevated_process_id;
      break;
    case kFolderPermissionCannotElevate:
      LOG(ERROR) << Fail(kInstallerErrorElevation, base::string16(),
                         "Failed to elevate the process to give us write "
                         "permissions to installation folder");
      return false;
    case kFolderPermissionNotGranted:
      LOG(ERROR) << Fail(kInstallerErrorGeneric, base::string16(),
                         "The process for giving us write permission to the "
                         "installer folder didn't complete successfully");
      return false;
    case kFolderPermissionSetupFailed:
      LOG(ERROR) << Fail(kInstallerErrorGeneric, base::string16(),
                         "Error when setting up the process to give us write "
                         "permissions to installation folder");
      return false;
  }
  if (!CurrentUserHasAccess(install_path().value(), SE_FILE_OBJECT,
                            kFolderAccess)) {
    LOG(ERROR) << Fail(kInstallerErrorNoWriteAccess, base::string16(),
                       "No write access to installation folder after "
                       "attempting to get it via elevated process");
    return false;
  }
  return true;
}

void Installer::RunPostElevationTasks() {
  if (settings_->operation() == Settings::kUninstallOperation)
    return;
  if (!settings_->copy_only())
    RegisterForCurrentUser();
  WriteFirstRunPreferences();
}

void Installer::RegisterForCurrentUser() {
  InstallerContext context(install_path());
  if (base::win::GetVersion() >= base::win::VERSION_WIN10 ||
      settings_->silent() || context.IsDefaultHandlerFor(L"http", false)) {
    return;
  }
  if (settings_->default_browser()) {
    context.SavePreviousDefaultBrowser(false);
    context.SetAsDefaultBrowser(false);
  } else {
    context.RegisterProgIdClass(false);
  }
}

void Installer::FillRecord() {
  record_ = InstallationStatus();
  record_.copy_only = settings_->copy_only();
  record_.all_users = settings_->all_users();
  record_.install_path = install_path();
  record_.version = ProductInfo::GetVersionString();
  const std::string& existing_id = settings_->status().record().app_id;
  record_.app_id = settings_->operation() == Settings::kUpdateOperation &&
                           !existing_id.empty()
                       ? existing_id
                       : UnixTimeString();
}

bool Installer::ReadFilesLists(int64_t* extra_steps) {
  std::string text;
  if (!base::ReadFileToString(package_folder_.Append(kFilesListName), &text)) {
    LOG(ERROR) << Fail(kInstallerErrorGeneric, base::string16(),
                       "Could not read files list");
    return false;
  }
  files_ = SplitLines(text);
  if (files_.empty()) {
    LOG(ERROR) << Fail(kInstallerErrorGeneric, base::string16(),
                       "No files in files list");
    return false;
  }
  root_files_.clear();
  if (base::ReadFileToString(package_folder_.Append(kRootFilesListName),
                             &text)) {
    root_files_ = SplitLines(text);
  }
  // The entries are joined onto the installation folder and, later, what
  // they name is deleted: none may lead out of it.
  for (const std::vector<std::string>* list : {&files_, &root_files_}) {
    for (const std::string& entry : *list) {
      if (!IsContainedRelativePath(base::FilePath(base::UTF8ToUTF16(entry)))) {
        LOG(ERROR) << Fail(kInstallerErrorGeneric, base::UTF8ToUTF16(entry),
                           "Invalid path in files list");
        return false;
      }
    }
  }
  // The root-file step takes one step even for an empty list.
  const int64_t root_steps =
      std::max<int64_t>(static_cast<int64_t>(root_files_.size()), 1);
  *extra_steps = static_cast<int64_t>(files_.size()) - 1 + root_steps - 1;
  return true;
}

bool Installer::CreateSubfolder() {
  const std::string version = ProductInfo::GetVersionString();
  base::string16 candidate = base::UTF8ToUTF16(version);
  for (int n = 0; base::PathExists(install_path().Append(candidate)); ++n)
    candidate = base::UTF8ToUTF16(version + "_" + base::IntToString(n));
  VLOG(1) << "Installation subfolder " << base::UTF16ToUTF8(candidate);
  record_.subfolder = base::FilePath(candidate);
  if (!transaction_.Execute(std::make_unique<CreateFolderOperation>(
          install_path().Append(candidate)))) {
    LOG(ERROR) << Fail(kInstallerErrorCreateFolder, candidate,
                       "Creating installation subfolder failed");
    return false;
  }
  return true;
}

bool Installer::CheckBrowserNotInUse() {
  const base::FilePath& subfolder = settings_->status().record().subfolder;
  const base::string16 browser = GetBrowserExeName();
  if (!transaction_.Execute(std::make_unique<DeleteFileOperation>(
          install_path().Append(subfolder).Append(browser), true, true))) {
    LOG(ERROR) << Fail(
        kInstallerErrorBrowserInUse, base::string16(),
        "Can't uninstall when " + base::UTF16ToUTF8(browser) + " is in use");
    return false;
  }
  return true;
}

void Installer::ReadExperiments() {
  base::FeatureRegistry* const registry = base::FeatureRegistry::GetInstance();
  const base::scoped_refptr<JsonPrefStore> prefs =
      PrefsTaskPool::GetInstance()->OpenPrefStore(
          install_path().Append(kInstallerPrefsFileName));
  const base::Value* value = nullptr;
  const base::ListValue* experiments = nullptr;
  if (prefs->GetValue(kInstallerExperimentsPref, &value) &&
      value->GetAsList(&experiments)) {
    base::ListValueFeatureReader stored(experiments);
    registry->AddReader(&stored);
    base::CommandLineFeatureReader switches(&ProcessCommandLine());
    registry->AddReader(&switches);
  }
  if (settings_->status().experiments().IsEnabled(kTestExperiment) !=
      registry->IsEnabled(kTestExperiment)) {
    LOG(INFO) << "Changing the status of the test experiment.";
  }
}

void Installer::FillSteps() {
  const base::WeakPtr<Installer> self = weak_factory_.GetWeakPtr();
  auto step = [&self](void (Installer::*method)()) {
    return base::Bind(method, self);
  };
  const Step copy_files = base::Bind(&Installer::StepCopyFiles, self, 0);
  const Step copy_root_files =
      base::Bind(&Installer::StepCopyRootFiles, self, 0);
  steps_.clear();
  switch (settings_->operation()) {
    case Settings::kInstallOperation:
      steps_ = {copy_files,
                copy_root_files,
                step(&Installer::StepInstallLauncher),
                step(&Installer::StepSetUpRegistry),
                step(&Installer::StepInstallShortcuts),
                step(&Installer::StepWritePreferences),
                step(&Installer::StepFinalize)};
      break;
    case Settings::kUpdateOperation:
      steps_ = {step(&Installer::StepCleanUp),
                copy_files,
                step(&Installer::StepDeleteListedFiles),
                copy_root_files,
                step(&Installer::StepInstallLauncher),
                step(&Installer::StepRemoveRegistryKeys),
                step(&Installer::StepSetUpRegistry),
                step(&Installer::StepUpdateShortcuts),
                step(&Installer::StepWritePreferences),
                step(&Installer::StepPreserveOldStatus),
                step(&Installer::StepFinalize)};
      break;
    case Settings::kUninstallOperation:
      steps_ = {step(&Installer::StepRemoveRegistryKeys),
                step(&Installer::StepDeleteShortcuts),
                step(&Installer::StepFinalizeUninstall),
                step(&Installer::StepCleanUp),
                step(&Installer::StepSelfDelete)};
      break;
  }
}

void Installer::PostStep(const char* location, const Step& step) {
  message_loop_->PostTask(
      base::Location(location, __FILE__, __LINE__, base::GetProgramCounter()),
      step);
}

void Installer::ScheduleNextStep() {
  // Every list ends with a step that reports the outcome.
  CHECK_LT(next_step_, steps_.size());
  PostStep("vexlo::installer::Installer::ScheduleNextStep", steps_[next_step_]);
  observers_.Notify(&InstallerObserver::OnNextStep);
  ++next_step_;
}

std::string Installer::Fail(int32_t code,
                            const base::string16& wide,
                            const std::string& narrow) {
  observers_.Notify(&InstallerObserver::OnInstallationFailed, code, wide,
                    narrow);
  Abort();
  return narrow;
}

void Installer::Abort() {
  transaction_.RollbackAll();
  CloseJournal();
  Reset();
  observers_.Notify(&InstallerObserver::OnInstallerTerminated, false);
}

void Installer::Succeed() {
  // Before the front end hears of it: a run killed after its success must
  // not be taken back, nor what a run that started this one and was killed
  // meanwhile did towards it.
  journal_.Commit();
  CloseJournal();
  succeeded_ = true;
  observers_.Notify(&InstallerObserver::OnInstallationSucceeded);
  Reset();
}

void Installer::Reset() {
  if (saved_dacl_)
    RestoreSavedDacl(&saved_dacl_);
  if (permission_undo_event_.IsValid())
    ::SetEvent(permission_undo_event_.Get());
  settings_ = nullptr;
  uninstall_key_.clear();
  running_ = false;
  // Steps and copies still queued belong to the run that ended.
  weak_factory_.InvalidateWeakPtrs();
  steps_.clear();
  interrupted_watcher_.StopWatching();
}

void Installer::OnObjectSignaled(HANDLE object) {
  if (object == interrupted_event_.Get()) {
    LOG(ERROR) << "The installation was interrupted";
    if (running_)
      Abort();
    return;
  }
  RunPackageInstaller();
}

base::string16 Installer::ResolvePlaceholder(const base::string16& name) {
  if (name == L"InstallFolder")
    return install_path().value();
  if (name == L"Version")
    return base::UTF8ToUTF16(ProductInfo::GetVersionString());
  if (name == L"Executable")
    return GetBrowserExeName();
  if (name == L"Product")
    return base::UTF8ToUTF16(ProductInfo::GetProductName());
  if (name == L"Company")
    return base::UTF8ToUTF16(ProductConfiguration::GetCompanyName());
  if (name == L"CompanyRegistryKey")
    return GetCompanyRegistryKey();
  if (name == L"Stream")
    return base::UTF8ToUTF16(ProductInfo::GetChannel());
  if (name == L"Uninstall")
    return uninstall_key_;
  if (name == L"HelpURL")
    return base::UTF8ToUTF16(ProductConfiguration::GetUrl("help"));
  if (name == L"CompanyURL")
    return base::UTF8ToUTF16(ProductConfiguration::GetUrl("homepage"));
  if (name == L"DownloadsURL")
    return base::UTF8ToUTF16(ProductConfiguration::GetUrl("download"));
  return name;
}

std::vector<InstallationStatus::RegistryKey>* Installer::GetStatusRegistryKeys(
    HKEY root) {
  if (!record_registry_)
    return nullptr;
  return root == HKEY_LOCAL_MACHINE ? &record_.machine_keys
                                    : &record_.user_keys;
}

Installer::ElevationResult Installer::RunElevated() {
  VLOG(1) << "Running the installer elevated.";
  if (!IsUserInAdministratorsGroup(true) &&
      base::win::GetVersion() >= base::win::VERSION_VISTA) {
    uint32_t enable_lua = 1;
    if (base::win::RegKey(HKEY_LOCAL_MACHINE, kSystemPoliciesKey, KEY_READ)
                .ReadValueDW(L"EnableLUA", &enable_lua) == ERROR_SUCCESS &&
        enable_lua == 0) {
      LOG(ERROR) << "Cannot elevate with UAC disabled";
      return kCannotElevate;
    }
  }
  base::CommandLine command_line = settings_->GetBackendCommandLine(true);
  command_line.AppendSwitchASCII(kLaunchVexloSwitch, "0");
  command_line.AppendSwitchASCII(kParentPidSwitch,
                                 base::UintToString(::GetCurrentProcessId()));
  if (ProcessCommandLine().HasSwitch(kWaitForPackageSwitch)) {
    command_line.AppendSwitchNative(
        kWaitForPackageSwitch,
        ProcessCommandLine().GetSwitchValueNative(kWaitForPackageSwitch));
  }
  base::FilePath program;
  if (!base::PathService::Get(base::FILE_EXE, &program)) {
    LOG(ERROR) << "Failed to obtain installer exe file path";
    return kSetupFailed;
  }
  observers_.Notify(&InstallerObserver::OnSubprocessStarting, false);
  base::win::ScopedHandle process;
  if (!LaunchElevated(program, command_line.GetArgumentsString(false), SW_SHOW,
                      &process)) {
    return kCannotElevate;
  }
  const DWORD wait = ::WaitForSingleObject(process.Get(), INFINITE);
  const bool abandoned = journal_.ReplayAbandoned();
  observers_.Notify(&InstallerObserver::OnSubprocessFinished);
  DWORD exit_code = 1;
  if (wait == WAIT_FAILED) {
    PLOG(ERROR) << "Failed wait for the elevated installer";
    return kElevatedFailed;
  }
  if (abandoned || wait != WAIT_OBJECT_0 ||
      !::GetExitCodeProcess(process.Get(), &exit_code) || exit_code != 0) {
    return kElevatedFailed;
  }
  if (ProcessCommandLine().HasSwitch(kWaitForPackageSwitch))
    WaitForPackage(true);
  else
    RunPostElevationTasks();
  return kElevated;
}

void Installer::WaitForPackage(bool elevated) {
  elevated_ = elevated;
  package_ready_event_.Set(::OpenEventW(
      SYNCHRONIZE, FALSE,
      MakeKernelObjectName(kPackageReadyEventName, install_path().value(), true)
          .c_str()));
  if (!package_ready_event_.IsValid()) {
    const char* detail = EventOpenFailure(
        "Failed to open a handle to the package ready event",
        "The front end ended the run before the package was ready");
    LOG(ERROR) << Fail(kInstallerErrorGeneric, base::string16(), detail);
    return;
  }
  if (::WaitForSingleObject(package_ready_event_.Get(), 0) == WAIT_OBJECT_0) {
    OnObjectSignaled(package_ready_event_.Get());
    return;
  }
  if (!package_ready_watcher_.StartWatchingOnce(package_ready_event_.Get(),
                                                this)) {
    LOG(ERROR) << Fail(kInstallerErrorGeneric, base::string16(),
                       "Failed to watch the package ready event");
  }
}

void Installer::RunPackageInstaller() {
  if (!running_)
    return;
  base::CommandLine command_line = settings_->GetBackendCommandLine(false);
  command_line.SetProgram(ProcessCommandLine()
                              .GetSwitchValuePath(kWaitForPackageSwitch)
                              .Append(kPackageInstallerName));
  if (elevated_)
    command_line.AppendSwitch(kPostElevatedTasksSwitch);
  if (ProcessCommandLine().HasSwitch(kCrashReporterPidSwitch)) {
    command_line.AppendSwitchASCII(
        kCrashReporterPidSwitch,
        ProcessCommandLine().GetSwitchValueASCII(kCrashReporterPidSwitch));
  }
  observers_.Notify(&InstallerObserver::OnSubprocessStarting, false);
  Reset();
  base::LaunchOptions options;
  base::Process process = base::LaunchProcess(command_line, options);
  DWORD exit_code = 1;
  const bool started = process.IsValid();
  // A child that left journal records was killed, whatever its exit code.
  bool abandoned = false;
  if (started) {
    ::WaitForSingleObject(process.Handle(), INFINITE);
    ::GetExitCodeProcess(process.Handle(), &exit_code);
    abandoned = journal_.ReplayAbandoned();
  }
  observers_.Notify(&InstallerObserver::OnSubprocessFinished);
  if (!started) {
    LOG(ERROR) << Fail(kInstallerErrorGeneric, base::string16(),
                       "Failed to start installer process from the package "
                       "folder.");
  } else if (exit_code == 0 && !abandoned) {
    Succeed();
  } else {
    LOG(ERROR) << Fail(kInstallerErrorGeneric, base::string16(),
                       "Installer process did not complete successfully.");
  }
}

}  // namespace installer
}  // namespace vexlo
