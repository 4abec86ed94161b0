#include "base/features/feature_registry.h"

#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/features/command_line_feature_reader.h"
#include "base/features/list_value_feature_reader.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Hands out a fixed set of overrides and counts how often it was asked.
class FixedFeatureReader : public FeatureReader {
 public:
  explicit FixedFeatureReader(std::vector<FeatureOverride> overrides)
      : overrides_(std::move(overrides)) {}

  void ReadFeatures(std::vector<FeatureOverride>* overrides) override {
    ++read_count_;
    overrides->insert(overrides->end(), overrides_.begin(), overrides_.end());
  }

  int read_count() const { return read_count_; }

 private:
  const std::vector<FeatureOverride> overrides_;
  int read_count_ = 0;
};

void AddOverrides(FeatureRegistry* registry,
                  std::vector<FeatureOverride> overrides) {
  FixedFeatureReader reader(std::move(overrides));
  registry->AddReader(&reader);
  EXPECT_EQ(1, reader.read_count());
}

TEST(FeatureRegistryTest, Defaults) {
  FeatureRegistry registry;
  registry.RegisterFeature("on_by_default", true, true);
  registry.RegisterFeature("off_by_default", false, true);
  registry.RegisterFeature("fixed_on", true, false);

  EXPECT_TRUE(registry.IsEnabled("on_by_default"));
  EXPECT_FALSE(registry.IsEnabled("off_by_default"));
  EXPECT_TRUE(registry.IsEnabled("fixed_on"));
  // Names compare byte for byte.
  EXPECT_FALSE(registry.IsEnabled("On_by_default"));
  EXPECT_FALSE(registry.IsEnabled("on_by_default "));
  EXPECT_FALSE(registry.IsEnabled(""));
}

TEST(FeatureRegistryTest, Overrides) {
  FeatureRegistry registry;
  registry.RegisterFeature("switchable", false, true);
  registry.RegisterFeature("fixed_off", false, false);
  registry.RegisterFeature("fixed_on", true, false);
  registry.RegisterFeature("twice", false, false);
  registry.RegisterFeature("twice", true, true);

  AddOverrides(&registry, {{"switchable", true},
                           {"fixed_off", true},
                           {"fixed_on", false},
                           {"twice", true},
                           {"unregistered", true}});
  EXPECT_TRUE(registry.IsEnabled("switchable"));
  // Not overridable: the default stands whatever the overrides say.
  EXPECT_FALSE(registry.IsEnabled("fixed_off"));
  EXPECT_TRUE(registry.IsEnabled("fixed_on"));
  // The first registration decides.
  EXPECT_FALSE(registry.IsEnabled("twice"));
  // An unregistered name is off even with an override.
  EXPECT_FALSE(registry.IsEnabled("unregistered"));
  // Case matters for overrides too.
  AddOverrides(&registry, {{"Switchable", false}});
  EXPECT_TRUE(registry.IsEnabled("switchable"));

  // A later reader wins; within one reader, the later item wins.
  AddOverrides(&registry, {{"switchable", false}, {"other", true}});
  EXPECT_FALSE(registry.IsEnabled("switchable"));
  AddOverrides(&registry, {{"switchable", true}, {"switchable", false}});
  EXPECT_FALSE(registry.IsEnabled("switchable"));
  AddOverrides(&registry, {{"switchable", true}});
  EXPECT_TRUE(registry.IsEnabled("switchable"));

  // Every override is kept, in order.
  const std::vector<FeatureOverride> all = registry.GetAllOverrides();
  ASSERT_EQ(11u, all.size());
  EXPECT_EQ("switchable", all[0].name());
  EXPECT_EQ("unregistered", all[4].name());
  EXPECT_EQ("Switchable", all[5].name());
  EXPECT_EQ("other", all[7].name());
  EXPECT_TRUE(all[10].IsEnabled());
}

