#include "base/strings/string_util.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <limits>
#include <string_view>
#include <type_traits>

namespace base {

const char kWhitespaceASCII[] = {
    0x09,  // Tab.
    0x0A,  // Line feed.
    0x0B,  // Vertical tab.
    0x0C,  // Form feed.
    0x0D,  // Carriage return.
    0x20,  // Space.
    0,
};

const char16 kWhitespaceWide[] = {
    0x0009,  // Tab.
    0x000A,  // Line feed.
    0x000B,  // Vertical tab.
    0x000C,  // Form feed.
    0x000D,  // Carriage return.
    0x0020,  // Space.
    0x0085,  // Next line.
    0x00A0,  // No-break space.
    0x1680,  // Ogham space mark.
    0x2000,  // En quad.
    0x2001,  // Em quad.
    0x2002,  // En space.
    0x2003,  // Em space.
    0x2004,  // Three-per-em space.
    0x2005,  // Four-per-em space.
    0x2006,  // Six-per-em space.
    0x2007,  // Figure space.
    0x2008,  // Punctuation space.
    0x2009,  // Thin space.
    0x200A,  // Hair space.
    0x2028,  // Line separator.
    0x2029,  // Paragraph separator.
    0x202F,  // Narrow no-break space.
    0x205F,  // Medium mathematical space.
    0x3000,  // Ideographic space.
    0,
};

namespace {

const size_t kNpos = StringPiece::npos;

template <typename Char>
Char ToLowerASCIIChar(Char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c + ('a' - 'A')) : c;
}

template <typename Char>
Char ToUpperASCIIChar(Char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<Char>(c - ('a' - 'A')) : c;
}

bool IsWhitespaceASCIIChar(char c) {
  return c != 0 && memchr(kWhitespaceASCII, c, sizeof(kWhitespaceASCII) - 1);
}

template <typename StringType>
TrimPositions DoTrimString(const StringType& input,
                           BasicStringPiece<StringType> trim_chars,
                           TrimPositions positions,
                           StringType* output) {
  const BasicStringPiece<StringType> text(input);
  const size_t last_char = input.size() - 1;
  const size_t first_good =
      (positions & TRIM_LEADING) ? text.find_first_not_of(trim_chars, 0) : 0;
  const size_t last_good = (positions & TRIM_TRAILING)
                               ? text.find_last_not_of(trim_chars, kNpos)
                               : last_char;

  if (input.empty() || first_good == kNpos || last_good == kNpos) {
    // `output` may be `input`: decide before emptying it.
    const bool input_was_empty = input.empty();
    output->clear();
    return input_was_empty ? TRIM_NONE : positions;
  }

  const int trimmed = (first_good != 0 ? TRIM_LEADING : TRIM_NONE) |
                      (last_good != last_char ? TRIM_TRAILING : TRIM_NONE);
  *output = input.substr(first_good, last_good - first_good + 1);
  return static_cast<TrimPositions>(trimmed);
}

template <typename StringType>
BasicStringPiece<StringType> DoTrimStringPiece(
    BasicStringPiece<StringType> input,
    BasicStringPiece<StringType> trim_chars,
    TrimPositions positions) {
  const size_t begin =
      (positions & TRIM_LEADING) ? input.find_first_not_of(trim_chars, 0) : 0;
  // A text made only of trim characters gives npos here, and npos + 1 is 0.
  const size_t end = (positions & TRIM_TRAILING)
                         ? input.find_last_not_of(trim_chars, kNpos) + 1
                         : input.size();
  if (begin == kNpos)
    return input.substr(input.size(), 0);
  return input.substr(begin, end - begin);
}

// Or-s every character together, reading whole aligned 8-byte words where it
// can, and tests the result against the bits that no ASCII character has.
template <typename Char>
bool DoIsStringASCII(const Char* chars, size_t length) {
  typedef uint64_t MachineWord;
  typedef typename std::make_unsigned<Char>::type UnsignedChar;
  const MachineWord non_ascii_mask = sizeof(Char) == 1
                                         ? UINT64_C(0x8080808080808080)
                                         : UINT64_C(0xFF80FF80FF80FF80);
  const uintptr_t kAlignMask = sizeof(MachineWord) - 1;

  MachineWord all_char_bits = 0;
  const Char* end = chars + length;
  while (chars != end &&
         (reinterpret_cast<uintptr_t>(chars) & kAlignMask) != 0) {
    all_char_bits |= static_cast<UnsignedChar>(*chars);
    ++chars;
  }

  const size_t chars_per_word = sizeof(MachineWord) / sizeof(Char);
  while (static_cast<size_t>(end - chars) >= chars_per_word) {
    MachineWord word;
    memcpy(&word, chars, sizeof(word));
    all_char_bits |= word;
    chars += chars_per_word;
  }

  while (chars != end) {
    all_char_bits |= static_cast<UnsignedChar>(*chars);
    ++chars;
  }
  return (all_char_bits & non_ascii_mask) == 0;
}

std::string ChangeCaseASCII(StringPiece str, char (*change)(char)) {
  std::string result;
  result.reserve(str.size());
  for (char c : str)
    result.push_back(change(c));
  return result;
}

template <typename StringType>
bool DoCompareRange(BasicStringPiece<StringType> a,
                    BasicStringPiece<StringType> b,
                    CompareCase case_sensitivity) {
  typedef typename StringType::value_type Char;
  switch (case_sensitivity) {
    case CompareCase::SENSITIVE:
      return std::equal(a.begin(), a.end(), b.begin());
    case CompareCase::INSENSITIVE_ASCII:
      return std::equal(a.begin(), a.end(), b.begin(), [](Char x, Char y) {
        return ToLowerASCIIChar(x) == ToLowerASCIIChar(y);
      });
  }
  return false;
}

template <typename StringType>
bool DoStartsWith(BasicStringPiece<StringType> str,
                  BasicStringPiece<StringType> search_for,
                  CompareCase case_sensitivity) {
  if (search_for.size() > str.size())
    return false;
  return DoCompareRange(str.substr(0, search_for.size()), search_for,
                        case_sensitivity);
}

template <typename StringType>
bool DoEndsWith(BasicStringPiece<StringType> str,
                BasicStringPiece<StringType> search_for,
                CompareCase case_sensitivity) {
  if (search_for.size() > str.size())
    return false;
  return DoCompareRange(str.substr(str.size() - search_for.size()), search_for,
                        case_sensitivity);
}

template <typename StringType>
StringType DoJoinString(const std::vector<StringType>& parts,
                        BasicStringPiece<StringType> separator) {
  if (parts.empty())
    return StringType();
  StringType result(parts[0]);
  for (size_t i = 1; i < parts.size(); ++i) {
    separator.AppendToString(&result);
    result.append(parts[i]);
  }
  return result;
}

size_t FindSubstring(std::string_view text, StringPiece pattern, size_t pos) {
  return text.find(std::string_view(pattern.data(), pattern.size()), pos);
}

// The replacement has the find pattern's length: each match is overwritten
// where it stands.
void OverwriteMatches(std::string* str,
                      size_t first_match,
                      StringPiece find_this,
                      StringPiece replace_with) {
  for (size_t match = first_match; match != kNpos;
       match = FindSubstring(*str, find_this, match + find_this.size())) {
    memcpy(&(*str)[match], replace_with.data(), replace_with.size());
  }
}

// The replacement is shorter: one forward pass moves every unmatched stretch
// and every replacement to its final place. Writes never pass the read
// position, so the text still to be searched is intact.
void CompactMatches(std::string* str,
                    size_t first_match,
                    StringPiece find_this,
                    StringPiece replace_with) {
  char* buffer = &(*str)[0];
  size_t write = first_match;
  size_t match = first_match;
  while (match != kNpos) {
    if (!replace_with.empty())
      memcpy(buffer + write, replace_with.data(), replace_with.size());
    write += replace_with.size();
    const size_t read = match + find_this.size();
    match = FindSubstring(*str, find_this, read);
    const size_t stretch_end = match == kNpos ? str->size() : match;
    memmove(buffer + write, buffer + read, stretch_end - read);
    write += stretch_end - read;
  }
  str->resize(write);
}

// The replacement is longer. The string grows once to its final length and
// the text from the first match on is moved to the end of it; a forward pass
// over that moved copy then finds exactly the matches that the counting pass
// found and writes the result from the front. Overlapping patterns (such as
// "aa" in "aaa") make a backward search find different matches, so the
// matches are always found scanning forward. The write position never
// passes the read position because the copy sits exactly as far back as
// all the growth together.
void ExpandMatches(std::string* str,
                   size_t first_match,
                   StringPiece find_this,
                   StringPiece replace_with) {
  const size_t find_length = find_this.size();
  const size_t growth_per_match = replace_with.size() - find_length;
  const size_t old_size = str->size();

  size_t match_count = 0;
  for (size_t match = first_match; match != kNpos;
       match = FindSubstring(*str, find_this, match + find_length)) {
    ++match_count;
  }
  const size_t shift = match_count * growth_per_match;
  str->resize(old_size + shift);

  char* buffer = &(*str)[0];
  memmove(buffer + first_match + shift, buffer + first_match,
          old_size - first_match);
  // The original text as it stands after the move; index i of the original
  // is index i of this view.
  const std::string_view original(buffer + shift, old_size);

  size_t write = first_match;
  size_t match = first_match;
  while (match != kNpos) {
    memcpy(buffer + write, replace_with.data(), replace_with.size());
    write += replace_with.size();
    const size_t read = match + find_length;
    match = FindSubstring(original, find_this, read);
    const size_t stretch_end = match == kNpos ? old_size : match;
    memmove(buffer + write, original.data() + read, stretch_end - read);
    write += stretch_end - read;
  }
}

bool IsDigitChar(unsigned int c) {
  return c >= '0' && c <= '9';
}

// Decimal accumulation that stops at the largest value instead of wrapping,
// so an absurdly long number never selects a small placeholder.
uint64_t AppendDecimalDigit(uint64_t number, unsigned int digit) {
  const uint64_t kMax = std::numeric_limits<uint64_t>::max();
  if (number > (kMax - digit) / 10)
    return kMax;
  return number * 10 + digit;
}

struct PlaceholderOffset {
  uint64_t index;
  size_t offset;
};

template <typename StringType>
StringType DoReplaceStringPlaceholders(
    BasicStringPiece<StringType> format_string,
    const std::vector<StringType>& subst,
    std::vector<size_t>* offsets) {
  size_t substitutions_length = 0;
  for (const StringType& s : subst)
    substitutions_length += s.size();

  StringType formatted;
  formatted.reserve(format_string.size() + substitutions_length);
  std::vector<PlaceholderOffset> placeholder_offsets;

  const size_t length = format_string.size();
  size_t i = 0;
  while (i < length) {
    const auto c = format_string[i];
    if (c != '$') {
      formatted.push_back(c);
      ++i;
      continue;
    }
    ++i;
    if (i == length)
      break;  // A '$' that ends the format is dropped.
    if (format_string[i] == '$') {
      // "$$" gives "$": the first dollar of a run is dropped.
      while (i < length && format_string[i] == '$') {
        formatted.push_back('$');
        ++i;
      }
      continue;
    }
    uint64_t number = 0;
    while (i < length && IsDigitChar(format_string[i])) {
      number = AppendDecimalDigit(number, format_string[i] - '0');
      ++i;
    }
    // "$" without digits or "$0" gives the largest index, which never has a
    // substitution but still records an offset.
    const uint64_t index = number - 1;
    if (offsets) {
      const PlaceholderOffset entry = {index, formatted.size()};
      auto position = std::lower_bound(
          placeholder_offsets.begin(), placeholder_offsets.end(), entry,
          [](const PlaceholderOffset& a, const PlaceholderOffset& b) {
            return a.index < b.index;
          });
      placeholder_offsets.insert(position, entry);
    }
    if (index < subst.size())
      formatted.append(subst[static_cast<size_t>(index)]);
  }

  if (offsets) {
    for (const PlaceholderOffset& entry : placeholder_offsets)
      offsets->push_back(entry.offset);
  }
  return formatted;
}

}  // namespace

