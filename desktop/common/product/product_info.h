#ifndef DESKTOP_COMMON_PRODUCT_PRODUCT_INFO_H_
#define DESKTOP_COMMON_PRODUCT_PRODUCT_INFO_H_

#include <string>

namespace vexlo {

// Facts compiled into this build (upstream engine version, build time,
// build numbers, release channel) and the names and versions derived from
// them and the product configuration.
class ProductInfo {
 public:
  // Codes of the release channels.
  enum ChannelCode {
    CHANNEL_DEVELOPER = 2,
    CHANNEL_ZENT = 3,
    CHANNEL_STABLE = 4,
  };

  ProductInfo() = delete;

  // The first component of the upstream engine version.
  static int GetUpstreamMajorVersion();
  // "YYYYMMDD_HHMMSS".
  static std::string GetBuildTime();
  // The release channel's name, such as "developer".
  static std::string GetChannel();
  static int GetChannelCode();
  // "<build>.<patch>" of the product version; a downloaded package must not
  // be older than this.
  static std::string GetInternalVersion();
  // " (Edition <channel>)".
  static std::string GetEditionSuffix();
  // The visible product name, a space and the channel: the base name of the
  // shortcuts and of the default installation folder.
  static std::string GetVisibleProductNameWithChannel();
  static std::string GetProductName();
  // "<major>.<minor>.<build>.<patch>".
  static std::string GetVersionString();
  static std::string GetUserAgentName();
  static int GetBuildNumber();
  static int GetBuildsetNumber();
  // The base major version plus the configuration's delta.
  static int GetMajorVersion();
};

}  // namespace vexlo

#endif  // DESKTOP_COMMON_PRODUCT_PRODUCT_INFO_H_
