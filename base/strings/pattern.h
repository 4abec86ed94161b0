#ifndef BASE_STRINGS_PATTERN_H_
#define BASE_STRINGS_PATTERN_H_

#include "base/strings/string_piece.h"

namespace base {

// Whether UTF-8 |string| matches |pattern|: '*' matches any run of bytes,
// the empty run included; '?' matches zero or one character; '\' makes the
// character after it literal. Other characters compare as decoded code
// points, and a malformed character matches nothing. Patterns that need
// more than 16 nested wildcard steps do not match.
bool MatchPattern(StringPiece string, StringPiece pattern);

}  // namespace base

#endif  // BASE_STRINGS_PATTERN_H_