TrimPositions TrimWhitespace(const string16& input,
                             TrimPositions positions,
                             string16* output) {
  return DoTrimString(input, StringPiece16(kWhitespaceWide), positions, output);
}

TrimPositions TrimWhitespaceASCII(const std::string& input,
                                  TrimPositions positions,
                                  std::string* output) {
  return DoTrimString(input, StringPiece(kWhitespaceASCII), positions, output);
}

TrimPositions TrimString(const std::string& input,
                         StringPiece trim_chars,
                         TrimPositions positions,
                         std::string* output) {
  return DoTrimString(input, trim_chars, positions, output);
}

TrimPositions TrimString16(const string16& input,
                           StringPiece16 trim_chars,
                           TrimPositions positions,
                           string16* output) {
  return DoTrimString(input, trim_chars, positions, output);
}

StringPiece TrimStringPiece(StringPiece input,
                            StringPiece trim_chars,
                            TrimPositions positions) {
  return DoTrimStringPiece(input, trim_chars, positions);
}

StringPiece16 TrimStringPiece16(StringPiece16 input,
                                StringPiece16 trim_chars,
                                TrimPositions positions) {
  return DoTrimStringPiece(input, trim_chars, positions);
}

std::string CollapseWhitespaceASCII(const std::string& text,
                                    bool trim_sequences_with_line_breaks) {
  std::string result(text.size(), '\0');
  size_t chars_written = 0;
  // Starting "inside" white space drops the leading run.
  bool in_whitespace = true;
  bool already_trimmed = true;

  for (char c : text) {
    if (IsWhitespaceASCIIChar(c)) {
      if (!in_whitespace) {
        in_whitespace = true;
        result[chars_written++] = ' ';
      }
      if (trim_sequences_with_line_breaks && !already_trimmed &&
          (c == '\n' || c == '\r')) {
        // The run holds a line break: take back the space it wrote.
        already_trimmed = true;
        --chars_written;
      }
    } else {
      in_whitespace = false;
      already_trimmed = false;
      result[chars_written++] = c;
    }
  }

  if (in_whitespace && !already_trimmed)
    --chars_written;  // Drop the space of the trailing run.
  result.resize(chars_written);
  return result;
}

