#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/callback.h"
#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "base/threading/thread.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"

namespace vexlo {
namespace installer {

class PackageFetcherDelegate;
class StatsDictionary;
class UICallbackRunner;
class Wininet;

// Obtains the browser package and leaves it unpacked for the backend: out of
// the installer's own payload when that is the package, else from the update
// server, which the installer's payload (the tracking data) is posted to and
// which answers where the package is and what its SHA-256 is. The work runs
// on a thread of its own; the delegate hears of it on the creating thread.
class PackageFetcher {
 public:
  // Where one fetch attempt stands; the last four end it.
  enum Status {
    STARTED = 0,
    FOLDER_READY = 1,
    FETCHING_DOWNLOAD_URL = 2,
    DOWNLOADING_PACKAGE = 3,
    EXTRACTING = 4,
    DOWNLOADING_PARTNER_CONTENT = 5,
    PACKAGE_READY = 6,
    INITIALIZATION_FAILED = 7,
    DOWNLOAD_FAILED = 8,
    UNPACKING_FAILED = 9,
  };

  // The switch that points the fetch at another update server: its value is
  // the whole request URL; without a value, a server on this machine.
  static const char kPackageServerSwitch[];
  // The switch whose value stands in for a missing tracking-data payload.
  static const char kTrackingBlobSwitch[];

  // The name an ended attempt has in the statistics; "invalid" for a status
  // that does not end one.
  static const char* GetStatusName(Status status);

  // Where the tracking data is posted, from the command line and the
  // product configuration.
  static base::string16 GetNetInstallerUrl();

  // Whether a partner file name from the server names a file of its own
  // directly inside the package folder.
  static bool IsPlainFileName(const std::string& name);

  // Deletes the locks of downloads in |folder| that killed runs left alone:
  // those that nobody holds and beside which nothing of their download is
  // left. A lock with its download's leftovers stays for the clean-up of
  // the next download, which finds them through it and removes them
  // together. For runs that download nothing, so that their folder does not
  // gather such locks for good.
  static void RemoveAbandonedLocks(const base::FilePath& folder);

  // The package goes into |temp_folder|, under a name made from the local
  // time, or from a later second when another run has that name. |stats|
  // is the top-level view of the run's statistics and must outlive the
  // fetcher; so must |ui_callback_runner| (never null) and |delegate| (may
  // be null).
  PackageFetcher(const base::FilePath& temp_folder,
                 const StatsDictionary& stats,
                 UICallbackRunner* ui_callback_runner,
                 PackageFetcherDelegate* delegate);
  // As above, with the name made from |named_after| in place of now.
  PackageFetcher(const base::FilePath& temp_folder,
                 const StatsDictionary& stats,
                 UICallbackRunner* ui_callback_runner,
                 PackageFetcherDelegate* delegate,
                 base::Time named_after);
  PackageFetcher(const PackageFetcher&) = delete;
  PackageFetcher& operator=(const PackageFetcher&) = delete;
  // Deletes the download, the archive and the unpacked folder, when it
  // could lock their name.
  ~PackageFetcher();

  // Begins an attempt; after a failure, begins the next one.
  void Start();

  // The downloaded installer; the package folder is this path without its
  // extension.
  const base::FilePath& download_path() const { return download_path_; }
  base::FilePath GetPackageFolder() const;

  // What the tests reach on the worker thread. Each is posted there, so a
  // call before Start takes effect for it.
  // The executable whose payload is read, in place of this process's own.
  void SetOwnExecutableForTesting(const base::FilePath& path);
  // Runs between every two steps the downloaded package goes through, on
  // the worker thread, with the name of the step just done.
  using StepCallback = base::Callback<void(const std::string&)>;
  void SetStepCallbackForTesting(const StepCallback& callback);
  // The most bytes the package may have, in place of the usual bound.
  void SetMaxPackageSizeForTesting(uint64_t size);
  // How long the package has for each answer, in place of a minute.
  void SetAnswerLimitForTesting(base::TimeDelta limit);
  // Runs once on the worker thread with the HTTP client.
  void ConfigureClientForTesting(const base::Callback<void(Wininet*)>& body);

  class PackageFetcherDelegateProxy;
  class ThreadedFetcher;

 private:
  // Taken with the name and handed to the threaded fetcher.
  base::win::ScopedHandle run_lock_;
  const base::FilePath download_path_;
  base::Thread worker_;
  // Lives on the worker; deleted there.
  std::unique_ptr<ThreadedFetcher> threaded_fetcher_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_H_
