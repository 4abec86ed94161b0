#include "base/json/json_reader.h"

#include <memory>
#include <string>

#include "base/json/json_parser.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

struct ParseResult {
  std::unique_ptr<Value> root;
  int code = -1;
  std::string message = "untouched";
  int line = -1;
  int column = -1;
};

ParseResult Parse(StringPiece json, int options = 0) {
  ParseResult result;
  result.root = JSONReader::ReadAndReturnError(json, options, &result.code,
                                               &result.message, &result.line,
                                               &result.column);
  return result;
}

// The full error message of a text that must fail.
std::string ErrorOf(StringPiece json, int options = 0) {
  ParseResult result = Parse(json, options);
  EXPECT_FALSE(result.root) << json;
  return result.message;
}

int ErrorCodeOf(StringPiece json, int options = 0) {
  ParseResult result = Parse(json, options);
  EXPECT_FALSE(result.root) << json;
  return result.code;
}

// The text of a string root.
std::string StringOf(StringPiece json) {
  std::unique_ptr<Value> root = JSONReader::Read(json);
  std::string text = "<failed>";
  EXPECT_TRUE(root && root->GetAsString(&text)) << json;
  return text;
}

TEST(JSONReaderTest, ErrorCodeToString) {
  EXPECT_EQ("Invalid escape sequence.", JSONReader::ErrorCodeToString(1));
  EXPECT_EQ("Syntax error.", JSONReader::ErrorCodeToString(2));
  EXPECT_EQ("Unexpected token.", JSONReader::ErrorCodeToString(3));
  EXPECT_EQ("Trailing comma not allowed.", JSONReader::ErrorCodeToString(4));
  EXPECT_EQ("Too much nesting.", JSONReader::ErrorCodeToString(5));
  EXPECT_EQ("Unexpected data after root element.",
            JSONReader::ErrorCodeToString(6));
  EXPECT_EQ("Unsupported encoding. JSON must be UTF-8.",
            JSONReader::ErrorCodeToString(7));
  EXPECT_EQ("Dictionary keys must be quoted.",
            JSONReader::ErrorCodeToString(8));
  EXPECT_EQ("", JSONReader::ErrorCodeToString(0));
  EXPECT_EQ("", JSONReader::ErrorCodeToString(9));
  EXPECT_EQ("", JSONReader::ErrorCodeToString(-1));
}

TEST(JSONReaderTest, ErrorOutputsAreWrittenOnlyOnFailure) {
  ParseResult result = Parse("[1]");
  ASSERT_TRUE(result.root);
  EXPECT_EQ(-1, result.code);
  EXPECT_EQ("untouched", result.message);
  EXPECT_EQ(-1, result.line);
  EXPECT_EQ(-1, result.column);

  result = Parse("[1,]");
  EXPECT_FALSE(result.root);
  EXPECT_EQ(JSONReader::JSON_TRAILING_COMMA, result.code);
  EXPECT_EQ("Line: 1, column: 4, Trailing comma not allowed.", result.message);
  EXPECT_EQ(1, result.line);
  EXPECT_EQ(4, result.column);

  // Every out-parameter is optional.
  EXPECT_FALSE(JSONReader::ReadAndReturnError("[1,]", 0, nullptr, nullptr,
                                              nullptr, nullptr));
}

TEST(JSONReaderTest, TrailingCommas) {
  EXPECT_EQ("Line: 1, column: 4, Trailing comma not allowed.", ErrorOf("[1,]"));
  EXPECT_EQ("Line: 1, column: 8, Trailing comma not allowed.",
            ErrorOf("{\"a\":1,}"));

  ParseResult result = Parse("[1,]", kParseAllowTrailingCommas);
  ASSERT_TRUE(result.root);
  ListValue expected;
  expected.AppendInteger(1);
  EXPECT_TRUE(result.root->Equals(&expected));

  result = Parse("{\"a\":1,}", kParseAllowTrailingCommas);
  ASSERT_TRUE(result.root);
  DictionaryValue expected_dictionary;
  expected_dictionary.SetInteger("a", 1);
  EXPECT_TRUE(result.root->Equals(&expected_dictionary));

  // Only one comma, and only after an element.
  EXPECT_EQ("Line: 1, column: 4, Unexpected token.", ErrorOf("[1,,2]"));
  EXPECT_EQ(JSONReader::JSON_UNEXPECTED_TOKEN,
            ErrorCodeOf("[1,,2]", kParseAllowTrailingCommas));
  EXPECT_EQ(JSONReader::JSON_UNEXPECTED_TOKEN,
            ErrorCodeOf("[,]", kParseAllowTrailingCommas));
  EXPECT_EQ(JSONReader::JSON_UNQUOTED_DICTIONARY_KEY,
            ErrorCodeOf("{,}", kParseAllowTrailingCommas));
}

