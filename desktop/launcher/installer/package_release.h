#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_RELEASE_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_RELEASE_H_

#include <string>

#include "base/callback.h"

namespace vexlo {
namespace installer {

class InstallerRunner;
class PrefDefaultOverridesFetcher;
class Settings;
class StatsDictionary;

// Completes the package folder before the backend may use it: records the
// run's "tracking_data" (what the fetcher obtained, else what the
// installation recorded) and, unless the run uninstalls, fetches the
// preference-default overrides into the folder with it. |done| runs once
// on this thread when the folder is complete, possibly before the return.
void PreparePackageForBackend(const Settings& settings,
                              const std::string& fetched_tracking_data,
                              StatsDictionary* stats,
                              PrefDefaultOverridesFetcher* overrides_fetcher,
                              const base::Closure& done);

// Whether the backend that |runner| started may still read the package
// folder: it was handed the package (|handed_over|) and has not ended.
bool BackendMayReadPackage(const InstallerRunner& runner, bool handed_over);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_RELEASE_H_
