#include "base/features/list_value_feature_reader.h"

#include <memory>
#include <vector>

#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(ListValueFeatureReaderTest, ParseOverride) {
  FeatureOverride result;
  ASSERT_TRUE(ListValueFeatureReader::ParseOverride("foo@1", &result));
  EXPECT_EQ("foo", result.name());
  EXPECT_TRUE(result.IsEnabled());

  ASSERT_TRUE(ListValueFeatureReader::ParseOverride(" foo @ 2 ", &result));
  EXPECT_EQ("foo", result.name());
  EXPECT_FALSE(result.IsEnabled());

  // Names keep their case.
  ASSERT_TRUE(ListValueFeatureReader::ParseOverride("Foo.Bar@1", &result));
  EXPECT_EQ("Foo.Bar", result.name());

  const FeatureOverride kUntouched("untouched", true);
  for (const char* item :
       {"foo@3", "foo@0", "foo@-1", "foo@x", "foo@", "foo", "foo@1@2", "foo@@1",
        "foo@01x", "foo@+", "", "foo@4294967297"}) {
    result = kUntouched;
    EXPECT_FALSE(ListValueFeatureReader::ParseOverride(item, &result)) << item;
    EXPECT_EQ("untouched", result.name()) << item;
    EXPECT_TRUE(result.IsEnabled()) << item;
  }
}

TEST(ListValueFeatureReaderTest, ReadsStringItemsInOrderAndSkipsTheRest) {
  ListValue list;
  list.AppendString("foo@1");
  list.AppendInteger(1);
  list.AppendString("bar@9");
  list.AppendString("baz@2");
  list.Append(std::make_unique<ListValue>());
  list.AppendString("foo@2");
  list.Append(Value::CreateNullValue());

  std::vector<FeatureOverride> overrides;
  overrides.emplace_back("earlier", true);
  ListValueFeatureReader reader(&list);
  reader.ReadFeatures(&overrides);

  ASSERT_EQ(4u, overrides.size());
  EXPECT_EQ("earlier", overrides[0].name());
  EXPECT_EQ("foo", overrides[1].name());
  EXPECT_TRUE(overrides[1].IsEnabled());
  EXPECT_EQ("baz", overrides[2].name());
  EXPECT_FALSE(overrides[2].IsEnabled());
  EXPECT_EQ("foo", overrides[3].name());
  EXPECT_FALSE(overrides[3].IsEnabled());
}

}  // namespace
}  // namespace base
