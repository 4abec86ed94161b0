#include "desktop/launcher/installer/uninstall_finalization.h"

#include <windows.h>

#include <shellapi.h>

#include <vector>

#include "base/logging.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "base/win/windows_version.h"
#include "desktop/launcher/installer/service/default_app_services.h"

namespace vexlo {
namespace installer {

namespace {

constexpr wchar_t kSystemBrowserInstallInfoKey[] =
    L"SOFTWARE\\Clients\\StartMenuInternet\\IEXPLORE.EXE\\InstallInfo";
constexpr wchar_t kSystemBrowserName[] = L"Internet Explorer";

// Turns the file-system redirection of a 32-bit process on 64-bit Windows
// off while it lives; does nothing elsewhere.
class ScopedFsRedirectionOff {
 public:
  ScopedFsRedirectionOff() {
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32");
    using IsWow64 = BOOL(WINAPI*)(HANDLE, BOOL*);
    const auto is_wow64 = reinterpret_cast<IsWow64>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "IsWow64Process")));
    disable_ = reinterpret_cast<Disable>(reinterpret_cast<void*>(
        ::GetProcAddress(kernel, "Wow64DisableWow64FsRedirection")));
    revert_ = reinterpret_cast<Revert>(reinterpret_cast<void*>(
        ::GetProcAddress(kernel, "Wow64RevertWow64FsRedirection")));
    BOOL wow64 = FALSE;
    active_ = is_wow64 && disable_ && revert_ &&
              is_wow64(::GetCurrentProcess(), &wow64) && wow64 &&
              disable_(&state_);
  }
  ScopedFsRedirectionOff(const ScopedFsRedirectionOff&) = delete;
  ScopedFsRedirectionOff& operator=(const ScopedFsRedirectionOff&) = delete;
  ~ScopedFsRedirectionOff() {
    if (active_)
      revert_(state_);
  }

 private:
  using Disable = BOOL(WINAPI*)(void**);
  using Revert = BOOL(WINAPI*)(void*);
  Disable disable_ = nullptr;
  Revert revert_ = nullptr;
  void* state_ = nullptr;
  bool active_ = false;
};

// Runs the system browser's own command that makes it the machine's
// browser again, and waits for it; false when there is none to run.
bool RunSystemBrowserReinstall() {
  base::string16 command;
  if (base::win::RegKey(HKEY_LOCAL_MACHINE, kSystemBrowserInstallInfoKey,
                        KEY_READ)
          .ReadValue(L"ReinstallCommand", &command) != ERROR_SUCCESS) {
    LOG(WARNING) << "The system browser has no reinstall command";
    return false;
  }
  base::string16 program;
  base::string16 parameters;
  SplitReinstallCommand(command, &program, &parameters);
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_DOENVSUBST;
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_SHOW;
  bool started = false;
  {
    ScopedFsRedirectionOff redirection_off;
    started = ::ShellExecuteExW(&info) != FALSE;
  }
  if (!started || !info.hProcess) {
    PLOG(WARNING) << "The system browser's reinstall command did not start";
    return false;
  }
  const base::win::ScopedHandle process(info.hProcess);
  ::WaitForSingleObject(process.Get(), INFINITE);
  return true;
}

}  // namespace

void SplitReinstallCommand(const base::string16& text,
                           base::string16* program,
                           base::string16* parameters) {
  parameters->clear();
  if (!text.empty() && text[0] == L'"') {
    const size_t quote = text.find(L'"', 1);
    if (quote == base::string16::npos) {
      *program = text.substr(1);
      return;
    }
    *program = text.substr(1, quote - 1);
    if (quote + 2 < text.size())
      *parameters = text.substr(quote + 2);
    return;
  }
  const size_t blank = text.find(L' ');
  *program = text.substr(0, blank);
  if (blank != base::string16::npos)
    *parameters = text.substr(blank + 1);
}

void HandDefaultBackToSystemBrowser(bool all_users) {
  if (all_users && !RunSystemBrowserReinstall())
    return;
  DefaultAppServices* const services = DefaultAppServices::Get();
  if (base::win::GetVersion() == base::win::VERSION_WIN8) {
    if (services->ShowOpenWithDialog(L"http"))
      services->NotifyAssociationsChanged();
    return;
  }
  for (const wchar_t* extension : {L".htm", L".html"}) {
    services->SetAppAsDefault(kSystemBrowserName, extension,
                              DefaultAppServices::kFileExtension);
  }
  for (const wchar_t* protocol : {L"http", L"https"}) {
    services->SetAppAsDefault(kSystemBrowserName, protocol,
                              DefaultAppServices::kUrlProtocol);
  }
}

std::string BuildSurveyUrl(const std::string& survey_url,
                           const std::string& version,
                           const std::string& uuid,
                           const std::string& welcome_url) {
  std::string url = survey_url + "?version=" + version + "&uuid=" + uuid;
  const std::vector<std::string> parts = base::SplitString(
      welcome_url, "?", base::KEEP_WHITESPACE, base::SPLIT_WANT_NONEMPTY);
  if (parts.size() == 2)
    url += "&" + parts[1];
  return url;
}

base::string16 BuildSurveyCommandLine(const base::FilePath& program_files,
                                      bool private_window,
                                      const std::string& url) {
  const base::FilePath program =
      program_files.Append(L"Internet Explorer").Append(L"iexplore.exe");
  // A quote inside the address would end the argument early.
  std::string address;
  base::ReplaceChars(url, "\"", "%22", &address);
  return L"\"" + program.value() + L"\"" +
         (private_window ? L" -private" : L"") + L" \"" +
         base::UTF8ToUTF16(address) + L"\"";
}

}  // namespace installer
}  // namespace vexlo
