#include "base/trace_event/trace_config.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace trace_event {
namespace {

std::vector<std::string> Categories(StringPiece group) {
  std::vector<std::string> categories;
  TraceConfig::AnyCategory(group, [&categories](StringPiece category) {
    categories.push_back(category.as_string());
    return false;
  });
  return categories;
}

TEST(TraceConfigTest, Tokenizer) {
  EXPECT_EQ((std::vector<std::string>{"a", " b ", "c"}),
            Categories(",a,, b ,c,"));
  EXPECT_TRUE(Categories("").empty());
  EXPECT_TRUE(Categories(",,,").empty());
  EXPECT_TRUE(TraceConfig::AnyCategory(
      "x,y,z", [](StringPiece category) { return category == "y"; }));
}

TEST(TraceConfigTest, DefaultConfiguration) {
  const TraceConfig config;
  const struct {
    const char* group;
    bool enabled;
  } kCases[] = {
      {"toplevel", true},
      {"netDebug", false},
      {"unitTest", false},
      {"disabled-by-default-toplevel.flow", false},
      {"toplevel,disabled-by-default-toplevel.flow", true},
      {"disabled-by-default-toplevel.flow,toplevel", true},
      {"netDebug,toplevel", true},
      {"netDebug,unitTest", false},
      {"", false},
      {",,", false},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(c.enabled, config.IsCategoryGroupEnabled(c.group)) << c.group;
}

TEST(TraceConfigTest, IncludedPatterns) {
  TraceConfig config;
  config.included_categories()->push_back("net*");
  EXPECT_TRUE(config.IsCategoryGroupEnabled("network"));
  EXPECT_TRUE(config.IsCategoryGroupEnabled("toplevel,network"));
  // With an included pattern, only what it accepts is on.
  EXPECT_FALSE(config.IsCategoryGroupEnabled("toplevel"));
  EXPECT_TRUE(config.IsCategoryEnabled("net"));
  EXPECT_FALSE(config.IsCategoryEnabled("disabled-by-default-net"));
}

TEST(TraceConfigTest, ClearDropsTheDefaultExclusions) {
  TraceConfig config;
  config.included_categories()->push_back("a");
  config.disabled_categories()->push_back("disabled-by-default-a");
  config.mutable_memory_dump_config()->push_back({250, 0});
  EXPECT_FALSE(config.IsCategoryGroupEnabled("unitTest"));
  config.Clear();
  EXPECT_TRUE(config.IsCategoryGroupEnabled("unitTest"));
  EXPECT_TRUE(config.excluded_categories()->empty());
  EXPECT_TRUE(config.included_categories()->empty());
  EXPECT_TRUE(config.disabled_categories()->empty());
  EXPECT_TRUE(config.memory_dump_config().empty());
}

TEST(TraceConfigTest, DisabledCategoriesWinOverExclusions) {
  TraceConfig config;
  config.excluded_categories()->push_back("*");
  config.disabled_categories()->push_back("disabled-by-default-memory");
  EXPECT_TRUE(config.IsCategoryGroupEnabled("disabled-by-default-memory"));
  EXPECT_FALSE(config.IsCategoryGroupEnabled("toplevel"));
  EXPECT_FALSE(config.IsCategoryGroupEnabled("disabled-by-default-other"));
}

TEST(TraceConfigTest, CopiesKeepEveryList) {
  TraceConfig config;
  config.included_categories()->push_back("a");
  config.mutable_memory_dump_config()->push_back({250, 0});
  TraceConfig copy(config);
  EXPECT_EQ(*config.included_categories(), *copy.included_categories());
  EXPECT_EQ(*config.excluded_categories(), *copy.excluded_categories());
  ASSERT_EQ(1u, copy.memory_dump_config().size());
  EXPECT_EQ(250u, copy.memory_dump_config()[0].periodic_interval_ms);
}

}  // namespace
}  // namespace trace_event
}  // namespace base
