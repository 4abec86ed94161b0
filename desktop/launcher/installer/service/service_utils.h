#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_SERVICE_UTILS_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_SERVICE_UTILS_H_

#include <windows.h>

#include <aclapi.h>

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/service/saved_dacl.h"

namespace vexlo {
namespace installer {

// Whether the user of this process belongs to BUILTIN\Administrators. With
// |use_linked_token|, a user running with the limited half of a split token
// is judged by its elevated half.
bool IsUserInAdministratorsGroup(bool use_linked_token);

// The user's own folder for programs, created when missing.
bool GetUserProgramFilesFolder(base::FilePath* folder);

// Whether this process may use every right of |access| on the file or the
// registry key |object_name| (registry keys named as GetRegistryObjectName
// makes them).
bool CurrentUserHasAccess(const base::string16& object_name,
                          SE_OBJECT_TYPE object_type,
                          ACCESS_MASK access);

// Enables or disables the privilege |privilege_name| in |token|; false also
// when the token does not hold it.
bool SetPrivilege(const wchar_t* privilege_name, bool enable, HANDLE token);

// Makes BUILTIN\Administrators the owner of the object.
bool TakeOwnership(const base::string16& object_name,
                   SE_OBJECT_TYPE object_type);

// Grants the current user |access| on the object, inherited by whatever lies
// below it, and takes |access| out of every entry that denies it to a group
// the user belongs to. Ownership is taken when the access list can be
// neither read nor written otherwise. Unless |permanent|, |saved_dacl| then
// holds what RestoreSavedDacl needs to undo the grant; it is emptied first
// in any case.
bool GrantCurrentUserAccess(const base::string16& object_name,
                            SE_OBJECT_TYPE object_type,
                            ACCESS_MASK access,
                            bool permanent,
                            std::unique_ptr<SavedDacl>* saved_dacl);

// Writes the saved access list back to its object and empties |saved_dacl|.
// False when there was nothing to restore or the write failed.
bool RestoreSavedDacl(std::unique_ptr<SavedDacl>* saved_dacl);

// The name under which the security functions know the key |key_path| of
// |root|: "CLASSES_ROOT\", "CURRENT_USER\", "MACHINE\" or "USERS\" and the
// path; the bare path under any other root.
base::string16 GetRegistryObjectName(HKEY root, const base::string16& key_path);

// The shortcut in the taskbar pins folder that points to |target|, or to the
// same file as |target_information| when that is given; empty when there is
// none.
base::FilePath FindTaskbarPin(
    const base::FilePath& target,
    const BY_HANDLE_FILE_INFORMATION* target_information);

// Whether the shortcut |shortcut| points to |target|, or to the same file as
// |target_information| when that is given.
bool ShortcutPointsTo(const base::FilePath& shortcut,
                      const base::FilePath& target,
                      const BY_HANDLE_FILE_INFORMATION* target_information);

// Whether |path| can name a file or folder: at most 247 characters, a drive
// or a "\\server\share\" start, and components free of forbidden
// characters, trailing full stops and reserved device names.
bool IsValidPath(const base::FilePath& path);

// The volume serial number, file index and the rest of what the system
// tells of an open file.
bool GetFileInformation(const base::FilePath& path,
                        BY_HANDLE_FILE_INFORMATION* information);

// The current user's name, as DOMAIN\user when |domain_qualified|.
bool GetCurrentUserName(bool domain_qualified, base::string16* name);

// The name of a kernel object of the installation |scope| (a path, whose
// backslashes the system would not accept): "Global\" or "Local\", the scope,
// "/" and |name|, with every backslash turned into "/".
base::string16 MakeKernelObjectName(const base::string16& name,
                                    const base::string16& scope,
                                    bool global);

// The browser's executable name, such as "vexlo.exe".
base::string16 GetBrowserExeName();

// The release stream's name: "Developer", "Zent" or "Stable".
std::string GetStreamName();

// "Software\<company name>", used under HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE.
base::string16 GetCompanyRegistryKey();

// Starts |program| with |parameters| through the elevation prompt, its window
// shown as |show| says, and hands over its process in |process|. False,
// logged, when it does not start.
bool LaunchElevated(const base::FilePath& program,
                    const base::string16& parameters,
                    int show,
                    base::win::ScopedHandle* process);

namespace internal {

// GetStreamName for the release channel |channel_code| named
// |channel_name|.
std::string GetStreamNameOfChannel(int channel_code,
                                   const std::string& channel_name);

}  // namespace internal

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_SERVICE_UTILS_H_
