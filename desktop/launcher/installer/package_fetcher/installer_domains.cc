#include "desktop/launcher/installer/package_fetcher/installer_domains.h"

#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/common/product/product_configuration.h"

namespace vexlo {
namespace installer {

const wchar_t kMakerWebDomain[] = L".vexlo.example.invalid";
const wchar_t kMakerDevelopmentDomain[] = L".vexlo-dev.example.invalid";
const wchar_t kLoopbackHostName[] = L"localhost";
const wchar_t kLoopbackAddress[] = L"127.0.0.1";

std::vector<base::string16> GetInstallerServerDomains() {
  std::vector<base::string16> domains;
  const base::string16 configured =
      base::UTF8ToUTF16(ProductConfiguration::GetDomain());
  if (!configured.empty() && !base::EndsWith16(configured, kMakerWebDomain,
                                               base::CompareCase::SENSITIVE)) {
    domains.push_back(configured);
  }
  domains.push_back(kMakerWebDomain);
  domains.push_back(kMakerDevelopmentDomain);
  domains.push_back(kLoopbackHostName);
  domains.push_back(kLoopbackAddress);
  return domains;
}

}  // namespace installer
}  // namespace vexlo
