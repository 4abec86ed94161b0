#include "base/json/json_reader.h"

#include <memory>
#include <string>

#include "base/json/json_writer.h"
#include "base/strings/stringprintf.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr int kCommas = kParseAllowTrailingCommas;

// What reading |json| gives: the tree written back compactly, or "E<code>
// <line>:<column>" after checking that the message tells the same.
std::string Outcome(StringPiece json, int options = 0) {
  int code = -1, line = -1, column = -1;
  std::string message = "untouched";
  std::unique_ptr<Value> root = JSONReader::ReadAndReturnError(
      json, options, &code, &message, &line, &column);
  std::string written;
  if (root) {
    // The error outputs are written on failure only.
    EXPECT_EQ("-1 -1 -1 untouched",
              StringPrintf("%d %d %d %s", code, line, column, message.c_str()));
    JSONWriter::Write(*root, &written);
    return written;
  }
  if (code == 0 && line == 0 && column == 0)
    EXPECT_EQ("", message);
  else
    EXPECT_EQ(StringPrintf("Line: %d, column: %d, %s", line, column,
                           JSONReader::ErrorCodeToString(code).c_str()),
              message);
  return StringPrintf("E%d %d:%d", code, line, column);
}

TEST(JSONReaderTest, ErrorMessages) {
  const char* const kMessages[] = {"",
                                   "Invalid escape sequence.",
                                   "Syntax error.",
                                   "Unexpected token.",
                                   "Trailing comma not allowed.",
                                   "Too much nesting.",
                                   "Unexpected data after root element.",
                                   "Unsupported encoding. JSON must be UTF-8.",
                                   "Dictionary keys must be quoted.",
                                   ""};
  for (int code = -1; code < 10; ++code)
    EXPECT_EQ(kMessages[code < 0 ? 0 : code],
              JSONReader::ErrorCodeToString(code));
}

