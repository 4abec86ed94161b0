#include "base/json/json_writer.h"

#include <limits>
#include <memory>
#include <string>

#include "base/json/json_reader.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// The binary type has no class of its own; the writer only tests the code.
class BinaryTypeValue : public Value {
 public:
  BinaryTypeValue() : Value(TYPE_BINARY) {}
};

std::string Written(const Value& value, int options = 0) {
  std::string json;
  EXPECT_TRUE(JSONWriter::WriteWithOptions(value, options, &json));
  return json;
}

std::string WrittenDouble(double value, int options = 0) {
  return Written(FundamentalValue(value), options);
}

TEST(JSONWriterTest, Scalars) {
  EXPECT_EQ("null", Written(*Value::CreateNullValue()));
  EXPECT_EQ("true", Written(FundamentalValue(true)));
  EXPECT_EQ("false", Written(FundamentalValue(false)));
  EXPECT_EQ("-2147483648",
            Written(FundamentalValue(std::numeric_limits<int>::min())));
  EXPECT_EQ("\"a\\u003Cb\"", Written(StringValue("a<b")));
}

TEST(JSONWriterTest, DoublesKeepTheirType) {
  EXPECT_EQ("3.0", WrittenDouble(3.0));
  EXPECT_EQ("100.0", WrittenDouble(100.0));
  EXPECT_EQ("0.5", WrittenDouble(0.5));
  EXPECT_EQ("-0.5", WrittenDouble(-0.5));
  EXPECT_EQ("-0.0", WrittenDouble(-0.0));
  EXPECT_EQ("2147483648.0", WrittenDouble(2147483648.0));
  // Exponent forms are already doubles to a reader and stay as they are.
  EXPECT_EQ("1e+21", WrittenDouble(1e21));
  EXPECT_EQ("1.5e-07", WrittenDouble(1.5e-7));
  EXPECT_EQ("1.7976931348623157e+308",
            WrittenDouble(std::numeric_limits<double>::max()));
  // Non-finite numbers never reach a tree.
  EXPECT_EQ("0.0", WrittenDouble(std::numeric_limits<double>::infinity()));
}

TEST(JSONWriterTest, OmitDoubleTypePreservationAtTheInt64Boundary) {
  const int kOmit = JSONWriter::kWriteOmitDoubleTypePreservation;
  EXPECT_EQ("3", WrittenDouble(3.0, kOmit));
  EXPECT_EQ("0", WrittenDouble(-0.0, kOmit));
  EXPECT_EQ("1000000000000000000", WrittenDouble(1e18, kOmit));
  EXPECT_EQ("-9223372036854775808",
            WrittenDouble(-9223372036854775808.0, kOmit));
  // 2^63 itself does not fit and keeps the double text.
  EXPECT_EQ("9223372036854776000.0",
            WrittenDouble(9223372036854775808.0, kOmit));
  EXPECT_EQ("0.5", WrittenDouble(0.5, kOmit));
  EXPECT_EQ("-2.5", WrittenDouble(-2.5, kOmit));
}

TEST(JSONWriterTest, CompactContainers) {
  DictionaryValue root;
  root.SetIntegerWithoutPathExpansion("b", 1);
  root.SetStringWithoutPathExpansion("a.c", "x");
  auto list = std::make_unique<ListValue>();
  list->AppendBoolean(false);
  list->Append(std::make_unique<DictionaryValue>());
  list->Append(std::make_unique<ListValue>());
  list->AppendDouble(2.0);
  root.SetWithoutPathExpansion("c", std::move(list));
  EXPECT_EQ("{\"a.c\":\"x\",\"b\":1,\"c\":[false,{},[],2.0]}", Written(root));
}

TEST(JSONWriterTest, PrettyPrint) {
  const int kPretty = JSONWriter::kWritePrettyPrint;
  // {a: 1, b: [true, {c: "x"}]}
  DictionaryValue root;
  root.SetInteger("a", 1);
  auto list = std::make_unique<ListValue>();
  list->AppendBoolean(true);
  auto inner = std::make_unique<DictionaryValue>();
  inner->SetString("c", "x");
  list->Append(std::move(inner));
  root.Set("b", std::move(list));
  EXPECT_EQ(
      "{\r\n   \"a\": 1,\r\n   \"b\": [ true, {\r\n      \"c\": \"x\"\r\n"
      "   } ]\r\n}\r\n",
      Written(root, kPretty));

  EXPECT_EQ("{\r\n\r\n}\r\n", Written(DictionaryValue(), kPretty));
  EXPECT_EQ("[  ]\r\n", Written(ListValue(), kPretty));
  EXPECT_EQ("1\r\n", Written(FundamentalValue(1), kPretty));

  DictionaryValue nested_empty;
  nested_empty.Set("a", std::make_unique<DictionaryValue>());
  EXPECT_EQ("{\r\n   \"a\": {\r\n\r\n   }\r\n}\r\n",
            Written(nested_empty, kPretty));
}

