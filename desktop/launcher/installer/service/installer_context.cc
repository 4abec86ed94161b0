#include "desktop/launcher/installer/service/installer_context.h"

#include <windows.h>

#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/memory/singleton.h"
#include "base/path_service.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "base/win/windows_version.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/service/default_app_services.h"
#include "desktop/launcher/installer/service/refusing_task_runner.h"
#include "desktop/launcher/installer/service/registry_item.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "desktop/launcher/installer/service/shell_registration_resolver.h"
#include "desktop/launcher/installer/service/transactions/operation.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"
#include "desktop/launcher/installer/service/xml_document.h"

namespace vexlo {
namespace installer {

const wchar_t kInstallerPrefsFileName[] = L"installer_prefs.json";
const wchar_t kInstallationStatusFileName[] = L"installation_status.xml";

namespace {

constexpr wchar_t kLauncherName[] = L"launcher.exe";
constexpr wchar_t kUserNamePlaceholder[] = L"<USERNAME>";
constexpr char kStreamPlaceholder[] = "{InternalStream}";
constexpr char kProfilePathPref[] = "profile_path";
constexpr char kSingleProfilePref[] = "single_profile";
constexpr wchar_t kStartMenuInternet[] = L"StartmenuInternet";
constexpr wchar_t kPreviousDefaultBrowser[] = L"Previous Default Browser";
// Registered with the default browser, before Windows 8, after "http".
const wchar_t* const kBrowserTargets[] = {
    L"https",  L"ftp",         L".crx",   L".htm", L".html",
    L".vxext", L".vxdownload", L".shtml", L".xht", L".xhtml"};

HKEY RegistrationRoot(bool all_users) {
  return all_users ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

bool IsExtension(const base::string16& target) {
  return !target.empty() && target[0] == L'.';
}

}  // namespace

// static
InstallerContext* InstallerContext::GetInstance() {
  return base::Singleton<InstallerContext>::get();
}

// static
base::FilePath InstallerContext::GetOwnInstallationFolder() {
  base::FilePath folder;
  if (!base::PathService::Get(base::DIR_EXE, &folder))
    return base::FilePath();
  const base::FilePath parent = folder.DirName();
  if (!base::PathExists(folder.Append(kLauncherName)) &&
      base::PathExists(parent.Append(kLauncherName))) {
    return parent;
  }
  return folder;
}

InstallerContext::InstallerContext()
    : folder_(GetOwnInstallationFolder()), status_loaded_(false) {
  Initialize();
}

InstallerContext::InstallerContext(const base::FilePath& folder)
    : folder_(folder), status_loaded_(false) {
  Initialize();
}

InstallerContext::InstallerContext(const base::FilePath& folder,
                                   const InstallationStatus& status)
    : folder_(folder), status_loaded_(true), status_(status) {
  Initialize();
}

InstallerContext::~InstallerContext() = default;

void InstallerContext::Initialize() {
  const base::scoped_refptr<JsonPrefStore> prefs = GetInstallerPrefs();
  // A folder that does not exist yet, such as the target of a first
  // installation, leaves the store empty and unfinished; that is no fault.
  if (!prefs->IsInitializationComplete())
    VLOG(1) << "No installer preferences in " << folder_.AsUTF8();
  const base::Value* value = nullptr;
  std::string profile_path;
  if (prefs->GetValue(kProfilePathPref, &value) &&
      value->GetAsString(&profile_path)) {
    profile_path_ = base::UTF8ToUTF16(profile_path);
  }
  name_ = base::UTF8ToUTF16(ProductInfo::GetProductName() + " " +
                            ProductInfo::GetChannel());
}

base::scoped_refptr<JsonPrefStore> InstallerContext::GetInstallerPrefs() {
  if (!installer_prefs_) {
    installer_prefs_ =
        new JsonPrefStore(folder_.Append(kInstallerPrefsFileName),
                          new RefusingTaskRunner(), nullptr);
    installer_prefs_->ReadPrefs();
  }
  return installer_prefs_;
}

void InstallerContext::LoadInstallationStatus() {
  if (status_loaded_)
    return;
  status_loaded_ = true;
  XmlDocument document;
  if (!ReadInstallationStatus(&document, &status_,
                              folder_.Append(kInstallationStatusFileName))) {
    VLOG(1) << "No installation status read in " << folder_.AsUTF8();
  }
}

bool InstallerContext::GetSingleProfileFolder(base::FilePath* folder) {
  if (!IsSingleProfile())
    return false;
  *folder = folder_.Append(L"profile");
  return true;
}

bool InstallerContext::GetProfileFolder(base::FilePath* folder) {
  if (profile_path_.empty()) {
    base::FilePath app_data;
    if (!base::PathService::Get(base::DIR_APP_DATA, &app_data))
      return false;
    std::string relative =
        ProductConfiguration::GetDefaultProfilePathTemplate();
    base::ReplaceSubstringsAfterOffset(&relative, 0, kStreamPlaceholder,
                                       GetStreamName());
    base::ReplaceChars(relative, "/", "\\", &relative);
    *folder = app_data.AppendASCII(relative);
    return true;
  }

  base::string16 path = profile_path_;
  const size_t placeholder = path.find(kUserNamePlaceholder);
  if (placeholder != base::string16::npos) {
    base::string16 user_name;
    if (!GetCurrentUserName(false, &user_name))
      return false;
    path.replace(placeholder, wcslen(kUserNamePlaceholder), user_name);
  }
  *folder = base::FilePath(path);
  return true;
}

bool InstallerContext::GetUserDataFolder(base::FilePath* folder,
                                         bool /* for_removal */) {
  if (folder_.empty())
    return false;
  base::FilePath single_profile;
  if (GetSingleProfileFolder(&single_profile)) {
    *folder = single_profile.Append(L"data");
    return true;
  }
  // The folder to delete on removal is the user's own profile folder too:
  // where "<USERNAME>" names the last component, the folder above it holds
  // every other user's profile and must never be chosen.
  return GetProfileFolder(folder);
}

bool InstallerContext::IsSingleProfile() {
  const base::Value* value = nullptr;
  bool single_profile = false;
  return GetInstallerPrefs()->GetValue(kSingleProfilePref, &value) &&
         value->GetAsBoolean(&single_profile) && single_profile;
}

bool InstallerContext::IsDefaultHandlerFor(const base::string16& target,
                                           bool use_browser_executable) {
  base::string16 command;
  if (!GetOpenCommand(target, false, &command))
    return false;
  const base::FilePath expected = folder_.Append(
      use_browser_executable ? GetBrowserExeName() : kLauncherName);
  return base::ToLowerASCII(base::UTF16ToUTF8(command))
             .find(base::ToLowerASCII(expected.AsUTF8())) != std::string::npos;
}

// static
bool InstallerContext::GetOpenCommand(const base::string16& target,
                                      bool machine_wide,
                                      base::string16* command) {
  const bool extension = !target.empty() && target[0] == L'.';
  base::string16 program_class;
  if (base::win::GetVersion() >= base::win::VERSION_VISTA && !machine_wide) {
    const base::string16 choice_key =
        base::string16(L"Software\\Microsoft\\Windows\\") +
        (extension ? L"CurrentVersion\\Explorer\\FileExts\\"
                   : L"Shell\\Associations\\UrlAssociations\\") +
        target + L"\\UserChoice";
    base::win::RegKey key;
    LONG result = key.Open(HKEY_CURRENT_USER, choice_key.c_str(), KEY_READ);
    if (result == ERROR_SUCCESS)
      result = key.ReadValue(L"ProgId", &program_class);
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
      return false;
  }

  const HKEY classes_root =
      machine_wide ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
  const base::string16 prefix = machine_wide ? L"SOFTWARE\\Classes\\" : L"";
  if (program_class.empty()) {
    if (!extension) {
      program_class = target;
    } else {
      const base::win::RegKey key(classes_root, (prefix + target).c_str(),
                                  KEY_READ);
      if (key.ReadValue(nullptr, &program_class) != ERROR_SUCCESS)
        return false;
    }
  }
  const base::win::RegKey key(
      classes_root,
      (prefix + program_class + L"\\shell\\open\\command").c_str(), KEY_READ);
  return key.ReadValue(nullptr, command) == ERROR_SUCCESS;
}

bool InstallerContext::ApplyRows(const RegistryItem* rows,
                                 size_t count,
                                 const base::string16& target,
                                 HKEY root) {
  ShellRegistrationResolver resolver(target, folder_);
  Transaction transaction;
  for (size_t i = 0; i < count; ++i) {
    std::unique_ptr<Operation> operation;
    if (!CreateRegistryOperation(rows[i], &resolver, root, &operation) ||
        (operation && !transaction.Execute(std::move(operation)))) {
      LOG(ERROR) << "Shell registration of \"" << base::UTF16ToUTF8(target)
                 << "\" failed at row " << i;
      transaction.RollbackAll();
      return false;
    }
  }
  return true;
}

bool InstallerContext::RegisterProgIdClass(bool all_users) {
  return ApplyRows(kProgIdClassRows, kProgIdClassRowCount, base::string16(),
                   RegistrationRoot(all_users));
}

bool InstallerContext::RegisterHandler(const base::string16& target,
                                       bool all_users) {
  const bool extension = IsExtension(target);
  LoadInstallationStatus();
  const base::win::Version version = base::win::GetVersion();
  DefaultAppServices* const services = DefaultAppServices::Get();
  bool with_user_choice = false;
  if (version >= base::win::VERSION_WIN10) {
    return !all_users && services->OpenDefaultAppsSettings();
  } else if (version >= base::win::VERSION_WIN8) {
    if (all_users)
      return false;
    if (!IsDefaultHandlerFor(target, false)) {
      if (!services->ShowOpenWithDialog(target))
        return false;
      services->NotifyAssociationsChanged();
    }
  } else if (version >= base::win::VERSION_VISTA) {
    if (!all_users && status_.all_users) {
      if (!services->SetAppAsDefault(name_, target,
                                     extension
                                         ? DefaultAppServices::kFileExtension
                                         : DefaultAppServices::kUrlProtocol)) {
        return false;
      }
    } else {
      with_user_choice = true;
    }
  }
  const RegistryItem* const rows = extension ? kExtensionRows : kProtocolRows;
  const size_t count = extension ? kExtensionRowCount : kProtocolRowCount;
  return ApplyRows(rows, with_user_choice ? count : count - 1, target,
                   RegistrationRoot(all_users));
}

bool InstallerContext::RegisterStartMenuInternet(bool all_users) {
  const base::win::Version version = base::win::GetVersion();
  if (version >= base::win::VERSION_WIN8 && all_users)
    return false;
  LoadInstallationStatus();
  if (version >= base::win::VERSION_VISTA &&
      version < base::win::VERSION_WIN8 && !all_users && status_.all_users &&
      !DefaultAppServices::Get()->SetAppAsDefault(
          name_, kStartMenuInternet, DefaultAppServices::kStartMenuClient)) {
    return false;
  }
  return ApplyRows(&kStartMenuInternetRow, 1, base::string16(),
                   RegistrationRoot(all_users));
}

bool InstallerContext::SetAsDefaultBrowser(bool all_users) {
  if (IsSingleProfile())
    return false;
  if (RegisterProgIdClass(all_users)) {
    RegisterHandler(L"http", all_users);
    if (base::win::GetVersion() < base::win::VERSION_WIN8) {
      for (const wchar_t* target : kBrowserTargets)
        RegisterHandler(target, all_users);
      RegisterStartMenuInternet(all_users);
    }
  }
  return IsDefaultBrowser();
}

bool InstallerContext::IsDefaultBrowser() {
  if (!IsDefaultHandlerFor(L"http", false) ||
      !IsDefaultHandlerFor(L"https", false)) {
    return false;
  }
  return base::win::GetVersion() >= base::win::VERSION_WIN8 ||
         IsDefaultStartMenuInternet();
}

bool InstallerContext::IsDefaultStartMenuInternet() {
  LoadInstallationStatus();
  if (base::win::GetVersion() >= base::win::VERSION_VISTA &&
      status_.all_users) {
    return DefaultAppServices::Get()->QueryAppIsDefault(
        kStartMenuInternet, DefaultAppServices::kStartMenuClient, name_);
  }
  const base::string16 expected = base::UTF8ToUTF16(
      ProductInfo::GetProductName() + ProductInfo::GetChannel());
  const wchar_t kClientKey[] = L"Software\\Clients\\StartMenuInternet";
  base::string16 client;
  if (base::win::RegKey(HKEY_CURRENT_USER, kClientKey, KEY_READ)
          .ReadValue(nullptr, &client) != ERROR_SUCCESS) {
    base::win::RegKey(HKEY_LOCAL_MACHINE, kClientKey, KEY_READ)
        .ReadValue(nullptr, &client);
  }
  return client == expected;
}

void InstallerContext::SavePreviousDefaultBrowser(bool all_users) {
  if (IsDefaultHandlerFor(L"http", false))
    return;
  base::string16 command;
  if (GetOpenCommand(L"http", all_users, &command))
    SetPreviousDefaultBrowser(command, all_users);
}

bool SetPreviousDefaultBrowser(const base::string16& command, bool all_users) {
  base::win::RegKey key;
  LONG result = key.Create(RegistrationRoot(all_users),
                           GetCompanyRegistryKey().c_str(), KEY_SET_VALUE);
  if (result == ERROR_SUCCESS)
    result = key.WriteValue(kPreviousDefaultBrowser, command.c_str());
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Cannot store the previous default browser: " << result;
    return false;
  }
  return true;
}

}  // namespace installer
}  // namespace vexlo
