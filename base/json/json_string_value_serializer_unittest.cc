#include "base/json/json_string_value_serializer.h"

#include <memory>
#include <string>

#include "base/test/random_value_tree.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(JSONStringValueSerializerTest, WritesCompactOrPrettyText) {
  DictionaryValue root;
  root.SetString("b", "x");
  root.SetInteger("a", 1);
  std::string output = "previous";
  JSONStringValueSerializer serializer(&output);
  EXPECT_TRUE(serializer.Serialize(root));
  EXPECT_EQ("{\"a\":1,\"b\":\"x\"}", output);
  serializer.set_pretty_print(true);
  EXPECT_TRUE(serializer.Serialize(root));
  EXPECT_EQ("{\r\n   \"a\": 1,\r\n   \"b\": \"x\"\r\n}\r\n", output);
  EXPECT_FALSE(JSONStringValueSerializer(nullptr).Serialize(root));
}

TEST(JSONStringValueDeserializerTest, ParsesAndReportsErrors) {
  const std::string kTrailing = "[1,\n\n  1,]";
  JSONStringValueDeserializer deserializer(kTrailing);
  int code = -1;
  std::string message = "untouched";
  EXPECT_FALSE(deserializer.Deserialize(&code, &message));
  EXPECT_EQ(4, code);
  EXPECT_EQ("Line: 3, column: 6, Trailing comma not allowed.", message);
  EXPECT_FALSE(deserializer.Deserialize(nullptr, nullptr));
  // Success leaves the outputs alone.
  deserializer.set_allow_trailing_comma(true);
  EXPECT_TRUE(deserializer.Deserialize(&code, &message));
  EXPECT_EQ(4, code);
}

// Whatever is written reads back as the same tree.
TEST(JSONStringValueSerializerTest, RandomTreesReadBackEqual) {
  RandomValueTree trees(1);
  for (int i = 0; i < 300; ++i) {
    std::unique_ptr<DictionaryValue> tree = trees.NextDictionary(4);
    std::string json;
    ASSERT_TRUE(JSONStringValueSerializer(&json).Serialize(*tree));
    std::string error;
    std::unique_ptr<Value> read =
        JSONStringValueDeserializer(json).Deserialize(nullptr, &error);
    EXPECT_TRUE(read && read->Equals(tree.get()))
        << "tree " << i << ": " << error << " in " << json;
  }
}

}  // namespace
}  // namespace base