TEST(JSONWriterTest, BinaryNodes) {
  ListValue list;
  list.AppendInteger(1);
  list.Append(std::make_unique<BinaryTypeValue>());
  list.AppendInteger(2);

  // Without the option the node fails, but the rest is still written.
  std::string json;
  EXPECT_FALSE(JSONWriter::Write(list, &json));
  EXPECT_EQ("[1,,2]", json);

  EXPECT_EQ("[1,2]", Written(list, JSONWriter::kWriteOmitBinaryValues));

  DictionaryValue dictionary;
  dictionary.Set("a", std::make_unique<BinaryTypeValue>());
  dictionary.SetInteger("b", 2);
  EXPECT_EQ("{\"b\":2}",
            Written(dictionary, JSONWriter::kWriteOmitBinaryValues));
  EXPECT_FALSE(JSONWriter::Write(dictionary, &json));

  const BinaryTypeValue binary_root;
  EXPECT_EQ("", Written(binary_root, JSONWriter::kWriteOmitBinaryValues));
  EXPECT_FALSE(JSONWriter::Write(binary_root, &json));
}

TEST(JSONWriterTest, ReplacesOutputAndWritesInvalidUtf8AsReplacement) {
  std::string json = "old text";
  EXPECT_TRUE(JSONWriter::Write(StringValue("a\xFF"
                                            "b"),
                                &json));
  EXPECT_EQ(
      "\"a\xEF\xBF\xBD"
      "b\"",
      json);

  DictionaryValue dictionary;
  dictionary.SetInteger("\xC0", 1);
  EXPECT_TRUE(JSONWriter::Write(dictionary, &json));
  EXPECT_EQ("{\"\xEF\xBF\xBD\":1}", json);
}

// Text written compactly or pretty-printed reads back as the same tree, and
// canonical compact text is written back unchanged.
TEST(JSONWriterTest, RoundTrips) {
  const std::string kCanonical =
      "{\"a\":[1,-2147483648,2147483648.0,0.5,-1.5e-07,true,false,null],"
      "\"b\":{\"\":\"\",\"c\":\"\\u003C/\\\"\\\\\\n\\u0001\xC3\xA9\"},"
      "\"d\":[[],{}]}";
  std::unique_ptr<Value> tree = JSONReader::Read(kCanonical);
  ASSERT_TRUE(tree);

  std::string compact;
  ASSERT_TRUE(JSONWriter::Write(*tree, &compact));
  EXPECT_EQ(kCanonical, compact);

  std::string pretty;
  ASSERT_TRUE(JSONWriter::WriteWithOptions(*tree, JSONWriter::kWritePrettyPrint,
                                           &pretty));
  std::unique_ptr<Value> from_pretty = JSONReader::Read(pretty);
  ASSERT_TRUE(from_pretty);
  EXPECT_TRUE(from_pretty->Equals(tree.get()));

  // Integers stay integers and doubles stay doubles across the boundary.
  const Value* a = nullptr;
  ASSERT_TRUE(static_cast<DictionaryValue*>(tree.get())->Get("a", &a));
  const ListValue* numbers = nullptr;
  ASSERT_TRUE(a->GetAsList(&numbers));
  const Value* element = nullptr;
  ASSERT_TRUE(numbers->Get(1, &element));
  EXPECT_TRUE(element->IsType(Value::TYPE_INTEGER));
  ASSERT_TRUE(numbers->Get(2, &element));
  EXPECT_TRUE(element->IsType(Value::TYPE_DOUBLE));

  // Without type preservation a whole double beyond int reads back as a
  // double, one within int as an integer.
  ListValue boundary;
  boundary.AppendDouble(2147483648.0);
  boundary.AppendDouble(2147483647.0);
  std::string json;
  ASSERT_TRUE(JSONWriter::WriteWithOptions(
      boundary, JSONWriter::kWriteOmitDoubleTypePreservation, &json));
  EXPECT_EQ("[2147483648,2147483647]", json);
  std::unique_ptr<Value> reread = JSONReader::Read(json);
  ASSERT_TRUE(reread);
  const ListValue* reread_list = nullptr;
  ASSERT_TRUE(reread->GetAsList(&reread_list));
  ASSERT_TRUE(reread_list->Get(0, &element));
  EXPECT_TRUE(element->IsType(Value::TYPE_DOUBLE));
  ASSERT_TRUE(reread_list->Get(1, &element));
  EXPECT_TRUE(element->IsType(Value::TYPE_INTEGER));
}

}  // namespace
}  // namespace base