TEST(JSONReaderTest, NumbersAtTheIntDoubleBoundary) {
  struct {
    const char* json;
    Value::Type type;
    double value;
  } const kCases[] = {
      {"0", Value::TYPE_INTEGER, 0},
      {"-0", Value::TYPE_INTEGER, 0},
      {"2147483647", Value::TYPE_INTEGER, 2147483647.0},
      {"-2147483648", Value::TYPE_INTEGER, -2147483648.0},
      {"2147483648", Value::TYPE_DOUBLE, 2147483648.0},
      {"-2147483649", Value::TYPE_DOUBLE, -2147483649.0},
      {"1.0", Value::TYPE_DOUBLE, 1.0},
      {"0.5", Value::TYPE_DOUBLE, 0.5},
      {"1E+05", Value::TYPE_DOUBLE, 100000.0},
      {"1e5", Value::TYPE_DOUBLE, 100000.0},
      {"-1.25e-2", Value::TYPE_DOUBLE, -0.0125},
      {"0.00e007", Value::TYPE_DOUBLE, 0.0},
      {"9007199254740993", Value::TYPE_DOUBLE, 9007199254740992.0},
  };
  for (const auto& test_case : kCases) {
    std::unique_ptr<Value> root = JSONReader::Read(test_case.json);
    ASSERT_TRUE(root) << test_case.json;
    EXPECT_EQ(test_case.type, root->GetType()) << test_case.json;
    double value = -1;
    EXPECT_TRUE(root->GetAsDouble(&value));
    EXPECT_EQ(test_case.value, value) << test_case.json;
  }
}

TEST(JSONReaderTest, MalformedNumbers) {
  EXPECT_EQ("Line: 1, column: 3, Syntax error.", ErrorOf("01"));
  EXPECT_EQ(JSONReader::JSON_SYNTAX_ERROR, ErrorCodeOf("-01"));
  EXPECT_EQ(JSONReader::JSON_SYNTAX_ERROR, ErrorCodeOf("-"));
  EXPECT_EQ(JSONReader::JSON_SYNTAX_ERROR, ErrorCodeOf("-a"));
  EXPECT_EQ(JSONReader::JSON_SYNTAX_ERROR, ErrorCodeOf("1."));
  EXPECT_EQ(JSONReader::JSON_SYNTAX_ERROR, ErrorCodeOf("1.e5"));
  EXPECT_EQ(JSONReader::JSON_SYNTAX_ERROR, ErrorCodeOf("1e"));
  EXPECT_EQ(JSONReader::JSON_SYNTAX_ERROR, ErrorCodeOf("1e+"));
  EXPECT_EQ(JSONReader::JSON_SYNTAX_ERROR, ErrorCodeOf("--1"));
  EXPECT_EQ(JSONReader::JSON_UNEXPECTED_TOKEN, ErrorCodeOf(".5"));
  EXPECT_EQ(JSONReader::JSON_UNEXPECTED_TOKEN, ErrorCodeOf("+1"));
  // What follows a number is checked with the number.
  EXPECT_EQ("Line: 1, column: 3, Syntax error.", ErrorOf("1 2"));
  EXPECT_EQ("Line: 1, column: 4, Syntax error.", ErrorOf("[1 2]"));
  EXPECT_EQ(JSONReader::JSON_SYNTAX_ERROR, ErrorCodeOf("{\"a\":1x}"));
  EXPECT_EQ(JSONReader::JSON_SYNTAX_ERROR, ErrorCodeOf("[0x10]"));

  // Out of a double's range: a failure without an error.
  for (const char* json : {"1e999", "-1e999", "[1, {\"a\": [1e400]}]"}) {
    ParseResult result = Parse(json);
    EXPECT_FALSE(result.root) << json;
    EXPECT_EQ(0, result.code) << json;
    EXPECT_EQ("", result.message) << json;
    EXPECT_EQ(0, result.line) << json;
    EXPECT_EQ(0, result.column) << json;
  }
}

