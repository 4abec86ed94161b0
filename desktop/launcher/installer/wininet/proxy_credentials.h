#ifndef DESKTOP_LAUNCHER_INSTALLER_WININET_PROXY_CREDENTIALS_H_
#define DESKTOP_LAUNCHER_INSTALLER_WININET_PROXY_CREDENTIALS_H_

#include <initializer_list>

#include "base/strings/string16.h"

namespace vexlo {
namespace installer {

// The user name and password that the user gave the proxy prompt, held in
// memory for one transfer so that each of its later requests carries them:
// WinINet keeps them on the prompted request or on a handle above it, and
// the next request has handles of its own. Never logged; wiped whenever
// they are dropped.
class ProxyCredentials {
 public:
  ProxyCredentials() = default;
  ProxyCredentials(const ProxyCredentials&) = delete;
  ProxyCredentials& operator=(const ProxyCredentials&) = delete;
  ~ProxyCredentials();

  // Takes the credentials of the first of |handles| (WinINet handles, null
  // ones skipped) that holds a proxy user name or password: a proxy that
  // takes a token wants a password alone. False when none does; what was
  // held then stays.
  bool ReadFrom(std::initializer_list<void*> handles);

  // Sets the credentials on |request|, a WinINet request handle not yet
  // sent. True when that worked or there are none to set.
  bool ApplyTo(void* request) const;

  void Clear();
  bool empty() const { return username_.empty() && password_.empty(); }

 private:
  base::string16 username_;
  base::string16 password_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_WININET_PROXY_CREDENTIALS_H_