TEST(FeatureRegistryTest, RegistriesAreIndependentValues) {
  FeatureRegistry original;
  original.RegisterFeature("foo", false, true);
  FeatureRegistry copy = original;
  AddOverrides(&copy, {{"foo", true}});
  EXPECT_TRUE(copy.IsEnabled("foo"));
  EXPECT_FALSE(original.IsEnabled("foo"));
  EXPECT_TRUE(original.GetAllOverrides().empty());
}

TEST(FeatureRegistryTest, SwitchName) {
  EXPECT_EQ("with-feature:foo", GetFeatureSwitchName("foo"));
  EXPECT_EQ("with-feature:", GetFeatureSwitchName(""));
}

// The only test that touches the process-wide registry: it reads both kinds
// of source as the installer does, then hands the decisions to a child.
TEST(FeatureRegistryTest, ProcessWideRegistryAndChildCommandLine) {
  FeatureRegistry* registry = FeatureRegistry::GetInstance();
  ASSERT_TRUE(registry);
  EXPECT_EQ(registry, FeatureRegistry::GetInstance());
  ASSERT_TRUE(registry->GetAllOverrides().empty());

  CommandLine untouched(CommandLine::NO_PROGRAM);
  AppendFeatureSwitches(&untouched);
  EXPECT_TRUE(untouched.GetSwitches().empty());

  const char* const kNames[] = {"alpha", "beta", "gamma", "fixed", "delta"};
  auto register_table = [](FeatureRegistry* target) {
    target->RegisterFeature("alpha", false, true);
    target->RegisterFeature("beta", true, true);
    target->RegisterFeature("gamma", false, true);
    target->RegisterFeature("fixed", true, false);
    target->RegisterFeature("delta", true, true);
  };
  register_table(registry);

  // The preferences list first, then the command line, which wins.
  ListValue preferences;
  preferences.AppendString("alpha@1");
  preferences.AppendString("beta@2");
  preferences.AppendString("gamma@1");
  preferences.AppendString("fixed@2");
  ListValueFeatureReader list_reader(&preferences);
  registry->AddReader(&list_reader);
  CommandLine command_line(CommandLine::NO_PROGRAM);
  command_line.ParseFromString(
      L"setup.exe --with-feature:gamma=off --with-feature:delta=maybe");
  CommandLineFeatureReader command_line_reader(&command_line);
  registry->AddReader(&command_line_reader);

  EXPECT_TRUE(IsFeatureEnabled("alpha"));
  EXPECT_FALSE(IsFeatureEnabled("beta"));
  EXPECT_FALSE(IsFeatureEnabled("gamma"));
  EXPECT_TRUE(IsFeatureEnabled("fixed"));
  EXPECT_TRUE(IsFeatureEnabled("delta"));
  EXPECT_FALSE(IsFeatureEnabled("unknown"));

  CommandLine child(CommandLine::NO_PROGRAM);
  child.ParseFromString(L"child.exe --type=backend");
  AppendFeatureSwitches(&child);
  EXPECT_EQ("on", child.GetSwitchValueASCII("with-feature:alpha"));
  EXPECT_EQ("off", child.GetSwitchValueASCII("with-feature:beta"));
  // Named twice; the later switch replaced the earlier one.
  EXPECT_EQ("off", child.GetSwitchValueASCII("with-feature:gamma"));
  EXPECT_EQ("off", child.GetSwitchValueASCII("with-feature:fixed"));
  EXPECT_FALSE(child.HasSwitch("with-feature:delta"));
  EXPECT_EQ(5u, child.GetSwitches().size());

  // The child parses its command line and reaches the same decisions.
  CommandLine child_view(CommandLine::NO_PROGRAM);
  child_view.ParseFromString(child.GetCommandLineString(false));
  FeatureRegistry child_registry;
  register_table(&child_registry);
  CommandLineFeatureReader child_reader(&child_view);
  child_registry.AddReader(&child_reader);
  for (const char* name : kNames)
    EXPECT_EQ(registry->IsEnabled(name), child_registry.IsEnabled(name))
        << name;
}

}  // namespace
}  // namespace base
