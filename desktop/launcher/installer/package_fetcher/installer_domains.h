#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_INSTALLER_DOMAINS_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_INSTALLER_DOMAINS_H_

#include <vector>

#include "base/strings/string16.h"

namespace vexlo {
namespace installer {

// The maker's web domain, with the leading dot that makes it a suffix.
extern const wchar_t kMakerWebDomain[];
// The maker's internal development domain, likewise.
extern const wchar_t kMakerDevelopmentDomain[];
extern const wchar_t kLoopbackHostName[];
extern const wchar_t kLoopbackAddress[];

// The hosts the installer talks to about a package: the product
// configuration's "domain" (unless the maker's web domain covers it), the
// maker's web and development domains, and the loopback host by name and
// by address.
std::vector<base::string16> GetInstallerServerDomains();

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_INSTALLER_DOMAINS_H_
