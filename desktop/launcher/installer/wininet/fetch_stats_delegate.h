#ifndef DESKTOP_LAUNCHER_INSTALLER_WININET_FETCH_STATS_DELEGATE_H_
#define DESKTOP_LAUNCHER_INSTALLER_WININET_FETCH_STATS_DELEGATE_H_

#include <stdint.h>

#include <string>

#include "desktop/launcher/installer/stats_dictionary.h"
#include "desktop/launcher/installer/wininet/wininet_delegate.h"

namespace vexlo {
namespace installer {

// Keeps only how a short request ended: the last WinINet error and HTTP
// status, under keys that start with a prefix of the caller's choosing.
class FetchStatsDelegate : public WininetDelegate {
 public:
  FetchStatsDelegate(const StatsDictionary& record, const std::string& prefix);

  void OnWininetError(int32_t error) override;
  void OnHttpStatus(int32_t status) override;

 private:
  StatsDictionary record_;
  const std::string prefix_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_WININET_FETCH_STATS_DELEGATE_H_
