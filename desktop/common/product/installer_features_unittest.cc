#include "desktop/common/product/installer_features.h"

#include <string>

#include "base/command_line.h"
#include "base/features/command_line_feature_reader.h"
#include "base/features/feature_registry.h"
#include "base/features/list_value_feature_reader.h"
#include "base/values.h"
#include "desktop/common/product/test/scoped_product_configuration.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr char kExperimentTest[] = "installer-experiment-test";
constexpr char kUiStats[] = "installer-ui-stats";
constexpr char kHideFromProgramsAndFeatures[] =
    "installer-hide-from-program-and-features";
constexpr char kPrefDefaultOverrides[] =
    "installer-pref-default-overrides-support";

constexpr char kVxqConfiguration[] = R"({"user_agent_name": "VXQ"})";
constexpr char kZkwConfiguration[] = R"({"user_agent_name": "ZKW"})";

base::FeatureRegistry RegistryForProduct(const char* configuration_text) {
  ScopedProductConfiguration configuration(configuration_text);
  base::FeatureRegistry registry;
  RegisterInstallerFeatures(&registry);
  return registry;
}

// Every feature switched the other way on the command line.
base::CommandLine InvertingCommandLine() {
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  command_line.AppendSwitchASCII(base::GetFeatureSwitchName(kExperimentTest),
                                 "on");
  command_line.AppendSwitchASCII(base::GetFeatureSwitchName(kUiStats), "off");
  command_line.AppendSwitchASCII(
      base::GetFeatureSwitchName(kHideFromProgramsAndFeatures), "on");
  command_line.AppendSwitchASCII(
      base::GetFeatureSwitchName(kPrefDefaultOverrides), "off");
  return command_line;
}

TEST(InstallerFeaturesTest, TableInOrder) {
  size_t count = 0;
  const FeatureDefinition* features = GetInstallerFeatures(&count);
  ASSERT_EQ(4u, count);
  EXPECT_STREQ(kExperimentTest, features[0].name);
  EXPECT_STREQ(kUiStats, features[1].name);
  EXPECT_STREQ(kHideFromProgramsAndFeatures, features[2].name);
  EXPECT_STREQ(kPrefDefaultOverrides, features[3].name);
}

TEST(InstallerFeaturesTest, DefaultsAndOverridabilityPerProduct) {
  size_t count = 0;
  const FeatureDefinition* features = GetInstallerFeatures(&count);
  ASSERT_EQ(4u, count);
  {
    ScopedProductConfiguration configuration(kVxqConfiguration);
    EXPECT_FALSE(IsInstallerFeatureEnabledByDefault(features[0]));
    EXPECT_TRUE(IsInstallerFeatureOverridable(features[0]));
    EXPECT_TRUE(IsInstallerFeatureEnabledByDefault(features[1]));
    EXPECT_TRUE(IsInstallerFeatureOverridable(features[1]));
    EXPECT_FALSE(IsInstallerFeatureEnabledByDefault(features[2]));
    EXPECT_FALSE(IsInstallerFeatureOverridable(features[2]));
    EXPECT_TRUE(IsInstallerFeatureEnabledByDefault(features[3]));
    EXPECT_TRUE(IsInstallerFeatureOverridable(features[3]));
  }
  {
    ScopedProductConfiguration configuration(kZkwConfiguration);
    EXPECT_FALSE(IsInstallerFeatureEnabledByDefault(features[0]));
    EXPECT_FALSE(IsInstallerFeatureEnabledByDefault(features[1]));
    EXPECT_TRUE(IsInstallerFeatureEnabledByDefault(features[2]));
    EXPECT_FALSE(IsInstallerFeatureOverridable(features[2]));
    EXPECT_FALSE(IsInstallerFeatureEnabledByDefault(features[3]));
    // The other three share no overridable bit with 0x4 but 0xffff does.
    EXPECT_TRUE(IsInstallerFeatureOverridable(features[0]));
    EXPECT_TRUE(IsInstallerFeatureOverridable(features[1]));
    EXPECT_TRUE(IsInstallerFeatureOverridable(features[3]));
  }
}

TEST(InstallerFeaturesTest, RegisteredFeaturesTakeCommandLineOverrides) {
  base::FeatureRegistry registry = RegistryForProduct(kVxqConfiguration);
  EXPECT_FALSE(registry.IsEnabled(kExperimentTest));
  EXPECT_TRUE(registry.IsEnabled(kUiStats));
  EXPECT_FALSE(registry.IsEnabled(kHideFromProgramsAndFeatures));
  EXPECT_TRUE(registry.IsEnabled(kPrefDefaultOverrides));

  const base::CommandLine command_line = InvertingCommandLine();
  base::CommandLineFeatureReader reader(&command_line);
  registry.AddReader(&reader);
  EXPECT_TRUE(registry.IsEnabled(kExperimentTest));
  EXPECT_FALSE(registry.IsEnabled(kUiStats));
  // Not overridable for this product: the default stands.
  EXPECT_FALSE(registry.IsEnabled(kHideFromProgramsAndFeatures));
  EXPECT_FALSE(registry.IsEnabled(kPrefDefaultOverrides));
}

TEST(InstallerFeaturesTest, OtherProductTakesOverridesOfItsOwnFeatures) {
  base::FeatureRegistry registry = RegistryForProduct(kZkwConfiguration);
  EXPECT_FALSE(registry.IsEnabled(kExperimentTest));
  EXPECT_FALSE(registry.IsEnabled(kUiStats));
  EXPECT_TRUE(registry.IsEnabled(kHideFromProgramsAndFeatures));
  EXPECT_FALSE(registry.IsEnabled(kPrefDefaultOverrides));

  base::ListValue list;
  list.AppendString(std::string(kUiStats) + "@1");
  list.AppendString(std::string(kHideFromProgramsAndFeatures) + "@2");
  base::ListValueFeatureReader reader(&list);
  registry.AddReader(&reader);
  EXPECT_TRUE(registry.IsEnabled(kUiStats));
  EXPECT_TRUE(registry.IsEnabled(kHideFromProgramsAndFeatures));
}

// With no experiment row every feature is off and fixed.
TEST(InstallerFeaturesTest, UnknownProductHasEveryFeatureOffAndFixed) {
  base::FeatureRegistry registry = RegistryForProduct(R"({})");
  const base::CommandLine command_line = InvertingCommandLine();
  base::CommandLineFeatureReader reader(&command_line);
  registry.AddReader(&reader);
  EXPECT_FALSE(registry.IsEnabled(kExperimentTest));
  EXPECT_FALSE(registry.IsEnabled(kUiStats));
  EXPECT_FALSE(registry.IsEnabled(kHideFromProgramsAndFeatures));
  EXPECT_FALSE(registry.IsEnabled(kPrefDefaultOverrides));
}

TEST(InstallerFeaturesTest, FindBrowserFeature) {
  const FeatureDefinition* feature =
      FindBrowserFeature("alternative-crash-logging");
  ASSERT_TRUE(feature);
  EXPECT_STREQ("alternative-crash-logging", feature->name);
  EXPECT_EQ(0xfffbu, feature->default_mask);
  EXPECT_EQ(0x10003u, feature->overridable_mask);

  EXPECT_FALSE(FindBrowserFeature("Alternative-crash-logging"));
  EXPECT_FALSE(FindBrowserFeature("alternative-crash-loggin"));
  EXPECT_FALSE(FindBrowserFeature(""));
  // The installer's own features are not the browser's.
  EXPECT_FALSE(FindBrowserFeature(kUiStats));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
