#include "desktop/common/product/product_info.h"

#include "desktop/common/product/test/scoped_product_configuration.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace {

TEST(ProductInfoTest, CompiledInFacts) {
  EXPECT_EQ(51, ProductInfo::GetUpstreamMajorVersion());
  EXPECT_EQ("20160412_220052", ProductInfo::GetBuildTime());
  EXPECT_EQ("developer", ProductInfo::GetChannel());
  EXPECT_EQ(2, ProductInfo::GetChannelCode());
  EXPECT_EQ(627073, ProductInfo::GetBuildNumber());
  EXPECT_EQ(235537, ProductInfo::GetBuildsetNumber());
  EXPECT_EQ(" (Edition developer)", ProductInfo::GetEditionSuffix());
}

TEST(ProductInfoTest, VersionOfTheShippedConfiguration) {
  ScopedProductConfiguration configuration(
      R"({"major_delta": 0, "use_tuvrenium_major_for_minor": false})");
  EXPECT_EQ("12.0.1450.0", ProductInfo::GetVersionString());
  EXPECT_EQ(12, ProductInfo::GetMajorVersion());
  EXPECT_EQ("1450.0", ProductInfo::GetInternalVersion());
}

TEST(ProductInfoTest, VersionFollowsTheConfiguration) {
  {
    ScopedProductConfiguration configuration(R"({"major_delta": 3})");
    EXPECT_EQ("15.0.1450.0", ProductInfo::GetVersionString());
    EXPECT_EQ(15, ProductInfo::GetMajorVersion());
  }
  {
    ScopedProductConfiguration configuration(
        R"({"major_delta": 29, "use_tuvrenium_major_for_minor": true})");
    EXPECT_EQ("41.51.1450.0", ProductInfo::GetVersionString());
    EXPECT_EQ(41, ProductInfo::GetMajorVersion());
  }
  {
    ScopedProductConfiguration configuration(R"({"major_delta": -2})");
    EXPECT_EQ("10.0.1450.0", ProductInfo::GetVersionString());
  }
  {
    // No delta, or one of another type, leaves the base major version.
    ScopedProductConfiguration configuration(
        R"({"major_delta": "3", "use_tuvrenium_major_for_minor": "true"})");
    EXPECT_EQ("12.0.1450.0", ProductInfo::GetVersionString());
    EXPECT_EQ(12, ProductInfo::GetMajorVersion());
  }
}

TEST(ProductInfoTest, InternalVersionIgnoresTheConfiguration) {
  ScopedProductConfiguration configuration(
      R"({"major_delta": 5, "use_tuvrenium_major_for_minor": true})");
  EXPECT_EQ("1450.0", ProductInfo::GetInternalVersion());
}

TEST(ProductInfoTest, NamesComeFromTheConfiguration) {
  ScopedProductConfiguration configuration(R"({
    "product_name": "Vexlo",
    "visible_product_name": "Vexlo",
    "user_agent_name": "VXQ"
  })");
  EXPECT_EQ("Vexlo", ProductInfo::GetProductName());
  EXPECT_EQ("Vexlo developer", ProductInfo::GetVisibleProductNameWithChannel());
  EXPECT_EQ("VXQ", ProductInfo::GetUserAgentName());

  ScopedProductConfiguration empty("{}");
  EXPECT_EQ("", ProductInfo::GetProductName());
  EXPECT_EQ(" developer", ProductInfo::GetVisibleProductNameWithChannel());
  EXPECT_EQ("", ProductInfo::GetUserAgentName());
}

}  // namespace
}  // namespace vexlo
