#include "base/version.h"

#include <stdint.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {

namespace {

int Compare(const std::string& a, const std::string& b) {
  Version version_a(a);
  Version version_b(b);
  EXPECT_TRUE(version_a.IsValid()) << a;
  EXPECT_TRUE(version_b.IsValid()) << b;
  return version_a.CompareTo(version_b);
}

}  // namespace

TEST(VersionTest, ParseVersionNumbers) {
  std::vector<uint32_t> components;
  EXPECT_TRUE(Version::ParseVersionNumbers("1.2.3", &components));
  EXPECT_EQ((std::vector<uint32_t>{1, 2, 3}), components);
  EXPECT_TRUE(Version::ParseVersionNumbers("52.0.2871.64", &components));
  EXPECT_EQ((std::vector<uint32_t>{52, 0, 2871, 64}), components);
  EXPECT_TRUE(Version::ParseVersionNumbers("4294967295.1.02", &components));
  EXPECT_EQ((std::vector<uint32_t>{4294967295u, 1, 2}), components);

  // Failures leave the output alone.
  const char* kInvalid[] = {
      "",     ".",    "1..2", "1.2.",         ".1",         "1.-2",
      "1.+2", "+1.2", "-1",   "1.2a",         " 1.2",       "1.2 ",
      "1. 2", "01.2", "00",   "1.4294967296", "4294967296", "0x1.2",
      "1,2",  "a",
  };
  for (const char* text : kInvalid) {
    EXPECT_FALSE(Version::ParseVersionNumbers(text, &components)) << text;
    EXPECT_EQ((std::vector<uint32_t>{4294967295u, 1, 2}), components) << text;
    EXPECT_FALSE(Version(text).IsValid()) << text;
  }

  const char* kValid[] = {"0", "0.0", "1.00", "1.02", "7.0.0.0.0.0.0.0.1"};
  for (const char* text : kValid)
    EXPECT_TRUE(Version(text).IsValid()) << text;
}

TEST(VersionTest, CompareTo) {
  EXPECT_EQ(0, Compare("1.2.3", "1.2.3"));
  EXPECT_EQ(0, Compare("1.02", "1.2"));
  // Components compare as numbers, and as unsigned ones.
  EXPECT_EQ(-1, Compare("2.0", "10.0"));
  EXPECT_EQ(1, Compare("10.0", "2.0"));
  EXPECT_EQ(1, Compare("1.4294967295", "1.2147483648"));
  EXPECT_EQ(-1, Compare("1.2147483647", "1.2147483648"));
  // The first differing component decides, whatever follows.
  EXPECT_EQ(1, Compare("1.3", "1.2.9"));
  EXPECT_EQ(-1, Compare("1.2.9", "1.3"));
  // Missing components count as 0.
  EXPECT_EQ(0, Compare("1.0", "1.0.0"));
  EXPECT_EQ(0, Compare("1.0.0.0", "1"));
  EXPECT_EQ(1, Compare("1.0.1", "1.0"));
  EXPECT_EQ(-1, Compare("1.0", "1.0.1"));
  EXPECT_EQ(1, Compare("1.0.0.0.0.0.1", "1"));
  EXPECT_EQ(-1, Compare("1", "1.0.0.0.0.0.1"));
  EXPECT_EQ(-1, Compare("1.0.0.5", "1.0.1"));
}

}  // namespace base
