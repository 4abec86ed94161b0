#include "desktop/launcher/installer/service/service_utils.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
// GetUserNameExW.
#define SECURITY_WIN32
#include <security.h>

#include <vector>

#include "base/base_paths_win.h"
#include "base/files/file.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "base/win/shortcut.h"
#include "base/win/windows_version.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/service/scoped_local_memory.h"
#include "desktop/launcher/installer/service/security_checks.h"

namespace vexlo {
namespace installer {

namespace {

// {5CD7AEE2-2219-4A67-B85D-6C9CE15660CB}
constexpr GUID kUserProgramFilesFolderId = {
    0x5cd7aee2,
    0x2219,
    0x4a67,
    {0xb8, 0x5d, 0x6c, 0x9c, 0xe1, 0x56, 0x60, 0xcb}};

// KF_FLAG_CREATE | KF_FLAG_INIT.
constexpr DWORD kCreateKnownFolderFlags = 0x8800;
// CSIDL_FLAG_CREATE | CSIDL_FLAG_DONT_UNEXPAND | CSIDL_LOCAL_APPDATA.
constexpr int kCreateLocalAppDataFolder = 0xA01C;

constexpr size_t kMaxPathLength = 247;
constexpr DWORD kUserNameBufferLength = 257;

using GetKnownFolderPathFunction = HRESULT(WINAPI*)(const GUID& folder_id,
                                                    DWORD flags,
                                                    HANDLE token,
                                                    wchar_t** path);

using WellKnownSid = std::vector<BYTE>;

// Empty when the system cannot build it.
WellKnownSid GetAdministratorsSid() {
  WellKnownSid sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid.data(),
                            &size)) {
    sid.clear();
  }
  return sid;
}

// The security functions take the object name as writable text.
DWORD SetObjectDacl(const base::string16& object_name,
                    SE_OBJECT_TYPE object_type,
                    PACL dacl) {
  base::string16 name = object_name;
  return ::SetNamedSecurityInfoW(&name[0], object_type,
                                 DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                 dacl, nullptr);
}

DWORD GetObjectDacl(const base::string16& object_name,
                    SE_OBJECT_TYPE object_type,
                    PACL* dacl,
                    PSECURITY_DESCRIPTOR* descriptor) {
  return ::GetNamedSecurityInfoW(object_name.c_str(), object_type,
                                 DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                 dacl, nullptr, descriptor);
}

// The system has its own way of finding the folder only from Vista on; the
// installer still starts, to say so, on older systems.
bool GetUserProgramFilesFolderBeforeVista(base::FilePath* folder) {
  wchar_t path[MAX_PATH] = {};
  HRESULT result = ::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr,
                                      SHGFP_TYPE_CURRENT, path);
  if (FAILED(result) && result != E_INVALIDARG) {
    result = ::SHGetFolderPathW(nullptr, kCreateLocalAppDataFolder, nullptr,
                                SHGFP_TYPE_CURRENT, path);
  }
  if (FAILED(result))
    return false;
  *folder = base::FilePath(path);
  return true;
}

// Puts back attributes that a grant changed on the way (where the system
// keeps file permissions in the file's mode, a grant of write access clears
// the read-only attribute, and restoring the access list does not set it).
bool RestoreFileAttributes(const SavedDacl& saved) {
  constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                              FILE_ATTRIBUTE_TEMPORARY |
                              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD saved_attributes = saved.file_attributes();
  const DWORD attributes = ::GetFileAttributesW(saved.object_name().c_str());
  if (saved_attributes == INVALID_FILE_ATTRIBUTES ||
      attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & kSettable) == (saved_attributes & kSettable)) {
    return true;
  }
  const DWORD wanted = saved_attributes & kSettable;
  if (::SetFileAttributesW(saved.object_name().c_str(),
                           wanted ? wanted : FILE_ATTRIBUTE_NORMAL)) {
    return true;
  }
  PLOG(ERROR) << "Failed to restore the attributes of "
              << base::UTF16ToUTF8(saved.object_name());
  return false;
}

