#ifndef BASE_JSON_JSON_PARSER_H_
#define BASE_JSON_JSON_PARSER_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/json/json_reader.h"
#include "base/strings/string_piece.h"

namespace base {

class Value;

// Recursive-descent parser behind JSONReader; one object serves one parse.
//
// The cursor rests on the last character of what was consumed last; the code
// that wants the next token steps one character first. The index is the
// cursor's distance from the start of the text (a byte-order mark included)
// and gives error columns. Inside a string the index runs one character
// ahead of the cursor, so that an error there reports the column after the
// character being read.
//
// Every node of the tree owns its data: no string refers into the input,
// which the caller may free as soon as Parse returns.
class JSONParser {
 public:
  // |options| is a JSONParserOptions bit set.
  explicit JSONParser(int options);
  JSONParser(const JSONParser&) = delete;
  JSONParser& operator=(const JSONParser&) = delete;
  ~JSONParser();

  // The tree, or null with the error fields describing the first error. The
  // text is read within its bounds only; it needs no terminator.
  std::unique_ptr<Value> Parse(StringPiece input);

  int error_code() const { return error_code_; }
  int error_line() const { return error_line_; }
  int error_column() const { return error_column_; }
  // "Line: %i, column: %i, <message>", or the bare message when there is no
  // position (empty for JSON_NO_ERROR).
  std::string GetErrorMessage() const;

 private:
  enum Token {
    OBJECT_BEGIN,
    OBJECT_END,
    ARRAY_BEGIN,
    ARRAY_END,
    STRING,
    NUMBER,
    BOOL_TRUE,
    BOOL_FALSE,
    NULL_TOKEN,
    LIST_SEPARATOR,
    PAIR_SEPARATOR,
    END_OF_INPUT,
    INVALID_TOKEN,
  };

  // Moves the cursor and the index together.
  void Advance(int count);
  void NextChar() { Advance(1); }
  bool CanConsume(int count) const { return end_ - pos_ >= count; }

  // Skips white space and comments, then classifies the character at the
  // cursor.
  Token GetNextToken();
  void EatWhitespaceAndComments();
  // Skips the comment at the cursor; false when the '/' there starts none.
  bool EatComment();

  // Steps past nothing: the value starts at the token under the cursor.
  std::unique_ptr<Value> ParseNextToken();
  std::unique_ptr<Value> ParseToken(Token token);
  std::unique_ptr<Value> ConsumeDictionary();
  std::unique_ptr<Value> ConsumeList();
  std::unique_ptr<Value> ConsumeStringValue();
  // Reads the string whose opening quote is under the cursor; the cursor
  // ends on the closing quote.
  bool ConsumeString(std::string* out);
  // The cursor is on the backslash; it ends on the escape's last character.
  bool ConsumeEscape(std::string* out);
  bool ConsumeHexEscape(std::string* out);
  bool ConsumeUnicodeEscape(std::string* out);
  // Reads exactly |digits| hex digits from the cursor on, without moving it.
  bool ReadHexDigits(int digits, uint32_t* out) const;
  std::unique_ptr<Value> ConsumeNumber();
  // Reads a run of decimal digits and leaves the cursor after it. False for
  // none, or a leading zero of several digits unless |allow_leading_zeros|.
  bool ReadInt(bool allow_leading_zeros);
  std::unique_ptr<Value> ConsumeLiteral();

  // Records |code| at the current line and at the column the index gives,
  // moved by |column_adjust|.
  void ReportError(JSONReader::JsonParseError code, int column_adjust);

  const int options_;

  const char* start_;
  const char* pos_;
  const char* end_;
  int32_t index_;
  int32_t stack_depth_;
  int32_t line_number_;
  // Index of the last CR or LF counted as a line break.
  int32_t index_last_line_;

  int32_t error_code_;
  int32_t error_line_;
  int32_t error_column_;
};

}  // namespace base

#endif  // BASE_JSON_JSON_PARSER_H_
