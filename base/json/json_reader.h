#ifndef BASE_JSON_JSON_READER_H_
#define BASE_JSON_JSON_READER_H_

#include <memory>
#include <string>

#include "base/strings/string_piece.h"

namespace base {

class Value;

// Options of JSONReader::ReadAndReturnError and JSONParser; 0 is strict.
enum JSONParserOptions {
  // A ',' directly before ']' or '}' is accepted.
  kParseAllowTrailingCommas = 1 << 0,
  // Every node of the tree owns its data, so any node may be taken out of
  // the tree and outlive the root. The reader always builds trees this way;
  // the option is accepted for callers that ask for it explicitly.
  kParseDetachableChildren = 1 << 1,
};

// Reads UTF-8 JSON text into a value tree. Besides strict JSON it accepts
// "//" and "/* */" comments, a leading byte-order mark, raw control
// characters inside strings and the escapes "\v" and "\xHH" (exactly two hex
// digits, a Latin-1 character). It refuses leading zeros, more than one root
// value, text that is not UTF-8 and nesting deeper than 99 levels.
class JSONReader {
 public:
  // The first error of a failed parse. A number that does not fit a double
  // (such as 1e999) fails with JSON_NO_ERROR.
  enum JsonParseError {
    JSON_NO_ERROR = 0,
    JSON_INVALID_ESCAPE = 1,
    JSON_SYNTAX_ERROR = 2,
    JSON_UNEXPECTED_TOKEN = 3,
    JSON_TRAILING_COMMA = 4,
    JSON_TOO_MUCH_NESTING = 5,
    JSON_UNEXPECTED_DATA_AFTER_ROOT = 6,
    JSON_UNSUPPORTED_ENCODING = 7,
    JSON_UNQUOTED_DICTIONARY_KEY = 8,
  };

  JSONReader() = delete;

  // Strict parse; null on any error.
  static std::unique_ptr<Value> Read(StringPiece json);

  // Parses with |options| (a JSONParserOptions bit set). On failure, and
  // only then, fills each given out-parameter: the error code, the message
  // ("Line: 3, column: 5, Syntax error."), the line and the column.
  static std::unique_ptr<Value> ReadAndReturnError(StringPiece json,
                                                   int options,
                                                   int* error_code_out,
                                                   std::string* error_msg_out,
                                                   int* error_line_out,
                                                   int* error_column_out);

  // The fixed English message of |error_code|; empty for JSON_NO_ERROR and
  // unknown codes.
  static std::string ErrorCodeToString(int error_code);
};

}  // namespace base

#endif  // BASE_JSON_JSON_READER_H_
