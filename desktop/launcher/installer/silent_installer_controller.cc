#include "desktop/launcher/installer/silent_installer_controller.h"

#include "base/base_paths.h"
#include "base/bind.h"
#include "base/cpu.h"
#include "base/features/feature_registry.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/win/windows_version.h"
#include "desktop/launcher/installer/package_release.h"

namespace vexlo {
namespace installer {

namespace {

constexpr char kUIStatsFeature[] = "installer-ui-stats";

void RunReply(const UICallbackRunner::Reply& reply, int32_t answer) {
  reply.Run(answer);
}

}  // namespace

SilentInstallerController::SilentInstallerController()
    : stats_(std::make_unique<InstallerStats>(this)), weak_factory_(this) {}

SilentInstallerController::~SilentInstallerController() = default;

bool SilentInstallerController::Run(Settings* settings,
                                    bool package_present,
                                    const base::FilePath& temporary_folder) {
  settings_ = settings;
  settings_->AddObserver(this);
  base::FilePath package_folder;
  if (package_present) {
    base::PathService::Get(base::DIR_EXE, &package_folder);
    package_ready_ = true;
  } else if (!StartPackageFetcher(temporary_folder, &package_folder)) {
    NotifyStatusChanged(PackageFetcher::INITIALIZATION_FAILED);
  }
  // The runner hears that the package is ready only once the preference
  // overrides are in its folder; a backend started before then waits.
  runner_ = std::make_unique<InstallerRunner>(package_folder);
  overrides_fetcher_ =
      std::make_unique<PrefDefaultOverridesFetcher>(package_folder, this);
  runner_->AddObserver(this);
  if (!settings_->fetching_status()) {
    base::MessageLoop::current()->PostTask(
        LOCATION_FROM_HERE("vexlo::installer::SilentInstallerController::Run"),
        base::Bind(&SilentInstallerController::Start,
                   weak_factory_.GetWeakPtr()));
  }
  run_loop_.Run();
  runner_->RemoveObserver(this);
  settings_->RemoveObserver(this);
  return result_;
}

bool SilentInstallerController::StartPackageFetcher(
    const base::FilePath& temporary_folder,
    base::FilePath* package_folder) {
  package_fetcher_.reset();
  package_fetcher_ = std::make_unique<PackageFetcher>(
      temporary_folder, *stats_->stats(), this, this);
  package_fetcher_->Start();
  *package_folder = package_fetcher_->GetPackageFolder();
  return true;
}

void SilentInstallerController::OnPathChanged() {
  Start();
}

void SilentInstallerController::Start() {
  // A fetcher that failed at once has ended the run already.
  if (finished_)
    return;
  settings_->RecordStats(std::string(), stats_->stats());
  if (base::win::GetVersion() < base::win::VERSION_WIN7) {
    LOG(ERROR) << "This version of Vexlo doesn't support windows versions "
               << "prior to Windows 7";
    Finish();
    return;
  }
  if (!base::CPU().has_sse2()) {
    LOG(ERROR) << "SSE2 not supported by the computer";
    Finish();
    return;
  }
  if (package_ready_)
    ReleasePackage();
  if (!runner_->StartInstallation(settings_))
    Finish();
}

void SilentInstallerController::ReleasePackage() {
  PreparePackageForBackend(
      *settings_, tracking_data_, stats_->stats(), overrides_fetcher_.get(),
      base::Bind(&SilentInstallerController::SignalPackageReady,
                 weak_factory_.GetWeakPtr()));
}

void SilentInstallerController::SignalPackageReady() {
  package_handed_over_ = true;
  runner_->SetPackageReady();
}

void SilentInstallerController::RunUICallbackAndPostReply(
    const UICallback& /* ui_callback */,
    const base::scoped_refptr<base::SingleThreadTaskRunner>& reply_task_runner,
    const Reply& reply) {
  LOG(ERROR) << "Cannot display UI requested by fetcher when running silently";
  reply_task_runner->PostTask(
      LOCATION_FROM_HERE("vexlo::installer::SilentInstallerController::"
                         "RunUICallbackAndPostReply"),
      base::Bind(&RunReply, reply, 0));
}

void SilentInstallerController::NotifyStatusChanged(
    PackageFetcher::Status status) {
  if (finished_)
    return;
  switch (status) {
    case PackageFetcher::FETCHING_DOWNLOAD_URL:
      online_ = true;
      return;
    case PackageFetcher::PACKAGE_READY:
      package_ready_ = true;
      if (!settings_->fetching_status())
        ReleasePackage();
      return;
    case PackageFetcher::INITIALIZATION_FAILED:
    case PackageFetcher::DOWNLOAD_FAILED:
    case PackageFetcher::UNPACKING_FAILED:
      if (base::IsFeatureEnabled(kUIStatsFeature))
        stats_->stats()->SetString("failure_reason", "Fetcher error");
      Finish();
      return;
    default:
      return;
  }
}

void SilentInstallerController::NotifyTrackingDataObtained(
    const std::string& tracking_data) {
  tracking_data_ = tracking_data;
}

// The backend's messages carry its progress and the reason of a failure,
// but anyone may write to the mailslot: only the end of the backend process
// that the runner started, and its exit code, decide the run.
void SilentInstallerController::OnInstallationFailed(
    int32_t /* error_code */,
    const base::string16& /* message */,
    const std::string& detail) {
  if (base::IsFeatureEnabled(kUIStatsFeature))
    stats_->stats()->SetString("failure_reason", detail);
}

void SilentInstallerController::OnInstallerTerminated(bool success) {
  DropPackageIfUnused();
  // A run already ended (its fetch failed) keeps the result it recorded.
  if (finished_)
    return;
  result_ = success;
  // Every message the backend sent has been heard before its end.
  Finish();
}

void SilentInstallerController::Finish() {
  if (finished_)
    return;
  finished_ = true;
  DropPackageIfUnused();
  stats_->stats()->SetInteger("installation_success", result_ ? 1 : 0);
  if (result_ && base::IsFeatureEnabled(kUIStatsFeature))
    stats_->stats()->Remove("failure_reason");
  if (settings_->enable_installer_stats() &&
      !(settings_->autoupdate() && result_)) {
    stats_->Upload(run_loop_.QuitClosure(), online_);
    return;
  }
  run_loop_.Quit();
}

void SilentInstallerController::DropPackageIfUnused() {
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