TEST(JSONReaderTest, NestingLimit) {
  const std::string deepest_list = std::string(99, '[') + std::string(99, ']');
  EXPECT_TRUE(JSONReader::Read(deepest_list));
  EXPECT_EQ("Line: 1, column: 100, Too much nesting.",
            ErrorOf(std::string(100, '[') + std::string(100, ']')));

  std::string deepest_mixed;
  for (int i = 0; i < 49; ++i)
    deepest_mixed += "{\"a\":[";
  deepest_mixed += "{}";
  for (int i = 0; i < 49; ++i)
    deepest_mixed += "]}";
  EXPECT_TRUE(JSONReader::Read(deepest_mixed));

  std::string too_deep_mixed;
  for (int i = 0; i < 50; ++i)
    too_deep_mixed += "{\"a\":[";
  EXPECT_EQ(JSONReader::JSON_TOO_MUCH_NESTING, ErrorCodeOf(too_deep_mixed));

  // The depth comes down again after each container: many siblings at the
  // deepest level are fine.
  std::string siblings = std::string(98, '[');
  for (int i = 0; i < 200; ++i)
    siblings += "[],";
  siblings += "[]" + std::string(98, ']');
  EXPECT_TRUE(JSONReader::Read(siblings));
}

TEST(JSONReaderTest, Dictionaries) {
  EXPECT_EQ("Line: 1, column: 2, Dictionary keys must be quoted.",
            ErrorOf("{a:1}"));
  EXPECT_EQ("Line: 1, column: 6, Syntax error.", ErrorOf("{\"a\" 1}"));
  EXPECT_EQ("Line: 1, column: 8, Dictionary keys must be quoted.",
            ErrorOf("{\"a\":1,2}"));
  // A missing comma after a literal reports the column before the next key;
  // after a number, the number's own check reports the key itself.
  EXPECT_EQ("Line: 1, column: 10, Syntax error.",
            ErrorOf("{\"a\":true \"b\":2}"));
  EXPECT_EQ("Line: 1, column: 8, Syntax error.", ErrorOf("{\"a\":1 \"b\":2}"));
  EXPECT_EQ(JSONReader::JSON_UNEXPECTED_TOKEN, ErrorCodeOf("{\"a\":}"));
  EXPECT_EQ(JSONReader::JSON_SYNTAX_ERROR, ErrorCodeOf("{\"a\":1"));
  EXPECT_EQ(JSONReader::JSON_UNQUOTED_DICTIONARY_KEY, ErrorCodeOf("{"));

  // The last of repeated keys wins; dots and escapes in keys are literal.
  std::unique_ptr<Value> root =
      JSONReader::Read("{\"a\":1,\"a.b\":2,\"a\":3,\"\\u0041\":4,\"\":5}");
  ASSERT_TRUE(root);
  DictionaryValue* dictionary = nullptr;
  ASSERT_TRUE(root->GetAsDictionary(&dictionary));
  EXPECT_EQ(4u, dictionary->size());
  int value = 0;
  EXPECT_TRUE(dictionary->GetInteger("a", &value));
  EXPECT_EQ(3, value);
  const Value* dotted = nullptr;
  ASSERT_TRUE(dictionary->GetWithoutPathExpansion("a.b", &dotted));
  EXPECT_TRUE(dotted->GetAsInteger(&value));
  EXPECT_EQ(2, value);
  EXPECT_TRUE(dictionary->GetInteger("A", &value));
  EXPECT_EQ(4, value);
  ASSERT_TRUE(dictionary->GetWithoutPathExpansion("", &dotted));
}

