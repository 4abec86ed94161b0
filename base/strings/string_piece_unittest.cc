#include "base/strings/string_piece.h"

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

const size_t npos = StringPiece::npos;

// Straightforward definitions of the set searches, used to check the table
// and single-character paths at every start position.
template <typename Piece>
bool InSet(const Piece& set, typename Piece::value_type c) {
  for (size_t i = 0; i < set.size(); ++i) {
    if (set[i] == c)
      return true;
  }
  return false;
}

template <typename Piece>
size_t ForwardSearch(const Piece& text,
                     const Piece& set,
                     size_t pos,
                     bool want_in_set) {
  for (size_t i = pos; i < text.size(); ++i) {
    if (InSet(set, text[i]) == want_in_set)
      return i;
  }
  return npos;
}

template <typename Piece>
size_t BackwardSearch(const Piece& text,
                      const Piece& set,
                      size_t pos,
                      bool want_in_set) {
  if (text.empty())
    return npos;
  for (size_t i = pos < text.size() ? pos : text.size() - 1;; --i) {
    if (InSet(set, text[i]) == want_in_set)
      return i;
    if (i == 0)
      return npos;
  }
}

std::vector<size_t> PositionsToTry(size_t size) {
  std::vector<size_t> positions;
  for (size_t pos = 0; pos <= size + 2; ++pos)
    positions.push_back(pos);
  positions.push_back(npos - 1);
  positions.push_back(npos);
  return positions;
}

TEST(StringPieceTest, Construction) {
  const std::string with_nul("ab\0cd", 5);
  StringPiece from_string(with_nul);
  EXPECT_EQ(with_nul.data(), from_string.data());
  EXPECT_EQ(5u, from_string.size());
  EXPECT_EQ(with_nul, from_string.as_string());

  // A C string ends at its NUL.
  StringPiece from_c_string(with_nul.c_str());
  EXPECT_EQ(2u, from_c_string.length());

  StringPiece from_pointer(with_nul.data() + 1, 3);
  EXPECT_EQ(std::string("b\0c", 3), from_pointer.as_string());

  const char* null_text = nullptr;
  EXPECT_TRUE(StringPiece(null_text).empty());
  EXPECT_TRUE(StringPiece().empty());
  EXPECT_EQ(std::string(), StringPiece().as_string());

  const string16 wide(L"x\0y", 3);
  StringPiece16 wide_piece(wide);
  EXPECT_EQ(3u, wide_piece.size());  // Units, not bytes.
  EXPECT_EQ(wide, wide_piece.as_string());
  EXPECT_EQ(1u, StringPiece16(wide.c_str()).size());
}

TEST(StringPieceTest, Substr) {
  StringPiece abcd("abcd");
  StringPiece past_end = abcd.substr(10, 5);
  EXPECT_TRUE(past_end.empty());
  EXPECT_EQ(abcd.data() + 4, past_end.data());
  EXPECT_EQ("bcd", abcd.substr(1, npos).as_string());
  EXPECT_EQ("bcd", abcd.substr(1).as_string());
  EXPECT_EQ("bc", abcd.substr(1, 2).as_string());
  EXPECT_EQ("d", abcd.substr(3, 100).as_string());
  EXPECT_TRUE(abcd.substr(4, npos).empty());
  EXPECT_TRUE(abcd.substr(npos, npos).empty());
  EXPECT_EQ("abcd", abcd.substr(0, npos).as_string());

  StringPiece16 wide(L"abcd");
  EXPECT_EQ(L"cd", wide.substr(2).as_string());
  EXPECT_TRUE(wide.substr(9, 1).empty());
}

