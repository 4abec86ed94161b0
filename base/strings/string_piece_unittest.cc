#include "base/strings/string_piece.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

const size_t npos = StringPiece::npos;

// A plain definition of every search: the first (or, backward, the last
// from min(pos, size - 1)) index whose character is (or is not) in |set|.
template <typename Piece>
size_t Search(Piece text, Piece set, size_t pos, bool forward, bool in_set) {
  for (size_t n = 0; n < text.size(); ++n) {
    const size_t i = forward ? n : text.size() - 1 - n;
    const bool reached = forward ? i >= pos : pos >= text.size() || i <= pos;
    if (reached &&
        (std::find(set.begin(), set.end(), text[i]) != set.end()) == in_set)
      return i;
  }
  return npos;
}

// Every search of every text for every set, from every position and far
// beyond; single-character searches with one-character sets.
template <typename String>
void ExpectSearchesMatchTheirDefinition(const std::vector<String>& texts,
                                        const std::vector<String>& sets) {
  using Piece = BasicStringPiece<String>;
  for (const Piece text : texts) {
    for (const Piece set : sets) {
      std::vector<size_t> positions = {npos - 1, npos};
      for (size_t pos = 0; pos <= text.size() + 2; ++pos)
        positions.push_back(pos);
      for (size_t pos : positions) {
        SCOPED_TRACE(testing::PrintToString(text.as_string()) + " " +
                     testing::PrintToString(set.as_string()) + " " +
                     std::to_string(pos));
        auto expected = [&](bool forward, bool in_set) {
          return Search(text, set, pos, forward, in_set);
        };
        EXPECT_EQ(expected(true, true), text.find_first_of(set, pos));
        EXPECT_EQ(expected(true, false), text.find_first_not_of(set, pos));
        EXPECT_EQ(expected(false, false), text.find_last_not_of(set, pos));
        if (set.size() == 1) {
          EXPECT_EQ(expected(true, true), text.find(set[0], pos));
        }
        if constexpr (sizeof(set[0]) == 1) {
          EXPECT_EQ(expected(false, true), text.find_last_of(set, pos));
          if (set.size() == 1) {
            EXPECT_EQ(expected(false, true), text.rfind(set[0], pos));
            EXPECT_EQ(expected(true, false),
                      text.find_first_not_of(set[0], pos));
          }
        }
      }
    }
  }
}

// Empty, one-character and table sets, bytes above 0x7F, units alike in
// their low byte, and NULs.
TEST(StringPieceTest, SearchesMatchTheirDefinition) {
  ExpectSearchesMatchTheirDefinition<std::string>(
      {"", "a", "banana", std::string("a\0b\x80\xFF", 5), " \t x y \r\n"},
      {"", "a", "\xFF", std::string(1, '\0'), "an", "\x80\xFF",
       std::string("\0a", 2), " \t\r\n"});
  ExpectSearchesMatchTheirDefinition<string16>(
      {L"", L"a", L"banana", string16(L"a\0b\x0100\xFFFF", 5)},
      {L"", L"a", string16(1, L'\0'), L"ab", L"\x0100\x0041", L"\xFFFF"});
}

TEST(StringPieceTest, EqualityAndOrder) {
  const std::string ab_nul_c("ab\0c", 4);
  const std::string ab_nul_d("ab\0d", 4);
  EXPECT_TRUE(StringPiece("abc") == StringPiece(std::string("abc")));
  EXPECT_FALSE(StringPiece("abc") == StringPiece("abcd"));
  EXPECT_TRUE(StringPiece(ab_nul_c) != StringPiece(ab_nul_d));
  EXPECT_TRUE(StringPiece() == StringPiece(""));
  // A prefix first; bytes compared as unsigned values; NULs are bytes too.
  const std::vector<StringPiece> ascending = {StringPiece(), "ab",   ab_nul_c,
                                              ab_nul_d,      "abc",  "b",
                                              "\x7F",        "\x80", "\xFF"};
  for (size_t i = 0; i < ascending.size(); ++i) {
    for (size_t j = 0; j < ascending.size(); ++j) {
      EXPECT_EQ(i < j, StringPieceLess()(ascending[i], ascending[j]))
          << i << " " << j;
    }
  }
}

// substr starts at min(pos, size) and takes min(n, what is left).
TEST(StringPieceTest, SubstrCopyAppendAndStream) {
  const StringPiece abcd("abcd");
  EXPECT_EQ(abcd.data() + 4, abcd.substr(10, 5).data());
  EXPECT_TRUE(abcd.substr(10, 5).empty());
  EXPECT_EQ("bcd", abcd.substr(1, npos).as_string());
  std::string out("old");
  StringPiece("new").CopyToString(&out);
  StringPiece().AppendToString(&out);
  StringPiece(std::string("y\0z", 3)).AppendToString(&out);
  EXPECT_EQ(std::string("newy\0z", 6), out);
  // Written unformatted, whatever the field width.
  std::ostringstream stream;
  stream.width(10);
  stream << StringPiece(std::string("a\0b", 3)) << StringPiece();
  EXPECT_EQ(std::string("a\0b", 3), stream.str());
}

}  // namespace
}  // namespace base
