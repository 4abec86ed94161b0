#include "desktop/launcher/installer/package_release.h"

#include <windows.h>

#include "base/process/process.h"
#include "desktop/launcher/installer/installer_runner.h"
#include "desktop/launcher/installer/package_fetcher/pref_default_overrides_fetcher.h"
#include "desktop/launcher/installer/settings.h"
#include "desktop/launcher/installer/stats_dictionary.h"
#include "desktop/launcher/installer/status.h"

namespace vexlo {
namespace installer {

void PreparePackageForBackend(const Settings& settings,
                              const std::string& fetched_tracking_data,
                              StatsDictionary* stats,
                              PrefDefaultOverridesFetcher* overrides_fetcher,
                              const base::Closure& done) {
  std::string tracking_data = fetched_tracking_data;
  if (tracking_data.empty())
    tracking_data = settings.status().server_tracking_data();
  stats->SetString("tracking_data", tracking_data);
  if (settings.operation() == Settings::kUninstallOperation) {
    done.Run();
    return;
  }
  overrides_fetcher->Start(tracking_data, done);
}

bool BackendMayReadPackage(const InstallerRunner& runner, bool handed_over) {
  const base::Process& backend = runner.backend_process();
  return handed_over && backend.IsValid() &&
         ::WaitForSingleObject(backend.Handle(), 0) == WAIT_TIMEOUT;
}

}  // namespace installer
}  // namespace vexlo