bool IsStringASCII(StringPiece str) {
  return DoIsStringASCII(str.data(), str.size());
}

bool IsStringASCII16(StringPiece16 str) {
  return DoIsStringASCII(str.data(), str.size());
}

std::string ToLowerASCII(StringPiece str) {
  return ChangeCaseASCII(str, &ToLowerASCIIChar<char>);
}

std::string ToUpperASCII(StringPiece str) {
  return ChangeCaseASCII(str, &ToUpperASCIIChar<char>);
}

bool LowerCaseEqualsASCII(StringPiece16 str, StringPiece lowercase_ascii) {
  if (str.size() != lowercase_ascii.size())
    return false;
  for (size_t i = 0; i < str.size(); ++i) {
    // The narrow byte counts as signed, so a byte of 0x80 or above (a
    // negative value) never equals a unit.
    const int expected = static_cast<signed char>(lowercase_ascii[i]);
    if (static_cast<int>(ToLowerASCIIChar(str[i])) != expected)
      return false;
  }
  return true;
}

bool StartsWith(StringPiece str,
                StringPiece search_for,
                CompareCase case_sensitivity) {
  return DoStartsWith(str, search_for, case_sensitivity);
}

bool StartsWith16(StringPiece16 str,
                  StringPiece16 search_for,
                  CompareCase case_sensitivity) {
  return DoStartsWith(str, search_for, case_sensitivity);
}

