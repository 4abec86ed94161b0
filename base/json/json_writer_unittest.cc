#include "base/json/json_writer.h"

#include <limits>
#include <memory>
#include <string>

#include "base/json/json_reader.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr int kPretty = JSONWriter::kWritePrettyPrint;
constexpr int kNoDoubles = JSONWriter::kWriteOmitDoubleTypePreservation;
constexpr int kNoBinary = JSONWriter::kWriteOmitBinaryValues;

// The binary type has no class of its own; the writer only tests the code.
class BinaryTypeValue : public Value {
 public:
  BinaryTypeValue() : Value(TYPE_BINARY) {}
};

// What the writer makes of |value| with |options|; "(false)" after the text
// when it reports a failure.
std::string Written(const Value& value, int options = 0) {
  std::string json = "old text";
  const bool written = JSONWriter::WriteWithOptions(value, options, &json);
  return json + (written ? "" : "(false)");
}

// Doubles read back as doubles: never as integers, never with a bare
// decimal point. Containers in key order; pretty with CR LF and three spaces
// a level, lists on one line.
TEST(JSONWriterTest, WritesWhatWasRead) {
  const struct {
    const char* json;
    int options;
    const char* written;
  } kCases[] = {
      {"[null,true,false,-2147483648,\"a<b\"]", 0,
       "[null,true,false,-2147483648,\"a\\u003Cb\"]"},
      {"[3.0,100.0,0.5,-0.5,-0.0,2147483648,1e21,1.5e-7,1e-310]", 0,
       "[3.0,100.0,0.5,-0.5,-0.0,2147483648.0,1e+21,1.5e-07,1e-310]"},
      {"[1.7976931348623157e308]", 0, "[1.7976931348623157e+308]"},
      // Without type preservation, whole numbers within int64 lose ".0".
      {"[3.0,-0.0,1e18,-9223372036854775808,-2.5]", kNoDoubles,
       "[3,0,1000000000000000000,-9223372036854775808,-2.5]"},
      {"9223372036854775808", kNoDoubles, "9223372036854776000.0"},
      {"{\"b\":[true,{\"c\":\"x\"},[]],\"a\":1,\"a.c\":{}}", 0,
       "{\"a\":1,\"a.c\":{},\"b\":[true,{\"c\":\"x\"},[]]}"},
      {"{\"b\":[true,{\"c\":\"x\"},[]],\"a\":1,\"a.c\":{}}", kPretty,
       "{\r\n   \"a\": 1,\r\n   \"a.c\": {\r\n\r\n   },\r\n   \"b\": [ true, "
       "{\r\n      \"c\": \"x\"\r\n   }, [  ] ]\r\n}\r\n"},
      {"1", kPretty, "1\r\n"},
  };
  for (const auto& c : kCases) {
    std::unique_ptr<Value> value = JSONReader::Read(c.json);
    ASSERT_TRUE(value) << c.json;
    EXPECT_EQ(c.written, Written(*value, c.options)) << c.json;
  }
  // Invalid UTF-8 is written as U+FFFD; non-finite doubles never reach a
  // tree.
  DictionaryValue dictionary;
  dictionary.SetString("\xC0", "a\xFF");
  dictionary.SetDoubleWithoutPathExpansion(
      "d", std::numeric_limits<double>::infinity());
  EXPECT_EQ("{\"d\":0.0,\"\xEF\xBF\xBD\":\"a\xEF\xBF\xBD\"}",
            Written(dictionary));
}

TEST(JSONWriterTest, BinaryNodes) {
  ListValue list;
  list.AppendInteger(1);
  list.Append(std::make_unique<BinaryTypeValue>());
  list.AppendInteger(2);
  DictionaryValue dictionary;
  dictionary.Set("a", std::make_unique<BinaryTypeValue>());
  dictionary.SetInteger("b", 2);
  EXPECT_EQ("[1,2] {\"b\":2} ", Written(list, kNoBinary) + " " +
                                    Written(dictionary, kNoBinary) + " " +
                                    Written(BinaryTypeValue(), kNoBinary));
  // Without the option a binary node fails, but the rest is written.
  EXPECT_EQ("[1,,2](false) {\"a\":,\"b\":2}(false) (false)",
            Written(list) + " " + Written(dictionary) + " " +
                Written(BinaryTypeValue()));
}

}  // namespace
}  // namespace base
