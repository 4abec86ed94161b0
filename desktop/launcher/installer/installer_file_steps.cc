// The installer's steps on files.

#include <utility>

#include "base/base_paths_win.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/json/json_file_value_serializer.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "base/values.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/launcher/installer/installer.h"
#include "desktop/launcher/installer/installer_observer.h"
#include "desktop/launcher/installer/service/installer_context.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "desktop/launcher/installer/service/transactions/copy_file_operation.h"
#include "desktop/launcher/installer/service/transactions/create_folder_operation.h"
#include "desktop/launcher/installer/service/transactions/delete_file_operation.h"
#include "desktop/launcher/installer/service/transactions/move_file_operation.h"
#include "desktop/launcher/installer/service/xml_document.h"
#include "desktop/launcher/installer/settings.h"
#include "desktop/launcher/installer/status.h"

namespace vexlo {
namespace installer {

namespace {

constexpr char kServerTrackingDataSwitch[] = "server-tracking-data";
constexpr wchar_t kLauncherName[] = L"launcher.exe";
constexpr wchar_t kServerTrackingDataName[] = L"server_tracking_data";
constexpr wchar_t kPrefDefaultOverridesName[] = L"pref_default_overrides";
constexpr wchar_t kLegacyStatusFileName[] = L"vexlo_install_log.xml";
constexpr wchar_t kOldStatusFolderName[] = L"old_status";
constexpr wchar_t kOldStatusPattern[] = L"*.xml.*";
constexpr wchar_t kOldShortcutPattern[] = L"Vexlo*Briefhub.lnk";

bool ParsesAsJson(const base::FilePath& path) {
  base::JSONFileValueDeserializer deserializer(path);
  return deserializer.Deserialize(nullptr, nullptr) != nullptr;
}

}  // namespace

void Installer::StepCopyFiles(int index) {
  CopyFileW(index, files_, &Installer::StepCopyFiles, &record_.files, false);
}

void Installer::StepCopyRootFiles(int index) {
  CopyFileW(index, root_files_, &Installer::StepCopyRootFiles,
            &record_.root_files, true);
}

void Installer::CopyFileW(int index,
                          const std::vector<std::string>& list,
                          void (Installer::*next)(int),
                          std::vector<base::FilePath>* recorded,
                          bool root) {
  if (root && index == 0 && list.empty()) {
    ScheduleNextStep();
    return;
  }
  if (index < 0 || static_cast<size_t>(index) >= list.size()) {
    LOG(ERROR) << Fail(kInstallerErrorGeneric, base::string16(),
                       "Invalid index " + base::IntToString(index) +
                           " passed to StepCopyFile (max: " +
                           base::Uint64ToString(list.size()) + ")");
    return;
  }
  const base::FilePath entry = base::FilePath(base::UTF8ToUTF16(list[index]));
  VLOG(1) << "Copying file " << list[index];
  const base::FilePath folder =
      root ? install_path() : install_path().Append(record_.subfolder);
  const base::FilePath destination = folder.Append(entry);
  if (!transaction_.Execute(std::make_unique<CopyFileOperation>(
          package_folder_.Append(entry), destination))) {
    LOG(ERROR) << Fail(kInstallerErrorCopy, destination.value(),
                       "Failed copying " + list[index]);
    return;
  }
  recorded->push_back(entry);
  if (static_cast<size_t>(index) + 1 < list.size()) {
    observers_.Notify(&InstallerObserver::OnNextStep);
    PostStep("vexlo::installer::Installer::CopyFileW",
             base::Bind(next, weak_factory_.GetWeakPtr(), index + 1));
  } else {
    ScheduleNextStep();
  }
}

void Installer::StepInstallLauncher() {
  VLOG(1) << "Installing the launcher";
  const base::FilePath source = package_folder_.Append(kLauncherName);
  const base::FilePath destination = install_path().Append(kLauncherName);
  if (!transaction_.Execute(
          std::make_unique<CopyFileOperation>(source, destination))) {
    LOG(ERROR) << Fail(kInstallerErrorCopy, destination.value(),
                       "Failed copying the launcher");
    return;
  }
  if (!ProductConfiguration::IsWhiteLabeled()) {
    // An installation converted once from the old format keeps the
    // launcher under the browser's name too, for the shortcuts and
    // associations that still name it.
    const base::FilePath browser = install_path().Append(GetBrowserExeName());
    const base::FilePath old = browser.ReplaceExtension(L".old");
    if (settings_->status().legacy_installation() ||
        (base::PathExists(browser) && base::PathExists(old))) {
      if (transaction_.Execute(
              std::make_unique<MoveFileOperation>(browser, old))) {
        transaction_.Execute(
            std::make_unique<CopyFileOperation>(source, browser));
      }
    }
  }
  const base::CommandLine& command_line =
      *base::CommandLine::ForCurrentProcess();
  if (command_line.HasSwitch(kServerTrackingDataSwitch)) {
    const base::FilePath tracking = package_folder_.Append(
        command_line.GetSwitchValuePath(kServerTrackingDataSwitch));
    if (base::PathExists(tracking)) {
      transaction_.Execute(std::make_unique<CopyFileOperation>(
          tracking, install_path().Append(kServerTrackingDataName)));
    }
  }
  const base::FilePath overrides =
      package_folder_.Append(kPrefDefaultOverridesName);
  if (base::PathExists(overrides) && ParsesAsJson(overrides)) {
    transaction_.Execute(std::make_unique<CopyFileOperation>(
        overrides, install_path().Append(kPrefDefaultOverridesName)));
  }
  ScheduleNextStep();
}

void Installer::StepDeleteListedFiles() {
  for (const base::FilePath& file : settings_->status().record().root_files) {
    transaction_.Execute(std::make_unique<DeleteFileOperation>(
        install_path().Append(file), false, true));
  }
  ScheduleNextStep();
}

void Installer::StepPreserveOldStatus() {
  VLOG(1) << "Preserving previous installer status";
  base::FilePath status = install_path().Append(kInstallationStatusFileName);
  if (!base::PathExists(status))
    status = install_path().Append(kLegacyStatusFileName);
  if (base::PathExists(status)) {
    const base::FilePath folder = install_path().Append(kOldStatusFolderName);
    if (base::PathExists(folder) ||
        transaction_.Execute(std::make_unique<CreateFolderOperation>(folder))) {
      const base::string16 name =
          base::string16(kInstallationStatusFileName) + L"." +
          base::UTF8ToUTF16(base::Int64ToString(base::Time::Now().ToTimeT()));
      transaction_.Execute(
          std::make_unique<MoveFileOperation>(status, folder.Append(name)));
    }
  }
  ScheduleNextStep();
}

void Installer::StepCleanUp() {
  const bool uninstall =
      settings_->operation() == Settings::kUninstallOperation;
  const base::FilePath folder = install_path().Append(kOldStatusFolderName);
  if (!base::DirectoryExists(folder)) {
    ScheduleNextStep();
    return;
  }
  base::FileEnumerator status_files(folder, false, base::FileEnumerator::FILES,
                                    kOldStatusPattern);
  for (base::FilePath file = status_files.Next(); !file.empty();
       file = status_files.Next()) {
    DeleteRecordedFiles(file, uninstall);
  }
  // Only an emptied folder goes.
  ::RemoveDirectoryW(folder.value().c_str());
  base::FilePath start_menu;
  if (base::PathService::Get(base::DIR_START_MENU, &start_menu)) {
    base::FileEnumerator shortcuts(
        start_menu, false, base::FileEnumerator::FILES, kOldShortcutPattern);
    for (base::FilePath file = shortcuts.Next(); !file.empty();
         file = shortcuts.Next()) {
      base::DeleteFile(file, false);
    }
  }
  ScheduleNextStep();
}

bool Installer::DeleteRecordedFiles(const base::FilePath& status_file,
                                    bool uninstall) {
  InstallationStatus old_record;
  XmlDocument document;
  if (!ReadInstallationStatus(&document, &old_record, status_file)) {
    LOG(WARNING) << "Leaving unreadable status " << status_file.AsUTF8();
    return false;
  }
  const base::FilePath folder = install_path().Append(old_record.subfolder);
  Transaction deletions;
  for (const base::FilePath& file : old_record.files) {
    if (!deletions.Execute(std::make_unique<DeleteFileOperation>(
            folder.Append(file), true, true)) &&
        !uninstall) {
      LOG(WARNING) << "Keeping " << status_file.AsUTF8()
                   << " for later: a file is in use";
      deletions.RollbackAll();
      return false;
    }
  }
  base::DeleteFile(status_file, false);
  return true;
}

}  // namespace installer
}  // namespace vexlo