TEST(JSONReaderTest, DataAfterRoot) {
  EXPECT_EQ("Line: 1, column: 5, Unexpected data after root element.",
            ErrorOf("[1] x"));
  EXPECT_EQ("Line: 1, column: 4, Unexpected data after root element.",
            ErrorOf("[1][2]"));
  EXPECT_EQ(JSONReader::JSON_UNEXPECTED_DATA_AFTER_ROOT,
            ErrorCodeOf("\"a\" \"b\""));
  EXPECT_EQ(JSONReader::JSON_UNEXPECTED_DATA_AFTER_ROOT, ErrorCodeOf("truex"));
  EXPECT_EQ(JSONReader::JSON_UNEXPECTED_DATA_AFTER_ROOT, ErrorCodeOf("{}/"));

  for (const char* json : {"[1] // note", "[1] /* open", "[1] /* a */ ",
                           "  [1]\r\n\t", "1 // x", "/**/1/**/"}) {
    EXPECT_TRUE(JSONReader::Read(json)) << json;
  }
}

TEST(JSONReaderTest, EmptyTextAndCommentsOnly) {
  EXPECT_EQ("Line: 1, column: 1, Unexpected token.", ErrorOf(""));
  EXPECT_EQ("Line: 1, column: 1, Unexpected token.", ErrorOf(StringPiece()));
  EXPECT_EQ(JSONReader::JSON_UNEXPECTED_TOKEN, ErrorCodeOf("  \t "));
  EXPECT_EQ(JSONReader::JSON_UNEXPECTED_TOKEN, ErrorCodeOf("// only"));
  EXPECT_EQ(JSONReader::JSON_UNEXPECTED_TOKEN, ErrorCodeOf("/* only */"));
  // "/*/" does not close the comment it opens.
  EXPECT_EQ(JSONReader::JSON_UNEXPECTED_TOKEN, ErrorCodeOf("/*/ 1"));
  // A '/' that starts no comment is itself the unexpected token.
  EXPECT_EQ("Line: 1, column: 1, Unexpected token.", ErrorOf("/1"));
  EXPECT_EQ(JSONReader::JSON_UNEXPECTED_TOKEN, ErrorCodeOf("[/]"));
}

TEST(JSONReaderTest, Comments) {
  std::unique_ptr<Value> root = JSONReader::Read(
      "// head\n[1, // one\n 2 /* two */, /* three\n */ 3 /**/]");
  ASSERT_TRUE(root);
  ListValue expected;
  expected.AppendInteger(1);
  expected.AppendInteger(2);
  expected.AppendInteger(3);
  EXPECT_TRUE(root->Equals(&expected));
}

TEST(JSONReaderTest, ByteOrderMark) {
  std::unique_ptr<Value> root = JSONReader::Read("\xEF\xBB\xBF[1]");
  ASSERT_TRUE(root);
  EXPECT_TRUE(root->IsType(Value::TYPE_LIST));
  // The mark still counts in the columns of line 1.
  EXPECT_EQ("Line: 1, column: 8, Unexpected data after root element.",
            ErrorOf("\xEF\xBB\xBF[1] x"));
  // Only at the very start, and only whole.
  EXPECT_EQ(JSONReader::JSON_UNEXPECTED_TOKEN, ErrorCodeOf(" \xEF\xBB\xBF[1]"));
  EXPECT_EQ(JSONReader::JSON_UNEXPECTED_TOKEN, ErrorCodeOf("\xEF\xBB[1]"));
  EXPECT_EQ(JSONReader::JSON_UNEXPECTED_TOKEN, ErrorCodeOf("\xEF\xBB\xBF"));
}

