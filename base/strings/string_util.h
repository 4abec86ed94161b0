#ifndef BASE_STRINGS_STRING_UTIL_H_
#define BASE_STRINGS_STRING_UTIL_H_

#include <stddef.h>

#include <string>
#include <vector>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

namespace base {

// Which ends of a text to trim; also what the trimming functions report as
// the ends that actually lost characters.
enum TrimPositions {
  TRIM_NONE = 0,
  TRIM_LEADING = 1 << 0,
  TRIM_TRAILING = 1 << 1,
  TRIM_ALL = TRIM_LEADING | TRIM_TRAILING,
};

// Any value other than these two makes the comparisons return false.
enum class CompareCase {
  SENSITIVE = 0,
  INSENSITIVE_ASCII = 1,
};

// Zero-terminated white-space sets: the six ASCII white-space characters and
// the 25 UTF-16 white-space units.
extern const char kWhitespaceASCII[];
extern const char16 kWhitespaceWide[];

// Trimming. `output` may be `input`.
TrimPositions TrimWhitespace(const string16& input,
                             TrimPositions positions,
                             string16* output);
TrimPositions TrimWhitespaceASCII(const std::string& input,
                                  TrimPositions positions,
                                  std::string* output);
TrimPositions TrimString(const std::string& input,
                         StringPiece trim_chars,
                         TrimPositions positions,
                         std::string* output);
TrimPositions TrimString16(const string16& input,
                           StringPiece16 trim_chars,
                           TrimPositions positions,
                           string16* output);
StringPiece TrimStringPiece(StringPiece input,
                            StringPiece trim_chars,
                            TrimPositions positions);
StringPiece16 TrimStringPiece16(StringPiece16 input,
                                StringPiece16 trim_chars,
                                TrimPositions positions);

// Drops leading and trailing white space and turns each inner run into one
// space; with `trim_sequences_with_line_breaks`, an inner run holding CR or LF
// disappears entirely.
std::string CollapseWhitespaceASCII(const std::string& text,
                                    bool trim_sequences_with_line_breaks);

bool IsStringASCII(StringPiece str);
bool IsStringASCII16(StringPiece16 str);

// Only A-Z and a-z change.
std::string ToLowerASCII(StringPiece str);
std::string ToUpperASCII(StringPiece str);

// `lowercase_ascii` is expected in lower case; `str` is lowered in A-Z only.
bool LowerCaseEqualsASCII(StringPiece16 str, StringPiece lowercase_ascii);

bool StartsWith(StringPiece str,
                StringPiece search_for,
                CompareCase case_sensitivity);
bool StartsWith16(StringPiece16 str,
                  StringPiece16 search_for,
                  CompareCase case_sensitivity);
bool EndsWith16(StringPiece16 str,
                StringPiece16 search_for,
                CompareCase case_sensitivity);

std::string JoinString(const std::vector<std::string>& parts,
                       StringPiece separator);
string16 JoinString16(const std::vector<string16>& parts,
                      StringPiece16 separator);

// Copies `input` to `output` (which may be `input`) replacing every character
// of `replace_chars` by `replace_with`. Returns whether anything was replaced.
bool ReplaceChars(const std::string& input,
                  StringPiece replace_chars,
                  const std::string& replace_with,
                  std::string* output);

// `find_this` and `replace_with` must not view `str` itself.
void ReplaceFirstSubstringAfterOffset(std::string* str,
                                      size_t start_offset,
                                      StringPiece find_this,
                                      StringPiece replace_with);
void ReplaceSubstringsAfterOffset(std::string* str,
                                  size_t start_offset,
                                  StringPiece find_this,
                                  StringPiece replace_with);

// Replaces "$1".."$N" in `format_string` by the matching entry of `subst`
// ("$$" gives "$"). When `offsets` is given, the output offset of every
// placeholder is appended to it, ordered by placeholder number.
std::string ReplaceStringPlaceholders(StringPiece format_string,
                                      const std::vector<std::string>& subst,
                                      std::vector<size_t>* offsets = nullptr);
string16 ReplaceStringPlaceholders16(StringPiece16 format_string,
                                     const std::vector<string16>& subst,
                                     std::vector<size_t>* offsets = nullptr);

// Copies at most dst_size - 1 bytes and always terminates when dst_size is
// not 0. Returns the length of `src`; a result >= dst_size means it was cut.
size_t strlcpy(char* dst, const char* src, size_t dst_size);

}  // namespace base

#endif  // BASE_STRINGS_STRING_UTIL_H_