bool IsSameFile(const base::FilePath& path,
                const base::FilePath& target,
                const BY_HANDLE_FILE_INFORMATION* target_information) {
  if (base::FilePath::CompareIgnoreCase(path.value(), target.value()) == 0)
    return true;
  BY_HANDLE_FILE_INFORMATION information;
  return target_information && GetFileInformation(path, &information) &&
         information.dwVolumeSerialNumber ==
             target_information->dwVolumeSerialNumber &&
         information.nFileIndexHigh == target_information->nFileIndexHigh &&
         information.nFileIndexLow == target_information->nFileIndexLow;
}

bool ResolvesTo(const base::FilePath& shortcut,
                const base::FilePath& target,
                const BY_HANDLE_FILE_INFORMATION* target_information) {
  base::FilePath shortcut_target;
  if (!base::win::ResolveShortcut(shortcut, &shortcut_target, nullptr)) {
    LOG(ERROR) << "Couldn't resolve shortcut at " << shortcut.AsUTF8();
    return false;
  }
  return IsSameFile(shortcut_target, target, target_information);
}

bool IsReservedDeviceName(const base::string16& name) {
  static const char* const kReservedNames[] = {"con",  "aux",  "com1", "com2",
                                               "com3", "com4", "lpt1", "lpt2",
                                               "lpt3", "prn",  "nul"};
  for (const char* reserved : kReservedNames) {
    if (base::LowerCaseEqualsASCII(name, reserved))
      return true;
  }
  return false;
}

bool IsValidPathComponent(const base::string16& component) {
  for (wchar_t character : component) {
    if ((character >= 1 && character <= 31) ||
        base::string16(L"?\"<>*|:").find(character) != base::string16::npos) {
      return false;
    }
  }
  if (!component.empty() && component.back() == L'.')
    return false;
  const base::string16 stem = component.substr(0, component.find(L'.'));
  return (stem.size() != 3 && stem.size() != 4) || !IsReservedDeviceName(stem);
}

size_t FindSeparator(const base::string16& path, size_t start) {
  for (size_t i = start; i < path.size(); ++i) {
    if (base::FilePath::IsSeparator(path[i]))
      return i;
  }
  return base::string16::npos;
}

// Where the components of |path| start after its drive or "\\server\share\"
// prefix; npos when the prefix is malformed.
size_t SkipPathPrefix(const base::string16& path) {
  if (path.size() >= 2 && path[1] == L':')
    return 2;
  if (path.size() < 2 || !base::FilePath::IsSeparator(path[0]) ||
      !base::FilePath::IsSeparator(path[1])) {
    return 0;
  }
  const size_t server_end = FindSeparator(path, 2);
  if (server_end == base::string16::npos || server_end == 2)
    return base::string16::npos;
  const size_t share_end = FindSeparator(path, server_end + 1);
  if (share_end == base::string16::npos || share_end == server_end + 1)
    return base::string16::npos;
  return share_end + 1;
}

}  // namespace

bool IsUserInAdministratorsGroup(bool use_linked_token) {
  HANDLE process_token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE,
                          &process_token)) {
    return false;
  }
  base::win::ScopedHandle token(process_token);
  if (use_linked_token && base::win::GetVersion() >= base::win::VERSION_VISTA) {
    TOKEN_ELEVATION_TYPE elevation_type;
    DWORD size = 0;
    if (!::GetTokenInformation(token.Get(), TokenElevationType, &elevation_type,
                               sizeof(elevation_type), &size)) {
      return false;
    }
    if (elevation_type == TokenElevationTypeLimited) {
      TOKEN_LINKED_TOKEN linked_token;
      if (!::GetTokenInformation(token.Get(), TokenLinkedToken, &linked_token,
                                 sizeof(linked_token), &size)) {
        return false;
      }
      token.Set(linked_token.LinkedToken);
    }
  }
  HANDLE duplicate = nullptr;
  if (!::DuplicateToken(token.Get(), SecurityIdentification, &duplicate))
    return false;
  base::win::ScopedHandle identification_token(duplicate);
  WellKnownSid administrators = GetAdministratorsSid();
  return !administrators.empty() &&
         SecurityChecks::Get()->IsMember(identification_token.Get(),
                                         administrators.data());
}

