#include "desktop/launcher/installer/installer_runner.h"

#include <stdint.h>

#include "base/base_paths.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "base/synchronization/lock.h"
#include "desktop/launcher/installer/installer.h"
#include "desktop/launcher/installer/ipc/installer_message.h"
#include "desktop/launcher/installer/ipc/ipc_mailslot_name.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "desktop/launcher/installer/settings.h"
#include "desktop/launcher/installer/status.h"
#include "desktop/windows/crash_reporter/crash_reporter_client.h"

namespace vexlo {
namespace installer {

namespace {

constexpr wchar_t kInterruptedEventName[] =
    L"VexloInstaller/InstallationInterrupted";
constexpr wchar_t kPackageReadyEventName[] = L"VexloInstaller/PackageReady";
constexpr wchar_t kPackageInstallerName[] = L"installer.exe";
// Another front end runs an installation into the same folder.
constexpr int32_t kInstallerErrorAlreadyRunning = 37052;
constexpr DWORD kBackendEndWaitMs = 20000;

HANDLE CreateManualResetEvent(const wchar_t* name,
                              const base::FilePath& install_folder) {
  const HANDLE event = ::CreateEventW(
      nullptr, TRUE, FALSE,
      MakeKernelObjectName(name, install_folder.value(), true).c_str());
  // An event that a process of an earlier run still holds keeps the state
  // that run left, and a signal left there would end this run at once.
  if (event)
    ::ResetEvent(event);
  return event;
}

}  // namespace

// Every installer process of a run, the backend and each that it runs in
// turn, reports its success over the mailslot as its last act, and only a
// process that reaches its end does: the system may give one that was
// killed any exit code, 0 among them. Foreign successes can only add to
// the count of a run whose backend exited with 0 and left no journal.
class InstallerRunner::SuccessTally : public InstallerObserver {
 public:
  void Reset() {
    started_ = 1;
    succeeded_ = 0;
  }
  bool EveryInstallerSucceeded() const { return succeeded_ >= started_; }

  void OnInstallationStarted() override {}
  void OnSubprocessStarting(bool /* flag */) override { ++started_; }
  void OnSubprocessFinished() override {}
  void SetTotalSteps(int32_t /* steps */) override {}
  void OnNextStep() override {}
  void OnInstallationFailed(int32_t /* error_code */,
                            const base::string16& /* message */,
                            const std::string& /* detail */) override {}
  void OnInstallationSucceeded() override { ++succeeded_; }
  void OnInstallerTerminated(bool /* success */) override {}

 private:
  int started_ = 1;
  int succeeded_ = 0;
};

InstallerRunner::InstallerRunner(const base::FilePath& package_folder)
    : receiver_(this),
      package_folder_(package_folder),
      success_tally_(std::make_unique<SuccessTally>()),
      weak_factory_(this) {
  observers_.AddObserver(success_tally_.get());
}

InstallerRunner::~InstallerRunner() {
  // The watch goes while the backend still runs, before it is told to end:
  // a cancel that meets the wait as it fires can fault inside the system's
  // thread pool.
  watcher_.StopWatching();
  Stop();
  // An interrupted backend undoes what it did and ends. The front end waits
  // for that, so that when the installer exits nothing of its run is still
  // running or half done.
  if (backend_.IsValid())
    ::WaitForSingleObject(backend_.Handle(), kBackendEndWaitMs);
  backend_.Close();
}

void InstallerRunner::AddObserver(InstallerObserver* observer) {
  observers_.AddObserver(observer);
}

void InstallerRunner::RemoveObserver(InstallerObserver* observer) {
  observers_.RemoveObserver(observer);
}

// static
base::string16 InstallerRunner::GetMutexName(
    const base::FilePath& install_folder) {
  base::string16 name = L"Vexlo/Installer/" + install_folder.value();
  for (wchar_t& character : name) {
    if (character == L'\\')
      character = L'/';
  }
  return L"Global\\" + name;
}

bool InstallerRunner::StartInstallation(Settings* settings) {
  if (settings_) {
    // The run under way stays as it is.
    if (settings == settings_)
      LOG(INFO) << "Duplicate installation attempt detected";
    return false;
  }
  LOG(INFO) << "Beginning installation";
  if (settings->operation() == Settings::kInvalidOperation) {
    return Fail(kInstallerErrorInvalidOperation,
                "Attempting to start installation with invalid settings");
  }
  settings->set_editable(false);
  settings_ = settings;
  const base::FilePath& install_folder = settings->status().requested_path();
  if (!AcquireMutex(install_folder))
    return false;
  if (!receiver_.Connect(InstallerChannelName(install_folder)))
    return Fail(kInstallerErrorGeneric, "Could not connect to mailslot");
  base::CommandLine command_line = BuildCommandLine();
  if (!CreateEvents(install_folder))
    return false;
  if (package_ready_) {
    command_line.SetProgram(package_folder_.Append(kPackageInstallerName));
  } else {
    base::FilePath own_executable;
    base::PathService::Get(base::FILE_EXE, &own_executable);
    command_line.SetProgram(own_executable);
    command_line.AppendSwitchPath("wait-for-package", package_folder_);
  }
  if (!LaunchBackend(&command_line))
    return false;
  backend_launched_ = true;
  success_tally_->Reset();
  hearing_backend_ = true;
  ::AllowSetForegroundWindow(backend_.Pid());
  if (!watcher_.StartWatchingOnce(backend_.Handle(), this)) {
    Fail(kInstallerErrorGeneric,
         "Could not monitor the installer process handle");
    Stop();
    return false;
  }
  return true;
}

bool InstallerRunner::AcquireMutex(const base::FilePath& install_folder) {
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, TRUE};
  mutex_.Set(
      ::CreateMutexW(&attributes, FALSE, GetMutexName(install_folder).c_str()));
  if (!mutex_.IsValid())
    return Fail(kInstallerErrorAlreadyRunning,
                "Could not create installer mutex");
  // A mutex that a crashed front end left is ours now.
  const DWORD wait = ::WaitForSingleObject(mutex_.Get(), 0);
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
    mutex_.Close();
    return Fail(kInstallerErrorAlreadyRunning,
                "Could not acquire installer mutex");
  }
  return true;
}

