#ifndef DESKTOP_LAUNCHER_INSTALLER_UI_INSTALLER_UI_CONTROLLER_H_
#define DESKTOP_LAUNCHER_INSTALLER_UI_INSTALLER_UI_CONTROLLER_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/callback.h"
#include "base/files/file_path.h"
#include "base/memory/weak_ptr.h"
#include "base/run_loop.h"
#include "base/strings/string16.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/installer_observer.h"
#include "desktop/launcher/installer/installer_runner.h"
#include "desktop/launcher/installer/installer_stats.h"
#include "desktop/launcher/installer/package_fetcher/package_fetcher.h"
#include "desktop/launcher/installer/package_fetcher/package_fetcher_delegate.h"
#include "desktop/launcher/installer/package_fetcher/pref_default_overrides_fetcher.h"
#include "desktop/launcher/installer/package_fetcher/ui_callback_runner.h"
#include "desktop/launcher/installer/settings.h"
#include "desktop/launcher/installer/ui/installer_progress.h"
#include "desktop/launcher/installer/ui/installer_window.h"

namespace vexlo {
namespace installer {

// The interactive front end: it shows the installer window, turns the
// user's choices into the settings, fetches the package (unless it runs
// from one), starts the backend when the user proceeds, shows fetch and
// backend progress on one bar, decides what a failure shows and runs the
// main thread's loop until the run ends. Every call arrives on the main
// thread.
class InstallerUIController : public Settings::Observer,
                              public InstallerWindow::Observer,
                              public UICallbackRunner,
                              public PackageFetcherDelegate,
                              public InstallerObserver {
 public:
  // The answer a UI callback gets when it never ran: the system's
  // "cancelled by the user".
  static constexpr int32_t kCancelledAnswer = 1223;
  // How many times a failed fetch starts again before the user acts.
  static constexpr int32_t kMaxFetchRestarts = 3;

  InstallerUIController();
  InstallerUIController(const InstallerUIController&) = delete;
  InstallerUIController& operator=(const InstallerUIController&) = delete;
  ~InstallerUIController() override;

  // Runs the interactive installation to its end and answers whether it
  // succeeded; false at once, with the other window brought to the front,
  // when another installer shows its window. With |package_present| the
  // package is the running executable's folder; otherwise it is fetched
  // into |temporary_folder|, which also holds the lock file.
  bool RunUI(Settings* settings,
             bool package_present,
             const base::FilePath& temporary_folder,
             bool run_immediately);

  // Settings::Observer:
  void OnSettingChanged() override {}
  void OnLanguageChanged() override {}
  void OnPathChanged() override;

  // InstallerWindow::Observer:
  void OnProceed() override;
  void OnCancel() override;
  void OnDownloadFullPackage() override;

  // UICallbackRunner:
  void RunUICallbackAndPostReply(
      const UICallback& ui_callback,
      const base::scoped_refptr<base::SingleThreadTaskRunner>&
          reply_task_runner,
      const Reply& reply) override;

  // PackageFetcherDelegate:
  void SetTotalProgress(int32_t total) override;
  void SetCurrentProgress(int32_t current) override;
  void NotifyStalled() override {}
  void NotifyStatusChanged(PackageFetcher::Status status) override;
  void NotifyTrackingDataObtained(const std::string& tracking_data) override;

  // InstallerObserver:
  void OnInstallationStarted() override {}
  void OnSubprocessStarting(bool /* flag */) override {}
  void OnSubprocessFinished() override {}
  void SetTotalSteps(int32_t steps) override;
  void OnNextStep() override;
  void OnInstallationFailed(int32_t error_code,
                            const base::string16& message,
                            const std::string& detail) override;
  void OnInstallationSucceeded() override;
  void OnInstallerTerminated(bool success) override;

  // Runs on every package fetcher the controller makes, before it starts.
  void SetFetcherSetupForTesting(
      const base::Callback<void(PackageFetcher*)>& setup) {
    fetcher_setup_ = setup;
  }

  InstallerStats* stats() { return stats_.get(); }
  InstallerWindow* window() { return window_.get(); }
  const InstallerProgress& progress() const { return progress_; }
  int32_t fetch_restarts() const { return fetch_restarts_; }
  bool fetch_failed() const { return fetch_failed_; }
  bool started() const { return started_; }

 private:
  // What the error page will show: the code is the number of the localised
  // text, whose "$1" the message fills; the detail goes to the statistics.
  struct Failure {
    int32_t code;
    base::string16 message;
    std::string detail;
  };

  // The thread id that the lock file of another running installer names; 0
  // when this run now owns the UI.
  uint32_t TakeUILock(const base::FilePath& temporary_folder);
  void Init();
  void RecordInitialSettings();
  void PostProceed();
  void PreparePackage();
  void OnPackagePrepared();
  void RunPendingUICallback();
  void OnFetchFailed(PackageFetcher::Status status);
  // The bar's range starts where the run stands when the user proceeds.
  void StartProgress();
  void MoveBar();
  void ShowFailure();
  bool ShouldAskSwitchToCurrentUser() const;
  bool IsDefaultFolder() const;
  void SwitchToCurrentUser();
  void OpenFullPackagePage();
  void Finish();
  void DropPackageIfUnused();

  // Destroyed from the last up: the owned parts go before the statistics
  // and the run loop they use.
  base::RunLoop run_loop_;
  std::string tracking_data_;
  UICallback pending_callback_;
  base::scoped_refptr<base::SingleThreadTaskRunner> pending_reply_runner_;
  Reply pending_reply_;
  Settings* settings_ = nullptr;
  bool started_ = false;
  std::unique_ptr<Failure> failure_;
  InstallerProgress progress_;
  bool fetch_failed_ = false;
  int32_t fetch_restarts_ = 0;
  bool run_immediately_ = false;
  bool package_present_ = false;
  bool net_installer_ = false;
  bool error_shown_ = false;
  bool proceed_requested_ = false;
  bool initial_settings_recorded_ = false;
  bool success_ = false;
  bool finished_ = false;
  // The backend was told that the package folder is complete.
  bool package_handed_over_ = false;
  base::win::ScopedHandle lock_file_;
  base::Callback<void(PackageFetcher*)> fetcher_setup_;
  const std::unique_ptr<InstallerStats> stats_;
  std::unique_ptr<InstallerWindow> window_;
  std::unique_ptr<PackageFetcher> package_fetcher_;
  std::unique_ptr<InstallerRunner> runner_;
  std::unique_ptr<PrefDefaultOverridesFetcher> overrides_fetcher_;
  base::WeakPtrFactory<InstallerUIController> weak_factory_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_UI_INSTALLER_UI_CONTROLLER_H_