bool GetUserProgramFilesFolder(base::FilePath* folder) {
  const HMODULE shell = ::GetModuleHandleW(L"shell32.dll");
  const auto get_known_folder_path =
      shell ? reinterpret_cast<GetKnownFolderPathFunction>(
                  reinterpret_cast<void*>(
                      ::GetProcAddress(shell, "SHGetKnownFolderPath")))
            : nullptr;
  if (!get_known_folder_path)
    return GetUserProgramFilesFolderBeforeVista(folder);

  for (DWORD flags : {DWORD{0}, kCreateKnownFolderFlags}) {
    wchar_t* path = nullptr;
    const HRESULT result =
        get_known_folder_path(kUserProgramFilesFolderId, flags, nullptr, &path);
    if (SUCCEEDED(result) && path)
      *folder = base::FilePath(path);
    ::CoTaskMemFree(path);
    if (SUCCEEDED(result) && !folder->empty())
      return true;
  }
  return false;
}

bool CurrentUserHasAccess(const base::string16& object_name,
                          SE_OBJECT_TYPE object_type,
                          ACCESS_MASK access) {
  return SecurityChecks::Get()->HasAccess(object_name, object_type, access);
}

bool SetPrivilege(const wchar_t* privilege_name, bool enable, HANDLE token) {
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  if (!::LookupPrivilegeValueW(nullptr, privilege_name,
                               &privileges.Privileges[0].Luid) ||
      !::AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(privileges),
                               nullptr, nullptr)) {
    return false;
  }
  return ::GetLastError() != ERROR_NOT_ALL_ASSIGNED;
}

bool TakeOwnership(const base::string16& object_name,
                   SE_OBJECT_TYPE object_type) {
  HANDLE process_token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES,
                          &process_token)) {
    return false;
  }
  base::win::ScopedHandle token(process_token);
  constexpr wchar_t kTakeOwnershipPrivilege[] = L"SeTakeOwnershipPrivilege";
  if (!SetPrivilege(kTakeOwnershipPrivilege, true, token.Get()))
    return false;
  WellKnownSid administrators = GetAdministratorsSid();
  base::string16 name = object_name;
  const DWORD result = administrators.empty()
                           ? ERROR_INVALID_SID
                           : ::SetNamedSecurityInfoW(&name[0], object_type,
                                                     OWNER_SECURITY_INFORMATION,
                                                     administrators.data(),
                                                     nullptr, nullptr, nullptr);
  SetPrivilege(kTakeOwnershipPrivilege, false, token.Get());
  LOG_IF(ERROR, result != ERROR_SUCCESS)
      << "Failed to take ownership of " << base::UTF16ToUTF8(object_name)
      << ": " << result;
  return result == ERROR_SUCCESS;
}

