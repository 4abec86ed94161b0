#include "desktop/launcher/installer/status.h"

#include "base/base_paths_win.h"
#include "base/features/list_value_feature_reader.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "base/win/scoped_handle.h"
#include "base/win/windows_version.h"
#include "desktop/common/product/installer_features.h"
#include "desktop/launcher/installer/service/installer_context.h"
#include "desktop/launcher/installer/service/refusing_task_runner.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "desktop/launcher/installer/service/transactions/rollback_journal.h"
#include "desktop/launcher/installer/service/xml_document.h"

namespace vexlo {
namespace installer {

namespace {

constexpr wchar_t kLegacyInstallLogName[] = L"vexlo_install_log.xml";
constexpr wchar_t kLauncherName[] = L"launcher.exe";
constexpr wchar_t kServerTrackingDataName[] = L"server_tracking_data";
constexpr wchar_t kLocalStateName[] = L"Local State";
constexpr wchar_t kOldConfigurationName[] = L"vexloprefs_default.ini";
constexpr wchar_t kCompanyStartMenuFolderName[] = L"Vexlo Software";

// Read and write data, read and write attributes and extended attributes,
// execute, synchronise.
constexpr ACCESS_MASK kFolderAccess = 0x1201BF;
constexpr ACCESS_MASK kAddSubfolderAccess = FILE_ADD_SUBDIRECTORY;

// The old configuration file keeps at most a path's length in a value.
constexpr DWORD kOldConfigurationBufferLength = MAX_PATH + 1;

bool CanOpenForWriting(const base::FilePath& path) {
  base::win::ScopedHandle handle(::CreateFileW(
      path.value().c_str(), GENERIC_WRITE,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return handle.IsValid();
}

UINT(WINAPI* g_get_drive_type)(const wchar_t* root) = &::GetDriveTypeW;

bool IsOnCdRom(const base::FilePath& path) {
  const base::string16 root = path.value().substr(0, 3);
  return g_get_drive_type(root.c_str()) == DRIVE_CDROM;
}

// 1 or 0 for a boolean preference, -1 when it is absent or not a boolean.
int32_t ReadTriState(JsonPrefStore* prefs, const char* key) {
  const base::Value* value = nullptr;
  bool flag = false;
  if (!prefs->GetValue(key, &value) || !value->GetAsBoolean(&flag))
    return -1;
  return flag ? 1 : 0;
}

void ReadWideString(JsonPrefStore* prefs,
                    const char* key,
                    base::string16* text) {
  const base::Value* value = nullptr;
  std::string utf8;
  if (prefs->GetValue(key, &value) && value->GetAsString(&utf8))
    *text = base::UTF8ToUTF16(utf8);
}

// Whether the recorded |shortcut| is a link to |target|.
void TestShortcut(const base::FilePath& shortcut,
                  const base::FilePath& target,
                  const BY_HANDLE_FILE_INFORMATION* target_information,
                  bool recording_only,
                  bool* found,
                  bool* owned) {
  if (*found || shortcut.empty())
    return;
  *found = ShortcutPointsTo(shortcut, target, target_information);
  if (*found && !recording_only)
    *owned = true;
}

}  // namespace

Status::Status(bool replace_talvik_installation)
    : desktop_found_(false),
      start_menu_found_(false),
      quick_launch_found_(false),
      company_start_menu_folder_found_(false),
      writable_(false),
      desktop_owned_(false),
      start_menu_owned_(false),
      quick_launch_owned_(false),
      pinned_owned_(false),
      default_browser_(false),
      import_browser_data_(-1),
      enable_stats_(-1),
      single_profile_(-1),
      legacy_product_(-1),
      valid_(false),
      existing_installation_(false),
      legacy_installation_(false),
      launcher_present_(false),
      replace_talvik_installation_(replace_talvik_installation) {}

Status::~Status() = default;

// static
void Status::SetDriveTypeQueryForTesting(
    UINT(WINAPI* get_drive_type)(const wchar_t* root)) {
  g_get_drive_type = get_drive_type ? get_drive_type : &::GetDriveTypeW;
}

// static
bool Status::TakeBackKilledRun(const base::FilePath& path) {
  const base::FilePath journal = RollbackJournal::PathFor(path);
  if (journal.empty())
    return false;
  // The scope reads the installation's records, which most runs, finding
  // nothing to take back, need not pay for.
  const bool killed = base::PathExists(journal);
  if (!killed && !RollbackJournal::HasLeftovers(journal))
    return false;
  // What earlier take-backs left is no sign of a run killed now.
  return RollbackJournal::Replay(journal,
                                 RollbackScope::ForInstallation(path)) &&
         killed;
}

void Status::Initialize(const base::FilePath& path) {
  VLOG(1) << "Initializing status: " << path.AsUTF8();
  // What a killed run left in the folder is taken back before the folder
  // is judged by it.
  TakeBackKilledRun(path);
  requested_path_ = path;
  valid_ = false;
  existing_installation_ = false;
  legacy_installation_ = false;
  launcher_present_ = false;
  if (!Classify(path))
    return;
  ReadDetails();
  // An old engine's installation is taken over only when that was asked
  // for.
  if (legacy_installation_)
    existing_installation_ = replace_talvik_installation_;
}

bool Status::Classify(const base::FilePath& path) {
  if (path.empty()) {
    VLOG(1) << "Path is empty";
    return false;
  }
  if (!IsValidPath(path)) {
    VLOG(1) << "Path is not a valid Win32 path";
    return false;
  }
  if (!path.IsAbsolute()) {
    VLOG(1) << "Path is relative";
    return false;
  }
  const bool is_folder = base::DirectoryExists(path);
  if (!is_folder && base::PathExists(path)) {
    VLOG(1) << "Path is a file path";
    return false;
  }
  if (IsOnCdRom(path) && !CanOpenForWriting(path)) {
    VLOG(1) << "Path is to a non-writable CD-ROM";
    return false;
  }
  if (!is_folder)
    return ClassifyMissingPath(path);

  VLOG(1) << "Path is a folder";
  existing_folder_ = path;
  valid_ = true;
  if (ReadInstallationRecord(path.Append(kInstallationStatusFileName))) {
    existing_installation_ = true;
  } else if (ReadInstallationRecord(path.Append(kLegacyInstallLogName))) {
    existing_installation_ = true;
    legacy_installation_ = true;
  }
  if (!existing_installation_) {
    VLOG(1) << "Path is not an existing installation";
    launcher_present_ = base::PathExists(path.Append(kLauncherName));
    return true;
  }
  VLOG(1) << "Path is a existing installation";
  SettleInstallationFlags();
  return true;
}

// A path that does not exist is valid when its nearest existing ancestor is
// a folder.
bool Status::ClassifyMissingPath(const base::FilePath& path) {
  base::FilePath current = path;
  while (true) {
    const base::FilePath parent = current.DirName();
    if (parent == current) {
      VLOG(1) << "Path is a root folder that's not valid"
              << "(probably invalid drive letter)";
      return false;
    }
    if (base::DirectoryExists(parent)) {
      VLOG(1) << "Path is valid";
      existing_folder_ = parent;
      valid_ = true;
      return true;
    }
    if (base::PathExists(parent)) {
      VLOG(1) << "Path is child of a file (invalid)";
      return false;
    }
    current = parent;
  }
}

bool Status::ReadInstallationRecord(const base::FilePath& file) {
  if (!base::PathExists(file))
    return false;
  XmlDocument document;
  InstallationStatus record;
  if (!ReadInstallationStatus(&document, &record, file))
    return false;
  record_ = record;
  return true;
}

// A copy-only installation that left registry keys or shortcuts behind is
// not treated as copy-only; one with machine keys is for all users.
void Status::SettleInstallationFlags() {
  record_.copy_only = record_.copy_only && record_.machine_keys.empty() &&
                      record_.user_keys.empty() &&
                      record_.desktop_shortcut.empty() &&
                      record_.start_menu_shortcut.empty() &&
                      record_.quick_launch_shortcut.empty();
  record_.all_users = !record_.copy_only &&
                      (record_.all_users || !record_.machine_keys.empty());
}

void Status::ReadDetails() {
  if (existing_installation_)
    TestAllShortcuts();
  if (valid_)
    TestWritable();
  if (!existing_installation_) {
    ReadOldConfiguration();
    return;
  }

  InstallerContext context(requested_path_, record_);
  default_browser_ = context.IsDefaultHandlerFor(L"http", legacy_installation_);
  base::ReadFileToString(requested_path_.Append(kServerTrackingDataName),
                         &server_tracking_data_);
  const bool prefs_read =
      !legacy_installation_ &&
      base::PathExists(requested_path_.Append(kInstallerPrefsFileName)) &&
      ReadInstallerPrefs(&context);
  ReadLocalState(&context);
  if (!prefs_read)
    ReadOldConfiguration();
}

void Status::TestWritable() {
  const bool whole_folder = existing_folder_ == requested_path_;
  writable_ =
      CurrentUserHasAccess(existing_folder_.value(), SE_FILE_OBJECT,
                           whole_folder ? kFolderAccess : kAddSubfolderAccess);
}

void Status::TestAllShortcuts() {
  VLOG(1) << "Testing shortcuts";
  const base::string16 browser = GetBrowserExeName();
  TestShortcuts(requested_path_.Append(kLauncherName), true);
  TestShortcuts(requested_path_.Append(browser), false);
  TestShortcuts(requested_path_.Append(record_.subfolder).Append(browser),
                false);
}

void Status::TestShortcuts(const base::FilePath& target, bool recording_only) {
  if (!base::PathExists(target))
    return;
  BY_HANDLE_FILE_INFORMATION information = {};
  const BY_HANDLE_FILE_INFORMATION* target_information =
      GetFileInformation(target, &information) ? &information : nullptr;

  TestShortcut(record_.desktop_shortcut, target, target_information,
               recording_only, &desktop_found_, &desktop_owned_);
  TestShortcut(record_.start_menu_shortcut, target, target_information,
               recording_only, &start_menu_found_, &start_menu_owned_);
  TestShortcut(record_.quick_launch_shortcut, target, target_information,
               recording_only, &quick_launch_found_, &quick_launch_owned_);
  const base::win::Version version = base::win::GetVersion();
  if (!recording_only && version >= base::win::VERSION_WIN8)
    start_menu_owned_ = true;

  if (!company_start_menu_folder_found_) {
    base::FilePath programs;
    if (base::PathService::Get(base::DIR_START_MENU, &programs)) {
      const base::FilePath folder =
          programs.Append(kCompanyStartMenuFolderName);
      company_start_menu_folder_found_ = base::DirectoryExists(folder);
      if (company_start_menu_folder_found_)
        company_start_menu_folder_ = folder;
    }
  }

  if (pinned_shortcut_.empty() && version >= base::win::VERSION_WIN7) {
    pinned_shortcut_ = FindTaskbarPin(target, target_information);
    if (!pinned_shortcut_.empty() && !recording_only)
      pinned_owned_ = true;
  }
}

bool Status::ReadInstallerPrefs(InstallerContext* context) {
  const base::scoped_refptr<JsonPrefStore> prefs = context->GetInstallerPrefs();
  single_profile_ = ReadTriState(prefs.get(), "single_profile");
  import_browser_data_ = ReadTriState(prefs.get(), "import_browser_data");
  enable_stats_ = ReadTriState(prefs.get(), "enable_stats");
  ReadWideString(prefs.get(), "language", &language_);
  ReadWideString(prefs.get(), "welcome-url", &welcome_url_);

  const base::Value* value = nullptr;
  const base::ListValue* experiments = nullptr;
  if (prefs->GetValue("all-installer-experiments", &value) &&
      value->GetAsList(&experiments)) {
    RegisterInstallerFeatures(&experiments_);
    base::ListValueFeatureReader reader(experiments);
    experiments_.AddReader(&reader);
    if (experiments_.IsEnabled("installer-experiment-test"))
      LOG(INFO) << "Test experiment was enabled in install folder.";
  }
  return true;
}

void Status::ReadLocalState(InstallerContext* context) {
  base::FilePath user_data_folder;
  if (!context->GetUserDataFolder(&user_data_folder, false))
    return;
  user_data_folder_ = user_data_folder;
  const base::scoped_refptr<JsonPrefStore> local_state(
      new JsonPrefStore(user_data_folder_.Append(kLocalStateName),
                        new RefusingTaskRunner(), nullptr));
  local_state->ReadPrefs();
  ReadWideString(local_state.get(), "intl.app_locale", &language_);
}

// Only for an installation without the installer's preferences.
void Status::ReadOldConfiguration() {
  const base::FilePath file = requested_path_.Append(kOldConfigurationName);
  if (!base::PathExists(file))
    return;
  const wchar_t* name = file.value().c_str();
  const UINT product =
      ::GetPrivateProfileIntW(L"System", L"Vexlo Product", 0, name);
  legacy_product_ = product == 1 || product == 2 ? product : 0;

  const int multi_user = static_cast<int>(
      ::GetPrivateProfileIntW(L"System", L"Multi User", -1, name));
  if (multi_user != -1)
    single_profile_ = multi_user == 0 ? 1 : 0;

  wchar_t folder[kOldConfigurationBufferLength] = {};
  const DWORD length = ::GetPrivateProfileStringW(
      L"User Prefs", L"Language Files Directory", L"", folder,
      kOldConfigurationBufferLength, name);
  // A value that filled the buffer may have been cut short.
  if (length > 0 && length < kOldConfigurationBufferLength - 1) {
    language_ = base::FilePath(base::string16(folder, length))
                    .StripTrailingSeparators()
                    .BaseName()
                    .value();
  }
}

}  // namespace installer
}  // namespace vexlo