TEST(JSONReaderTest, LineAndColumnCounting) {
  // Lines "{", "\"a\": 1", "}" and "x": CR LF counts once. A column on a
  // later line is counted from the line break itself.
  EXPECT_EQ("Line: 4, column: 2, Unexpected data after root element.",
            ErrorOf("{\r\n\"a\": 1\r\n}\r\nx"));
  EXPECT_EQ("Line: 4, column: 2, Unexpected data after root element.",
            ErrorOf("{\n\"a\": 1\n}\nx"));
  // Lone CRs and LF CR pairs count each break.
  EXPECT_EQ("Line: 3, column: 2, Unexpected data after root element.",
            ErrorOf("[1]\r\rx"));
  EXPECT_EQ("Line: 3, column: 2, Unexpected data after root element.",
            ErrorOf("[1]\n\rx"));
  // The look-ahead after a number does not count its line breaks twice.
  EXPECT_EQ("Line: 3, column: 2, Unexpected token.", ErrorOf("[1\n,\nx]"));
  // Line breaks in block comments and strings are not counted.
  EXPECT_EQ("Line: 1, column: 7, Unexpected token.", ErrorOf("/*\n*/ x"));
  EXPECT_EQ("Line: 1, column: 9, Unexpected token.", ErrorOf("[\"a\nb\", x]"));
  // A line comment ends at the line break, which is counted.
  EXPECT_EQ("Line: 2, column: 4, Unexpected token.", ErrorOf("[ // c\n  x]"));
  EXPECT_EQ("Line: 3, column: 4, Syntax error.", ErrorOf("[\n1,\n  tru]"));
}

TEST(JSONReaderTest, Literals) {
  std::unique_ptr<Value> root = JSONReader::Read("[true,false,null]");
  ASSERT_TRUE(root);
  ListValue expected;
  expected.AppendBoolean(true);
  expected.AppendBoolean(false);
  expected.Append(Value::CreateNullValue());
  EXPECT_TRUE(root->Equals(&expected));

  EXPECT_EQ("Line: 1, column: 1, Syntax error.", ErrorOf("tru"));
  EXPECT_EQ(JSONReader::JSON_SYNTAX_ERROR, ErrorCodeOf("nul"));
  EXPECT_EQ(JSONReader::JSON_SYNTAX_ERROR, ErrorCodeOf("tRue"));
  EXPECT_EQ(JSONReader::JSON_UNEXPECTED_TOKEN, ErrorCodeOf("True"));
  EXPECT_EQ(JSONReader::JSON_SYNTAX_ERROR, ErrorCodeOf("[fals]"));
  EXPECT_EQ(JSONReader::JSON_SYNTAX_ERROR, ErrorCodeOf("[nulL]"));
  EXPECT_EQ("Line: 1, column: 7, Syntax error.", ErrorOf("[falsey]"));
}

TEST(JSONReaderTest, StringEscapes) {
  EXPECT_EQ("\"/\\\b\f\n\r\t\v", StringOf("\"\\\"\\/\\\\\\b\\f\\n\\r\\t\\v\""));
  EXPECT_EQ("A\xC3\xA9", StringOf("\"\\u0041\\u00e9\""));
  EXPECT_EQ("\xF0\x9F\x98\x80", StringOf("\"\\ud83d\\uDE00\""));
  EXPECT_EQ("\xEF\xBF\xBD", StringOf("\"\\uFFFD\""));
  EXPECT_EQ("\xEF\xB7\xB0", StringOf("\"\\uFDF0\""));
  // \u0000 is dropped, while \x00 is kept as a zero byte.
  EXPECT_EQ("", StringOf("\"\\u0000\""));
  EXPECT_EQ(std::string(1, '\0'), StringOf("\"\\x00\""));
  EXPECT_EQ("A", StringOf("\"\\x41\""));
  EXPECT_EQ("\xC3\xA9", StringOf("\"\\xe9\""));
  EXPECT_EQ("\xC3\xBF", StringOf("\"\\xFF\""));

  EXPECT_EQ("Line: 1, column: 3, Invalid escape sequence.", ErrorOf("\"\\q\""));
  EXPECT_EQ(JSONReader::JSON_INVALID_ESCAPE, ErrorCodeOf("\"\\U0041\""));
  EXPECT_EQ("Line: 1, column: 2, Invalid escape sequence.", ErrorOf("\"\\"));
  EXPECT_EQ("Line: 1, column: 6, Invalid escape sequence.",
            ErrorOf("\"\\ud83d\""));
  EXPECT_EQ(JSONReader::JSON_INVALID_ESCAPE,
            ErrorCodeOf("\"\\ud83d\\n\\n\\n\""));
  EXPECT_EQ(JSONReader::JSON_INVALID_ESCAPE,
            ErrorCodeOf("\"\\ud83dx\\ude00\""));
  EXPECT_EQ(JSONReader::JSON_INVALID_ESCAPE, ErrorCodeOf("\"\\ud83d\\u0041\""));
  EXPECT_EQ(JSONReader::JSON_INVALID_ESCAPE, ErrorCodeOf("\"\\udc00\""));
  EXPECT_EQ(JSONReader::JSON_INVALID_ESCAPE, ErrorCodeOf("\"\\uFFFE\""));
  EXPECT_EQ(JSONReader::JSON_INVALID_ESCAPE, ErrorCodeOf("\"\\uFDD0\""));
  EXPECT_EQ(JSONReader::JSON_INVALID_ESCAPE, ErrorCodeOf("\"\\udbff\\udfff\""));
  EXPECT_EQ(JSONReader::JSON_INVALID_ESCAPE, ErrorCodeOf("\"\\u12\""));
  EXPECT_EQ(JSONReader::JSON_INVALID_ESCAPE, ErrorCodeOf("\"\\u12g4\""));
}

