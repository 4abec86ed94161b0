#include "desktop/common/product/product_info.h"

#include "desktop/common/product/test/scoped_product_configuration.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace {

TEST(ProductInfoTest, CompiledInFacts) {
  EXPECT_EQ(51, ProductInfo::GetUpstreamMajorVersion());
  EXPECT_EQ("developer", ProductInfo::GetChannel());
  EXPECT_EQ(ProductInfo::CHANNEL_DEVELOPER, ProductInfo::GetChannelCode());
  EXPECT_EQ(" (Edition developer)", ProductInfo::GetEditionSuffix());
}

// The major version is the base one plus the configuration's delta, and the
// minor one the upstream major version when the configuration says so; the
// internal version ignores the configuration. Values of another type count
// as missing.
TEST(ProductInfoTest, VersionsAndNamesFollowTheConfiguration) {
  const struct {
    const char* configuration;
    const char* version;
    const char* name_with_channel;
  } kCases[] = {
      {"{}", "12.0.1450.0", " developer"},
      {R"({"major_delta": 3, "visible_product_name": "Vexlo"})", "15.0.1450.0",
       "Vexlo developer"},
      {R"({"major_delta": 29, "use_tuvrenium_major_for_minor": true})",
       "41.51.1450.0", " developer"},
      {R"({"major_delta": -2})", "10.0.1450.0", " developer"},
      {R"({"major_delta": "3", "use_tuvrenium_major_for_minor": "true"})",
       "12.0.1450.0", " developer"}};
  for (const auto& c : kCases) {
    ScopedProductConfiguration configuration(c.configuration);
    EXPECT_EQ(c.version, ProductInfo::GetVersionString()) << c.configuration;
    EXPECT_EQ(std::stoi(c.version), ProductInfo::GetMajorVersion());
    EXPECT_EQ("1450.0", ProductInfo::GetInternalVersion());
    EXPECT_EQ(c.name_with_channel,
              ProductInfo::GetVisibleProductNameWithChannel());
  }
  ScopedProductConfiguration names(
      R"({"product_name": "Vexlo", "user_agent_name": "VXQ"})");
  EXPECT_EQ("Vexlo", ProductInfo::GetProductName());
  EXPECT_EQ("VXQ", ProductInfo::GetUserAgentName());
}

}  // namespace
}  // namespace vexlo
