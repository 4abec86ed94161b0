#include "desktop/launcher/installer/settings.h"

#include <objbase.h>
#include <windows.h>
#include <winioctl.h>

#include <stdlib.h>

#include <utility>
#include <vector>

#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/bind.h"
#include "base/features/feature_registry.h"
#include "base/files/file_util.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/worker_pool.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "base/win/windows_version.h"
#include "desktop/common/l10n/l10n_util.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/service/installer_context.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "desktop/launcher/installer/stats_dictionary.h"

namespace vexlo {
namespace installer {

namespace {

constexpr char kAllUsersSwitch[] = "allusers";
constexpr char kAutoupdateSwitch[] = "autoupdate";
constexpr char kBackendSwitch[] = "backend";
constexpr char kCopyOnlySwitch[] = "copyonly";
constexpr char kDeleteUserProfileSwitch[] = "deleteuserprofile";
constexpr char kDesktopShortcutSwitch[] = "desktopshortcut";
constexpr char kEnableInstallerStatsSwitch[] = "enable-installer-stats";
constexpr char kEnableStatsSwitch[] = "enable-stats";
constexpr char kImportBrowserDataSwitch[] = "import-browser-data";
constexpr char kInitialPidSwitch[] = "initial-pid";
constexpr char kInstallSwitch[] = "install";
constexpr char kInstallFolderSwitch[] = "installfolder";
constexpr char kLanguageSwitch[] = "language";
constexpr char kLaunchBrowserSwitch[] = "launchbrowser";
constexpr char kLaunchVexloSwitch[] = "launchvexlo";
constexpr char kPinToTaskbarSwitch[] = "pintotaskbar";
constexpr char kProfileFolderSwitch[] = "profile-folder";
constexpr char kQuickLaunchShortcutSwitch[] = "quicklaunchshortcut";
constexpr char kReplaceTalvikSwitch[] = "replacetalvikinstallation";
constexpr char kServerTrackingDataSwitch[] = "server-tracking-data";
constexpr char kSetDefaultBrowserSwitch[] = "setdefaultbrowser";
constexpr char kSilentSwitch[] = "silent";
constexpr char kSingleProfileSwitch[] = "singleprofile";
constexpr char kStartMenuShortcutSwitch[] = "startmenushortcut";
constexpr char kTempFolderSwitch[] = "temp-folder";
constexpr char kUninstallSwitch[] = "uninstall";

// Copied from the front end's own command line into the backend's.
constexpr const char* kImportSwitches[] = {"import-bookmarks", "import-session",
                                           "import-topsites-to-speeddial"};

constexpr int kStableChannelCode = 4;
// Worse than every drive type; the first ranked drive beats it.
constexpr int kNoDriveRank = 8;

const char* ToFlag(bool value) {
  return value ? "1" : "0";
}

void AppendFlag(base::CommandLine* command_line,
                const char* switch_name,
                bool value) {
  command_line->AppendSwitchASCII(switch_name, ToFlag(value));
}

// Copies |switch_name| with its value when |source| has it.
void CopySwitch(const base::CommandLine& source,
                const char* switch_name,
                base::CommandLine* target) {
  target->CopySwitchesFrom(source, &switch_name, 1);
}

// A registry value that names an existing folder, without trailing
// separators; false for anything else.
bool ReadFolderValue(const base::win::RegKey& key,
                     const base::string16& name,
                     base::FilePath* folder) {
  base::string16 value;
  if (key.ReadValue(name.c_str(), &value) != ERROR_SUCCESS)
    return false;
  const base::FilePath path = base::FilePath(value).StripTrailingSeparators();
  if (!path.IsAbsolute() || !base::DirectoryExists(path))
    return false;
  *folder = path;
  return true;
}

// What a successful status check means for the run's operation.
int32_t GetOperationFor(const Status& status, bool uninstall) {
  if (uninstall)
    return Settings::kUninstallOperation;
  return status.existing_installation() ? Settings::kUpdateOperation
                                        : Settings::kInstallOperation;
}

const char* GetOperationName(int32_t operation) {
  switch (operation) {
    case Settings::kInstallOperation:
      return "installing";
    case Settings::kUpdateOperation:
      return "upgrading";
    case Settings::kUninstallOperation:
      return "uninstalling";
    default:
      return "invalid";
  }
}

// Sets |field| from a recorded yes (1) or no (0); unknown (-1) keeps it.
void TakeRecordedFlag(int32_t recorded, bool* field) {
  if (recorded >= 0)
    *field = recorded == 1;
}

}  // namespace

bool SwitchValueIsTrue(const base::string16& value) {
  if (base::LowerCaseEqualsASCII(value, "yes") ||
      base::LowerCaseEqualsASCII(value, "true")) {
    return true;
  }
  return ::wcstol(value.c_str(), nullptr, 10) != 0;
}

Settings::StatusFetcher::StatusFetcher(Settings* settings,
                                       const base::FilePath& path,
                                       bool replace_talvik_installation)
    : path_(path),
      settings_(settings),
      replace_talvik_installation_(replace_talvik_installation) {}

Settings::StatusFetcher::~StatusFetcher() = default;

void Settings::StatusFetcher::FetchStatus() {
  const base::scoped_refptr<StatusFetcher> self(this);
  base::WorkerPool::PostTaskAndReply(
      LOCATION_FROM_HERE("vexlo::installer::Settings::StatusFetcher::"
                         "FetchStatus"),
      base::Bind(&StatusFetcher::FetchOnWorker, self),
      base::Bind(&StatusFetcher::Deliver, self), true);
}

void Settings::StatusFetcher::FetchOnWorker() {
  const bool com_initialized =
      SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  status_.reset(new Status(replace_talvik_installation_));
  status_->Initialize(path_);
  if (com_initialized)
    ::CoUninitialize();
}

void Settings::StatusFetcher::Deliver() {
  if (settings_)
    settings_->OnStatusFetched(std::move(status_));
}

Settings::Settings(bool uninstall,
                   bool silent,
                   bool autoupdate,
                   const base::FilePath& command_line_folder,
                   bool replace_talvik_installation)
    : Settings(uninstall,
               silent,
               autoupdate,
               command_line_folder,
               replace_talvik_installation,
               *base::CommandLine::ForCurrentProcess()) {}

Settings::Settings(bool uninstall,
                   bool silent,
                   bool autoupdate,
                   const base::FilePath& command_line_folder,
                   bool replace_talvik_installation,
                   const base::CommandLine& command_line)
    : operation_(kInvalidOperation),
      copy_only_(false),
      single_profile_(false),
      launch_vexlo_(true),
      all_users_(false),
      default_browser_(false),
      import_browser_data_(true),
      enable_vexlo_stats_(true),
      enable_installer_stats_(true),
      desktop_shortcut_(true),
      start_menu_shortcut_(true),
      quick_launch_shortcut_(false),
      pinned_shortcut_(false),
      uninstall_(uninstall),
      silent_(silent),
      autoupdate_(autoupdate),
      delete_profile_(false),
      status_(new Status(replace_talvik_installation)),
      editable_(true),
      replace_talvik_installation_(replace_talvik_installation),
      command_line_folder_(command_line_folder.NormalizePathSeparators()),
      command_line_(command_line) {
  Initialize();
}

Settings::~Settings() {
  if (status_fetcher_)
    status_fetcher_->Cancel();
}

void Settings::Initialize() {
  registry_folder_ = internal::ReadRegistryInstallFolder(
      HKEY_CURRENT_USER, GetCompanyRegistryKey(), ProductInfo::GetChannel(),
      GetStreamName(), ProductInfo::GetChannelCode());
  standalone_drive_ = internal::ChooseStandaloneDrive(::GetLogicalDrives(),
                                                      &internal::RankDrive);
  uint16_t language_id = 0;
  l10n::ResolveUILanguage(&language_id, &language_);

  if (uninstall_) {
    delete_profile_ = command_line_.HasSwitch(kDeleteUserProfileSwitch) &&
                      SwitchIsTrue(kDeleteUserProfileSwitch);
    SetInstallFolderFromString(
        InstallerContext::GetInstance()->folder().value());
    return;
  }
  if (command_line_.HasSwitch(kLanguageSwitch))
    SetLanguage(command_line_.GetSwitchValueNative(kLanguageSwitch));
  ReadFromCommandLine();
  SetInstallFolderFromString(GetDefaultInstallFolder(true, true).value());
}

void Settings::ReadFromCommandLine() {
  if (!editable_)
    return;
  VLOG(1) << "Settings from command line";
  all_users_ = IsUserInAdministratorsGroup(true);
  copy_only_ = false;
  launch_vexlo_ = true;
  default_browser_ =
      ProductInfo::GetChannelCode() == kStableChannelCode && !autoupdate_;
  import_browser_data_ = true;
  enable_vexlo_stats_ = true;
  enable_installer_stats_ = true;
  desktop_shortcut_ = true;
  start_menu_shortcut_ = true;
  single_profile_ = false;
  quick_launch_shortcut_ = base::win::GetVersion() < base::win::VERSION_WIN7;
  pinned_shortcut_ = base::win::GetVersion() >= base::win::VERSION_WIN7;

  if (command_line_.HasSwitch(kLaunchVexloSwitch))
    ReadSwitch(kLaunchVexloSwitch, &launch_vexlo_);
  else
    ReadSwitch(kLaunchBrowserSwitch, &launch_vexlo_);
  ReadSwitch(kCopyOnlySwitch, &copy_only_);
  if (copy_only_)
    ClearSystemChanges();
  ReadSwitch(kImportBrowserDataSwitch, &import_browser_data_);
  ReadSwitch(kEnableStatsSwitch, &enable_vexlo_stats_);
  ReadSwitch(kEnableStatsSwitch, &enable_installer_stats_);
  ReadSwitch(kEnableInstallerStatsSwitch, &enable_installer_stats_);
  if (!copy_only_) {
    ReadSwitch(kAllUsersSwitch, &all_users_);
    ReadSwitch(kSetDefaultBrowserSwitch, &default_browser_);
    ReadSwitch(kDesktopShortcutSwitch, &desktop_shortcut_);
    ReadSwitch(kStartMenuShortcutSwitch, &start_menu_shortcut_);
    ReadSwitch(kQuickLaunchShortcutSwitch, &quick_launch_shortcut_);
    ReadSwitch(kPinToTaskbarSwitch, &pinned_shortcut_);
  } else {
    single_profile_ = true;
  }
  ReadSwitch(kSingleProfileSwitch, &single_profile_);
  if (command_line_.HasSwitch(kProfileFolderSwitch))
    profile_folder_ = command_line_.GetSwitchValuePath(kProfileFolderSwitch);
  LogSettings();
}

void Settings::ClearSystemChanges() {
  all_users_ = false;
  default_browser_ = false;
  desktop_shortcut_ = false;
  start_menu_shortcut_ = false;
  quick_launch_shortcut_ = false;
  pinned_shortcut_ = false;
}

bool Settings::SwitchIsTrue(const char* switch_name) const {
  return SwitchValueIsTrue(command_line_.GetSwitchValueNative(switch_name));
}

void Settings::ReadSwitch(const char* switch_name, bool* field) const {
  if (command_line_.HasSwitch(switch_name))
    *field = SwitchIsTrue(switch_name);
}

bool Settings::ChangeOption(bool* field, bool value, const char* label) {
  *field = value;
  VLOG(1) << label << ToFlag(value);
  observers_.Notify(&Observer::OnSettingChanged);
  return true;
}

bool Settings::SetCopyOnly(bool copy_only) {
  if (!editable_ || operation_ == kUpdateOperation)
    return false;
  if (copy_only)
    ClearSystemChanges();
  return ChangeOption(&copy_only_, copy_only, "copy_only_ set to: ");
}

bool Settings::SetSingleProfile(bool single_profile) {
  if (!editable_ || operation_ == kUpdateOperation)
    return false;
  return ChangeOption(&single_profile_, single_profile,
                      "single_profile_ set to: ");
}

bool Settings::SetAllUsers(bool all_users) {
  if (!editable_ || operation_ == kUpdateOperation || copy_only_)
    return false;
  return ChangeOption(&all_users_, all_users, "all_users_ set to: ");
}

bool Settings::SetDefaultBrowser(bool default_browser) {
  if (!editable_ || copy_only_)
    return false;
  return ChangeOption(&default_browser_, default_browser,
                      "default_browser_ set to: ");
}

bool Settings::SetImportBrowserData(bool import_browser_data) {
  if (!editable_)
    return false;
  return ChangeOption(&import_browser_data_, import_browser_data,
                      "import_browser_data_ set to: ");
}

bool Settings::SetEnableInstallerStats(bool enable_installer_stats) {
  if (!editable_)
    return false;
  return ChangeOption(&enable_installer_stats_, enable_installer_stats,
                      "enable_installer_stats_ set to: ");
}

bool Settings::SetEnableVexloStats(bool enable_vexlo_stats) {
  if (!editable_)
    return false;
  return ChangeOption(&enable_vexlo_stats_, enable_vexlo_stats,
                      "enable_vexlo_stats_ set to: ");
}

bool Settings::SetDeleteProfile(bool delete_profile) {
  if (!editable_ || !uninstall_)
    return false;
  return ChangeOption(&delete_profile_, delete_profile,
                      "delete_profile_ set to: ");
}

bool Settings::SetInstallationMode(uint32_t mode) {
  if (!editable_ || mode > kStandaloneMode)
    return false;
  bool result = true;
  if (!command_line_.HasSwitch(kSingleProfileSwitch))
    result = SetSingleProfile(mode == kStandaloneMode);
  if (mode == kStandaloneMode)
    return SetCopyOnly(true) && result;
  const bool copy_only_result = SetCopyOnly(false);
  return SetAllUsers(mode == kAllUsersMode) && copy_only_result && result;
}

void Settings::SetLanguage(const base::string16& language) {
  if (!editable_ || language == language_)
    return;
  language_ = language;
  base::string16 ui_locale = language;
  uint16_t language_id = 0;
  l10n::ResolveUILanguage(&language_id, &ui_locale);
  observers_.Notify(&Observer::OnLanguageChanged);
}

void Settings::SetInstallFolderFromString(const base::string16& folder) {
  if (!editable_)
    return;
  SetInstallFolder(base::FilePath(folder).NormalizePathSeparators());
}

void Settings::SetInstallFolder(const base::FilePath& folder) {
  VLOG(1) << "Setting install folder to: " << folder.AsUTF8();
  if (folder == status_->requested_path())
    return;
  if (status_fetcher_)
    status_fetcher_->Cancel();
  status_fetcher_ =
      new StatusFetcher(this, folder, replace_talvik_installation_);
  status_fetcher_->FetchStatus();
}

base::FilePath Settings::GetDefaultInstallFolder(bool use_command_line,
                                                 bool use_registry) const {
  LOG(INFO) << "Retrieving default installation folder path"
            << "Using command line: " << use_command_line
            << "Using the registry: " << use_registry;
  if (use_command_line && !command_line_folder_.empty())
    return command_line_folder_;
  if (use_registry && !registry_folder_.empty())
    return registry_folder_;
  base::FilePath base_folder;
  if (all_users_) {
    base::PathService::Get(base::DIR_PROGRAM_FILES, &base_folder);
  } else if (copy_only_) {
    base_folder = standalone_drive_;
  } else if (base::win::GetVersion() < base::win::VERSION_WIN7 ||
             !GetUserProgramFilesFolder(&base_folder)) {
    // Where the per-user programs folder lies; some systems cannot name
    // it, and a bare product name would be a folder relative to wherever
    // the installer runs.
    base::PathService::Get(base::DIR_LOCAL_APP_DATA, &base_folder);
    base_folder = base_folder.Append(L"Programs");
  }
  const base::FilePath folder = base_folder.Append(
      base::UTF8ToUTF16(ProductInfo::GetVisibleProductNameWithChannel()));
  VLOG(1) << "Default install folder: " << folder.AsUTF8();
  return folder;
}

void Settings::RecordStats(const std::string& prefix,
                           StatsDictionary* stats) const {
  stats->SetString(prefix + "installation_mode", copy_only_   ? "standalone"
                                                 : all_users_ ? "all_users"
                                                              : "current_user");
  stats->SetString(prefix + "installation_operation",
                   GetOperationName(operation_));
  stats->SetInteger("autoupdate", autoupdate_ ? 1 : 0);
  if (!base::IsFeatureEnabled("installer-ui-stats"))
    return;
  stats->SetInteger(prefix + "make_default", default_browser_ ? 1 : 0);
  stats->SetInteger(
      prefix + "using_default_installation_folder",
      GetDefaultInstallFolder(false, false) == status_->requested_path() ? 1
                                                                         : 0);
  const bool privileged = !IsUserInAdministratorsGroup(true) &&
                          (all_users_ || !status_->writable());
  stats->SetInteger(prefix + "using_privileged_installation_folder",
                    privileged ? 1 : 0);
}

base::CommandLine Settings::GetBackendCommandLine(bool suppress_launch) const {
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  command_line.AppendSwitch(kBackendSwitch);
  if (silent_)
    command_line.AppendSwitch(kSilentSwitch);
  CopySwitch(command_line_, kInitialPidSwitch, &command_line);
  CopySwitch(command_line_, kTempFolderSwitch, &command_line);
  if (operation_ <= kInvalidOperation)
    return command_line;
  if (operation_ == kUninstallOperation) {
    command_line.AppendSwitch(kUninstallSwitch);
    AppendFlag(&command_line, kDeleteUserProfileSwitch, delete_profile_);
    return command_line;
  }
  command_line.AppendSwitch(kInstallSwitch);
  if (autoupdate_)
    command_line.AppendSwitch(kAutoupdateSwitch);
  AppendFlag(&command_line, kImportBrowserDataSwitch, import_browser_data_);
  AppendFlag(&command_line, kEnableStatsSwitch, enable_vexlo_stats_);
  AppendFlag(&command_line, kEnableInstallerStatsSwitch,
             enable_installer_stats_);
  AppendFlag(&command_line, kLaunchVexloSwitch,
             !suppress_launch && launch_vexlo_);
  command_line.AppendSwitchPath(kInstallFolderSwitch,
                                status_->requested_path());
  command_line.AppendSwitchPath(kProfileFolderSwitch, profile_folder_);
  if (!language_.empty())
    command_line.AppendSwitchNative(kLanguageSwitch, language_);
  const bool install = operation_ == kInstallOperation;
  if (install) {
    AppendFlag(&command_line, kSingleProfileSwitch, single_profile_);
    AppendFlag(&command_line, kCopyOnlySwitch, copy_only_);
  }
  if (!copy_only_) {
    if (install)
      AppendFlag(&command_line, kAllUsersSwitch, all_users_);
    AppendFlag(&command_line, kSetDefaultBrowserSwitch, default_browser_);
    AppendFlag(&command_line, kStartMenuShortcutSwitch, start_menu_shortcut_);
    AppendFlag(&command_line, kDesktopShortcutSwitch, desktop_shortcut_);
    AppendFlag(&command_line, kQuickLaunchShortcutSwitch,
               quick_launch_shortcut_);
    AppendFlag(&command_line, kPinToTaskbarSwitch, pinned_shortcut_);
    if (replace_talvik_installation_)
      command_line.AppendSwitch(kReplaceTalvikSwitch);
  }
  CopySwitch(command_line_, kServerTrackingDataSwitch, &command_line);
  base::AppendFeatureSwitches(&command_line);
  command_line.CopySwitchesFrom(
      command_line_, kImportSwitches,
      sizeof(kImportSwitches) / sizeof(kImportSwitches[0]));
  return command_line;
}

void Settings::OnStatusFetched(std::unique_ptr<Status> status) {
  if (!editable_)
    return;
  status_fetcher_ = nullptr;
  status_ = std::move(status);
  const int32_t previous_operation = operation_;
  operation_ = kInvalidOperation;
  VLOG(1) << "Install folder set: " << status_->requested_path().AsUTF8();
  if (status_->valid() && first_valid_folder_.empty())
    first_valid_folder_ = status_->requested_path();
  if (!status_->valid() || (uninstall_ && !status_->existing_installation())) {
    VLOG(1) << "Invalid install folder";
    observers_.Notify(&Observer::OnPathChanged);
    return;
  }
  if (status_->existing_installation() ||
      previous_operation == kUpdateOperation) {
    ReadFromCommandLine();
  }
  operation_ = GetOperationFor(*status_, uninstall_);
  VLOG(1) << "Operation: " << operation_;
  if (!status_->existing_installation() && !status_->legacy_installation()) {
    if (!uninstall_ && !command_line_.HasSwitch(kSingleProfileSwitch)) {
      single_profile_ = status_->single_profile() >= 0
                            ? status_->single_profile() == 1
                            : copy_only_;
    }
  } else {
    TakeOverInstallation();
  }
  LogSettings();
  if (!status_->language().empty() &&
      (uninstall_ || !command_line_.HasSwitch(kLanguageSwitch))) {
    SetLanguage(status_->language());
  }
  observers_.Notify(&Observer::OnPathChanged);
}

void Settings::TakeOverInstallation() {
  VLOG(1) << "Using settings from existing installation";
  const Status& status = *status_;
  copy_only_ = status.record().copy_only;
  if (copy_only_)
    ClearSystemChanges();
  all_users_ = status.record().all_users;
  single_profile_ = status.single_profile() == 1;
  const struct {
    const char* switch_name;
    bool found;
    bool* field;
  } kShortcuts[] = {
      {kDesktopShortcutSwitch, status.desktop_found(), &desktop_shortcut_},
      {kStartMenuShortcutSwitch, status.start_menu_found(),
       &start_menu_shortcut_},
      {kQuickLaunchShortcutSwitch, status.quick_launch_found(),
       &quick_launch_shortcut_},
      {kPinToTaskbarSwitch, !status.pinned_shortcut().empty(),
       &pinned_shortcut_},
  };
  for (const auto& shortcut : kShortcuts) {
    if (!command_line_.HasSwitch(shortcut.switch_name))
      *shortcut.field = shortcut.found;
  }
  if (!command_line_.HasSwitch(kImportBrowserDataSwitch))
    TakeRecordedFlag(status.import_browser_data(), &import_browser_data_);
  if (!command_line_.HasSwitch(kEnableStatsSwitch)) {
    TakeRecordedFlag(status.enable_stats(), &enable_vexlo_stats_);
    if (!command_line_.HasSwitch(kEnableInstallerStatsSwitch))
      enable_installer_stats_ = enable_vexlo_stats_;
  }
  if (!status.legacy_installation())
    return;
  if (autoupdate_ && !replace_talvik_installation_)
    launch_vexlo_ = true;
  if ((autoupdate_ || replace_talvik_installation_) &&
      status.default_browser()) {
    default_browser_ = true;
  }
}

void Settings::LogSettings() const {
  VLOG(1) << "all_users_:" << ToFlag(all_users_);
  VLOG(1) << "copy_only_:" << ToFlag(copy_only_);
  VLOG(1) << "launch_vexlo_:" << ToFlag(launch_vexlo_);
  VLOG(1) << "default_browser_:" << ToFlag(default_browser_);
  VLOG(1) << "single_profile_:" << ToFlag(single_profile_);
  VLOG(1) << "desktop_shortcut_:" << ToFlag(desktop_shortcut_);
  VLOG(1) << "start_menu_shortcut_:" << ToFlag(start_menu_shortcut_);
  VLOG(1) << "quick_launch_shortcut_:" << ToFlag(quick_launch_shortcut_);
  VLOG(1) << "pinned_shortcut_:" << ToFlag(pinned_shortcut_);
  VLOG(1) << "language:" << base::UTF16ToUTF8(language_);
}

namespace internal {

base::FilePath ReadRegistryInstallFolder(HKEY root,
                                         const base::string16& key_path,
                                         const std::string& channel_name,
                                         const std::string& stream_name,
                                         int channel_code) {
  const base::win::RegKey key(root, key_path.c_str(), KEY_READ);
  const base::string16 stream = base::UTF8ToUTF16(stream_name);
  // The installer writes the first name; the others are read for folders
  // that older installers remembered.
  std::vector<base::string16> names = {
      L"Last " + stream + L" Install Path",
      L"Last " + base::UTF8ToUTF16(channel_name) + L" Install Path x64",
      L"Last " + stream + L" Install Path x64"};
  if (channel_code == kStableChannelCode)
    names.push_back(L"Last install path");
  VLOG(1) << "Install folder reg value: " << base::UTF16ToUTF8(names[1]);
  base::FilePath folder;
  for (const base::string16& name : names) {
    if (ReadFolderValue(key, name, &folder))
      break;
  }
  VLOG(1) << "Install folder from reg value: " << folder.AsUTF8();
  return folder;
}

base::FilePath ChooseStandaloneDrive(uint32_t drives, DriveRankFunction rank) {
  wchar_t chosen = L'A';
  int best_rank = kNoDriveRank;
  for (int index = 0; index < 26 && best_rank > 0; ++index) {
    if (!(drives & (1u << index)))
      continue;
    const wchar_t letter = static_cast<wchar_t>(L'A' + index);
    const int drive_rank = rank(letter);
    if (drive_rank >= 0 && drive_rank < best_rank) {
      best_rank = drive_rank;
      chosen = letter;
    }
  }
  return base::FilePath(base::string16(1, chosen) + L":\\");
}

int RankDrive(wchar_t letter) {
  const base::string16 device = base::string16(L"\\\\.\\") + letter + L":";
  const base::win::ScopedHandle drive(::CreateFileW(
      device.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_EXISTING, 0, nullptr));
  if (!drive.IsValid())
    return -1;
  DWORD returned = 0;
  if (!::DeviceIoControl(drive.Get(), IOCTL_STORAGE_CHECK_VERIFY, nullptr, 0,
                         nullptr, 0, &returned, nullptr) &&
      ::GetLastError() != ERROR_MEDIA_CHANGED) {
    return -1;
  }
  const base::string16 root = base::string16(1, letter) + L":\\";
  switch (::GetDriveTypeW(root.c_str())) {
    case DRIVE_REMOVABLE:
      return 0;
    case DRIVE_REMOTE:
      return 1;
    case DRIVE_FIXED:
      return 3;
    case DRIVE_RAMDISK:
      return 4;
    case DRIVE_CDROM:
      return 5;
    case DRIVE_NO_ROOT_DIR:
      return 7;
    default:
      return 6;
  }
}

}  // namespace internal

}  // namespace installer
}  // namespace vexlo
