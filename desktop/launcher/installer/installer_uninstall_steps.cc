// The steps that end an uninstallation: the status record, the shell, the
// default browser and the survey first, then the files, the batch file that
// deletes what is still in use, and the user's profile.

#include <windows.h>

#include <shlobj.h>

#include <limits>
#include <memory>
#include <string>

#include "base/base_paths_win.h"
#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/windows_version.h"
#include "components/prefs/json_pref_store.h"
#include "desktop/common/autoupdate/updatechecker/global_storage_win.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/installer.h"
#include "desktop/launcher/installer/installer_observer.h"
#include "desktop/launcher/installer/installer_startup.h"
#include "desktop/launcher/installer/profile_deletion.h"
#include "desktop/launcher/installer/service/installer_context.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "desktop/launcher/installer/service/transactions/create_folder_operation.h"
#include "desktop/launcher/installer/service/transactions/delete_file_operation.h"
#include "desktop/launcher/installer/service/transactions/rollback_journal.h"
#include "desktop/launcher/installer/service/transactions/rollback_leftovers.h"
#include "desktop/launcher/installer/settings.h"
#include "desktop/launcher/installer/status.h"
#include "desktop/launcher/installer/uninstall_batch.h"
#include "desktop/launcher/installer/uninstall_finalization.h"
#include "desktop/launcher/installer/wmi_process_launcher.h"

