#include "base/strings/pattern.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(MatchPatternTest, Table) {
  const struct {
    const char* string;
    const char* pattern;
    bool matches;
  } kCases[] = {
      {"abc", "a*c", true},
      {"ac", "a*c", true},
      {"abd", "a*c", false},
      {"abc", "a?c", true},
      {"ac", "a?c", true},
      {"abbc", "a?c", false},
      {"", "*", true},
      {"", "", true},
      {"a", "", false},
      {"anything at all", "***", true},
      {"a*b", "a\\*b", true},
      {"axb", "a\\*b", false},
      {"a\\b", "a\\\\b", true},
      {"a", "a\\", false},
      {"", "\\", false},
      {"abc", "abc\\", false},
      {"Toplevel", "toplevel", false},
      {"xDebug", "*Debug", true},
      {"Debugx", "*Debug", false},
      // '?' steps over a whole character, not one byte.
      {"a\xC3\xA9z", "a?z", true},
      {"a\xC3\xA9z", "a\xC3\xA9?", true},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.matches, MatchPattern(c.string, c.pattern))
        << c.string << " / " << c.pattern;
  }
}

TEST(MatchPatternTest, DepthLimit) {
  EXPECT_TRUE(MatchPattern("a", std::string(16, '?') + "a"));
  EXPECT_FALSE(MatchPattern("a", std::string(17, '?') + "a"));
  // Each '?' that takes a character is one step deeper too.
  EXPECT_TRUE(
      MatchPattern(std::string(16, 'b') + "a", std::string(16, '?') + "a"));
  EXPECT_FALSE(
      MatchPattern(std::string(17, 'b') + "a", std::string(17, '?') + "a"));
  // And so is each '*'; a run of wildcards after one counts once.
  std::string sixteen;
  std::string seventeen;
  for (int i = 0; i < 16; ++i)
    sixteen += "*?a";
  seventeen = sixteen + "*?a";
  EXPECT_TRUE(MatchPattern(std::string(16, 'a'), sixteen));
  EXPECT_FALSE(MatchPattern(std::string(17, 'a'), seventeen));
}

TEST(MatchPatternTest, MalformedCharactersNeverMatch) {
  EXPECT_FALSE(MatchPattern("\x80", "\x80"));
  EXPECT_FALSE(MatchPattern("\xFF", "\xFF"));
  EXPECT_FALSE(MatchPattern("a\xC3", "a\xC3"));
  // A wildcard still steps over such bytes.
  EXPECT_TRUE(MatchPattern("a\x80", "a*"));
}

}  // namespace
}  // namespace base