bool InstallerRunner::CreateEvents(const base::FilePath& install_folder) {
  interrupted_event_.Set(
      CreateManualResetEvent(kInterruptedEventName, install_folder));
  if (!interrupted_event_.IsValid()) {
    return Fail(kInstallerErrorGeneric,
                "Could not create installation interruption event");
  }
  if (package_ready_)
    return true;
  package_ready_event_.Set(
      CreateManualResetEvent(kPackageReadyEventName, install_folder));
  if (!package_ready_event_.IsValid())
    return Fail(kInstallerErrorGeneric, "Could not create package ready event");
  return true;
}

base::CommandLine InstallerRunner::BuildCommandLine() const {
  base::CommandLine command_line = settings_->GetBackendCommandLine(false);
  command_line.AppendSwitchPath("server-tracking-data",
                                base::FilePath(L"server_tracking_data"));
  command_line.AppendSwitchASCII("initial-pid",
                                 base::UintToString(::GetCurrentProcessId()));
  command_line.AppendSwitchASCII(
      "crash-reporter-pid",
      base::StringPrintf("%u", crash_reporter::GetCrashReporterProcessId()));
  return command_line;
}

bool InstallerRunner::LaunchBackend(base::CommandLine* command_line) {
  {
    // No other child may inherit the handle made for this one.
    base::AutoLock lock(GetProcessLaunchLock());
    HANDLE own_process = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(),
                           ::GetCurrentProcess(), &own_process, SYNCHRONIZE,
                           TRUE, 0)) {
      return Fail(kInstallerErrorGeneric,
                  "Could not duplicate own process handle");
    }
    // The handle's bytes in memory order, as the backend decodes them.
    const uint64_t value =
        static_cast<uint64_t>(reinterpret_cast<uintptr_t>(own_process));
    command_line->AppendSwitchASCII("initial-proc-handle",
                                    base::HexEncode(&value, sizeof(value)));
    // That handle alone: the folder's mutex, inheritable too, must not live
    // on in a backend that outlasts this process.
    base::HandlesToInheritVector handles = {own_process};
    base::LaunchOptions options;
    options.handles_to_inherit = &handles;
    backend_ = base::LaunchProcess(*command_line, options);
    ::CloseHandle(own_process);
  }
  if (!backend_.IsValid())
    return Fail(kInstallerErrorGeneric,
                "Could not launch installer backend process");
  return true;
}

void InstallerRunner::SetPackageReady() {
  if (package_ready_)
    return;
  package_ready_ = true;
  if (backend_launched_ && package_ready_event_.IsValid())
    ::SetEvent(package_ready_event_.Get());
}

void InstallerRunner::Stop() {
  if (backend_launched_ && interrupted_event_.IsValid())
    ::SetEvent(interrupted_event_.Get());
  if (mutex_.IsValid()) {
    // A mutex is released only by the thread that owns it, and only once
    // the backend is gone; otherwise it stays owned until this thread ends.
    if (!backend_launched_)
      ::ReleaseMutex(mutex_.Get());
    mutex_.Close();
  }
  package_ready_event_.Close();
  interrupted_event_.Close();
  receiver_.Close();
  // Deliveries still queued for this thread belong to the run that ends.
  hearing_backend_ = false;
  settings_ = nullptr;
}

void InstallerRunner::OnMessageReceived(const base::Pickle& message) {
  // Any process may write to the mailslot: what arrives while no backend of
  // this run is heard cannot be the backend's.
  if (!hearing_backend_)
    return;
  DispatchInstallerMessage(message, &observers_);
}

void InstallerRunner::OnObjectSignaled(HANDLE /* object */) {
  DWORD exit_code = 1;
  const bool exited_with_zero =
      ::GetExitCodeProcess(backend_.Handle(), &exit_code) && exit_code == 0;
  backend_launched_ = false;
  // A killed backend had no chance to take back what it did: its journal is
  // replayed before anyone hears that it ended. A backend that reaches its
  // end leaves none, so one that left it did not, whatever its exit code.
  const bool left_journal =
      settings_ &&
      Status::TakeBackKilledRun(settings_->status().requested_path());
  // The backend's last messages, its failure's reason and its success
  // among them, may still wait in the mailslot: they are heard before its
  // end.
  receiver_.DeliverWaiting(base::Bind(&InstallerRunner::NotifyTerminated,
                                      weak_factory_.GetWeakPtr(),
                                      exited_with_zero, left_journal));
}

void InstallerRunner::NotifyTerminated(bool exited_with_zero,
                                       bool left_journal) {
  hearing_backend_ = false;
  const bool success = exited_with_zero && !left_journal &&
                       success_tally_->EveryInstallerSucceeded();
  if (exited_with_zero && !success) {
    LOG(ERROR) << "The installer backend exited with code 0 without "
                  "finishing the installation";
  }
  observers_.Notify(&InstallerObserver::OnInstallerTerminated, success);
}

bool InstallerRunner::Fail(int32_t code, const std::string& detail) {
  observers_.Notify(&InstallerObserver::OnInstallationFailed, code,
                    base::string16(), detail);
  LOG(ERROR) << detail;
  return false;
}

}  // namespace installer
}  // namespace vexlo
