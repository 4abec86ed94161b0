#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_H_

namespace vexlo {
namespace installer {

// Obtains the browser package and leaves it unpacked for the backend.
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
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_H_
