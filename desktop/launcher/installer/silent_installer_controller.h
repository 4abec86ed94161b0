#ifndef DESKTOP_LAUNCHER_INSTALLER_SILENT_INSTALLER_CONTROLLER_H_
#define DESKTOP_LAUNCHER_INSTALLER_SILENT_INSTALLER_CONTROLLER_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/memory/weak_ptr.h"
#include "base/run_loop.h"
#include "desktop/launcher/installer/installer_observer.h"
#include "desktop/launcher/installer/installer_runner.h"
#include "desktop/launcher/installer/installer_stats.h"
#include "desktop/launcher/installer/package_fetcher/package_fetcher.h"
#include "desktop/launcher/installer/package_fetcher/package_fetcher_delegate.h"
#include "desktop/launcher/installer/package_fetcher/pref_default_overrides_fetcher.h"
#include "desktop/launcher/installer/package_fetcher/ui_callback_runner.h"
#include "desktop/launcher/installer/settings.h"

namespace vexlo {
namespace installer {

// The front end of a run without a window: it gets the package (or finds
// itself inside one), starts and watches the backend through the installer
// runner, keeps the run's statistics and answers the installation's result.
// Every call arrives on the main thread.
class SilentInstallerController : public Settings::Observer,
                                  public UICallbackRunner,
                                  public PackageFetcherDelegate,
                                  public InstallerObserver {
 public:
  SilentInstallerController();
  SilentInstallerController(const SilentInstallerController&) = delete;
  SilentInstallerController& operator=(const SilentInstallerController&) =
      delete;
  ~SilentInstallerController() override;

  // Runs the installation that |settings| describe to its end. With
  // |package_present| the package is the running executable's folder;
  // otherwise it is fetched into |temporary_folder|.
  bool Run(Settings* settings,
           bool package_present,
           const base::FilePath& temporary_folder);

  // Settings::Observer:
  void OnSettingChanged() override {}
  void OnLanguageChanged() override {}
  void OnPathChanged() override;

  // UICallbackRunner: there is no window to ask the user with.
  void RunUICallbackAndPostReply(
      const UICallback& ui_callback,
      const base::scoped_refptr<base::SingleThreadTaskRunner>&
          reply_task_runner,
      const Reply& reply) override;

  // PackageFetcherDelegate:
  void SetTotalProgress(int32_t /* total */) override {}
  void SetCurrentProgress(int32_t /* current */) override {}
  void NotifyStalled() override {}
  void NotifyStatusChanged(PackageFetcher::Status status) override;
  void NotifyTrackingDataObtained(const std::string& tracking_data) override;

  // InstallerObserver:
  void OnInstallationStarted() override {}
  void OnSubprocessStarting(bool /* flag */) override {}
  void OnSubprocessFinished() override {}
  void SetTotalSteps(int32_t /* steps */) override {}
  void OnNextStep() override {}
  void OnInstallationFailed(int32_t error_code,
                            const base::string16& message,
                            const std::string& detail) override;
  void OnInstallationSucceeded() override {}
  void OnInstallerTerminated(bool success) override;

  InstallerStats* stats() { return stats_.get(); }

 private:
  // Creates and starts the package fetcher for |temporary_folder|, this
  // controller its delegate and UI-callback runner, and sets
  // |package_folder| to where the package will be unpacked. False, logged,
  // when no fetcher can run.
  bool StartPackageFetcher(const base::FilePath& temporary_folder,
                           base::FilePath* package_folder);
  void Start();
  void ReleasePackage();
  void SignalPackageReady();
  void Finish();
  void DropPackageIfUnused();

  // Destroyed from the last up: the overrides fetcher, the runner and the
  // package fetcher go before the statistics and the run loop they use.
  base::RunLoop run_loop_;
  bool result_ = false;
  bool finished_ = false;
  bool online_ = false;
  bool package_ready_ = false;
  // The backend was told that the package folder is complete.
  bool package_handed_over_ = false;
  std::string tracking_data_;
  Settings* settings_ = nullptr;
  const std::unique_ptr<InstallerStats> stats_;
  std::unique_ptr<PackageFetcher> package_fetcher_;
  std::unique_ptr<InstallerRunner> runner_;
  std::unique_ptr<PrefDefaultOverridesFetcher> overrides_fetcher_;
  base::WeakPtrFactory<SilentInstallerController> weak_factory_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SILENT_INSTALLER_CONTROLLER_H_