// An escape takes exactly its number of hex digits: no sign, no "0x" and no
// white space, which a general number conversion would let through.
TEST(JSONReaderTest, HexEscapesTakeExactlyTheirDigits) {
  EXPECT_EQ("Line: 1, column: 3, Invalid escape sequence.",
            ErrorOf("\"\\x-1\""));
  EXPECT_EQ(JSONReader::JSON_INVALID_ESCAPE, ErrorCodeOf("\"\\x+1\""));
  EXPECT_EQ(JSONReader::JSON_INVALID_ESCAPE, ErrorCodeOf("\"\\x 1\""));
  EXPECT_EQ(JSONReader::JSON_INVALID_ESCAPE, ErrorCodeOf("\"\\x4\""));
  EXPECT_EQ(JSONReader::JSON_INVALID_ESCAPE, ErrorCodeOf("\"\\x4g\""));
  // Fewer than two characters left after the letter.
  EXPECT_EQ("Line: 1, column: 4, Invalid escape sequence.", ErrorOf("\"\\x4"));
  EXPECT_EQ(JSONReader::JSON_INVALID_ESCAPE, ErrorCodeOf("\"\\u-041\""));
  EXPECT_EQ(JSONReader::JSON_INVALID_ESCAPE, ErrorCodeOf("\"\\u+041\""));
  EXPECT_EQ(JSONReader::JSON_INVALID_ESCAPE, ErrorCodeOf("\"\\u0x41\""));
  EXPECT_EQ(JSONReader::JSON_INVALID_ESCAPE, ErrorCodeOf("\"\\ud83d\\u-e00\""));
  // The digits after a valid escape are ordinary text.
  EXPECT_EQ("A1", StringOf("\"\\x411\""));
  EXPECT_EQ("A1", StringOf("\"\\u00411\""));
}

TEST(JSONReaderTest, StringEncoding) {
  // Raw control characters and valid UTF-8 stay as they are.
  EXPECT_EQ("a\tb\nc\x01", StringOf("\"a\tb\nc\x01\""));
  EXPECT_EQ(std::string("a\0b", 3), StringOf(StringPiece("\"a\0b\"", 5)));
  EXPECT_EQ("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
            StringOf("\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\""));

  EXPECT_EQ("Line: 1, column: 3, Unsupported encoding. JSON must be UTF-8.",
            ErrorOf("\"\xFF\""));
  for (const char* json : {
           "\"\x80\"",              // stray continuation byte
           "\"\xC3\"",              // truncated before the quote
           "\"\xC0\xAF\"",          // overlong '/'
           "\"\xED\xA0\x80\"",      // encoded surrogate
           "\"\xF4\x90\x80\x80\"",  // above U+10FFFF
           "\"\xEF\xBF\xBE\"",      // noncharacter U+FFFE
           "\"\xEF\xB7\x90\"",      // noncharacter U+FDD0
           "\"\xF0\x9F\xBF\xBF\"",  // noncharacter U+1FFFF
           "\"\xF8\x88\x80\x80\x80\"",
           "{\"\xFE\":1}",
       }) {
    EXPECT_EQ(JSONReader::JSON_UNSUPPORTED_ENCODING, ErrorCodeOf(json)) << json;
  }
  EXPECT_EQ(JSONReader::JSON_UNSUPPORTED_ENCODING, ErrorCodeOf("\"\xC3"));
}

