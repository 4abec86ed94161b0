#include "base/vlog_info.h"

#include <climits>

#include "gtest/gtest.h"

namespace base {
namespace {

// A pattern with a separator is matched against the whole path, with either
// separator, else against the module; the first match wins, and without
// one the level is the negated minimum level. A level keeps its leading
// number; a pair without one is level 0.
TEST(VlogInfoTest, LevelOfAFile) {
  const struct {
    const char* vmodule;
    const char* file;
    int min_log_level;
    int expected;
  } kCases[] = {{"foo=2,bar/*=3", "src/deeper\\foo-inl.h", -4, 2},
                {"foo=2,bar/*=3", "bar\\x.cc", 0, 3},
                {"foo=2,bar/*=3", "src\\bar\\x.cc", 0, 0},
                {"foo=2,bar/*=3", "foo_unittest.cc", -4, 4},
                {"", "baz.cc", INT_MIN, INT_MAX},
                {"foo*=1,foo_bar=2,*=7", "foo_bar.cc", 0, 1},
                {"foo*=1,*=7", "dir\\.cc", 0, 7},
                {"foo=3x,bar=", "foo.cc", 0, 3},
                {"foo=3x,bar=", "bar.cc", -5, 0}};
  for (const auto& c : kCases) {
    int min_log_level = c.min_log_level;
    VlogInfo vlog_info("", c.vmodule, &min_log_level);
    EXPECT_EQ(c.expected, vlog_info.GetVlogLevel(c.file)) << c.file;
    EXPECT_EQ(c.min_log_level, min_log_level);
  }
}

// Unlike a "vmodule" level, a partly numeric value counts for nothing; the
// level never goes above FATAL, which would keep FATAL lines from stopping
// the process.
TEST(VlogInfoTest, VSwitchSetsMinimumLevelOnlyWhenNumeric) {
  const std::pair<const char*, int> kCases[] = {
      {"3", -3}, {"", -1}, {"abc", -1}, {"3x", -1}, {"-2", 2}, {"-7", 3}};
  for (const auto& c : kCases) {
    int min_log_level = -1;
    VlogInfo vlog_info(c.first, "", &min_log_level);
    EXPECT_EQ(c.second, min_log_level) << c.first;
    EXPECT_EQ(-c.second, vlog_info.GetVlogLevel("any.cc")) << c.first;
  }
}

TEST(VlogInfoTest, ModuleIsFileNameWithoutExtensionAndInlSuffix) {
  const char* const kCases[][2] = {{"x\\y\\foo_bar-inl.h", "foo_bar"},
                                   {"x/y/foo.cc", "foo"},
                                   {"a/b.c.d", "b.c"},
                                   {"noext", "noext"},
                                   {"-inl.h", ""},
                                   {"foo-in.h", "foo-in"}};
  for (const auto& c : kCases)
    EXPECT_EQ(c[1], GetVlogModule(c[0]).as_string()) << c[0];
}

// "?" matches one character, "*" any run, and a separator either one.
TEST(VlogInfoTest, PatternMatching) {
  const char* const kMatching[][2] = {{"foo", "f?o"},
                                      {"foo_unittest", "foo*"},
                                      {"", "***"},
                                      {"", ""},
                                      {"ab", "*b"},
                                      {"abcabd", "*abd"},
                                      {"foo_bar_baz", "foo*baz"},
                                      {"bar\\x.cc", "bar/*"},
                                      {"bar/x.cc", "bar\\*"}};
  const char* const kNotMatching[][2] = {{"foo_unittest", "foo"},
                                         {"fo", "foo"},
                                         {"Foo", "foo"},
                                         {"a", ""},
                                         {"", "*a"},
                                         {"ab", "*a"},
                                         {"barax", "bar/x"},
                                         {"foo_baz_qux", "foo*baz"}};
  for (const auto& c : kMatching)
    EXPECT_TRUE(MatchVlogPattern(c[0], c[1])) << c[0] << " " << c[1];
  for (const auto& c : kNotMatching)
    EXPECT_FALSE(MatchVlogPattern(c[0], c[1])) << c[0] << " " << c[1];
}

}  // namespace
}  // namespace base
