#include "base/json/json_string_value_serializer.h"

#include <memory>
#include <string>

#include "base/json/json_reader.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {

namespace {

TEST(JSONStringValueSerializerTest, WritesCompactOrPrettyText) {
  std::unique_ptr<Value> root =
      JSONReader::Read("{\"b\":[1,true],\"a\":\"x\"}");
  ASSERT_TRUE(root);

  std::string output = "previous";
  JSONStringValueSerializer serializer(&output);
  EXPECT_TRUE(serializer.Serialize(*root));
  EXPECT_EQ("{\"a\":\"x\",\"b\":[1,true]}", output);

  serializer.set_pretty_print(true);
  EXPECT_TRUE(serializer.Serialize(*root));
  EXPECT_EQ("{\r\n   \"a\": \"x\",\r\n   \"b\": [ 1, true ]\r\n}\r\n", output);

  JSONStringValueSerializer without_output(nullptr);
  EXPECT_FALSE(without_output.Serialize(*root));
}

TEST(JSONStringValueDeserializerTest, ParsesAndReportsErrors) {
  const std::string good = "[1, \"two\", {\"three\": 3}]";
  JSONStringValueDeserializer deserializer(good);
  int error_code = -1;
  std::string error_message = "untouched";
  std::unique_ptr<Value> value =
      deserializer.Deserialize(&error_code, &error_message);
  ASSERT_TRUE(value);
  EXPECT_TRUE(value->IsType(Value::TYPE_LIST));
  // Success leaves the out-parameters alone.
  EXPECT_EQ(-1, error_code);
  EXPECT_EQ("untouched", error_message);

  const std::string trailing = "{\"a\": [1,],\n}";
  JSONStringValueDeserializer strict(trailing);
  EXPECT_FALSE(strict.Deserialize(&error_code, &error_message));
  EXPECT_EQ(JSONReader::JSON_TRAILING_COMMA, error_code);
  EXPECT_EQ("Line: 1, column: 10, Trailing comma not allowed.", error_message);
  EXPECT_FALSE(strict.Deserialize(nullptr, nullptr));

  JSONStringValueDeserializer lenient(trailing);
  lenient.set_allow_trailing_comma(true);
  value = lenient.Deserialize(&error_code, &error_message);
  ASSERT_TRUE(value);
  EXPECT_TRUE(value->IsType(Value::TYPE_DICTIONARY));

  const std::string bad = "\n\n  nul";
  JSONStringValueDeserializer broken(bad);
  EXPECT_FALSE(broken.Deserialize(&error_code, &error_message));
  EXPECT_EQ(JSONReader::JSON_SYNTAX_ERROR, error_code);
  EXPECT_EQ("Line: 3, column: 4, Syntax error.", error_message);
}

}  // namespace

}  // namespace base