TEST(JSONReaderTest, UnterminatedStrings) {
  EXPECT_EQ("Line: 1, column: 4, Syntax error.", ErrorOf("\"ab"));
  EXPECT_EQ("Line: 1, column: 1, Syntax error.", ErrorOf("\""));
  EXPECT_EQ("Line: 1, column: 4, Syntax error.", ErrorOf("\"\\n"));
  EXPECT_EQ("Line: 1, column: 4, Invalid escape sequence.", ErrorOf("\"\\n\\"));
  // The column runs one past the text's end, counted from the last line
  // break outside the string.
  EXPECT_EQ("Line: 2, column: 5, Syntax error.", ErrorOf("[\n\"ab"));
  EXPECT_EQ("Line: 1, column: 6, Syntax error.", ErrorOf("[\"a\nb"));
}

// No node of a parsed tree refers into the parsed text or into the root:
// children taken out of the tree outlive both.
TEST(JSONReaderTest, NodesTakenOutOfTheTreeOwnTheirData) {
  const char kJson[] =
      "{\"a\":{\"b\":\"plain text\",\"c\":[\"in a list\"],\"d\":\"x\"},"
      "\"e\":\"root child\"}";
  for (int options : {0, int{kParseDetachableChildren}}) {
    auto text = std::make_unique<std::string>(kJson);
    std::unique_ptr<Value> root = JSONReader::ReadAndReturnError(
        *text, options, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(root);
    // Overwrite and free the input first.
    text->assign(text->size(), '#');
    text.reset();

    DictionaryValue* dictionary = nullptr;
    ASSERT_TRUE(root->GetAsDictionary(&dictionary));
    std::unique_ptr<Value> nested;
    ASSERT_TRUE(dictionary->Remove("a.b", &nested));
    std::unique_ptr<Value> by_path;
    ASSERT_TRUE(dictionary->RemovePath("a.d", &by_path));
    std::unique_ptr<Value> direct;
    ASSERT_TRUE(dictionary->RemoveWithoutPathExpansion("e", &direct));
    ListValue* list = nullptr;
    ASSERT_TRUE(dictionary->GetList("a.c", &list));
    std::unique_ptr<Value> element;
    ASSERT_TRUE(list->Remove(0, &element));
    // A node swapped out of the tree, and a string node seen as a string.
    ListValue swapped;
    list->Swap(&swapped);
    list->AppendString("refill");
    const StringValue* string_node = nullptr;
    EXPECT_TRUE(nested->GetAsString(&string_node));

    root.reset();

    std::string value;
    EXPECT_TRUE(nested->GetAsString(&value));
    EXPECT_EQ("plain text", value);
    EXPECT_TRUE(by_path->GetAsString(&value));
    EXPECT_EQ("x", value);
    EXPECT_TRUE(direct->GetAsString(&value));
    EXPECT_EQ("root child", value);
    EXPECT_TRUE(element->GetAsString(&value));
    EXPECT_EQ("in a list", value);
    EXPECT_TRUE(swapped.empty());
    const StringValue expected("plain text");
    EXPECT_TRUE(nested->Equals(&expected));
  }
}

TEST(JSONReaderTest, ParserReportsThroughItsAccessors) {
  JSONParser parser(0);
  EXPECT_FALSE(parser.Parse("[\n1,\n  tru]"));
  EXPECT_EQ(JSONReader::JSON_SYNTAX_ERROR, parser.error_code());
  EXPECT_EQ(3, parser.error_line());
  EXPECT_EQ(4, parser.error_column());
  EXPECT_EQ("Line: 3, column: 4, Syntax error.", parser.GetErrorMessage());

  // A parser that succeeded, or failed without a code, reports no message.
  JSONParser succeeded(0);
  EXPECT_TRUE(succeeded.Parse("{}"));
  EXPECT_EQ(0, succeeded.error_code());
  EXPECT_EQ("", succeeded.GetErrorMessage());
}

}  // namespace
}  // namespace base
