#ifndef BASE_STRINGS_STRING_SPLIT_H_
#define BASE_STRINGS_STRING_SPLIT_H_

#include <string>
#include <utility>
#include <vector>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

namespace base {

enum WhitespaceHandling {
  KEEP_WHITESPACE = 0,
  // Each part loses its white space at both ends.
  TRIM_WHITESPACE = 1,
};

enum SplitResult {
  SPLIT_WANT_ALL = 0,
  // Parts that are empty (after any trimming) are dropped.
  SPLIT_WANT_NONEMPTY = 1,
};

// Key-value pairs in input order.
using StringPairs = std::vector<std::pair<std::string, std::string>>;

// Split |input| at every character of |separators| (each one separates on its
// own). An empty input gives no parts; otherwise n separators give n + 1
// parts before filtering.
std::vector<std::string> SplitString(StringPiece input,
                                     StringPiece separators,
                                     WhitespaceHandling whitespace,
                                     SplitResult result_type);
std::vector<string16> SplitString16(StringPiece16 input,
                                    StringPiece16 separators,
                                    WhitespaceHandling whitespace,
                                    SplitResult result_type);

// Like SplitString, but the parts point into |input| and are valid only as
// long as the text it views.
std::vector<StringPiece> SplitStringPiece(StringPiece input,
                                          StringPiece separators,
                                          WhitespaceHandling whitespace,
                                          SplitResult result_type);

// Replaces |key_value_pairs| with the pairs of |input|, whose pairs are
// separated by |key_value_pair_delimiter| and surrounded by white space that
// is dropped. True only when every non-empty pair had a key, the delimiter and
// a value; malformed pairs still leave their partial pair in the output.
bool SplitStringIntoKeyValuePairs(StringPiece input,
                                  char key_value_delimiter,
                                  char key_value_pair_delimiter,
                                  StringPairs* key_value_pairs);

// Appends the pair of |input| to |result|: the key is the text before the
// first |delimiter|, the value what follows the run of delimiters there. A
// pair is appended even on failure (no delimiter, or nothing after it).
bool AppendStringKeyValue(StringPiece input,
                          char delimiter,
                          StringPairs* result);

}  // namespace base

#endif  // BASE_STRINGS_STRING_SPLIT_H_
