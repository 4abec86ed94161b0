#ifndef DESKTOP_LAUNCHER_INSTALLER_WININET_WININET_DELEGATE_H_
#define DESKTOP_LAUNCHER_INSTALLER_WININET_WININET_DELEGATE_H_

#include <stdint.h>

#include <string>

#include "base/strings/string16.h"

namespace vexlo {
namespace installer {

// Receives what an HTTP transfer learns, request by request, for the
// installer statistics. Calls come from WinINet's threads as well as the
// transfer's owner, never two at once. Every operation does nothing unless
// overridden.
class WininetDelegate {
 public:
  virtual ~WininetDelegate() = default;

  // A request (the first or a resumed one) is about to be sent; |offset| is
  // the number of body bytes already received.
  virtual void OnChunkStart(int32_t /*offset*/) {}
  virtual void OnServerAddress(const std::string& /*address*/) {}
  virtual void OnRedirected(const base::string16& /*url*/) {}
  virtual void OnResponseHeader(const base::string16& /*name*/,
                                const base::string16& /*value*/) {}
  // The error that a request completed with; 0 on success.
  virtual void OnWininetError(int32_t /*error*/) {}
  virtual void OnHttpStatus(int32_t /*status*/) {}
  virtual void OnRetry(int32_t /*retry_count*/) {}
  // The current request is over; |offset| as for OnChunkStart.
  virtual void OnChunkEnd(int32_t /*offset*/) {}
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_WININET_WININET_DELEGATE_H_
