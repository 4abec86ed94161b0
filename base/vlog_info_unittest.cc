#include "base/vlog_info.h"

#include <climits>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(VlogInfoTest, VmodulePatternsMatchModulesOrPaths) {
  int min_log_level = 0;
  VlogInfo vlog_info("", "foo=2,bar/*=3", &min_log_level);
  EXPECT_EQ(2, vlog_info.GetVlogLevel("src\\foo.cc"));
  EXPECT_EQ(2, vlog_info.GetVlogLevel("src/deeper\\foo-inl.h"));
  // A pattern with a separator is matched against the whole path, from its
  // start, with either separator.
  EXPECT_EQ(3, vlog_info.GetVlogLevel("bar\\x.cc"));
  EXPECT_EQ(3, vlog_info.GetVlogLevel("bar/x.cc"));
  EXPECT_EQ(0, vlog_info.GetVlogLevel("src\\bar\\x.cc"));
  // No pattern matches: the negated minimum level, read when asked.
  EXPECT_EQ(0, vlog_info.GetVlogLevel("baz.cc"));
  EXPECT_EQ(0, vlog_info.GetVlogLevel("foo_unittest.cc"));
  min_log_level = -4;
  EXPECT_EQ(4, vlog_info.GetVlogLevel("baz.cc"));
  EXPECT_EQ(2, vlog_info.GetVlogLevel("foo.cc"));
}

TEST(VlogInfoTest, FirstMatchingPatternWins) {
  int min_log_level = 0;
  VlogInfo vlog_info("", "foo*=1,foo_bar=2,*=7", &min_log_level);
  EXPECT_EQ(1, vlog_info.GetVlogLevel("foo_bar.cc"));
  EXPECT_EQ(7, vlog_info.GetVlogLevel("x\\other.cc"));
  // A pattern of stars alone matches the empty module too.
  EXPECT_EQ(7, vlog_info.GetVlogLevel("dir\\.cc"));
  EXPECT_EQ(7, vlog_info.GetVlogLevel(""));
}

TEST(VlogInfoTest, VmoduleLevelsKeepTheLeadingNumber) {
  int min_log_level = 0;
  VlogInfo vlog_info("", "foo=3x,bar=-2,baz=", &min_log_level);
  EXPECT_EQ(3, vlog_info.GetVlogLevel("foo.cc"));
  EXPECT_EQ(-2, vlog_info.GetVlogLevel("bar.cc"));
  // A pair without a value still stands, at level 0.
  min_log_level = -5;
  EXPECT_EQ(0, vlog_info.GetVlogLevel("baz.cc"));
  EXPECT_EQ(5, vlog_info.GetVlogLevel("qux.cc"));
}

TEST(VlogInfoTest, VSwitchSetsMinimumLevelOnlyWhenNumeric) {
  struct {
    const char* v_switch;
    int expected_min_log_level;
  } const cases[] = {
      {"3", -3},
      {"0", 0},
      {"", -1},
      {"abc", -1},
      // Unlike a "vmodule" level, a partly numeric value counts for nothing.
      {"3x", -1},
      {" 3", -1},
      {"2147483647", -2147483647},
      // Never above FATAL, which would keep FATAL lines from stopping the
      // process.
      {"-2", 2},
      {"-3", 3},
      {"-7", 3},
      {"-2147483648", 3},
  };
  for (const auto& c : cases) {
    int min_log_level = -1;
    VlogInfo vlog_info(c.v_switch, "", &min_log_level);
    EXPECT_EQ(c.expected_min_log_level, min_log_level) << c.v_switch;
    EXPECT_EQ(-c.expected_min_log_level, vlog_info.GetVlogLevel("any.cc"))
        << c.v_switch;
  }
}

TEST(VlogInfoTest, MinimumLevelWithoutNegationGivesHighestLevel) {
  int min_log_level = INT_MIN;
  VlogInfo vlog_info("", "", &min_log_level);
  EXPECT_EQ(INT_MAX, vlog_info.GetVlogLevel("any.cc"));
}

TEST(VlogInfoTest, ModuleIsFileNameWithoutExtensionAndInlSuffix) {
  struct {
    const char* path;
    const char* module;
  } const cases[] = {
      {"x\\y\\foo_bar-inl.h", "foo_bar"},
      {"x/y/foo.cc", "foo"},
      {"a/b.c.d", "b.c"},
      {"noext", "noext"},
      {"dir.d\\noext", "noext"},
      {"foo-inl", "foo"},
      {"foo-inl-inl.h", "foo-inl"},
      {"foo-in.h", "foo-in"},
      {"-inl.h", ""},
      {"x\\", ""},
      {"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.module, GetVlogModule(c.path).as_string()) << c.path;
}

TEST(VlogInfoTest, PatternMatching) {
  struct {
    const char* text;
    const char* pattern;
    bool matches;
  } const cases[] = {
      {"foo", "foo", true},
      {"foo_unittest", "foo", false},
      {"foo_unittest", "foo*", true},
      {"fo", "foo", false},
      {"Foo", "foo", false},
      {"foo", "f?o", true},
      {"fo", "f?o", false},
      {"fooo", "f?o", false},
      {"", "***", true},
      {"anything", "***", true},
      {"", "", true},
      {"a", "", false},
      {"", "a", false},
      {"", "*a", false},
      {"a", "a*", true},
      {"ab", "*b", true},
      {"ab", "*a", false},
      {"foo_bar_baz", "foo*baz", true},
      {"foo_baz_qux", "foo*baz", false},
      {"abcabd", "*abd", true},
      {"a/b/c", "a*c", true},
      {"bar\\x.cc", "bar/*", true},
      {"bar/x.cc", "bar\\*", true},
      {"bar/x", "bar?x", true},
      {"barax", "bar/x", false},
      {"bar\\x", "bar\\x", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.matches, MatchVlogPattern(c.text, c.pattern))
        << "'" << c.text << "' against '" << c.pattern << "'";
  }
}

}  // namespace
}  // namespace base
