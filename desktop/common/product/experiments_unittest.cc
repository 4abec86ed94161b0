#include "desktop/common/product/experiments.h"

#include <string>

#include "base/strings/string_piece.h"
#include "desktop/common/product/test/scoped_product_configuration.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

TEST(ExperimentsTest, FindExperimentIndexMatchesTokenAndChannel) {
  EXPECT_EQ(0, FindExperimentIndex("VXQ", 2));
  EXPECT_EQ(1, FindExperimentIndex("VXQ", 3));
  EXPECT_EQ(2, FindExperimentIndex("VXQ", 4));
  EXPECT_EQ(3, FindExperimentIndex("ZKW", 2));
  EXPECT_EQ(4, FindExperimentIndex("ZKW", 3));
  EXPECT_EQ(5, FindExperimentIndex("ZKW", 4));

  EXPECT_EQ(-1, FindExperimentIndex("VXQ", 1));
  EXPECT_EQ(-1, FindExperimentIndex("VXQ", 5));
  EXPECT_EQ(-1, FindExperimentIndex("VXQ", -2));
  // The token must match exactly: same length, same bytes, same case.
  EXPECT_EQ(-1, FindExperimentIndex("vxq", 2));
  EXPECT_EQ(-1, FindExperimentIndex("VX", 2));
  EXPECT_EQ(-1, FindExperimentIndex("VXQQ", 2));
  EXPECT_EQ(-1, FindExperimentIndex(base::StringPiece("VXQ\0", 4), 2));
  EXPECT_EQ(-1, FindExperimentIndex("", 2));
}

TEST(ExperimentsTest, MasksOfTheRunningProductOnTheDeveloperChannel) {
  {
    ScopedProductConfiguration configuration(R"({"user_agent_name": "VXQ"})");
    const ExperimentMasks masks = GetExperimentMasks();
    EXPECT_EQ(0x3u, masks.default_mask);
    EXPECT_EQ(0x3u, masks.overridable_mask);
  }
  {
    ScopedProductConfiguration configuration(R"({"user_agent_name": "ZKW"})");
    const ExperimentMasks masks = GetExperimentMasks();
    EXPECT_EQ(0x4u, masks.default_mask);
    EXPECT_EQ(0x4u, masks.overridable_mask);
  }
}

TEST(ExperimentsTest, UnknownProductGetsNoMasks) {
  for (const char* configuration_text :
       {R"({"user_agent_name": "ABC"})", R"({"user_agent_name": "vxq"})",
        "{}"}) {
    SCOPED_TRACE(configuration_text);
    ScopedProductConfiguration configuration(configuration_text);
    const ExperimentMasks masks = GetExperimentMasks();
    EXPECT_EQ(0u, masks.default_mask);
    EXPECT_EQ(0u, masks.overridable_mask);
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