TEST(JSONReaderTest, ReadsOrReportsTheFirstError) {
  const struct {
    const char* json;
    int options;
    const char* outcome;
  } kCases[] = {
      // Trailing commas, only with the option, and only one.
      {"[1,]", 0, "E4 1:4"},
      {"{\"a\":1,}", 0, "E4 1:8"},
      {"[1,]", kCommas, "[1]"},
      {"{\"a\":1,}", kCommas, "{\"a\":1}"},
      {"[1,,2]", 0, "E3 1:4"},
      {"[1,,2]", kCommas, "E3 1:4"},
      {"[,]", kCommas, "E3 1:2"},
      {"{,}", kCommas, "E8 1:2"},
      // Numbers: integers while they fit 32 bits, doubles otherwise.
      {"[0,-0,2147483647,-2147483648]", 0, "[0,0,2147483647,-2147483648]"},
      {"[2147483648,-2147483649,1.0,0.5]", 0,
       "[2147483648.0,-2147483649.0,1.0,0.5]"},
      {"[1E+05,1e5,-1.25e-2,0.00e007]", 0, "[100000.0,100000.0,-0.0125,0.0]"},
      {"9007199254740993", 0, "9007199254740992.0"},
      {"[1e-310,5e-324,-2.225073858507201e-308]", 0,
       "[1e-310,5e-324,-2.225073858507201e-308]"},
      {"01", 0, "E2 1:3"},
      {"-01", 0, "E2 1:4"},
      {"-", 0, "E2 1:2"},
      {"1.", 0, "E2 1:3"},
      {"1e", 0, "E2 1:3"},
      {"1e+", 0, "E2 1:4"},
      {".5", 0, "E3 1:1"},
      {"+1", 0, "E3 1:1"},
      {"1 2", 0, "E2 1:3"},
      {"[1 2]", 0, "E2 1:4"},
      {"{\"a\":1x}", 0, "E2 1:7"},
      // Out of a double's range: a failure without an error.
      {"1e999", 0, "E0 0:0"},
      {"[1, {\"a\": [-1e400]}]", 0, "E0 0:0"},
      {"1e-400", 0, "E0 0:0"},
      // Dictionaries: the last of repeated keys wins; keys are literal.
      {"{\"a\":1,\"a.b\":2,\"a\":3,\"\\u0041\":4,\"\":5}", 0,
       "{\"\":5,\"A\":4,\"a\":3,\"a.b\":2}"},
      {"{a:1}", 0, "E8 1:2"},
      {"{\"a\" 1}", 0, "E2 1:6"},
      {"{\"a\":1,2}", 0, "E8 1:8"},
      {"{\"a\":true \"b\":2}", 0, "E2 1:10"},
      {"{\"a\":1 \"b\":2}", 0, "E2 1:8"},
      {"{\"a\":}", 0, "E3 1:6"},
      {"{\"a\":1", 0, "E2 1:6"},
      {"{", 0, "E8 1:2"},
      // Only white space and comments may follow the root.
      {"[1] x", 0, "E6 1:5"},
      {"truex", 0, "E6 1:5"},
      {"{}/", 0, "E6 1:3"},
      {"[1] // note", 0, "[1]"},
      {"[1] /* open", 0, "[1]"},
      {"/**/1/**/", 0, "1"},
      {"// head\n[1, // one\n 2 /* two */, /* 3\n */ 3 /**/]", 0, "[1,2,3]"},
      {"", 0, "E3 1:1"},
      {"  \t ", 0, "E3 1:5"},
      {"// only", 0, "E3 1:8"},
      {"/*/ 1", 0, "E3 1:6"},
      {"/1", 0, "E3 1:1"},
      {"[/]", 0, "E3 1:2"},
      // A byte-order mark at the very start, counted in the columns.
      {"\xEF\xBB\xBF[1]", 0, "[1]"},
      {"\xEF\xBB\xBF[1] x", 0, "E6 1:8"},
      {" \xEF\xBB\xBF[1]", 0, "E3 1:2"},
      {"\xEF\xBB\xBF", 0, "E3 1:4"},
      // Lines: CR LF counts once; breaks in comments and strings not at all.
      {"{\r\n\"a\": 1\r\n}\r\nx", 0, "E6 4:2"},
      {"[1]\r\rx", 0, "E6 3:2"},
      {"[1]\n\rx", 0, "E6 3:2"},
      {"[1\n,\nx]", 0, "E3 3:2"},
      {"/*\n*/ x", 0, "E3 1:7"},
      {"[\"a\nb\", x]", 0, "E3 1:9"},
      {"[ // c\n  x]", 0, "E3 2:4"},
      {"[\n1,\n  tru]", 0, "E2 3:4"},
      // Literals.
      {"[true,false,null]", 0, "[true,false,null]"},
      {"tru", 0, "E2 1:1"},
      {"True", 0, "E3 1:1"},
      {"[falsey]", 0, "E2 1:7"},
      // Escapes: \u0000 is dropped, \x00 kept as a zero byte.
      {R"("\"\/\\\b\f\n\r\t\v")", 0, R"("\"/\\\b\f\n\r\t\u000B")"},
      {R"(["\u0041\u00e9","\ud83d\uDE00","\uFFFD\uFDD0\uFFFE"])", 0,
       "[\"A\xC3\xA9\",\"\xF0\x9F\x98\x80\",\"\xEF\xBF\xBD\xEF\xB7\x90"
       "\xEF\xBF\xBE\"]"},
      {R"(["\u0000","\x00","\x4A","\xe9","\xFF","\x411","\u00411"])", 0,
       "[\"\",\"\\x00\",\"J\",\"\xC3\xA9\",\"\xC3\xBF\",\"A1\",\"A1\"]"},
      {R"("\q")", 0, "E1 1:3"},
      {"\"\\", 0, "E1 1:2"},
      {R"("\ud83d")", 0, "E1 1:6"},
      {R"("\ud83d\n\n\n")", 0, "E1 1:8"},
      {R"("\ud83dx\ude00")", 0, "E1 1:7"},
      {R"("\ud83d\u0041")", 0, "E1 1:12"},
      {R"("\udc00")", 0, "E1 1:6"},
      {R"("\u12")", 0, "E1 1:3"},
      {R"("\u12g4")", 0, "E1 1:3"},
      // Escapes take exactly their hex digits: no sign, "0x" or space.
      {R"("\x-1")", 0, "E1 1:3"},
      {R"("\x4g")", 0, "E1 1:3"},
      {"\"\\x4", 0, "E1 1:4"},
      {R"("\u+041")", 0, "E1 1:3"},
      {R"("\ud83d\u-e00")", 0, "E1 1:9"},
      // Raw text: control characters and every Unicode scalar value stay.
      {"\"a\tb\x01\"", 0, "\"a\\tb\\u0001\""},
      {"\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"", 0,
       "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\""},
      {"[\"\xEF\xBF\xBE\xEF\xB7\x90\",\"\xF4\x8F\xBF\xBF\"]", 0,
       "[\"\xEF\xBF\xBE\xEF\xB7\x90\",\"\xF4\x8F\xBF\xBF\"]"},
      {"\"\xFF\"", 0, "E7 1:3"},
      {"\"\x80\"", 0, "E7 1:3"},
      {"\"\xC3\"", 0, "E7 1:3"},
      {"\"\xC3", 0, "E7 1:3"},
      {"\"\xC0\xAF\"", 0, "E7 1:4"},
      {"\"\xED\xA0\x80\"", 0, "E7 1:5"},
      {"\"\xF4\x90\x80\x80\"", 0, "E7 1:6"},
      {"\"\xF8\x88\x80\x80\x80\"", 0, "E7 1:7"},
      {"{\"\xFE\":1}", 0, "E7 1:4"},
      // Unterminated: the column runs one past the text's end.
      {"\"ab", 0, "E2 1:4"},
      {"\"", 0, "E2 1:1"},
      {"\"\\n\\", 0, "E1 1:4"},
      {"[\n\"ab", 0, "E2 2:5"},
      {"[\"a\nb", 0, "E2 1:6"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(c.outcome, Outcome(c.json, c.options)) << c.json;

  EXPECT_EQ("\"a\\x00b\"", Outcome(StringPiece("\"a\0b\"", 5)));
  EXPECT_EQ("E3 1:1", Outcome(StringPiece()));
  EXPECT_FALSE(JSONReader::ReadAndReturnError("[1,]", 0, nullptr, nullptr,
                                              nullptr, nullptr));
}

TEST(JSONReaderTest, NestingLimit) {
  std::string open, close;
  for (int i = 0; i < 49; ++i) {
    open += "{\"a\":[";
    close += "]}";
  }
  // The depth comes down again after each container.
  std::string siblings = std::string(98, '[');
  for (int i = 0; i < 200; ++i)
    siblings += "[],";
  const struct {
    std::string json;
    const char* outcome_start;
  } kCases[] = {
      {std::string(99, '[') + std::string(99, ']'), "[[[["},
      {std::string(100, '[') + std::string(100, ']'), "E5 1:100"},
      {open + "{}" + close, "{\"a\":[{"},
      {open + "{\"a\":[", "E5 1:"},
      {siblings + "[]" + std::string(98, ']'), "[[[["},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(0u, Outcome(c.json).find(c.outcome_start)) << c.json;
  }
}

// Every node owns its data: children taken out of the tree outlive both
// the parsed text and the root.
TEST(JSONReaderTest, NodesTakenOutOfTheTreeOwnTheirData) {
  for (int options : {0, int{kParseDetachableChildren}}) {
    auto text = std::make_unique<std::string>(
        "{\"a\":{\"b\":\"plain\",\"c\":[\"listed\"],\"d\":\"x\"},\"e\":\"y\"}");
    std::unique_ptr<Value> root = JSONReader::ReadAndReturnError(
        *text, options, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(root);
    text->assign(text->size(), '#');
    text.reset();
    DictionaryValue* dictionary = nullptr;
    ASSERT_TRUE(root->GetAsDictionary(&dictionary));
    std::unique_ptr<Value> taken[4];
    ListValue* list = nullptr;
    ASSERT_TRUE(dictionary->Remove("a.b", &taken[0]));
    ASSERT_TRUE(dictionary->RemovePath("a.d", &taken[1]));
    ASSERT_TRUE(dictionary->RemoveWithoutPathExpansion("e", &taken[2]));
    ASSERT_TRUE(dictionary->GetList("a.c", &list));
    ASSERT_TRUE(list->Remove(0, &taken[3]));
    root.reset();
    std::string joined;
    for (const auto& value : taken) {
      std::string s;
      EXPECT_TRUE(value->GetAsString(&s));
      joined += s + ",";
    }
    EXPECT_EQ("plain,x,y,listed,", joined);
  }
}

// Only a byte that can start a sequence is decoded as one: a continuation
// byte is refused where it stands, even before another one, and the longest
// obsolete form is refused after the bytes it claims.
TEST(JSONReaderTest, RefusesBytesThatCannotLeadWhereTheyStand) {
  const struct {
    const char* json;
    const char* outcome;
  } kCases[] = {
      {"\"\xBF\x80\"", "E7 1:3"},
      {"\"\xFE\x80\"", "E7 1:3"},
      {"\"\xC3\xA9\xA9\"", "E7 1:5"},
      {"\"\xC2\x80\xC2\"", "E7 1:5"},
      {"\"\xFD\xBF\xBF\xBF\xBF\xBF\"", "E7 1:8"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(c.outcome, Outcome(c.json)) << c.json;
}

}  // namespace
}  // namespace base
