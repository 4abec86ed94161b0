#include "desktop/common/product/product_info.h"

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_piece.h"
#include "base/strings/stringprintf.h"
#include "desktop/common/product/product_configuration.h"

namespace vexlo {

namespace {

constexpr char kUpstreamVersion[] = "51.0.2687.0";
constexpr char kBuildTime[] = "20160412_220052";
constexpr char kChannelName[] = "developer";
constexpr int kChannelCode = ProductInfo::CHANNEL_DEVELOPER;
// The third and fourth components of the product version.
constexpr int kProductBuildNumber = 1450;
constexpr int kProductPatchNumber = 0;
constexpr int kBuildNumber = 627073;
constexpr int kBuildsetNumber = 235537;
constexpr int kBaseMajorVersion = 12;

}  // namespace

// static
int ProductInfo::GetUpstreamMajorVersion() {
  const base::StringPiece version(kUpstreamVersion);
  int major = 0;
  base::StringToInt(version.substr(0, version.find('.')), &major);
  return major;
}

// static
std::string ProductInfo::GetBuildTime() {
  return kBuildTime;
}

// static
std::string ProductInfo::GetChannel() {
  return kChannelName;
}

// static
int ProductInfo::GetChannelCode() {
  return kChannelCode;
}

// static
std::string ProductInfo::GetInternalVersion() {
  return base::StringPrintf("%d.%d", kProductBuildNumber, kProductPatchNumber);
}

// static
std::string ProductInfo::GetEditionSuffix() {
  return std::string(" (Edition ") + kChannelName + ")";
}

// static
std::string ProductInfo::GetVisibleProductNameWithChannel() {
  return ProductConfiguration::GetVisibleProductName() + " " + kChannelName;
}

// static
std::string ProductInfo::GetProductName() {
  return ProductConfiguration::GetProductName();
}

// static
std::string ProductInfo::GetVersionString() {
  const int minor = ProductConfiguration::ShouldUseTuvreniumMajorForMinor()
                        ? GetUpstreamMajorVersion()
                        : 0;
  return base::StringPrintf("%d.%d.%d.%d", GetMajorVersion(), minor,
                            kProductBuildNumber, kProductPatchNumber);
}

// static
std::string ProductInfo::GetUserAgentName() {
  return ProductConfiguration::GetUserAgentName();
}

// static
int ProductInfo::GetBuildNumber() {
  return kBuildNumber;
}

// static
int ProductInfo::GetBuildsetNumber() {
  return kBuildsetNumber;
}

// static
int ProductInfo::GetMajorVersion() {
  return kBaseMajorVersion + ProductConfiguration::GetMajorDelta();
}

}  // namespace vexlo