bool EndsWith16(StringPiece16 str,
                StringPiece16 search_for,
                CompareCase case_sensitivity) {
  return DoEndsWith(str, search_for, case_sensitivity);
}

std::string JoinString(const std::vector<std::string>& parts,
                       StringPiece separator) {
  return DoJoinString(parts, separator);
}

string16 JoinString16(const std::vector<string16>& parts,
                      StringPiece16 separator) {
  return DoJoinString(parts, separator);
}

bool ReplaceChars(const std::string& input,
                  StringPiece replace_chars,
                  const std::string& replace_with,
                  std::string* output) {
  if (output != &input)
    *output = input;
  bool replaced = false;
  size_t pos = StringPiece(*output).find_first_of(replace_chars, 0);
  while (pos != kNpos) {
    output->replace(pos, 1, replace_with);
    replaced = true;
    // Searching on after the inserted text keeps it from being replaced.
    pos = StringPiece(*output).find_first_of(replace_chars,
                                             pos + replace_with.size());
  }
  return replaced;
}

void ReplaceFirstSubstringAfterOffset(std::string* str,
                                      size_t start_offset,
                                      StringPiece find_this,
                                      StringPiece replace_with) {
  const size_t match = FindSubstring(*str, find_this, start_offset);
  if (match == kNpos)
    return;
  str->replace(match, find_this.size(),
               std::string_view(replace_with.data(), replace_with.size()));
}

void ReplaceSubstringsAfterOffset(std::string* str,
                                  size_t start_offset,
                                  StringPiece find_this,
                                  StringPiece replace_with) {
  if (find_this.empty())
    return;
  const size_t first_match = FindSubstring(*str, find_this, start_offset);
  if (first_match == kNpos)
    return;
  if (replace_with.size() == find_this.size())
    OverwriteMatches(str, first_match, find_this, replace_with);
  else if (replace_with.size() < find_this.size())
    CompactMatches(str, first_match, find_this, replace_with);
  else
    ExpandMatches(str, first_match, find_this, replace_with);
}

std::string ReplaceStringPlaceholders(StringPiece format_string,
                                      const std::vector<std::string>& subst,
                                      std::vector<size_t>* offsets) {
  return DoReplaceStringPlaceholders(format_string, subst, offsets);
}

string16 ReplaceStringPlaceholders16(StringPiece16 format_string,
                                     const std::vector<string16>& subst,
                                     std::vector<size_t>* offsets) {
  return DoReplaceStringPlaceholders(format_string, subst, offsets);
}

size_t strlcpy(char* dst, const char* src, size_t dst_size) {
  size_t i = 0;
  for (; i < dst_size; ++i) {
    if ((dst[i] = src[i]) == 0)
      return i;
  }
  if (dst_size != 0)
    dst[dst_size - 1] = 0;
  while (src[i])
    ++i;
  return i;
}

}  // namespace base