TEST(StringPieceTest, SingleCharacterSearches) {
  StringPiece banana("banana");
  EXPECT_EQ(5u, banana.rfind('a', npos));
  EXPECT_EQ(5u, banana.rfind('a'));
  EXPECT_EQ(3u, banana.rfind('a', 4));
  EXPECT_EQ(1u, banana.rfind('a', 1));
  EXPECT_EQ(npos, banana.rfind('a', 0));
  EXPECT_EQ(0u, banana.rfind('b', 0));
  EXPECT_EQ(5u, banana.rfind('a', 100));
  EXPECT_EQ(npos, banana.rfind('z'));
  EXPECT_EQ(npos, StringPiece().rfind('a'));

  EXPECT_EQ(1u, banana.find('a'));
  EXPECT_EQ(3u, banana.find('a', 2));
  EXPECT_EQ(5u, banana.find('a', 5));
  EXPECT_EQ(npos, banana.find('a', 6));
  EXPECT_EQ(npos, banana.find('a', npos));
  EXPECT_EQ(npos, banana.find('z'));
  EXPECT_EQ(npos, StringPiece().find('a'));

  // The forward search must not stop at an embedded NUL nor read past the
  // end of the piece.
  const std::string text("a\0b\0c", 5);
  StringPiece piece(text);
  EXPECT_EQ(1u, piece.find('\0'));
  EXPECT_EQ(4u, piece.find('c'));
  EXPECT_EQ(3u, piece.rfind('\0'));
  EXPECT_EQ(npos, StringPiece(text.data(), 4).find('c'));

  EXPECT_EQ(2u, StringPiece("aab").find_first_not_of('a'));
  EXPECT_EQ(npos, StringPiece("aaa").find_first_not_of('a'));
  EXPECT_EQ(npos, StringPiece("aab").find_first_not_of('a', 3));
  EXPECT_EQ(3u, StringPiece("aaab").find_first_not_of('a', 1));

  StringPiece16 wide(
      L"ab\xD800"
      L"b");
  EXPECT_EQ(1u, wide.find(L'b'));
  EXPECT_EQ(3u, wide.find(L'b', 2));
  EXPECT_EQ(2u, wide.find(static_cast<char16>(0xD800)));
  EXPECT_EQ(npos, wide.find(L'b', 4));
  EXPECT_EQ(npos, wide.find(L'b', npos));
}

TEST(StringPieceTest, SetSearchesAtTheirLimits) {
  StringPiece banana("banana");
  EXPECT_EQ(4u, banana.find_last_not_of("a", npos));
  EXPECT_EQ(npos, StringPiece("abba").find_first_not_of("ab", 0));

  // An empty set matches nothing.
  EXPECT_EQ(npos, banana.find_first_of(StringPiece(), 0));
  EXPECT_EQ(npos, banana.find_last_of(StringPiece(), npos));
  EXPECT_EQ(2u, banana.find_first_not_of(StringPiece(), 2));
  EXPECT_EQ(npos, banana.find_first_not_of(StringPiece(), 6));
  EXPECT_EQ(5u, banana.find_last_not_of(StringPiece(), npos));
  EXPECT_EQ(3u, banana.find_last_not_of(StringPiece(), 3));

  // Every search on an empty piece finds nothing.
  StringPiece empty;
  EXPECT_EQ(npos, empty.find_first_of("ab"));
  EXPECT_EQ(npos, empty.find_first_not_of("ab"));
  EXPECT_EQ(npos, empty.find_first_not_of(StringPiece()));
  EXPECT_EQ(npos, empty.find_last_of("ab"));
  EXPECT_EQ(npos, empty.find_last_not_of("ab"));
  EXPECT_EQ(npos, empty.find_last_not_of(StringPiece()));
  StringPiece16 empty16;
  EXPECT_EQ(npos, empty16.find_first_of(L"ab"));
  EXPECT_EQ(npos, empty16.find_first_not_of(StringPiece16()));
  EXPECT_EQ(npos, empty16.find_last_not_of(StringPiece16()));

  StringPiece16 wide(L"banana");
  EXPECT_EQ(4u, wide.find_last_not_of(L"a", npos));
  EXPECT_EQ(5u, wide.find_last_not_of(StringPiece16(), npos));
  EXPECT_EQ(npos, wide.find_first_of(StringPiece16(), 0));
  EXPECT_EQ(1u, wide.find_first_not_of(StringPiece16(), 1));
  EXPECT_EQ(npos, wide.find_first_not_of(StringPiece16(), 6));
}

// Texts and sets chosen to reach the empty-set, one-character and table
// paths, bytes above 0x7F (which a signed table index would get wrong) and
// embedded NULs.
TEST(StringPieceTest, NarrowSetSearchesMatchTheirDefinition) {
  const std::vector<std::string> texts = {
      "",
      "a",
      "banana",
      std::string("a\0b\x80\xFF", 5),
      "  \t x y \r\n",
      std::string("\xFF\x80\x7F\x00\x01", 5),
  };
  const std::vector<std::string> sets = {
      "",        "a",       "\xFF",     std::string(1, '\0'),
      "ab",      "an",      "\x80\xFF", std::string("\0a", 2),
      " \t\r\n", "xyz\x7F",
  };
  for (const std::string& text_string : texts) {
    StringPiece text(text_string);
    for (const std::string& set_string : sets) {
      StringPiece set(set_string);
      for (size_t pos : PositionsToTry(text.size())) {
        SCOPED_TRACE(::testing::Message()
                     << "text size " << text.size() << " set size "
                     << set.size() << " set[0] "
                     << (set.empty() ? -1 : static_cast<int>(set[0] & 0xFF))
                     << " pos " << pos);
        EXPECT_EQ(ForwardSearch(text, set, pos, true),
                  text.find_first_of(set, pos));
        EXPECT_EQ(ForwardSearch(text, set, pos, false),
                  text.find_first_not_of(set, pos));
        EXPECT_EQ(BackwardSearch(text, set, pos, true),
                  text.find_last_of(set, pos));
        EXPECT_EQ(BackwardSearch(text, set, pos, false),
                  text.find_last_not_of(set, pos));
      }
    }
  }
}

