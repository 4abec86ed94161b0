#include "base/json/string_escape.h"

#include <stdint.h>

#include <limits>

#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversion_utils.h"

namespace base {
namespace {

constexpr uint32_t kReplacementCharacter = 0xFFFD;

// The fixed escape of |code_point|, or null when it has none.
const char* FixedEscape(uint32_t code_point) {
  switch (code_point) {
    case '\b':
      return "\\b";
    case '\t':
      return "\\t";
    case '\n':
      return "\\n";
    case '\f':
      return "\\f";
    case '\r':
      return "\\r";
    case '"':
      return "\\\"";
    case '\\':
      return "\\\\";
    // Keeps "</script>" and "<!--" out of the text.
    case '<':
      return "\\u003C";
    // Line terminators in script text, though not in JSON.
    case 0x2028:
      return "\\u2028";
    case 0x2029:
      return "\\u2029";
    default:
      return nullptr;
  }
}

void AppendEscapedCodePoint(uint32_t code_point, std::string* out) {
  if (code_point == 0) {
    // The reader drops "\u0000", so that no text read through \u carries a
    // zero byte; "\x00" reads back as the zero byte written.
    out->append("\\x00");
  } else if (const char* escape = FixedEscape(code_point)) {
    out->append(escape);
  } else if (code_point < 0x20) {
    StringAppendF(out, "\\u%04X", static_cast<unsigned>(code_point));
  } else {
    WriteUnicodeCharacter(code_point, out);
  }
}

}  // namespace

bool EscapeJSONString(StringPiece text, bool put_in_quotes, std::string* out) {
  if (put_in_quotes)
    out->push_back('"');

  bool valid = true;
  if (text.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    // The UTF-8 reader counts in 32 bits; no text of the system comes near.
    valid = false;
  } else {
    const int32_t length = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < length; ++i) {
      uint32_t code_point;
      if (!ReadUnicodeCharacter(text.data(), length, &i, &code_point)) {
        code_point = kReplacementCharacter;
        valid = false;
      }
      AppendEscapedCodePoint(code_point, out);
    }
  }

  if (put_in_quotes)
    out->push_back('"');
  return valid;
}

}  // namespace base
