#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_DELEGATE_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_DELEGATE_H_

#include <stdint.h>

#include <string>

#include "desktop/launcher/installer/package_fetcher/package_fetcher.h"

namespace vexlo {
namespace installer {

// Receives the progress of a package fetch on the thread that started it.
class PackageFetcherDelegate {
 public:
  virtual ~PackageFetcherDelegate() = default;

  // The size of the current operation: bytes of a download, or the number
  // of items of the archive being unpacked.
  virtual void SetTotalProgress(int32_t total) = 0;
  // How far the current operation is: bytes so far, or the item's index.
  virtual void SetCurrentProgress(int32_t current) = 0;
  // The download failed repeatedly and is being retried.
  virtual void NotifyStalled() = 0;
  virtual void NotifyStatusChanged(PackageFetcher::Status status) = 0;
  virtual void NotifyTrackingDataObtained(const std::string& tracking_data) = 0;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_DELEGATE_H_