namespace vexlo {
namespace installer {

namespace {

constexpr char kInitialPidSwitch[] = "initial-pid";
constexpr wchar_t kLauncherName[] = L"launcher.exe";
constexpr wchar_t kUninstallBatchName[] = L"k.bat";
constexpr wchar_t kClientsKey[] = L"Software\\Clients\\StartMenuInternet";
// Long enough for a window that pumps its messages, short enough that a
// stuck one cannot hold the installation's end.
constexpr UINT kBroadcastTimeoutMs = 2000;
// What an installation keeps in its folder beside the record's files.
constexpr const wchar_t* kInstallationDataFiles[] = {L"installer_prefs.json",
                                                     L"server_tracking_data",
                                                     L"pref_default_overrides"};

uint32_t InitialProcessId() {
  unsigned id = 0;
  if (!base::StringToUint(
          base::CommandLine::ForCurrentProcess()->GetSwitchValueASCII(
              kInitialPidSwitch),
          &id)) {
    return 0;
  }
  return id;
}

// The folders an uninstallation that deletes the profile removes: the user
// data folder and, for a profile in the default place, its twin under the
// local application data.
std::vector<base::FilePath> ProfileFoldersToDelete(
    const base::FilePath& install_path) {
  std::vector<base::FilePath> folders;
  InstallerContext context(install_path);
  base::FilePath data;
  if (!context.GetUserDataFolder(&data, true))
    return folders;
  folders.push_back(data);
  base::FilePath roaming;
  base::FilePath local;
  base::FilePath relative;
  if (context.profile_path().empty() &&
      base::PathService::Get(base::DIR_APP_DATA, &roaming) &&
      base::PathService::Get(base::DIR_LOCAL_APP_DATA, &local) &&
      roaming.AppendRelativePath(data, &relative)) {
    folders.push_back(local.Append(relative));
  }
  return folders;
}

// Deletes |folder| whole, then the folders above it that this left empty,
// short of the shell's shared folders.
void DeleteProfile(const base::FilePath& folder) {
  if (!DeleteProfileFolder(folder))
    return;
  const std::vector<base::FilePath> shared = GetSharedShellFolders();
  // A link above is no emptied folder: on some systems its removal would
  // take the folder it points to.
  for (base::FilePath parent = folder.DirName();
       MayDeleteRecursively(parent, shared) && !base::IsLink(parent) &&
       ::RemoveDirectoryW(parent.value().c_str());
       parent = parent.DirName()) {
  }
}

// What take-backs of a killed run for the installation left to delete once
// free goes with the rest: each file once it is free, before the folders
// around it, what the killed run set aside as well, as a process may hold
// it, and then the journals that kept them. What was set aside is no
// longer to go back, or a take-back while the batch waits would put back a
// file of the uninstalled version.
void AddTakeBackLeftovers(const base::FilePath& install_path,
                          UninstallBatch* batch) {
  const base::FilePath journal = RollbackJournal::PathFor(install_path);
  // The scope reads the installation's records, which an uninstallation
  // with nothing left to finish need not pay for.
  if (!RollbackJournal::HasLeftovers(journal))
    return;
  const RollbackScope scope = RollbackScope::ForInstallation(install_path);
  RollbackJournal::ForgoRenamesBack(journal, scope);
  RollbackLeftovers leftovers;
  std::vector<base::FilePath> journals;
  RollbackJournal::FindLeftovers(journal, scope, &leftovers, &journals);
  for (const base::FilePath& file : leftovers.Files())
    batch->AddFileInUse(file, true);
  for (const base::FilePath& file : leftovers.SetAside())
    batch->AddFileInUse(file, true);
  for (const base::FilePath& kept : journals)
    batch->AddLeftover(kept, false);
}

}  // namespace

void Installer::StepFinalizeUninstall() {
  VLOG(1) << "Finalizing the uninstallation";
  if (!transaction_.Execute(std::make_unique<DeleteFileOperation>(
          install_path().Append(kInstallationStatusFileName), false, true))) {
    LOG(ERROR) << Fail(kInstallerErrorGeneric, base::string16(),
                       "Failed to remove installation status file");
    return;
  }
  BroadcastAssociationChange();
  if (!settings_->copy_only()) {
    if (settings_->status().default_browser() &&
        base::win::GetVersion() >= base::win::VERSION_VISTA) {
      HandDefaultBackToSystemBrowser(settings_->all_users());
    }
    OpenUninstallSurvey();
  }
  ScheduleNextStep();
}

void Installer::BroadcastAssociationChange() {
  // A pointer parameter cannot travel with a posted system message, so the
  // broadcast waits, but never for a window that stopped answering.
  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                             reinterpret_cast<LPARAM>(kClientsKey),
                             SMTO_ABORTIFHUNG, kBroadcastTimeoutMs, &result)) {
    PLOG(WARNING) << "Broadcasting the settings change failed";
  }
  ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

void Installer::OpenUninstallSurvey() {
  const std::string survey_url =
      ProductConfiguration::GetUrl("uninstall_survey");
  if (survey_url.empty() || settings_->silent())
    return;
  autoupdate::GlobalStorageWin* const storage =
      autoupdate::GlobalStorageWin::GetInstance();
  base::FilePath data;
  if (InstallerContext(install_path()).GetUserDataFolder(&data, false))
    storage->Initialize(data);
  std::string uuid;
  storage->GetValue("UUID", &uuid);
  base::FilePath program_files;
  if (!base::PathService::Get(base::DIR_PROGRAM_FILES, &program_files))
    return;
  const std::string url =
      BuildSurveyUrl(survey_url, ProductInfo::GetVersionString(), uuid,
                     base::UTF16ToUTF8(settings_->status().welcome_url()));
  LaunchProcessThroughWmi(
      BuildSurveyCommandLine(program_files,
                             base::win::GetVersion() >= base::win::VERSION_WIN8,
                             url),
      nullptr);
}

void Installer::StepSelfDelete() {
  const InstallationStatus& record = settings_->status().record();
  // Read now: the profile's place lies in the preferences about to go.
  const std::vector<base::FilePath> profile_folders =
      settings_->delete_profile() ? ProfileFoldersToDelete(install_path())
                                  : std::vector<base::FilePath>();
  if (!settings_->copy_only())
    DeleteAutoupdateTask(record.app_id);
  UninstallBatch batch;
  DeleteInstalledFiles(record, &batch);
  AddTakeBackLeftovers(install_path(), &batch);
  const std::vector<uint32_t> process_ids = {
      ::GetCurrentProcessId(), InitialProcessId(), parent_process_id_};
  const std::string text =
      batch.Build(process_ids, install_path(), ::GetOEMCP(), &GetShortPath);
  CHECK_LT(text.size(), static_cast<size_t>(std::numeric_limits<int>::max()));
  const int size = static_cast<int>(text.size());
  if (base::WriteFile(install_path().Append(kUninstallBatchName), text.data(),
                      size) != size) {
    LOG(ERROR) << "Could not write the uninstallation batch file";
  } else if (!permission_undo_event_.IsValid()) {
    // Otherwise the process that granted the folder's rights starts it
    // when it ends.
    RunUninstallBatch(install_path());
  }
  for (const base::FilePath& folder : profile_folders)
    DeleteProfile(folder);
  observers_.Notify(&InstallerObserver::OnNextStep);
  Succeed();
}

void Installer::DeleteInstalledFiles(const InstallationStatus& record,
                                     UninstallBatch* batch) {
  const auto remove = [this](const base::FilePath& path, bool check_in_use,
                             bool remove_parents) {
    return transaction_.Execute(std::make_unique<DeleteFileOperation>(
        path, check_in_use, remove_parents));
  };
  const base::FilePath subfolder = install_path().Append(record.subfolder);
  for (const base::FilePath& file : record.files) {
    if (!remove(subfolder.Append(file), true, true))
      batch->AddLeftover(subfolder.Append(file), true);
  }
  const base::FilePath launcher = install_path().Append(kLauncherName);
  if (!remove(launcher, true, true))
    batch->AddLeftover(launcher, false);
  if (!ProductConfiguration::IsWhiteLabeled()) {
    const base::FilePath old =
        install_path().Append(GetBrowserExeName()).ReplaceExtension(L".old");
    if (base::PathExists(old))
      remove(old, false, false);
  }
  // A root file in use, such as the installer that runs this, is left to
  // the batch like any other file, or the folder could never go.
  for (const base::FilePath& file : record.root_files) {
    if (!remove(install_path().Append(file), true, true))
      batch->AddLeftover(install_path().Append(file), true);
  }
  for (const wchar_t* name : kInstallationDataFiles) {
    if (!remove(install_path().Append(name), false, true))
      batch->AddLeftover(install_path().Append(name), false);
  }
  // A write of the preferences that a kill cut short leaves its temporary
  // file, which nothing names; it would keep the folder.
  CreateFolderOperation::RemoveUnfinishedWrites(install_path());
}

}  // namespace installer
}  // namespace vexlo