TEST(StringPieceTest, WideSetSearchesMatchTheirDefinition) {
  const std::vector<string16> texts = {
      L"",
      L"a",
      L"banana",
      string16(L"a\0b\x0100\xFFFF", 5),
      L" \x3000x\x00A0y ",
  };
  const std::vector<string16> sets = {
      L"",
      L"a",
      string16(1, L'\0'),
      L"ab",
      L"\x0100\x0041",  // Units that agree in their low byte with 'A'.
      L"\xFFFF",
      L" \x3000\x00A0",
  };
  for (const string16& text_string : texts) {
    StringPiece16 text(text_string);
    for (const string16& set_string : sets) {
      StringPiece16 set(set_string);
      for (size_t pos : PositionsToTry(text.size())) {
        SCOPED_TRACE(::testing::Message()
                     << "text size " << text.size() << " set size "
                     << set.size() << " pos " << pos);
        EXPECT_EQ(ForwardSearch(text, set, pos, true),
                  text.find_first_of(set, pos));
        EXPECT_EQ(ForwardSearch(text, set, pos, false),
                  text.find_first_not_of(set, pos));
        EXPECT_EQ(BackwardSearch(text, set, pos, false),
                  text.find_last_not_of(set, pos));
      }
    }
  }
}

TEST(StringPieceTest, EqualityAndOrder) {
  const std::string ab_nul_c("ab\0c", 4);
  const std::string ab_nul_d("ab\0d", 4);
  EXPECT_TRUE(StringPiece("abc") == StringPiece(std::string("abc")));
  EXPECT_FALSE(StringPiece("abc") == StringPiece("abcd"));
  EXPECT_FALSE(StringPiece(ab_nul_c) == StringPiece(ab_nul_d));
  EXPECT_TRUE(StringPiece(ab_nul_c) != StringPiece(ab_nul_d));
  EXPECT_TRUE(StringPiece() == StringPiece(""));
  EXPECT_FALSE(StringPiece() != StringPiece(""));

  StringPieceLess less;
  EXPECT_TRUE(less("ab", "abc"));  // A prefix comes first.
  EXPECT_FALSE(less("abc", "ab"));
  EXPECT_FALSE(less("abc", "abc"));
  EXPECT_TRUE(less("abc", "abd"));
  EXPECT_TRUE(less("b", "\x80"));  // Bytes compare as unsigned values.
  EXPECT_FALSE(less("\xFF", "\x7F"));
  EXPECT_TRUE(less(StringPiece(ab_nul_c), StringPiece(ab_nul_d)));
  EXPECT_TRUE(less(StringPiece(), "a"));
  EXPECT_FALSE(less(StringPiece(), StringPiece()));

  // As the ordering of a map keyed by pieces.
  const std::string keys[] = {"type", "\xC3\xA9", "t", "", "typed"};
  std::map<StringPiece, int, StringPieceLess> index;
  for (int i = 0; i < 5; ++i)
    index[keys[i]] = i;
  std::vector<std::string> order;
  for (const auto& entry : index)
    order.push_back(entry.first.as_string());
  EXPECT_EQ((std::vector<std::string>{"", "t", "type", "typed", "\xC3\xA9"}),
            order);
  EXPECT_EQ(0, index[StringPiece("type")]);
}

TEST(StringPieceTest, CopyAppendAndStream) {
  std::string out("old");
  StringPiece("new").CopyToString(&out);
  EXPECT_EQ("new", out);
  StringPiece().CopyToString(&out);
  EXPECT_EQ("", out);

  out = "x";
  StringPiece().AppendToString(&out);
  EXPECT_EQ("x", out);
  StringPiece(std::string("y\0z", 3)).AppendToString(&out);
  EXPECT_EQ(std::string("xy\0z", 4), out);

  string16 wide_out(L"old");
  StringPiece16(L"wide").CopyToString(&wide_out);
  EXPECT_EQ(L"wide", wide_out);
  StringPiece16(L"!").AppendToString(&wide_out);
  EXPECT_EQ(L"wide!", wide_out);
  StringPiece16().CopyToString(&wide_out);
  EXPECT_TRUE(wide_out.empty());

  std::ostringstream stream;
  stream.width(10);
  stream << StringPiece(std::string("a\0b", 3));
  stream << StringPiece();
  EXPECT_EQ(std::string("a\0b", 3), stream.str());
}

}  // namespace
}  // namespace base
