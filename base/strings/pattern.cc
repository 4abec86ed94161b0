#include "base/strings/pattern.h"

#include <stdint.h>

#include "base/strings/utf_string_conversion_utils.h"

namespace base {

namespace {

constexpr int kMaxDepth = 16;

// A half-open byte range that is eaten from the front.
struct Range {
  const char* begin;
  const char* end;

  bool empty() const { return begin == end; }
};

// Decodes one character at the front of |range| and steps over it. A byte
// that cannot start a character, or a malformed sequence, gives -1.
int32_t NextChar(Range* range) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(range->begin);
  const int32_t length = static_cast<int32_t>(range->end - range->begin);
  const uint8_t lead = bytes[0];
  int32_t index = 1;
  int32_t result = -1;
  if (lead < 0x80)
    result = lead;
  else if (lead >= 0xC0 && lead <= 0xFD)
    result = UTF8NextCharSafeBody(bytes, &index, length, lead, -1);
  range->begin += index;
  return result;
}

bool IsWildcard(char c) {
  return c == '*' || c == '?';
}

void EatWildcards(Range* pattern) {
  while (!pattern->empty() && IsWildcard(*pattern->begin))
    ++pattern->begin;
}

// Steps over the common literal head of |string| and |pattern|, up to the
// first unescaped wildcard or the first difference.
void EatSameChars(Range* string, Range* pattern) {
  const char* escape = nullptr;
  while (!string->empty() && !pattern->empty()) {
    if (!escape && IsWildcard(*pattern->begin))
      return;
    if (!escape && *pattern->begin == '\\') {
      escape = pattern->begin;
      ++pattern->begin;
      continue;
    }
    Range string_after = *string;
    Range pattern_after = *pattern;
    const int32_t string_char = NextChar(&string_after);
    const int32_t pattern_char = NextChar(&pattern_after);
    if (string_char != pattern_char || string_char == -1) {
      if (escape)
        pattern->begin = escape;
      return;
    }
    *string = string_after;
    *pattern = pattern_after;
    escape = nullptr;
  }
}

bool MatchRanges(Range string, Range pattern, int depth) {
  if (depth > kMaxDepth)
    return false;
  EatSameChars(&string, &pattern);
  if (string.empty()) {
    EatWildcards(&pattern);
    return pattern.empty();
  }
  if (pattern.empty())
    return false;

  Range rest = pattern;
  NextChar(&rest);
  if (*pattern.begin == '?') {
    if (MatchRanges(string, rest, depth + 1))
      return true;
    Range string_rest = string;
    NextChar(&string_rest);
    return MatchRanges(string_rest, rest, depth + 1);
  }
  if (*pattern.begin == '*') {
    EatWildcards(&rest);
    for (Range start = string; !start.empty(); ++start.begin) {
      if (MatchRanges(start, rest, depth + 1))
        return true;
    }
    EatWildcards(&pattern);
    return pattern.empty();
  }
  return false;
}

}  // namespace

bool MatchPattern(StringPiece string, StringPiece pattern) {
  return MatchRanges({string.data(), string.data() + string.size()},
                     {pattern.data(), pattern.data() + pattern.size()}, 0);
}

}  // namespace base
