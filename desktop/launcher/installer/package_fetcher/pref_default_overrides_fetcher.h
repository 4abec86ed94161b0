#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_PREF_DEFAULT_OVERRIDES_FETCHER_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_PREF_DEFAULT_OVERRIDES_FETCHER_H_

#include <string>

#include "base/callback.h"
#include "base/files/file_path.h"
#include "desktop/launcher/installer/wininet/wininet.h"

namespace vexlo {
namespace installer {

class UICallbackRunner;

// Downloads the update server's overrides of the browser's preference
// defaults for this installation into "pref_default_overrides" in a folder
// of the owner's choosing. Every run started from one package shares its
// folder, so the answer is written into a file of this fetcher's own
// beside that name, and only a whole answer takes the name, in one rename:
// a backend reading the overrides meanwhile finds the earlier file or the
// new one, whole. A fetch that fails leaves no overrides, whatever was
// there; a fetcher ended before its fetch is over (its run refused, or
// torn down) removes its own file alone and leaves the overrides that are
// there. No failure is reported to anyone.
class PrefDefaultOverridesFetcher {
 public:
  // The feature that allows the fetch.
  static const char kFeatureName[];
  // The file the overrides are stored in.
  static const wchar_t kFileName[];
  // The switch that points the fetch at a development server: its value is
  // the whole URL; without a value, a server on this machine.
  static const char kServerSwitch[];

  // |ui_callback_runner| must outlive the fetcher.
  PrefDefaultOverridesFetcher(const base::FilePath& folder,
                              UICallbackRunner* ui_callback_runner);
  PrefDefaultOverridesFetcher(const PrefDefaultOverridesFetcher&) = delete;
  PrefDefaultOverridesFetcher& operator=(const PrefDefaultOverridesFetcher&) =
      delete;
  // Ends a fetch that is under way without running its |done|.
  ~PrefDefaultOverridesFetcher();

  // Fetches with |body| (the tracking data) as the request body: a POST, or
  // a GET when it is empty. |done| runs once on this thread when the fetch
  // is over or was not attempted, possibly before Start returns.
  void Start(const std::string& body, const base::Closure& done);

  // Where the overrides are asked for, from the command line and the
  // product configuration.
  static base::string16 GetOverridesUrl();

  const base::FilePath& target_file() const { return target_file_; }
  Wininet* client_for_testing() { return &client_; }

 private:
  void OnFetchDone();
  // Gives the answer the target's name; false when there is none to give.
  bool PlaceDownload();
  void DeleteDownload();
  // Leaves the folder without overrides.
  void DropOverrides();

  const base::FilePath target_file_;
  // This fetcher's own file, which the answer is written into.
  const base::FilePath download_file_;
  // Whether this fetcher made |download_file_| and it is still there: a
  // file it could not make is another's.
  bool download_made_ = false;
  Wininet client_;
  // Held while a fetch is under way.
  base::Closure done_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_PREF_DEFAULT_OVERRIDES_FETCHER_H_
