#include "desktop/common/product/installer_features.h"

#include <string>

#include "base/command_line.h"
#include "base/features/command_line_feature_reader.h"
#include "base/features/feature_registry.h"
#include "desktop/common/product/test/scoped_product_configuration.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

// Registers the installer's features for |product| and answers each one's
// state as a digit, in table order: by default, then after a command line
// that asks for the opposite of every default.
void GetStates(const char* product, std::string* defaults, std::string* after) {
  ScopedProductConfiguration configuration(
      std::string(R"({"user_agent_name": ")") + product + "\"}");
  base::FeatureRegistry registry;
  RegisterInstallerFeatures(&registry);
  size_t count = 0;
  const FeatureDefinition* features = GetInstallerFeatures(&count);
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  for (size_t i = 0; i < count; ++i) {
    const bool enabled = registry.IsEnabled(features[i].name);
    EXPECT_EQ(enabled, IsInstallerFeatureEnabledByDefault(features[i]));
    *defaults += enabled ? "1" : "0";
    command_line.AppendSwitchASCII(base::GetFeatureSwitchName(features[i].name),
                                   enabled ? "off" : "on");
  }
  base::CommandLineFeatureReader reader(&command_line);
  registry.AddReader(&reader);
  for (size_t i = 0; i < count; ++i)
    *after += registry.IsEnabled(features[i].name) ? "1" : "0";
}

// The features: the test experiment, the UI statistics, hiding from the
// programs list and the preference-default overrides. A product without
// experiments has every feature off and fixed.
TEST(InstallerFeaturesTest, DefaultsAndOverridabilityPerProduct) {
  const struct {
    const char* product;
    const char* defaults;
    const char* after;
  } kCases[] = {{"VXQ", "0101", "1000"},
                {"ZKW", "0010", "1111"},
                {"ABC", "0000", "0000"}};
  for (const auto& c : kCases) {
    std::string defaults;
    std::string after;
    GetStates(c.product, &defaults, &after);
    EXPECT_EQ(c.defaults, defaults) << c.product;
    EXPECT_EQ(c.after, after) << c.product;
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
