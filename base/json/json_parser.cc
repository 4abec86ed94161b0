#include "base/json/json_parser.h"

#include <math.h>
#include <string.h>

#include <limits>

#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversion_utils.h"
#include "base/values.h"

namespace base {
namespace {

// The outermost container has depth 1; this depth is refused.
constexpr int32_t kStackMaxDepth = 100;

// Error columns may run one past the text's end, and the index must still
// fit in 32 bits there.
constexpr size_t kMaxInputLength = std::numeric_limits<int32_t>::max() - 1;

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr int kByteOrderMarkLength = 3;

bool IsHighSurrogate(uint32_t unit) {
  return (unit & 0xFC00) == 0xD800;
}

bool IsLowSurrogate(uint32_t unit) {
  return (unit & 0xFC00) == 0xDC00;
}

bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// Keeps the nesting depth for the lifetime of one container, however its
// parse ends.
class ScopedNesting {
 public:
  explicit ScopedNesting(int32_t* depth) : depth_(depth) { ++*depth_; }
  ScopedNesting(const ScopedNesting&) = delete;
  ScopedNesting& operator=(const ScopedNesting&) = delete;
  ~ScopedNesting() { --*depth_; }

  bool IsTooDeep() const { return *depth_ >= kStackMaxDepth; }

 private:
  int32_t* const depth_;
};

}  // namespace

JSONParser::JSONParser(int options)
    : options_(options),
      start_(nullptr),
      pos_(nullptr),
      end_(nullptr),
      index_(0),
      stack_depth_(0),
      line_number_(0),
      index_last_line_(0),
      error_code_(0),
      error_line_(0),
      error_column_(0) {}

JSONParser::~JSONParser() = default;

std::unique_ptr<Value> JSONParser::Parse(StringPiece input) {
  start_ = input.data();
  pos_ = start_;
  end_ = start_ + input.size();
  index_ = 0;
  stack_depth_ = 0;
  line_number_ = 1;
  index_last_line_ = 0;
  error_code_ = 0;
  error_line_ = 0;
  error_column_ = 0;

  // No text of the system comes near this size.
  if (input.size() > kMaxInputLength)
    return nullptr;

  if (CanConsume(kByteOrderMarkLength) &&
      memcmp(pos_, kByteOrderMark, kByteOrderMarkLength) == 0) {
    Advance(kByteOrderMarkLength);
  }

  std::unique_ptr<Value> root = ParseNextToken();
  if (!root)
    return nullptr;

  // The cursor rests on the root's last character: only white space and
  // comments may follow it.
  if (GetNextToken() != END_OF_INPUT) {
    NextChar();
    if (GetNextToken() != END_OF_INPUT) {
      ReportError(JSONReader::JSON_UNEXPECTED_DATA_AFTER_ROOT, 1);
      return nullptr;
    }
  }
  return root;
}

std::string JSONParser::GetErrorMessage() const {
  const std::string message = JSONReader::ErrorCodeToString(error_code_);
  if (error_line_ == 0 && error_column_ == 0)
    return message;
  return StringPrintf("Line: %i, column: %i, %s", error_line_, error_column_,
                      message.c_str());
}

void JSONParser::Advance(int count) {
  pos_ += count;
  index_ += count;
}

JSONParser::Token JSONParser::GetNextToken() {
  EatWhitespaceAndComments();
  if (!CanConsume(1))
    return END_OF_INPUT;

  switch (*pos_) {
    case '{':
      return OBJECT_BEGIN;
    case '}':
      return OBJECT_END;
    case '[':
      return ARRAY_BEGIN;
    case ']':
      return ARRAY_END;
    case '"':
      return STRING;
    case '-':
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9':
      return NUMBER;
    case 't':
      return BOOL_TRUE;
    case 'f':
      return BOOL_FALSE;
    case 'n':
      return NULL_TOKEN;
    case ',':
      return LIST_SEPARATOR;
    case ':':
      return PAIR_SEPARATOR;
    default:
      return INVALID_TOKEN;
  }
}

void JSONParser::EatWhitespaceAndComments() {
  while (CanConsume(1)) {
    switch (*pos_) {
      case '\r':
      case '\n':
        index_last_line_ = index_;
        // CR LF is one line break.
        if (!(*pos_ == '\n' && pos_ > start_ && pos_[-1] == '\r'))
          ++line_number_;
        NextChar();
        break;
      case ' ':
      case '\t':
        NextChar();
        break;
      case '/':
        // A '/' that starts no comment stays under the cursor, where it is
        // classified as an invalid token.
        if (!EatComment())
          return;
        break;
      default:
        return;
    }
  }
}

bool JSONParser::EatComment() {
  if (!CanConsume(2))
    return false;

  if (pos_[1] == '/') {
    Advance(2);
    while (CanConsume(1) && *pos_ != '\r' && *pos_ != '\n')
      NextChar();
    return true;
  }

  if (pos_[1] == '*') {
    // The search starts after the opening pair, so "/*/" is still open.
    Advance(2);
    while (CanConsume(1)) {
      if (*pos_ == '*' && CanConsume(2) && pos_[1] == '/') {
        Advance(2);
        return true;
      }
      NextChar();
    }
    // Unterminated: the rest of the text is comment.
    return true;
  }

  return false;
}

std::unique_ptr<Value> JSONParser::ParseNextToken() {
  return ParseToken(GetNextToken());
}

std::unique_ptr<Value> JSONParser::ParseToken(Token token) {
  switch (token) {
    case OBJECT_BEGIN:
      return ConsumeDictionary();
    case ARRAY_BEGIN:
      return ConsumeList();
    case STRING:
      return ConsumeStringValue();
    case NUMBER:
      return ConsumeNumber();
    case BOOL_TRUE:
    case BOOL_FALSE:
    case NULL_TOKEN:
      return ConsumeLiteral();
    default:
      ReportError(JSONReader::JSON_UNEXPECTED_TOKEN, 1);
      return nullptr;
  }
}

std::unique_ptr<Value> JSONParser::ConsumeDictionary() {
  ScopedNesting nesting(&stack_depth_);
  if (nesting.IsTooDeep()) {
    ReportError(JSONReader::JSON_TOO_MUCH_NESTING, 1);
    return nullptr;
  }

  auto dictionary = std::make_unique<DictionaryValue>();
  NextChar();
  Token token = GetNextToken();
  while (token != OBJECT_END) {
    if (token != STRING) {
      ReportError(JSONReader::JSON_UNQUOTED_DICTIONARY_KEY, 1);
      return nullptr;
    }
    std::string key;
    if (!ConsumeString(&key))
      return nullptr;

    NextChar();
    if (GetNextToken() != PAIR_SEPARATOR) {
      ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
      return nullptr;
    }

    NextChar();
    std::unique_ptr<Value> value = ParseNextToken();
    if (!value)
      return nullptr;
    // A repeated key replaces the earlier value; dots are part of the key.
    dictionary->SetWithoutPathExpansion(key, std::move(value));

    NextChar();
    token = GetNextToken();
    if (token == LIST_SEPARATOR) {
      NextChar();
      token = GetNextToken();
      if (token == OBJECT_END && !(options_ & kParseAllowTrailingCommas)) {
        ReportError(JSONReader::JSON_TRAILING_COMMA, 1);
        return nullptr;
      }
    } else if (token != OBJECT_END) {
      ReportError(JSONReader::JSON_SYNTAX_ERROR, 0);
      return nullptr;
    }
  }
  return dictionary;
}

std::unique_ptr<Value> JSONParser::ConsumeList() {
  ScopedNesting nesting(&stack_depth_);
  if (nesting.IsTooDeep()) {
    ReportError(JSONReader::JSON_TOO_MUCH_NESTING, 1);
    return nullptr;
  }

  auto list = std::make_unique<ListValue>();
  NextChar();
  Token token = GetNextToken();
  while (token != ARRAY_END) {
    std::unique_ptr<Value> element = ParseToken(token);
    if (!element)
      return nullptr;
    list->Append(std::move(element));

    NextChar();
    token = GetNextToken();
    if (token == LIST_SEPARATOR) {
      NextChar();
      token = GetNextToken();
      if (token == ARRAY_END && !(options_ & kParseAllowTrailingCommas)) {
        ReportError(JSONReader::JSON_TRAILING_COMMA, 1);
        return nullptr;
      }
    } else if (token != ARRAY_END) {
      ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
      return nullptr;
    }
  }
  return list;
}

std::unique_ptr<Value> JSONParser::ConsumeStringValue() {
  std::string text;
  if (!ConsumeString(&text))
    return nullptr;
  return std::make_unique<StringValue>(text);
}

bool JSONParser::ConsumeString(std::string* out) {
  NextChar();
  if (!CanConsume(1)) {
    ReportError(JSONReader::JSON_SYNTAX_ERROR, 0);
    return false;
  }

  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(start_);
  const int32_t length = static_cast<int32_t>(end_ - start_);
  std::string text;
  while (index_ < length) {
    // The cursor takes the character; the index moves past all its bytes.
    pos_ = start_ + index_;
    const uint8_t lead = bytes[index_++];
    uint32_t code_point = lead;
    if (lead >= 0x80) {
      // The decoder refuses a byte that cannot start a sequence where it
      // stands. Every Unicode scalar value is taken, noncharacters
      // included: the writer writes them as they are, and what it writes
      // must read back.
      const int32_t decoded =
          UTF8NextCharSafeBody(bytes, &index_, length, lead, -1);
      if (decoded < 0) {
        ReportError(JSONReader::JSON_UNSUPPORTED_ENCODING, 1);
        return false;
      }
      code_point = static_cast<uint32_t>(decoded);
    }

    if (code_point == '"') {
      // Cursor and index meet again on the closing quote.
      --index_;
      out->swap(text);
      return true;
    }
    if (code_point == '\\') {
      if (!ConsumeEscape(&text))
        return false;
      continue;
    }
    // Raw control characters are kept as they are.
    if (code_point < 0x80)
      text.push_back(static_cast<char>(code_point));
    else
      WriteUnicodeCharacter(code_point, &text);
  }

  // Unterminated: the error column lies one past the text's end.
  index_ = length + 1;
  ReportError(JSONReader::JSON_SYNTAX_ERROR, 0);
  return false;
}

bool JSONParser::ConsumeEscape(std::string* out) {
  if (!CanConsume(2)) {
    ReportError(JSONReader::JSON_INVALID_ESCAPE, 0);
    return false;
  }
  NextChar();
  switch (*pos_) {
    case '"':
    case '/':
    case '\\':
      out->push_back(*pos_);
      return true;
    case 'b':
      out->push_back('\b');
      return true;
    case 'f':
      out->push_back('\f');
      return true;
    case 'n':
      out->push_back('\n');
      return true;
    case 'r':
      out->push_back('\r');
      return true;
    case 't':
      out->push_back('\t');
      return true;
    case 'v':
      out->push_back('\v');
      return true;
    case 'x':
      return ConsumeHexEscape(out);
    case 'u':
      return ConsumeUnicodeEscape(out);
    default:
      ReportError(JSONReader::JSON_INVALID_ESCAPE, 0);
      return false;
  }
}

bool JSONParser::ConsumeHexEscape(std::string* out) {
  // The letter and two digits.
  if (!CanConsume(3)) {
    ReportError(JSONReader::JSON_INVALID_ESCAPE, 1);
    return false;
  }
  NextChar();
  uint32_t value = 0;
  if (!ReadHexDigits(2, &value)) {
    ReportError(JSONReader::JSON_INVALID_ESCAPE, -1);
    return false;
  }
  NextChar();
  // A Latin-1 character: 0x80 and up become two UTF-8 bytes.
  if (value < 0x80)
    out->push_back(static_cast<char>(value));
  else
    WriteUnicodeCharacter(value, out);
  return true;
}

bool JSONParser::ConsumeUnicodeEscape(std::string* out) {
  // The letter and four digits.
  if (!CanConsume(5)) {
    ReportError(JSONReader::JSON_INVALID_ESCAPE, 0);
    return false;
  }
  NextChar();
  uint32_t code_point = 0;
  if (!ReadHexDigits(4, &code_point)) {
    ReportError(JSONReader::JSON_INVALID_ESCAPE, -1);
    return false;
  }
  Advance(3);

  if (IsHighSurrogate(code_point)) {
    // The fourth digit and "\uDCxx".
    if (!CanConsume(7)) {
      ReportError(JSONReader::JSON_INVALID_ESCAPE, -1);
      return false;
    }
    NextChar();
    if (*pos_ != '\\') {
      ReportError(JSONReader::JSON_INVALID_ESCAPE, -1);
      return false;
    }
    NextChar();
    if (*pos_ != 'u') {
      ReportError(JSONReader::JSON_INVALID_ESCAPE, -1);
      return false;
    }
    NextChar();
    uint32_t low_unit = 0;
    if (!ReadHexDigits(4, &low_unit)) {
      ReportError(JSONReader::JSON_INVALID_ESCAPE, -1);
      return false;
    }
    Advance(3);
    if (!IsLowSurrogate(low_unit)) {
      ReportError(JSONReader::JSON_INVALID_ESCAPE, -1);
      return false;
    }
    code_point = 0x10000 + ((code_point - 0xD800) << 10) + (low_unit - 0xDC00);
  } else if (IsLowSurrogate(code_point)) {
    ReportError(JSONReader::JSON_INVALID_ESCAPE, -1);
    return false;
  }

  // "\u0000" is dropped, so that no text read through \u carries a NUL.
  if (code_point != 0)
    WriteUnicodeCharacter(code_point, out);
  return true;
}

bool JSONParser::ReadHexDigits(int digits, uint32_t* out) const {
  uint32_t value = 0;
  for (int i = 0; i < digits; ++i) {
    const int digit = HexDigitValue(pos_[i]);
    if (digit < 0)
      return false;
    value = (value << 4) | static_cast<uint32_t>(digit);
  }
  *out = value;
  return true;
}

std::unique_ptr<Value> JSONParser::ConsumeNumber() {
  const char* const number_start = pos_;
  if (*pos_ == '-')
    NextChar();

  if (!ReadInt(false)) {
    ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
    return nullptr;
  }
  if (CanConsume(1) && *pos_ == '.') {
    NextChar();
    if (!ReadInt(true)) {
      ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
      return nullptr;
    }
  }
  if (CanConsume(1) && (*pos_ == 'e' || *pos_ == 'E')) {
    NextChar();
    if (CanConsume(1) && (*pos_ == '-' || *pos_ == '+'))
      NextChar();
    if (!ReadInt(true)) {
      ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
      return nullptr;
    }
  }
  const StringPiece number_text(number_start, pos_ - number_start);

  // Only a container's end, a separator or the end of the text may follow.
  // The look-ahead is undone, line count included, leaving the cursor on the
  // number's last character.
  const char* const last_char = pos_ - 1;
  const int32_t last_char_index = index_ - 1;
  const int32_t line_number = line_number_;
  const int32_t index_last_line = index_last_line_;
  const Token next = GetNextToken();
  if (next != OBJECT_END && next != ARRAY_END && next != LIST_SEPARATOR &&
      next != END_OF_INPUT) {
    ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
    return nullptr;
  }
  pos_ = last_char;
  index_ = last_char_index;
  line_number_ = line_number;
  index_last_line_ = index_last_line;

  int integer_value = 0;
  if (StringToInt(number_text, &integer_value))
    return std::make_unique<FundamentalValue>(integer_value);

  // The syntax is checked, so only the range can fail the conversion. A
  // subnormal number, which the writer writes, still reads; one beyond a
  // double's range, or one that falls to zero, fails without an error code.
  double double_value = 0;
  const bool converted = StringToDouble(number_text.as_string(), &double_value);
  if (!std::isfinite(double_value) || (!converted && double_value == 0))
    return nullptr;
  return std::make_unique<FundamentalValue>(double_value);
}

bool JSONParser::ReadInt(bool allow_leading_zeros) {
  const char* const first = pos_;
  while (CanConsume(1) && IsAsciiDigit(*pos_))
    NextChar();
  const ptrdiff_t digits = pos_ - first;
  if (digits == 0)
    return false;
  return allow_leading_zeros || digits == 1 || *first != '0';
}

std::unique_ptr<Value> JSONParser::ConsumeLiteral() {
  const char first = *pos_;
  const StringPiece literal =
      first == 't'
          ? StringPiece("true")
          : (first == 'f' ? StringPiece("false") : StringPiece("null"));
  const int length = static_cast<int>(literal.size());
  if (!CanConsume(length) || memcmp(pos_, literal.data(), length) != 0) {
    ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
    return nullptr;
  }
  Advance(length - 1);
  if (first == 'n')
    return Value::CreateNullValue();
  return std::make_unique<FundamentalValue>(first == 't');
}

void JSONParser::ReportError(JSONReader::JsonParseError code,
                             int column_adjust) {
  error_code_ = code;
  error_line_ = line_number_;
  error_column_ = index_ - index_last_line_ + column_adjust;
}

}  // namespace base
