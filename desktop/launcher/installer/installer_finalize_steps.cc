// The steps that finish an installation or update: the installation's
// preferences, its status record, the default browser, the shell, the
// auto-update task and the browser profile's first-run preferences.

#include <windows.h>

#include <shlobj.h>

#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "base/command_line.h"
#include "base/features/feature_registry.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "base/win/windows_version.h"
#include "components/prefs/json_pref_store.h"
#include "desktop/common/l10n/l10n_util.h"
#include "desktop/common/product/installer_features.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/launcher/installer/installer.h"
#include "desktop/launcher/installer/installer_observer.h"
#include "desktop/launcher/installer/service/installer_context.h"
#include "desktop/launcher/installer/service/prefs_task_pool.h"
#include "desktop/launcher/installer/service/refusing_task_runner.h"
#include "desktop/launcher/installer/service/task_scheduler.h"
#include "desktop/launcher/installer/service/transactions/file_snapshot_operation.h"
#include "desktop/launcher/installer/service/xml_document.h"
#include "desktop/launcher/installer/settings.h"
#include "desktop/launcher/installer/status.h"

namespace vexlo {
namespace installer {

namespace {

constexpr wchar_t kIncludePrefsFileName[] = L"installer_prefs_include.json";
constexpr wchar_t kLauncherName[] = L"launcher.exe";
constexpr wchar_t kAutoupdateTaskPrefix[] = L"Autoupdate ";
constexpr char kTaskErrorCountPref[] = "au_task_error_count";
constexpr char kPartnerUpdatedPref[] = "custom_partner_content.updated";
constexpr wchar_t kPartnerContentName[] = L"custom_partner_content.json";
constexpr wchar_t kTrackingAgentName[] = L"tracking_user_agent.json";
constexpr int kTaskDescriptionId = 37047;
constexpr uint32_t kTaskTimeLimitSeconds = 3600;
constexpr const char* kLaunchCopiedSwitches[] = {
    "import-bookmarks", "import-session", "import-topsites-to-speeddial"};

TaskScheduler* g_task_scheduler_for_testing = nullptr;

base::scoped_refptr<JsonPrefStore> OpenPrefs(const base::FilePath& path) {
  return PrefsTaskPool::GetInstance()->OpenPrefStore(path);
}

void SetString(JsonPrefStore* prefs,
               const char* key,
               const base::string16& value) {
  prefs->SetValue(key, std::make_unique<base::StringValue>(value), 0);
}

void SetBoolean(JsonPrefStore* prefs, const char* key, bool value) {
  prefs->SetValue(key, std::make_unique<base::FundamentalValue>(value), 0);
}

// The test scheduler when one is set, else this Windows version's own.
std::unique_ptr<TaskScheduler, void (*)(TaskScheduler*)> CreateScheduler() {
  if (g_task_scheduler_for_testing)
    return {g_task_scheduler_for_testing, [](TaskScheduler*) {}};
  return {TaskScheduler::Create().release(),
          [](TaskScheduler* scheduler) { delete scheduler; }};
}

void DecrementTaskErrorCount(const base::FilePath& install_path) {
  const base::scoped_refptr<JsonPrefStore> prefs =
      OpenPrefs(install_path.Append(kInstallerPrefsFileName));
  const base::Value* value = nullptr;
  int count = 0;
  if (!prefs->GetValue(kTaskErrorCountPref, &value) ||
      !value->GetAsInteger(&count) || count <= 0) {
    return;
  }
  prefs->SetValueWithoutNotification(
      kTaskErrorCountPref, std::make_unique<base::FundamentalValue>(count - 1),
      0);
  VLOG(1) << "Setting autoupdate task error counter to : " << count - 1;
}

// Brings the package's partner files into a profile that has none.
void CopyPartnerFiles(const base::FilePath& resources,
                      const base::FilePath& data_folder,
                      JsonPrefStore* local_state) {
  const base::FilePath d1 = data_folder.Append(kPartnerContentName);
  const base::FilePath d2 = data_folder.Append(kTrackingAgentName);
  const base::FilePath r1 = resources.Append(kPartnerContentName);
  const base::FilePath r2 = resources.Append(kTrackingAgentName);
  const bool r1_exists = base::PathExists(r1);
  if (!r1_exists && !base::PathExists(r2)) {
    const bool d1_deleted = base::PathExists(d1) && base::DeleteFile(d1, false);
    base::DeleteFile(d2, false);
    if (d1_deleted)
      SetBoolean(local_state, kPartnerUpdatedPref, true);
    return;
  }
  if (base::PathExists(d1) || base::PathExists(d2))
    return;
  if (r1_exists) {
    if (base::CopyFile(r1, d1))
      SetBoolean(local_state, kPartnerUpdatedPref, true);
  } else {
    base::CopyFile(r2, d2);
  }
}

}  // namespace

// static
void Installer::SetTaskSchedulerForTesting(TaskScheduler* scheduler) {
  g_task_scheduler_for_testing = scheduler;
}

// static
void Installer::DeleteAutoupdateTask(const std::string& app_id) {
  const auto scheduler = CreateScheduler();
  if (!scheduler->Init())
    return;
  scheduler->DeleteOrphanedTasks();
  scheduler->DeleteTask(kAutoupdateTaskPrefix + base::UTF8ToUTF16(app_id));
}

void Installer::StepWritePreferences() {
  const base::FilePath path = install_path().Append(kInstallerPrefsFileName);
  // The store writes behind, outside the transaction; a failure later in
  // the run must still find the file as it was.
  if (!transaction_.Execute(std::make_unique<FileSnapshotOperation>(
          path, PrefsTaskPool::GetInstance()->GetTaskRunnerForFile(path)))) {
    LOG(ERROR) << "Leaving the installation preferences unchanged";
    ScheduleNextStep();
    return;
  }
  const base::scoped_refptr<JsonPrefStore> prefs = OpenPrefs(path);
  const base::scoped_refptr<JsonPrefStore> include =
      OpenPrefs(package_folder_.Append(kIncludePrefsFileName));
  const base::Value* welcome = nullptr;
  if (include->GetValue("welcome-url", &welcome) &&
      welcome->IsType(base::Value::TYPE_STRING)) {
    prefs->SetValue("welcome-url", welcome->CreateDeepCopy(), 0);
  }
  SetBoolean(prefs.get(), "single_profile", settings_->single_profile());
  if (!settings_->profile_folder().empty())
    SetString(prefs.get(), "profile_path", settings_->profile_folder().value());
  if (!settings_->language().empty())
    SetString(prefs.get(), "language", settings_->language());
  WriteExperimentLists(prefs.get());
  const base::CommandLine& command_line =
      *base::CommandLine::ForCurrentProcess();
  if (command_line.HasSwitch("temp-folder")) {
    SetString(prefs.get(), "temp_folder",
              command_line.GetSwitchValueNative("temp-folder"));
  }
  if (!settings_->autoupdate()) {
    SetBoolean(prefs.get(), "import_browser_data",
               settings_->import_browser_data());
    SetBoolean(prefs.get(), "enable_stats", settings_->enable_vexlo_stats());
  }
  ScheduleNextStep();
}

void Installer::WriteExperimentLists(JsonPrefStore* prefs) {
  const base::FeatureRegistry* registry = base::FeatureRegistry::GetInstance();
  auto all = std::make_unique<base::ListValue>();
  auto changed = std::make_unique<base::ListValue>();
  size_t count = 0;
  const FeatureDefinition* features = GetInstallerFeatures(&count);
  for (size_t i = 0; i < count; ++i) {
    const bool enabled = registry->IsEnabled(features[i].name);
    const std::string entry =
        std::string(features[i].name) + (enabled ? "@1" : "@2");
    all->AppendString(entry);
    if (enabled != IsInstallerFeatureEnabledByDefault(features[i]))
      changed->AppendString(entry);
  }
  prefs->SetValue("installer-experiments", std::move(changed), 0);
  prefs->SetValue("all-installer-experiments", std::move(all), 0);
}

void Installer::StepFinalize() {
  VLOG(1) << "Finalizing the installation";
  if (!SaveStatusFile()) {
    LOG(ERROR) << Fail(kInstallerErrorGeneric, base::string16(),
                       "Failed saving the installation status");
    return;
  }
  RegisterDefaultBrowser();
  BroadcastAssociationChange();
  // A per-user installation whose folder rights came from the permission
  // process has no task, since it could not run with those rights.
  if (!settings_->copy_only() &&
      (settings_->all_users() || !permission_undo_event_.IsValid())) {
    ScheduleAutoupdateTask();
  }
  WriteFirstRunPreferences();
  observers_.Notify(&InstallerObserver::OnNextStep);
  Succeed();
}

bool Installer::SaveStatusFile() {
  XmlDocument document;
  if (!document.Initialize())
    return false;
  WriteInstallationStatus(&document, record_);
  std::string text;
  if (!document.SaveToString(&text))
    return false;
  CHECK_LE(text.size(), static_cast<size_t>(std::numeric_limits<int>::max()));
  const int size = static_cast<int>(text.size());
  const base::FilePath path =
      install_path().Append(kInstallationStatusFileName);
  // Kept, so that a run that ends before it succeeds, even a killed one,
  // never leaves a record of files that it took back. The write is this
  // thread's own: there is no writer to wait for.
  if (!transaction_.Execute(std::make_unique<FileSnapshotOperation>(
          path, new RefusingTaskRunner()))) {
    return false;
  }
  return base::WriteFile(path, text.data(), size) == size;
}

void Installer::RegisterDefaultBrowser() {
  const bool elevated_child =
      base::CommandLine::ForCurrentProcess()->HasSwitch("parent-pid");
  if ((base::win::GetVersion() >= base::win::VERSION_WIN10 && elevated_child) ||
      settings_->silent() || !settings_->default_browser() ||
      settings_->copy_only()) {
    return;
  }
  InstallerContext context(install_path(), record_);
  if (context.IsDefaultHandlerFor(L"http", false))
    return;
  if (settings_->all_users()) {
    context.SavePreviousDefaultBrowser(true);
    context.SetAsDefaultBrowser(true);
  }
  context.SavePreviousDefaultBrowser(false);
  context.SetAsDefaultBrowser(false);
}

void Installer::ScheduleAutoupdateTask() {
  const auto scheduler = CreateScheduler();
  LOG(INFO) << "Creating scheduled task";
  if (!scheduler->Init()) {
    LOG(ERROR) << "Could not initialize task scheduler";
    return;
  }
  scheduler->DeleteOrphanedTasks();
  const bool scheduled = ProductConfiguration::ShouldScheduleAutoupdateTask();
  ScheduledTaskInfo info;
  info.command = base::CommandLine(install_path().Append(kLauncherName));
  info.command.AppendSwitch("scheduledautoupdate");
  info.command.AppendArg("$(Arg0)");
  info.name = kAutoupdateTaskPrefix + base::UTF8ToUTF16(record_.app_id);
  info.description = l10n::GetLocalizedString(kTaskDescriptionId);
  info.system = settings_->all_users() ? 1 : 0;
  info.execution_time_limit = kTaskTimeLimitSeconds;
  info.schedule_kind = scheduled ? ScheduledTaskInfo::SCHEDULE_DAILY
                                 : ScheduledTaskInfo::SCHEDULE_NONE;
  info.logon_trigger = scheduled;
  info.network_only = true;
  if (!scheduler->RegisterTask(info)) {
    LOG(ERROR) << "Could not create scheduled task";
    return;
  }
  DecrementTaskErrorCount(install_path());
}

void Installer::WriteFirstRunPreferences() {
  const base::FilePath& data_folder = settings_->status().user_data_folder();
  if (!data_folder.empty()) {
    const base::scoped_refptr<JsonPrefStore> local_state =
        OpenPrefs(data_folder.Append(L"Local State"));
    const base::Value* locale = nullptr;
    if (!local_state->GetValue("intl.app_locale", &locale))
      SetString(local_state.get(), "intl.app_locale", settings_->language());
    if (!settings_->autoupdate()) {
      OpenPrefs(data_folder.Append(L"Preferences"))
          ->RemoveValue("statistics.collection_enabled", 0);
      CopyPartnerFiles(
          install_path().Append(record_.subfolder).Append(L"resources"),
          data_folder, local_state.get());
    }
  }
  if (settings_->launch_vexlo())
    LaunchBrowser();
}

void Installer::LaunchBrowser() {
  const base::CommandLine& own = *base::CommandLine::ForCurrentProcess();
  base::CommandLine command(install_path().Append(kLauncherName));
  for (const char* name : kLaunchCopiedSwitches) {
    if (own.HasSwitch(name))
      command.AppendSwitchNative(name, own.GetSwitchValueNative(name));
  }
  if (settings_->operation() != Settings::kUpdateOperation)
    command.AppendSwitch("start-maximized");
  const base::Process process =
      base::LaunchProcess(command, base::LaunchOptions());
  if (!process.IsValid()) {
    LOG(ERROR) << "Could not start the browser";
    return;
  }
  ::WaitForSingleObject(process.Handle(), INFINITE);
}

}  // namespace installer
}  // namespace vexlo