bool GrantCurrentUserAccess(const base::string16& object_name,
                            SE_OBJECT_TYPE object_type,
                            ACCESS_MASK access,
                            bool permanent,
                            std::unique_ptr<SavedDacl>* saved_dacl) {
  saved_dacl->reset();
  base::string16 user_name;
  if (!GetCurrentUserName(false, &user_name))
    return false;

  PACL old_dacl = nullptr;
  PSECURITY_DESCRIPTOR old_descriptor = nullptr;
  DWORD result =
      GetObjectDacl(object_name, object_type, &old_dacl, &old_descriptor);
  if (result == ERROR_ACCESS_DENIED) {
    if (!TakeOwnership(object_name, object_type))
      return false;
    result =
        GetObjectDacl(object_name, object_type, &old_dacl, &old_descriptor);
  }
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to read the access list of "
               << base::UTF16ToUTF8(object_name) << ": " << result;
    return false;
  }
  ScopedLocalMemory<void> owned_old_descriptor(old_descriptor);

  ULONG entry_count = 0;
  EXPLICIT_ACCESS_W* raw_entries = nullptr;
  if (old_dacl && ::GetExplicitEntriesFromAclW(old_dacl, &entry_count,
                                               &raw_entries) != ERROR_SUCCESS) {
    return false;
  }
  ScopedLocalMemory<EXPLICIT_ACCESS_W> entries(raw_entries);
  for (ULONG i = 0; i < entry_count; ++i) {
    EXPLICIT_ACCESS_W& entry = raw_entries[i];
    if (entry.grfAccessMode == DENY_ACCESS &&
        entry.Trustee.TrusteeForm == TRUSTEE_IS_SID &&
        SecurityChecks::Get()->IsMember(
            nullptr, reinterpret_cast<PSID>(entry.Trustee.ptstrName))) {
      entry.grfAccessPermissions &= ~access;
    }
  }

  EXPLICIT_ACCESS_W grant = {};
  ::BuildExplicitAccessWithNameW(&grant, &user_name[0], access, GRANT_ACCESS,
                                 SUB_CONTAINERS_AND_OBJECTS_INHERIT);
  PACL grant_dacl = nullptr;
  if (::SetEntriesInAclW(1, &grant, nullptr, &grant_dacl) != ERROR_SUCCESS)
    return false;
  ScopedLocalMemory<ACL> owned_grant_dacl(grant_dacl);
  PACL new_dacl = nullptr;
  if (::SetEntriesInAclW(entry_count, raw_entries, grant_dacl, &new_dacl) !=
      ERROR_SUCCESS) {
    return false;
  }
  ScopedLocalMemory<ACL> owned_new_dacl(new_dacl);

  const DWORD file_attributes = object_type == SE_FILE_OBJECT
                                    ? ::GetFileAttributesW(object_name.c_str())
                                    : INVALID_FILE_ATTRIBUTES;
  result = SetObjectDacl(object_name, object_type, new_dacl);
  if (result == ERROR_ACCESS_DENIED && TakeOwnership(object_name, object_type))
    result = SetObjectDacl(object_name, object_type, new_dacl);
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to write the access list of "
               << base::UTF16ToUTF8(object_name) << ": " << result;
    return false;
  }
  if (!permanent) {
    saved_dacl->reset(new SavedDacl(object_name, object_type, old_dacl,
                                    owned_old_descriptor.release(),
                                    file_attributes));
  }
  return true;
}

bool RestoreSavedDacl(std::unique_ptr<SavedDacl>* saved_dacl) {
  if (!*saved_dacl)
    return false;
  const SavedDacl& saved = **saved_dacl;
  const DWORD result =
      SetObjectDacl(saved.object_name(), saved.object_type(), saved.dacl());
  LOG_IF(ERROR, result != ERROR_SUCCESS)
      << "Failed to restore the access list of "
      << base::UTF16ToUTF8(saved.object_name()) << ": " << result;
  const bool restored = result == ERROR_SUCCESS && RestoreFileAttributes(saved);
  saved_dacl->reset();
  return restored;
}

base::string16 GetRegistryObjectName(HKEY root,
                                     const base::string16& key_path) {
  if (root == HKEY_CLASSES_ROOT)
    return L"CLASSES_ROOT\\" + key_path;
  if (root == HKEY_CURRENT_USER)
    return L"CURRENT_USER\\" + key_path;
  if (root == HKEY_LOCAL_MACHINE)
    return L"MACHINE\\" + key_path;
  if (root == HKEY_USERS)
    return L"USERS\\" + key_path;
  return key_path;
}

base::FilePath FindTaskbarPin(
    const base::FilePath& target,
    const BY_HANDLE_FILE_INFORMATION* target_information) {
  base::FilePath pins;
  if (!base::PathService::Get(base::DIR_TASKBAR_PINS, &pins) ||
      !base::DirectoryExists(pins)) {
    LOG(ERROR) << "Couldn't find path to taskbar pins.";
    return base::FilePath();
  }
  base::FileEnumerator shortcuts(pins, false, base::FileEnumerator::FILES,
                                 L"*.lnk");
  for (base::FilePath shortcut = shortcuts.Next(); !shortcut.empty();
       shortcut = shortcuts.Next()) {
    if (ResolvesTo(shortcut, target, target_information))
      return shortcut;
  }
  return base::FilePath();
}

