#ifndef BASE_JSON_STRING_ESCAPE_H_
#define BASE_JSON_STRING_ESCAPE_H_

#include <string>

#include "base/strings/string_piece.h"

namespace base {

// Appends |text| to |out| as the body of a JSON string literal, surrounded by
// '"' when |put_in_quotes|. Besides what JSON requires, '<' and the line and
// paragraph separators U+2028 and U+2029 are escaped, so that the literal can
// be embedded in HTML and script text unchanged. A zero byte is written as
// "\x00", which the JSON reader reads back as one. Each malformed UTF-8
// sequence is written as U+FFFD; the result is then false, but the output is
// complete.
bool EscapeJSONString(StringPiece text, bool put_in_quotes, std::string* out);

}  // namespace base

#endif  // BASE_JSON_STRING_ESCAPE_H_
