#include "base/strings/string_split.h"

#include "base/strings/string_util.h"

namespace base {

namespace {

StringPiece TrimPart(StringPiece part) {
  return TrimStringPiece(part, StringPiece(kWhitespaceASCII), TRIM_ALL);
}

StringPiece16 TrimPart(StringPiece16 part) {
  return TrimStringPiece16(part, StringPiece16(kWhitespaceWide), TRIM_ALL);
}

template <typename Piece>
size_t FindSeparator(Piece input, Piece separators, size_t start) {
  if (separators.size() == 1)
    return input.find(separators[0], start);
  // An empty separator set matches nothing.
  return input.find_first_of(separators, start);
}

// Calls |store| with each part of |input|, after optional trimming and
// filtering.
template <typename Piece, typename Store>
void ForEachPart(Piece input,
                 Piece separators,
                 WhitespaceHandling whitespace,
                 SplitResult result_type,
                 Store store) {
  if (input.empty())
    return;
  size_t start = 0;
  while (start != Piece::npos) {
    size_t end = FindSeparator(input, separators, start);
    Piece part;
    if (end == Piece::npos) {
      part = input.substr(start);
      start = Piece::npos;
    } else {
      part = input.substr(start, end - start);
      start = end + 1;
    }
    if (whitespace == TRIM_WHITESPACE)
      part = TrimPart(part);
    if (result_type == SPLIT_WANT_ALL || !part.empty())
      store(part);
  }
}

template <typename String, typename Piece>
std::vector<String> SplitIntoStrings(Piece input,
                                     Piece separators,
                                     WhitespaceHandling whitespace,
                                     SplitResult result_type) {
  std::vector<String> result;
  ForEachPart(input, separators, whitespace, result_type,
              [&result](Piece part) { result.push_back(part.as_string()); });
  return result;
}

}  // namespace

std::vector<std::string> SplitString(StringPiece input,
                                     StringPiece separators,
                                     WhitespaceHandling whitespace,
                                     SplitResult result_type) {
  return SplitIntoStrings<std::string>(input, separators, whitespace,
                                       result_type);
}

std::vector<string16> SplitString16(StringPiece16 input,
                                    StringPiece16 separators,
                                    WhitespaceHandling whitespace,
                                    SplitResult result_type) {
  return SplitIntoStrings<string16>(input, separators, whitespace, result_type);
}

std::vector<StringPiece> SplitStringPiece(StringPiece input,
                                          StringPiece separators,
                                          WhitespaceHandling whitespace,
                                          SplitResult result_type) {
  std::vector<StringPiece> result;
  ForEachPart(input, separators, whitespace, result_type,
              [&result](StringPiece part) { result.push_back(part); });
  return result;
}

bool SplitStringIntoKeyValuePairs(StringPiece input,
                                  char key_value_delimiter,
                                  char key_value_pair_delimiter,
                                  StringPairs* key_value_pairs) {
  key_value_pairs->clear();
  std::vector<StringPiece> pairs =
      SplitStringPiece(input, StringPiece(&key_value_pair_delimiter, 1),
                       TRIM_WHITESPACE, SPLIT_WANT_NONEMPTY);
  key_value_pairs->reserve(pairs.size());
  bool success = true;
  for (StringPiece pair : pairs) {
    if (!AppendStringKeyValue(pair, key_value_delimiter, key_value_pairs))
      success = false;
  }
  return success;
}

bool AppendStringKeyValue(StringPiece input,
                          char delimiter,
                          StringPairs* result) {
  result->emplace_back();
  std::pair<std::string, std::string>& pair = result->back();
  size_t end_key = input.find(delimiter);
  if (end_key == StringPiece::npos)
    return false;
  pair.first = input.substr(0, end_key).as_string();
  StringPiece rest = input.substr(end_key);
  size_t value_start = rest.find_first_not_of(delimiter);
  if (value_start == StringPiece::npos)
    return false;
  pair.second = rest.substr(value_start).as_string();
  return true;
}

}  // namespace base
