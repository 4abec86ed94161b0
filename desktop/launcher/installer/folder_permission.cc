#include "desktop/launcher/installer/folder_permission.h"

#include <windows.h>

#include <aclapi.h>
#include <shellapi.h>

#include <vector>

#include "base/base_paths.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/platform_thread.h"
#include "base/win/registry.h"
#include "base/win/windows_version.h"
#include "desktop/launcher/installer/folder_dacl.h"
#include "desktop/launcher/installer/service/scoped_local_memory.h"
#include "desktop/launcher/installer/service/service_utils.h"

namespace vexlo {
namespace installer {

namespace {

constexpr wchar_t kGiveEventName[] = L"VexloInstaller/GiveInstallPermission";
constexpr wchar_t kUndoEventName[] =
    L"VexloInstaller/GiveInstallPermission/Undo";
constexpr wchar_t kPackageReadyEventName[] = L"VexloInstaller/PackageReady";
constexpr wchar_t kInterruptedEventName[] =
    L"VexloInstaller/InstallationInterrupted";
constexpr wchar_t kPackageInstallerName[] = L"installer.exe";

constexpr char kSetFolderPermissionSwitch[] = "set-folder-permission";
constexpr char kPermissionsForUserSwitch[] = "permissions-for-user";
constexpr char kPermanentPermissionsSwitch[] = "permanent-permissions";
constexpr char kRunUninstallBatSwitch[] = "run-uninstall-bat";
constexpr char kCrashReporterPidSwitch[] = "crash-reporter-pid";
constexpr char kWaitForPackageSwitch[] = "wait-for-package";
constexpr char kInitialPidSwitch[] = "initial-pid";

constexpr wchar_t kSystemPoliciesKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

// The requester gives the folder back this long after its undo, so that it
// can finish with the folder first.
constexpr int64_t kUndoDelaySeconds = 10;

base::string16 GetEventName(const wchar_t* name,
                            const base::FilePath& folder,
                            bool global) {
  return MakeKernelObjectName(name, folder.value(), global);
}

// Before Vista the elevated process, running as another user, could not
// open events made with the default security: Administrators get them too.
bool AllowAdministratorsToUseEvent(HANDLE event) {
  PACL old_dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(event, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                        nullptr, nullptr, &old_dacl, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  ScopedLocalMemory<void> owned_descriptor(descriptor);
  EXPLICIT_ACCESSW access = {};
  access.grfAccessPermissions = GENERIC_ALL;
  access.grfAccessMode = GRANT_ACCESS;
  access.grfInheritance = NO_INHERITANCE;
  access.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
  access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  wchar_t administrators[] = L"BUILTIN\\Administrators";
  access.Trustee.ptstrName = administrators;
  PACL new_dacl = nullptr;
  if (::SetEntriesInAclW(1, &access, old_dacl, &new_dacl) != ERROR_SUCCESS)
    return false;
  ScopedLocalMemory<ACL> owned_new_dacl(new_dacl);
  return ::SetSecurityInfo(event, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                           nullptr, nullptr, new_dacl,
                           nullptr) == ERROR_SUCCESS;
}

// The two events through which the elevated process and the requester
// talk; false when either cannot be made.
bool CreatePermissionEvents(const base::FilePath& folder,
                            base::win::ScopedHandle* give_event,
                            base::win::ScopedHandle* undo_event) {
  give_event->Set(
      ::CreateEventW(nullptr, FALSE, FALSE,
                     GetEventName(kGiveEventName, folder, false).c_str()));
  if (give_event->IsValid()) {
    undo_event->Set(
        ::CreateEventW(nullptr, FALSE, FALSE,
                       GetEventName(kUndoEventName, folder, false).c_str()));
  }
  if (!give_event->IsValid() || !undo_event->IsValid()) {
    PLOG(ERROR) << "Failed to create event for communicating with "
                << "the elevated process";
    return false;
  }
  if (base::win::GetVersion() < base::win::VERSION_VISTA) {
    return AllowAdministratorsToUseEvent(give_event->Get()) &&
           AllowAdministratorsToUseEvent(undo_event->Get());
  }
  return true;
}

// The process named by the decimal value of |switch_name|, opened to wait
// for it; invalid when the value is not a number or the process is gone.
base::win::ScopedHandle OpenProcessOfSwitch(
    const base::CommandLine& command_line,
    const char* switch_name) {
  unsigned process_id = 0;
  if (!base::StringToUint(command_line.GetSwitchValueASCII(switch_name),
                          &process_id)) {
    return base::win::ScopedHandle();
  }
  return base::win::ScopedHandle(
      ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(process_id)));
}

// The index of the first of |handles| to be signalled, or -1 when waiting
// fails.
int WaitForFirst(const std::vector<HANDLE>& handles) {
  const DWORD result = ::WaitForMultipleObjects(
      static_cast<DWORD>(handles.size()), handles.data(), FALSE, INFINITE);
  if (result >= WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + handles.size())
    return static_cast<int>(result - WAIT_OBJECT_0);
  return -1;
}

// Once the package is unpacked, runs its installer with this process's
// permission switches, and waits for it; gives up when the installation is
// abandoned or the front end ends first.
void RunPackageInstallerWhenReady(const base::CommandLine& command_line,
                                  const base::FilePath& folder) {
  const base::win::ScopedHandle package_ready(
      ::OpenEventW(SYNCHRONIZE, FALSE,
                   GetEventName(kPackageReadyEventName, folder, true).c_str()));
  if (!package_ready.IsValid())
    return;
  const base::win::ScopedHandle interrupted(
      ::OpenEventW(SYNCHRONIZE, FALSE,
                   GetEventName(kInterruptedEventName, folder, true).c_str()));
  if (!interrupted.IsValid())
    return;
  const base::win::ScopedHandle front_end =
      OpenProcessOfSwitch(command_line, kInitialPidSwitch);
  if (!front_end.IsValid())
    return;
  if (WaitForFirst({package_ready.Get(), interrupted.Get(), front_end.Get()}) !=
      0) {
    return;
  }
  base::CommandLine installer(
      command_line.GetSwitchValuePath(kWaitForPackageSwitch)
          .Append(kPackageInstallerName));
  const char* const kCopiedSwitches[] = {
      kCrashReporterPidSwitch, kSetFolderPermissionSwitch,
      kPermissionsForUserSwitch, kPermanentPermissionsSwitch};
  installer.CopySwitchesFrom(
      command_line, kCopiedSwitches,
      sizeof(kCopiedSwitches) / sizeof(kCopiedSwitches[0]));
  base::LaunchOptions options;
  options.wait = true;
  base::LaunchProcess(installer, options);
}

// Grants |user_name| full access to |folder| and, unless |permanent|, puts
// the old list back once the requester signals |undo_event| or
// |requester| ends. Reports the grant through |give_event|.
void GrantFolderAccess(const base::FilePath& folder,
                       const base::string16& user_name,
                       bool permanent,
                       HANDLE give_event,
                       HANDLE undo_event,
                       HANDLE requester,
                       base::TimeDelta undo_delay) {
  FolderDacl* const folder_dacl = FolderDacl::Get();
  PACL old_dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (folder_dacl->Read(folder, &old_dacl, &descriptor) != ERROR_SUCCESS)
    return;
  ScopedLocalMemory<void> owned_descriptor(descriptor);

  base::string16 trustee = user_name;
  EXPLICIT_ACCESSW access = {};
  ::BuildExplicitAccessWithNameW(&access, &trustee[0], GENERIC_ALL,
                                 GRANT_ACCESS,
                                 SUB_CONTAINERS_AND_OBJECTS_INHERIT);
  PACL new_dacl = nullptr;
  if (::SetEntriesInAclW(1, &access, old_dacl, &new_dacl) != ERROR_SUCCESS)
    return;
  ScopedLocalMemory<ACL> owned_new_dacl(new_dacl);
  if (folder_dacl->Write(folder, new_dacl) != ERROR_SUCCESS)
    return;

  if (!::SetEvent(give_event) || permanent)
    return;
  // A requester that dies never signals its undo: its end counts as one,
  // so that the folder does not keep its rights for good.
  std::vector<HANDLE> handles = {undo_event};
  if (requester)
    handles.push_back(requester);
  if (WaitForFirst(handles) == 0)
    base::PlatformThread::Sleep(undo_delay);
  folder_dacl->Write(folder, old_dacl);
}

}  // namespace

FolderPermissionResult RequestFolderPermission(const base::FilePath& folder,
                                               bool permanent,
                                               bool uninstall,
                                               uint32_t crash_reporter_pid,
                                               FolderPermissionGrant* grant) {
  VLOG(1) << "Run an elevated process in order to give permissions on the "
          << "install folder to this process";
  if (!internal::CanElevate()) {
    LOG(ERROR) << "Cannot elevate with UAC disabled";
    return kFolderPermissionCannotElevate;
  }
  base::string16 user_name;
  if (!GetCurrentUserName(false, &user_name)) {
    LOG(ERROR) << "Failed to obtain user name";
    return kFolderPermissionSetupFailed;
  }
  VLOG(1) << "User name is" << base::UTF16ToUTF8(user_name);
  const base::CommandLine command_line =
      internal::GetFolderPermissionCommandLine(
          folder, user_name, permanent, uninstall, crash_reporter_pid,
          *base::CommandLine::ForCurrentProcess());
  base::FilePath program;
  if (!base::PathService::Get(base::FILE_EXE, &program)) {
    LOG(ERROR) << "Failed to obtain installer exe file path";
    return kFolderPermissionSetupFailed;
  }
  base::win::ScopedHandle give_event;
  base::win::ScopedHandle undo_event;
  if (!CreatePermissionEvents(folder, &give_event, &undo_event))
    return kFolderPermissionSetupFailed;

  base::win::ScopedHandle process;
  if (!LaunchElevated(program, command_line.GetArgumentsString(false),
                      SW_SHOWNORMAL, &process))
    return kFolderPermissionCannotElevate;
  // The give event comes first: an elevated process that granted for good
  // may well have ended by the time this thread looks.
  if (WaitForFirst({give_event.Get(), process.Get()}) != 0) {
    PLOG(ERROR) << "Failed to run the elevated process";
    return kFolderPermissionNotGranted;
  }
  grant->undo_event.Set(undo_event.Take());
  grant->elevated_process_id = ::GetProcessId(process.Get());
  return kFolderPermissionGranted;
}

void RunSetFolderPermission() {
  internal::RunSetFolderPermission(
      *base::CommandLine::ForCurrentProcess(),
      base::TimeDelta::FromSeconds(kUndoDelaySeconds));
}

namespace internal {

base::CommandLine GetFolderPermissionCommandLine(
    const base::FilePath& folder,
    const base::string16& user_name,
    bool permanent,
    bool uninstall,
    uint32_t crash_reporter_pid,
    const base::CommandLine& own) {
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  command_line.AppendSwitchPath(kSetFolderPermissionSwitch, folder);
  command_line.AppendSwitchNative(kPermissionsForUserSwitch, user_name);
  if (permanent)
    command_line.AppendSwitch(kPermanentPermissionsSwitch);
  if (uninstall)
    command_line.AppendSwitch(kRunUninstallBatSwitch);
  command_line.AppendSwitchASCII(kCrashReporterPidSwitch,
                                 base::UintToString(crash_reporter_pid));
  if (own.HasSwitch(kWaitForPackageSwitch)) {
    command_line.AppendSwitchNative(
        kWaitForPackageSwitch, own.GetSwitchValueNative(kWaitForPackageSwitch));
  }
  // The elevated process watches this process to take the grant back
  // should it die: without a front end above it, it is its own initial
  // process.
  command_line.AppendSwitchNative(
      kInitialPidSwitch, own.HasSwitch(kInitialPidSwitch)
                             ? own.GetSwitchValueNative(kInitialPidSwitch)
                             : base::UintToString16(::GetCurrentProcessId()));
  return command_line;
}

void RunSetFolderPermission(const base::CommandLine& command_line,
                            base::TimeDelta undo_delay) {
  if (!command_line.HasSwitch(kPermissionsForUserSwitch))
    return;
  const base::FilePath folder =
      command_line.GetSwitchValuePath(kSetFolderPermissionSwitch);
  if (command_line.HasSwitch(kWaitForPackageSwitch)) {
    if (command_line.HasSwitch(kInitialPidSwitch))
      RunPackageInstallerWhenReady(command_line, folder);
    return;
  }
  const base::win::ScopedHandle give_event(
      ::OpenEventW(EVENT_ALL_ACCESS, FALSE,
                   GetEventName(kGiveEventName, folder, false).c_str()));
  if (!give_event.IsValid())
    return;
  const base::win::ScopedHandle undo_event(
      ::OpenEventW(EVENT_ALL_ACCESS, FALSE,
                   GetEventName(kUndoEventName, folder, false).c_str()));
  if (!undo_event.IsValid())
    return;
  if (!base::DirectoryExists(folder) && !base::CreateDirectory(folder))
    return;
  const base::win::ScopedHandle requester =
      OpenProcessOfSwitch(command_line, kInitialPidSwitch);
  GrantFolderAccess(
      folder, command_line.GetSwitchValueNative(kPermissionsForUserSwitch),
      command_line.HasSwitch(kPermanentPermissionsSwitch), give_event.Get(),
      undo_event.Get(), requester.Get(), undo_delay);
}

bool CanElevate() {
  if (IsUserInAdministratorsGroup(true) ||
      base::win::GetVersion() < base::win::VERSION_VISTA) {
    return true;
  }
  base::win::RegKey policies(HKEY_LOCAL_MACHINE, kSystemPoliciesKey,
                             KEY_QUERY_VALUE);
  uint32_t enable_lua = 1;
  policies.ReadValueDW(L"EnableLUA", &enable_lua);
  return enable_lua != 0;
}

}  // namespace internal

}  // namespace installer
}  // namespace vexlo
