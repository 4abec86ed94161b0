#include "desktop/launcher/installer/installer_startup.h"

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "base/win/windows_version.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/launcher/installer/uninstall_batch.h"

namespace vexlo {
namespace installer {

namespace {

constexpr wchar_t kInternetSettingsKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr wchar_t kSecureProtocolsValue[] = L"SecureProtocols";
// The mask when the value is absent: SSL 3.0 only.
constexpr uint32_t kDefaultSecureProtocols = 0x20;
// TLS 1.0; the later protocols have the higher bits.
constexpr uint32_t kTls10Protocol = 0x80;

// The callback-filter bit of the user-mode exception policy.
constexpr DWORD kExceptionPolicyCallbackFilter = 0x1;

constexpr wchar_t kUninstallBatchName[] = L"k.bat";
constexpr wchar_t kPackageInstallerName[] = L"installer.exe";
constexpr wchar_t kFilesListName[] = L"files_list";

using GetExceptionPolicyFunction = BOOL(WINAPI*)(DWORD* flags);
using SetExceptionPolicyFunction = BOOL(WINAPI*)(DWORD flags);

template <typename Function>
Function GetKernel32Function(const char* name) {
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  if (!kernel32)
    return nullptr;
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(::GetProcAddress(kernel32, name)));
}

}  // namespace

StartupFlags ReadStartupFlags(const base::CommandLine& command_line) {
  StartupFlags flags;
  flags.backend = command_line.HasSwitch("backend");
  flags.uninstall = command_line.HasSwitch("uninstall");
  flags.silent = command_line.HasSwitch("silent");
  flags.run_immediately = command_line.HasSwitch("runimmediately");
  flags.autoupdate = command_line.HasSwitch("autoupdate");
  flags.replace_talvik_installation =
      command_line.HasSwitch("replacetalvikinstallation");
  return flags;
}

void ClearExceptionPolicyCallbackFilter() {
  const auto get_policy = GetKernel32Function<GetExceptionPolicyFunction>(
      "GetProcessUserModeExceptionPolicy");
  const auto set_policy = GetKernel32Function<SetExceptionPolicyFunction>(
      "SetProcessUserModeExceptionPolicy");
  if (!get_policy || !set_policy)
    return;
  DWORD flags = 0;
  if (get_policy(&flags))
    set_policy(flags & ~kExceptionPolicyCallbackFilter);
}

TlsSetting EnableTLS10InInternetSettings(HKEY root, const wchar_t* subkey) {
  base::win::RegKey key;
  uint32_t protocols = kDefaultSecureProtocols;
  if (key.Open(root, subkey, KEY_READ) != ERROR_SUCCESS ||
      (key.HasValue(kSecureProtocolsValue) &&
       key.ReadValueDW(kSecureProtocolsValue, &protocols) != ERROR_SUCCESS)) {
    LOG(WARNING) << "Could not read the list of enabled secure protocols.";
    return TlsSetting::kUsable;
  }
  if (protocols >= kTls10Protocol) {
    VLOG(1) << "TLS 1.0 or above is enabled.";
    return TlsSetting::kUsable;
  }
  protocols |= kTls10Protocol;
  if (key.Open(root, subkey, KEY_SET_VALUE) != ERROR_SUCCESS ||
      key.WriteValueDW(kSecureProtocolsValue, protocols) != ERROR_SUCCESS) {
    return TlsSetting::kNotEnabled;
  }
  return TlsSetting::kEnabledNow;
}

bool EnsureTLS10Enabled() {
  VLOG(1) << "Ensuring that TLS 1.0 is enabled";
  // From Vista on, TLS 1.0 cannot be switched off this way.
  if (base::win::GetVersion() >= base::win::VERSION_VISTA)
    return true;
  switch (
      EnableTLS10InInternetSettings(HKEY_CURRENT_USER, kInternetSettingsKey)) {
    case TlsSetting::kUsable:
      return true;
    case TlsSetting::kNotEnabled:
      return false;
    case TlsSetting::kEnabledNow:
      break;
  }
  LOG(INFO) << "Restarting process after enabling TLS 1.0";
  base::LaunchProcess(*base::CommandLine::ForCurrentProcess(),
                      base::LaunchOptions());
  return false;
}

void RunUninstallBatch(const base::FilePath& folder) {
  const base::FilePath batch = folder.Append(kUninstallBatchName);
  if (base::PathExists(batch))
    StartBatch(batch);
}

base::FilePath RecoverInstallFolderFromCommandLine(
    const base::CommandLine& command_line) {
  const base::CommandLine::StringVector& argv = command_line.argv();
  // Entry 0 is the program, never an argument.
  if (argv.size() < 2)
    return base::FilePath();
  const base::FilePath folder(argv.back());
  return folder.IsAbsolute() ? folder : base::FilePath();
}

bool HasBrowserExecutable(const base::FilePath& folder) {
  return base::PathExists(folder.Append(
      base::UTF8ToUTF16(ProductConfiguration::GetFileNameBase() + ".exe")));
}

bool IsRunningFromPackage(const base::FilePath& executable_folder,
                          const base::FilePath& executable_path) {
  return HasBrowserExecutable(executable_folder) &&
         base::PathExists(executable_folder.Append(kFilesListName)) &&
         executable_path.BaseName().value() == kPackageInstallerName;
}

}  // namespace installer
}  // namespace vexlo
