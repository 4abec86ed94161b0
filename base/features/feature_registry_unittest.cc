#include "base/features/feature_registry.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/command_line.h"
#include "base/features/command_line_feature_reader.h"
#include "base/features/list_value_feature_reader.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// "name+ " or "name- " for each override, in order.
std::string Describe(const std::vector<FeatureOverride>& overrides) {
  std::string text;
  for (const FeatureOverride& feature : overrides)
    text += feature.name() + (feature.IsEnabled() ? "+ " : "- ");
  return text;
}

std::string ReadCommandLine(const wchar_t* arguments) {
  CommandLine command_line(CommandLine::NO_PROGRAM);
  command_line.ParseFromString(string16(L"prog.exe ") + arguments);
  std::vector<FeatureOverride> overrides;
  CommandLineFeatureReader(&command_line).ReadFeatures(&overrides);
  return Describe(overrides);
}

// Adds a reader of |items| ("name@1" on, "name@2" off) to |registry|.
void AddListReader(FeatureRegistry* registry,
                   std::initializer_list<const char*> items) {
  ListValue list;
  for (const char* item : items)
    list.AppendString(item);
  ListValueFeatureReader reader(&list);
  registry->AddReader(&reader);
}

// Switches in name order, names lower-cased; a switch counts with no value,
// "on" or "off", exactly. A value that is not ASCII is not read as empty.
TEST(CommandLineFeatureReaderTest, ReadsOnOffAndBareSwitches) {
  const std::pair<const wchar_t*, const char*> kCases[] = {
      {L"--with-feature:foo --with-feature:bar=off arg --other=on "
       L"/with-feature:baz=on --with-featurex=on",
       "bar- baz+ foo+ "},
      {L"--With-Feature:Foo=on", "foo+ "},
      {L"--with-feature:foo=ON \"--with-feature:bar= on\"", ""},
      {L"--with-feature:foo=1 --with-feature:bar=\x00F6n", ""}};
  for (const auto& c : kCases)
    EXPECT_EQ(c.second, ReadCommandLine(c.first)) << c.first;
  // Any other value is refused, with a warning.
  EXPECT_EQ("", ReadCommandLine(L"--with-feature:foo=yes"));
}

// An item is a name, "@" and 1 (on) or 2 (off); any other item leaves the
// result as it was, and the list's other values are skipped.
TEST(ListValueFeatureReaderTest, ReadsValidStringItemsInOrder) {
  const std::pair<const char*, const char*> kItems[] = {
      {"foo@1", "foo+ "}, {" foo @ 2 ", "foo- "}, {"Foo.Bar@1", "Foo.Bar+ "},
      {"foo@3", ""},      {"foo@0", ""},          {"foo@-1", ""},
      {"foo@x", ""},      {"foo@", ""},           {"foo", ""},
      {"foo@1@2", ""},    {"foo@@1", ""},         {"foo@01x", ""},
      {"", ""},           {"foo@4294967297", ""}};
  for (const auto& c : kItems) {
    FeatureOverride result("untouched", true);
    const bool parsed = ListValueFeatureReader::ParseOverride(c.first, &result);
    EXPECT_EQ(*c.second ? c.second : "untouched+ ", Describe({result}))
        << c.first;
    EXPECT_EQ(*c.second != '\0', parsed) << c.first;
  }
  ListValue list;
  list.AppendString("foo@1");
  list.AppendInteger(1);
  list.AppendString("bar@9");
  list.Append(std::make_unique<ListValue>());
  list.AppendString("foo@2");
  std::vector<FeatureOverride> overrides = {{"earlier", true}};
  ListValueFeatureReader(&list).ReadFeatures(&overrides);
  EXPECT_EQ("earlier+ foo+ foo- ", Describe(overrides));
}

// Overrides of features that are not overridable, or not registered, do
// nothing; the first registration decides; names compare byte for byte. A
// later reader wins, and within one reader the later item.
TEST(FeatureRegistryTest, DefaultsAndOverrides) {
  FeatureRegistry registry;
  registry.RegisterFeature("on", true, true);
  registry.RegisterFeature("switchable", false, true);
  registry.RegisterFeature("fixed_off", false, false);
  registry.RegisterFeature("fixed_on", true, false);
  registry.RegisterFeature("twice", false, false);
  registry.RegisterFeature("twice", true, true);
  const FeatureRegistry untouched = registry;
  AddListReader(&registry, {"switchable@1", "fixed_off@1", "fixed_on@2",
                            "twice@1", "unregistered@1", "Switchable@2"});
  EXPECT_TRUE(registry.IsEnabled("switchable"));
  AddListReader(&registry, {"on@2"});
  AddListReader(&registry, {"switchable@1", "switchable@2"});
  const std::pair<const char*, bool> kCases[] = {
      {"on", false},         {"switchable", false}, {"fixed_off", false},
      {"fixed_on", true},    {"twice", false},      {"unregistered", false},
      {"Switchable", false}, {"fixed_on ", false},  {"", false}};
  for (const auto& c : kCases)
    EXPECT_EQ(c.second, registry.IsEnabled(c.first)) << c.first;
  EXPECT_EQ(
      "switchable+ fixed_off+ fixed_on- twice+ unregistered+ Switchable- on- "
      "switchable+ switchable- ",
      Describe(registry.GetAllOverrides()));
  // A copy is a value of its own.
  EXPECT_TRUE(untouched.GetAllOverrides().empty());
  EXPECT_TRUE(untouched.IsEnabled("on"));
}

// The only test that touches the process-wide registry: it reads both kinds
// of source as the installer does, then hands the decisions to a child.
TEST(FeatureRegistryTest, ProcessWideRegistryAndChildCommandLine) {
  FeatureRegistry* registry = FeatureRegistry::GetInstance();
  ASSERT_EQ(registry, FeatureRegistry::GetInstance());
  registry->RegisterFeature("alpha", false, true);
  registry->RegisterFeature("beta", true, true);
  registry->RegisterFeature("gamma", false, true);
  registry->RegisterFeature("fixed", true, false);
  registry->RegisterFeature("delta", true, true);
  // The preferences list first, then the command line, which wins.
  AddListReader(registry, {"alpha@1", "beta@2", "gamma@1", "fixed@2"});
  CommandLine command_line(CommandLine::NO_PROGRAM);
  command_line.ParseFromString(
      L"setup.exe --with-feature:gamma=off --with-feature:delta=maybe");
  CommandLineFeatureReader command_line_reader(&command_line);
  registry->AddReader(&command_line_reader);
  const std::pair<const char*, bool> kCases[] = {
      {"alpha", true}, {"beta", false}, {"gamma", false},
      {"fixed", true}, {"delta", true}, {"unknown", false}};
  for (const auto& c : kCases)
    EXPECT_EQ(c.second, IsFeatureEnabled(c.first)) << c.first;
  // Every override, the later switch of a name replacing the earlier one.
  CommandLine child(CommandLine::NO_PROGRAM);
  child.ParseFromString(L"child.exe --type=backend");
  AppendFeatureSwitches(&child);
  EXPECT_EQ(5u, child.GetSwitches().size());
  const std::pair<const char*, const char*> kSwitches[] = {
      {"alpha", "on"}, {"beta", "off"}, {"gamma", "off"}, {"fixed", "off"}};
  for (const auto& c : kSwitches) {
    EXPECT_EQ(c.second,
              child.GetSwitchValueASCII(GetFeatureSwitchName(c.first)))
        << c.first;
  }
}

}  // namespace
}  // namespace base