bool ShortcutPointsTo(const base::FilePath& shortcut,
                      const base::FilePath& target,
                      const BY_HANDLE_FILE_INFORMATION* target_information) {
  VLOG(1) << "Testing shortcut" << shortcut.AsUTF8();
  return !shortcut.empty() && base::PathExists(shortcut) &&
         ResolvesTo(shortcut, target, target_information);
}

bool IsValidPath(const base::FilePath& path) {
  const base::string16& text = path.value();
  if (text.empty() || text.size() > kMaxPathLength)
    return false;
  size_t start = SkipPathPrefix(text);
  if (start == base::string16::npos)
    return false;
  while (start < text.size()) {
    size_t end = FindSeparator(text, start);
    if (end == base::string16::npos)
      end = text.size();
    if (!IsValidPathComponent(text.substr(start, end - start)))
      return false;
    start = end + 1;
  }
  return true;
}

bool GetFileInformation(const base::FilePath& path,
                        BY_HANDLE_FILE_INFORMATION* information) {
  base::File file(path, base::File::FLAG_OPEN | base::File::FLAG_READ);
  return file.IsValid() &&
         ::GetFileInformationByHandle(file.GetPlatformFile(), information);
}

bool GetCurrentUserName(bool domain_qualified, base::string16* name) {
  if (domain_qualified) {
    ULONG length = 0;
    if (::GetUserNameExW(NameSamCompatible, nullptr, &length) ||
        ::GetLastError() != ERROR_MORE_DATA) {
      return false;
    }
    base::string16 buffer(length, L'\0');
    if (!::GetUserNameExW(NameSamCompatible, &buffer[0], &length))
      return false;
    buffer.resize(length);
    name->swap(buffer);
    return true;
  }
  wchar_t buffer[kUserNameBufferLength];
  DWORD length = kUserNameBufferLength;
  if (!::GetUserNameW(buffer, &length))
    return false;
  name->assign(buffer);
  return true;
}

base::string16 MakeKernelObjectName(const base::string16& name,
                                    const base::string16& scope,
                                    bool global) {
  base::string16 object_name = scope + L"/" + name;
  for (wchar_t& character : object_name) {
    if (character == L'\\')
      character = L'/';
  }
  return (global ? L"Global\\" : L"Local\\") + object_name;
}

base::string16 GetBrowserExeName() {
  return base::UTF8ToUTF16(ProductConfiguration::GetFileNameBase() + ".exe");
}

std::string GetStreamName() {
  return internal::GetStreamNameOfChannel(ProductInfo::GetChannelCode(),
                                          ProductInfo::GetChannel());
}

base::string16 GetCompanyRegistryKey() {
  return L"Software\\" +
         base::UTF8ToUTF16(ProductConfiguration::GetCompanyName());
}

namespace internal {

std::string GetStreamNameOfChannel(int channel_code,
                                   const std::string& channel_name) {
  switch (channel_code) {
    case ProductInfo::CHANNEL_DEVELOPER:
      return "Developer";
    case ProductInfo::CHANNEL_ZENT:
      return "Zent";
    case ProductInfo::CHANNEL_STABLE:
      return "Stable";
  }
  return channel_name;
}

}  // namespace internal

bool LaunchElevated(const base::FilePath& program,
                    const base::string16& parameters,
                    int show,
                    base::win::ScopedHandle* process) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = L"runas";
  info.lpFile = program.value().c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = show;
  if (!::ShellExecuteExW(&info) || !info.hProcess) {
    PLOG(ERROR) << "Failed to run the elevated process";
    return false;
  }
  process->Set(info.hProcess);
  return true;
}

}  // namespace installer
}  // namespace vexlo
