#include "desktop/common/product/experiments.h"

#include "base/strings/string_piece.h"
#include "desktop/common/product/test/scoped_product_configuration.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

// The token must match exactly: same length, same bytes, same case.
TEST(ExperimentsTest, FindExperimentIndexMatchesTokenAndChannel) {
  const struct {
    const char* product;
    int channel_code;
    int index;
  } kCases[] = {{"VXQ", 2, 0},   {"VXQ", 4, 2},  {"ZKW", 2, 3},  {"ZKW", 4, 5},
                {"VXQ", 1, -1},  {"VXQ", 5, -1}, {"vxq", 2, -1}, {"VX", 2, -1},
                {"VXQQ", 2, -1}, {"", 2, -1}};
  for (const auto& c : kCases) {
    EXPECT_EQ(c.index, FindExperimentIndex(c.product, c.channel_code))
        << c.product << " " << c.channel_code;
  }
  EXPECT_EQ(-1, FindExperimentIndex(base::StringPiece("VXQ\0", 4), 2));
}

// The running product on the developer channel; an unknown one gets none.
TEST(ExperimentsTest, MasksOfTheRunningProduct) {
  const struct {
    const char* configuration;
    uint32_t masks;  // Default and overridable masks are the same here.
  } kCases[] = {{R"({"user_agent_name": "VXQ"})", 0x3},
                {R"({"user_agent_name": "ZKW"})", 0x4},
                {R"({"user_agent_name": "vxq"})", 0},
                {"{}", 0}};
  for (const auto& c : kCases) {
    ScopedProductConfiguration configuration(c.configuration);
    const ExperimentMasks masks = GetExperimentMasks();
    EXPECT_EQ(c.masks, masks.default_mask) << c.configuration;
    EXPECT_EQ(c.masks, masks.overridable_mask) << c.configuration;
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
