#include "desktop/launcher/installer/ui/installer_ui_controller.h"

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>

#include "base/base_paths.h"
#include "base/bind.h"
#include "base/cpu.h"
#include "base/features/feature_registry.h"
#include "base/files/file_util.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "base/win/windows_version.h"
#include "desktop/common/l10n/l10n_util.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/host/installer_host_resource_ids.h"
#include "desktop/launcher/installer/installer.h"
#include "desktop/launcher/installer/package_release.h"
#include "desktop/launcher/installer/service/installer_context.h"
#include "desktop/launcher/installer/status.h"
#include "desktop/launcher/installer/ui/win32_dialog_dispatcher.h"

namespace vexlo {
namespace installer {

namespace {

constexpr char kUIStatsFeature[] = "installer-ui-stats";
constexpr wchar_t kLockFileName[] = L"installer.lck";
constexpr char kWindowFailure[] = "Could not initialize installer window";
constexpr char kUnreportedFailure[] = "Unreported installer error.";
constexpr char kFetcherFailure[] = "Fetcher error";
// Lets the backend's last messages, the failure among them, arrive after
// its process has ended.
constexpr int64_t kShowFailureDelayMs = 100;
constexpr int kStableChannelCode = 4;

bool UIStatsEnabled() {
  return base::IsFeatureEnabled(kUIStatsFeature);
}

void RunReply(const UICallbackRunner::Reply& reply, int32_t answer) {
  reply.Run(answer);
}

void PostReply(const base::scoped_refptr<base::SingleThreadTaskRunner>& runner,
               const UICallbackRunner::Reply& reply,
               int32_t answer) {
  runner->PostTask(
      LOCATION_FROM_HERE("vexlo::installer::InstallerUIController::"
                         "DoRunUICallbackAndPostReply"),
      base::Bind(&RunReply, reply, answer));
}

BOOL CALLBACK BringFirstWindowToFront(HWND window, LPARAM /* unused */) {
  if (!::IsWindowEnabled(window) || !::IsWindowVisible(window))
    return TRUE;
  ::SetForegroundWindow(window);
  return FALSE;
}

}  // namespace

InstallerUIController::InstallerUIController()
    : run_loop_(Win32DialogDispatcher::GetInstance()),
      stats_(std::make_unique<InstallerStats>(this)),
      weak_factory_(this) {}

InstallerUIController::~InstallerUIController() = default;

bool InstallerUIController::RunUI(Settings* settings,
                                  bool package_present,
                                  const base::FilePath& temporary_folder,
                                  bool run_immediately) {
  const uint32_t other_ui_thread = TakeUILock(temporary_folder);
  if (other_ui_thread != 0) {
    LOG(INFO) << "Another installer shows its window";
    ::EnumThreadWindows(other_ui_thread, &BringFirstWindowToFront, 0);
    return false;
  }
  settings_ = settings;
  run_immediately_ = run_immediately;
  package_present_ = package_present;
  base::FilePath package_folder;
  if (package_present_) {
    progress_.set_stage(InstallerProgress::kPackageReadyStage);
    base::PathService::Get(base::DIR_EXE, &package_folder);
  } else {
    package_fetcher_.reset();
    package_fetcher_ = std::make_unique<PackageFetcher>(
        temporary_folder, *stats_->stats(), this, this);
    if (!fetcher_setup_.is_null())
      fetcher_setup_.Run(package_fetcher_.get());
    package_folder = package_fetcher_->GetPackageFolder();
  }
  runner_ = std::make_unique<InstallerRunner>(package_folder);
  overrides_fetcher_ =
      std::make_unique<PrefDefaultOverridesFetcher>(package_folder, this);
  base::MessageLoop::current()->PostTask(
      LOCATION_FROM_HERE("vexlo::installer::InstallerUIController::RunUI"),
      base::Bind(&InstallerUIController::Init, weak_factory_.GetWeakPtr()));
  run_loop_.Run();
  runner_->RemoveObserver(this);
  settings_->RemoveObserver(this);
  return success_;
}

uint32_t InstallerUIController::TakeUILock(
    const base::FilePath& temporary_folder) {
  const base::string16 name =
      L"Local\\" + base::UTF8ToUTF16(ProductConfiguration::GetProductName()) +
      L"/Installer/UI_lock";
  base::win::ScopedHandle mutex(::CreateMutexW(nullptr, FALSE, name.c_str()));
  if (!mutex.IsValid()) {
    PLOG(ERROR) << "Could not open the UI lock";
    return 0;
  }
  // An installer that died holding the mutex leaves it abandoned, which
  // hands it over all the same.
  ::WaitForSingleObject(mutex.Get(), INFINITE);
  const base::string16 path = temporary_folder.Append(kLockFileName).value();
  // The file goes with the handle, so a crashed installer leaves no lock.
  base::CreateDirectory(temporary_folder);
  lock_file_.Set(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                               nullptr, CREATE_ALWAYS,
                               FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  uint32_t thread_id = 0;
  DWORD transferred = 0;
  if (lock_file_.IsValid()) {
    thread_id = ::GetCurrentThreadId();
    ::WriteFile(lock_file_.Get(), &thread_id, sizeof(thread_id), &transferred,
                nullptr);
  } else {
    base::win::ScopedHandle other(
        ::CreateFileW(path.c_str(), GENERIC_READ,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, 0, nullptr));
    if (!other.IsValid() ||
        !::ReadFile(other.Get(), &thread_id, sizeof(thread_id), &transferred,
                    nullptr) ||
        transferred != sizeof(thread_id)) {
      thread_id = 0;
    }
  }
  ::ReleaseMutex(mutex.Get());
  return thread_id == ::GetCurrentThreadId() ? 0 : thread_id;
}

void InstallerUIController::Init() {
  settings_->AddObserver(this);
  runner_->AddObserver(this);
  window_ = InstallerWindow::Create(settings_, stats_.get(), run_immediately_);
  if (!window_) {
    OnInstallationFailed(kInstallerErrorGeneric, base::string16(),
                         kWindowFailure);
    LOG(ERROR) << kWindowFailure;
    // Nobody could end the run without a window.
    Finish();
    return;
  }
  window_->AddObserver(this);
  window_->SetProgressStage(progress_.stage());
  if (!base::CPU().has_sse2()) {
    LOG(ERROR) << "SSE2 not supported by the computer";
    window_->ShowErrorMessage(l10n::GetLocalizedString(IDS_ERROR_NO_SSE2));
    return;
  }
  if (!package_present_)
    package_fetcher_->Start();
  if (UIStatsEnabled()) {
    if (!settings_->fetching_status())
      RecordInitialSettings();
    stats_->stats()->SetInteger("run_immediately", run_immediately_ ? 1 : 0);
  }
  if (run_immediately_ && !settings_->fetching_status())
    PostProceed();
}

void InstallerUIController::RecordInitialSettings() {
  settings_->RecordStats("ui.initial_", stats_->stats());
  initial_settings_recorded_ = true;
}

void InstallerUIController::PostProceed() {
  base::MessageLoop::current()->PostTask(
      LOCATION_FROM_HERE(
          "vexlo::installer::InstallerUIController::OnPathChanged"),
      base::Bind(&InstallerUIController::OnProceed,
                 weak_factory_.GetWeakPtr()));
}

void InstallerUIController::OnPathChanged() {
  if (progress_.stage() == InstallerProgress::kInstallingStage &&
      tracking_data_.empty()) {
    // The new folder's installation may have recorded other tracking data.
    progress_.set_stage(InstallerProgress::kPackageReadyStage);
  }
  if (run_immediately_ || proceed_requested_) {
    proceed_requested_ = false;
    PostProceed();
  }
  if (UIStatsEnabled() && !initial_settings_recorded_)
    RecordInitialSettings();
}

void InstallerUIController::OnProceed() {
  if (started_ || finished_)
    return;
  if (settings_->fetching_status()) {
    proceed_requested_ = true;
    return;
  }
  if (progress_.stage() == InstallerProgress::kPackageReadyStage)
    PreparePackage();
  settings_->RemoveObserver(this);
  settings_->RecordStats(std::string(), stats_->stats());
  if (base::win::GetVersion() < base::win::VERSION_WIN7) {
    window_->ShowError(
        l10n::GetLocalizedStringWithArgument(
            IDS_ERROR_OLD_WINDOWS, l10n::GetLocalizedString(IDS_FULL_PACKAGE)),
        true,
        "This version of Vexlo doesn't support windows versions prior to "
        "Windows 7");
    return;
  }
  started_ = true;
  if (failure_ || !runner_->StartInstallation(settings_)) {
    runner_->Stop();
    ShowFailure();
    return;
  }
  RunPendingUICallback();
  if (fetch_failed_) {
    fetch_failed_ = false;
    progress_.set_stage(InstallerProgress::kFetchingUrlStage);
    package_fetcher_->Start();
  }
  window_->ShowPage(InstallerWindow::kProgressPage);
  StartProgress();
  window_->SetProgressStage(progress_.stage());
}

void InstallerUIController::StartProgress() {
  HWND bar = ::GetDlgItem(window_->window(), IDC_PROGRESS_BAR);
  // The bar shows what is left from here, and always has some room.
  const int32_t bottom = progress_.Position();
  const int32_t top = std::max(InstallerProgress::kTop, bottom + 1);
  ::SendMessageW(bar, PBM_SETRANGE32, static_cast<WPARAM>(bottom),
                 static_cast<LPARAM>(top));
  ::SendMessageW(bar, PBM_SETSTEP, 1, 0);
  ::SendMessageW(bar, PBM_SETPOS, 0, 0);
}

void InstallerUIController::MoveBar() {
  if (started_ && window_)
    progress_.MoveBar(::GetDlgItem(window_->window(), IDC_PROGRESS_BAR));
}

void InstallerUIController::PreparePackage() {
  PreparePackageForBackend(*settings_, tracking_data_, stats_->stats(),
                           overrides_fetcher_.get(),
                           base::Bind(&InstallerUIController::OnPackagePrepared,
                                      weak_factory_.GetWeakPtr()));
}

void InstallerUIController::OnPackagePrepared() {
  progress_.set_stage(InstallerProgress::kInstallingStage);
  package_handed_over_ = true;
  runner_->SetPackageReady();
  if (started_ && window_)
    window_->SetProgressStage(progress_.stage());
}

void InstallerUIController::RunUICallbackAndPostReply(
    const UICallback& ui_callback,
    const base::scoped_refptr<base::SingleThreadTaskRunner>& reply_task_runner,
    const Reply& reply) {
  if (finished_) {
    PostReply(reply_task_runner, reply, kCancelledAnswer);
    return;
  }
  if (started_ && !failure_) {
    PostReply(reply_task_runner, reply,
              ui_callback.Run(window_ ? window_->window() : nullptr));
    return;
  }
  // Only the latest request waits; the one it replaces is answered now, or
  // the transfer that asked would wait for good.
  if (!pending_callback_.is_null())
    PostReply(pending_reply_runner_, pending_reply_, kCancelledAnswer);
  pending_callback_ = ui_callback;
  pending_reply_runner_ = reply_task_runner;
  pending_reply_ = reply;
}

void InstallerUIController::RunPendingUICallback() {
  if (pending_callback_.is_null())
    return;
  const UICallback callback = pending_callback_;
  pending_callback_.Reset();
  PostReply(pending_reply_runner_, pending_reply_,
            callback.Run(window_ ? window_->window() : nullptr));
  pending_reply_runner_ = nullptr;
  pending_reply_.Reset();
}

void InstallerUIController::SetTotalProgress(int32_t total) {
  progress_.SetFetchTotal(total);
}

void InstallerUIController::SetCurrentProgress(int32_t current) {
  progress_.SetFetchCurrent(current);
  MoveBar();
}

void InstallerUIController::NotifyStatusChanged(PackageFetcher::Status status) {
  if (finished_)
    return;
  switch (status) {
    case PackageFetcher::FETCHING_DOWNLOAD_URL:
      net_installer_ = true;
      progress_.set_stage(InstallerProgress::kFetchingUrlStage);
      break;
    case PackageFetcher::DOWNLOADING_PACKAGE:
      progress_.set_stage(InstallerProgress::kDownloadingStage);
      break;
    case PackageFetcher::EXTRACTING:
      progress_.set_stage(InstallerProgress::kExtractingStage);
      break;
    case PackageFetcher::DOWNLOADING_PARTNER_CONTENT:
      progress_.set_stage(InstallerProgress::kPartnerContentStage);
      break;
    case PackageFetcher::PACKAGE_READY:
      progress_.set_stage(InstallerProgress::kPackageReadyStage);
      if (started_)
        PreparePackage();
      break;
    case PackageFetcher::INITIALIZATION_FAILED:
    case PackageFetcher::DOWNLOAD_FAILED:
    case PackageFetcher::UNPACKING_FAILED:
      OnFetchFailed(status);
      break;
    default:
      break;
  }
  if (started_ && window_)
    window_->SetProgressStage(progress_.stage());
}

void InstallerUIController::OnFetchFailed(PackageFetcher::Status status) {
  if (started_) {
    if (UIStatsEnabled())
      stats_->stats()->SetString("failure_reason", kFetcherFailure);
    failure_.reset(new Failure{status == PackageFetcher::UNPACKING_FAILED
                                   ? IDS_ERROR_UNPACK
                                   : IDS_ERROR_DOWNLOAD,
                               base::string16(), kFetcherFailure});
    fetch_failed_ = true;
    // The backend waiting for the package ends, and its end shows the
    // failure.
    runner_->Stop();
    return;
  }
  if (fetch_restarts_ < kMaxFetchRestarts) {
    ++fetch_restarts_;
    LOG(INFO) << "Restarting package fetching, " << fetch_restarts_ << " of "
              << kMaxFetchRestarts;
    progress_.set_stage(InstallerProgress::kFetchingUrlStage);
    package_fetcher_->Start();
    return;
  }
  LOG(WARNING) << "Exceeded maximum number of fetcher retries,"
               << " we won't retry until user decides to.";
  fetch_failed_ = true;
}

void InstallerUIController::NotifyTrackingDataObtained(
    const std::string& tracking_data) {
  tracking_data_ = tracking_data;
}

void InstallerUIController::SetTotalSteps(int32_t steps) {
  progress_.SetTotalSteps(steps);
}

void InstallerUIController::OnNextStep() {
  progress_.NextStep();
  MoveBar();
}

// A failure found here, or the backend's reason for failing. The backend's
// messages cannot be told from a foreign process's: they only say what a
// failure shows; the backend's exit code alone ends its run. The first
// failure of a run is its cause: a backend that a failed fetch ended reports
// a failure of its own after it, which is only a consequence.
void InstallerUIController::OnInstallationFailed(int32_t error_code,
                                                 const base::string16& message,
                                                 const std::string& detail) {
  if (failure_) {
    LOG(WARNING) << "A failure after the run's first: " << detail;
    return;
  }
  if (UIStatsEnabled())
    stats_->stats()->SetString("failure_reason", detail);
  failure_.reset(new Failure{error_code, message, detail});
}

void InstallerUIController::OnInstallationSucceeded() {}

void InstallerUIController::OnInstallerTerminated(bool success) {
  if (finished_) {
    DropPackageIfUnused();
    return;
  }
  if (success) {
    success_ = true;
    progress_.Complete();
    MoveBar();
    Finish();
    return;
  }
  // The mutex and the mailslot go, so that the user may start again.
  runner_->Stop();
  if (!failure_) {
    OnInstallationFailed(kInstallerErrorGeneric, base::string16(),
                         kUnreportedFailure);
    LOG(ERROR) << kUnreportedFailure;
  }
  base::MessageLoop::current()->PostDelayedTask(
      LOCATION_FROM_HERE(
          "vexlo::installer::InstallerUIController::OnInstallerTerminated"),
      base::Bind(&InstallerUIController::ShowFailure,
                 weak_factory_.GetWeakPtr()),
      base::TimeDelta::FromMilliseconds(kShowFailureDelayMs));
}

void InstallerUIController::ShowFailure() {
  if (finished_)
    return;
  started_ = false;
  settings_->set_editable(true);
  settings_->RemoveObserver(this);
  settings_->AddObserver(this);
  if (!failure_) {
    failure_.reset(new Failure{kInstallerErrorGeneric, base::string16(),
                               kUnreportedFailure});
  }
  if (failure_->code == kInstallerErrorElevation &&
      ShouldAskSwitchToCurrentUser() && window_->AskSwitchToCurrentUser()) {
    SwitchToCurrentUser();
    return;
  }
  const bool offer_full_package =
      error_shown_ && !package_present_ &&
      (progress_.stage() < InstallerProgress::kPartnerContentStage ||
       net_installer_);
  error_shown_ = true;
  window_->ShowError(
      l10n::GetLocalizedStringWithArgument(failure_->code, failure_->message),
      offer_full_package, failure_->detail);
  failure_.reset();
}

bool InstallerUIController::ShouldAskSwitchToCurrentUser() const {
  if (settings_->operation() != Settings::kInstallOperation ||
      !settings_->all_users()) {
    return false;
  }
  return IsDefaultFolder() || settings_->status().writable();
}

bool InstallerUIController::IsDefaultFolder() const {
  const base::string16& folder = settings_->status().requested_path().value();
  const base::string16 default_folder =
      settings_->GetDefaultInstallFolder(false, false).value();
  return ::CompareStringOrdinal(folder.c_str(), -1, default_folder.c_str(), -1,
                                TRUE) == CSTR_EQUAL;
}

void InstallerUIController::SwitchToCurrentUser() {
  const bool default_folder = IsDefaultFolder();
  settings_->SetAllUsers(false);
  if (default_folder)
    settings_->SetInstallFolder(
        settings_->GetDefaultInstallFolder(false, false));
  failure_.reset();
  OnProceed();
}

void InstallerUIController::OnCancel() {
  stats_->stats()->SetInteger("installation_cancelled", 1);
  Finish();
}

void InstallerUIController::OnDownloadFullPackage() {
  OpenFullPackagePage();
  stats_->stats()->SetInteger("installation_cancelled", 2);
  Finish();
}

void InstallerUIController::OpenFullPackagePage() {
  base::string16 url =
      base::UTF8ToUTF16(ProductConfiguration::GetUrl("download_full_windows"));
  if (url.empty()) {
    // The bare product query would be taken for a file name.
    LOG(ERROR) << "The product configuration names no full package";
    return;
  }
  if (ProductInfo::GetChannelCode() != kStableChannelCode) {
    url += base::UTF8ToUTF16(base::StringPrintf(
        "&product=%s%%20%s", ProductConfiguration::GetProductName().c_str(),
        ProductInfo::GetChannel().c_str()));
  }
  // The browser being installed cannot open the page; the system's own
  // browser can.
  InstallerContext context(settings_->status().requested_path());
  const bool handled_here = context.IsDefaultHandlerFor(L"http", true) ||
                            context.IsDefaultHandlerFor(L"http", false);
  const base::string16 file =
      handled_here ? L"%ProgramFiles%\\Internet Explorer\\iexplore.exe" : url;
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_DOENVSUBST;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.lpParameters = handled_here ? url.c_str() : nullptr;
  info.nShow = SW_SHOWNORMAL;
  if (!::ShellExecuteExW(&info))
    PLOG(ERROR) << "Could not open the full package's download page";
}

void InstallerUIController::Finish() {
  if (finished_)
    return;
  finished_ = true;
  if (!pending_callback_.is_null()) {
    PostReply(pending_reply_runner_, pending_reply_, kCancelledAnswer);
    pending_callback_.Reset();
  }
  if (window_) {
    // The window may be telling its observers right now; it goes with the
    // controller.
    window_->RemoveObserver(this);
    ::ShowWindow(window_->window(), SW_HIDE);
  }
  runner_->Stop();
  lock_file_.Close();
  DropPackageIfUnused();
  stats_->stats()->SetInteger("installation_success", success_ ? 1 : 0);
  if (success_ && UIStatsEnabled())
    stats_->stats()->Remove("failure_reason");
  if (settings_->enable_installer_stats() && !settings_->autoupdate()) {
    stats_->Upload(run_loop_.QuitClosure(), net_installer_);
    return;
  }
  run_loop_.Quit();
}

void InstallerUIController::DropPackageIfUnused() {
  // The package and its unpacked copy take tens of megabytes of TEMP, and
  // the statistics upload may go on retrying for an hour: they go as soon
  // as the run has ended and no backend reads them, else when it ends.
  if (finished_ &&
      !(runner_ && BackendMayReadPackage(*runner_, package_handed_over_))) {
    // The overrides are written into the package folder: their file is
    // closed before the folder goes.
    overrides_fetcher_.reset();
    package_fetcher_.reset();
  }
}

}  // namespace installer
}  // namespace vexlo
