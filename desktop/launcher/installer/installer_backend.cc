#include "desktop/launcher/installer/installer_backend.h"

#include <windows.h>

#include <stdint.h>
#include <string.h>
#include <tlhelp32.h>

#include <utility>
#include <vector>

#include "base/command_line.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/launcher/installer/ipc/ipc_mailslot_name.h"

namespace vexlo {
namespace installer {

namespace {

constexpr char kInitialProcHandleSwitch[] = "initial-proc-handle";
constexpr char kInitialPidSwitch[] = "initial-pid";

// The id of the process that started this one; 0 when unknown.
DWORD ParentProcessId() {
  base::win::ScopedHandle snapshot(
      ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
       more = ::Process32NextW(snapshot.Get(), &entry)) {
    if (entry.th32ProcessID == ::GetCurrentProcessId())
      return entry.th32ParentProcessID;
  }
  return 0;
}

// Whether |process| started no later than |other|; false when unknown.
bool StartedBefore(HANDLE process, HANDLE other) {
  FILETIME started = {};
  FILETIME other_started = {};
  FILETIME unused[3];
  return ::GetProcessTimes(process, &started, &unused[0], &unused[1],
                           &unused[2]) &&
         ::GetProcessTimes(other, &other_started, &unused[0], &unused[1],
                           &unused[2]) &&
         ::CompareFileTime(&started, &other_started) <= 0;
}

}  // namespace

namespace internal {

bool DecodeProcessHandle(const std::string& text, HANDLE* handle) {
  std::vector<uint8_t> bytes;
  if (text.empty() || text.size() % 2 ||
      !base::HexStringToBytes(text, &bytes) ||
      bytes.size() < sizeof(uint64_t)) {
    return false;
  }
  uint64_t value = 0;
  for (size_t i = 0; i < sizeof(value); ++i)
    value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  *handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
  return true;
}

}  // namespace internal

InstallerBackend::InstallerBackend() : settings_(nullptr) {}

InstallerBackend::~InstallerBackend() {
  front_end_watcher_.StopWatching();
}

bool InstallerBackend::Run(Settings* settings,
                           const base::CommandLine& command_line) {
  settings_ = settings;
  if (!FindFrontEnd(command_line))
    return false;
  FindStarter(command_line);
  if (!front_end_watcher_.StartWatchingOnce(front_end_.Get(), this)) {
    LOG(ERROR) << "Cannot watch the front end";
    return false;
  }
  installer_.AddObserver(this);
  if (settings_->fetching_status())
    settings_->AddObserver(this);
  else
    StartInstaller();
  run_loop_.Run();
  installer_.RemoveObserver(this);
  return installer_.succeeded();
}

bool InstallerBackend::FindFrontEnd(const base::CommandLine& command_line) {
  if (command_line.HasSwitch(kInitialProcHandleSwitch)) {
    HANDLE handle = nullptr;
    if (!internal::DecodeProcessHandle(
            command_line.GetSwitchValueASCII(kInitialProcHandleSwitch),
            &handle)) {
      LOG(ERROR) << "Bad front-end process handle";
      return false;
    }
    front_end_.Set(handle);
    return true;
  }
  if (!command_line.HasSwitch(kInitialPidSwitch)) {
    LOG(ERROR) << "No front-end process given";
    return false;
  }
  unsigned process_id = 0;
  if (!base::StringToUint(command_line.GetSwitchValueASCII(kInitialPidSwitch),
                          &process_id)) {
    LOG(ERROR) << "Bad front-end process id";
    return false;
  }
  front_end_.Set(::OpenProcess(SYNCHRONIZE, FALSE, process_id));
  if (!front_end_.IsValid()) {
    PLOG(ERROR) << "Cannot open the front-end process " << process_id;
    return false;
  }
  return true;
}

void InstallerBackend::FindStarter(const base::CommandLine& command_line) {
  const DWORD parent = ParentProcessId();
  if (!parent)
    return;
  if (base::UintToString(parent) ==
      command_line.GetSwitchValueASCII(kInitialPidSwitch)) {
    started_by_front_end_ = true;
    return;
  }
  starter_.Set(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION,
                             FALSE, parent));
  // A process younger than this one took the id of one that had ended.
  if (starter_.IsValid() &&
      !StartedBefore(starter_.Get(), ::GetCurrentProcess())) {
    starter_.Close();
  }
}

void InstallerBackend::OnPathChanged() {
  settings_->RemoveObserver(this);
  StartInstaller();
}

void InstallerBackend::StartInstaller() {
  sender_.Connect(InstallerChannelName(settings_->status().requested_path()));
  LOG(INFO) << "Beginning installation";
  installer_.Run(settings_);
}

void InstallerBackend::OnInstallationFailed(int32_t error_code,
                                            const base::string16& message,
                                            const std::string& detail) {
  LOG(ERROR) << "Installation failed: " << error_code << " " << detail << " "
             << base::UTF16ToUTF8(message);
  InstallerMessageEncoder::OnInstallationFailed(error_code, message, detail);
  run_loop_.Quit();
}

void InstallerBackend::OnInstallationSucceeded() {
  // The success decides the run: it must reach a front end that reads,
  // whoever else keeps its mailslot full. (A failure needs no message to
  // fail the run.) The front end hears this process only while the process
  // that started it runs. The handle, declared first, outlives the sender.
  const HANDLE starter =
      started_by_front_end_ ? front_end_.Get() : starter_.Get();
  if (starter)
    sender_.KeepSendingWhileRunning(starter);
  InstallerMessageEncoder::OnInstallationSucceeded();
  run_loop_.Quit();
}

void InstallerBackend::OnInstallerTerminated(bool /* success */) {
  run_loop_.Quit();
}

void InstallerBackend::SendMessage(std::unique_ptr<base::Pickle> message) {
  sender_.Send(std::move(message));
}

void InstallerBackend::OnObjectSignaled(HANDLE /* object */) {
  LOG(ERROR) << "The front end has gone";
  run_loop_.Quit();
}

}  // namespace installer
}  // namespace vexlo
