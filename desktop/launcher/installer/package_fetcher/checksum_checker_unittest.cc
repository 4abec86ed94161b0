#include "desktop/launcher/installer/package_fetcher/checksum_checker.h"

#include "base/files/file_util.h"
#include "base/test/unique_test_dir.h"
#include "desktop/launcher/installer/package_fetcher/test/package_test_util.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

TEST(ChecksumCheckerTest, MatchesOnlyTheExactLowerCaseDigest) {
  const std::string abc =
      "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  const struct {
    const char* name;
    std::string expected;
    bool matches;
  } cases[] = {
      {"lower case", abc, true},
      {"upper case",
       "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD",
       false},
      {"line feed", abc + "\n", false},
      {"one digit short", abc.substr(0, 63), false},
      {"last digit wrong", abc.substr(0, 63) + "c", false},
      {"empty", "", false},
  };
  base::UniqueTestDir dir;
  const base::FilePath file = dir.path().Append(L"abc");
  ASSERT_EQ(3, base::WriteFile(file, "abc", 3));
  const uint8_t bytes[] = {'a', 'b', 'c'};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.matches, ChecksumMatches(file, c.expected));
    EXPECT_EQ(c.matches, ChecksumMatches(bytes, sizeof(bytes), c.expected));
  }
  // The bytes are the file's, no more and no fewer.
  EXPECT_FALSE(ChecksumMatches(bytes, 2, abc));
  EXPECT_TRUE(ChecksumMatches(
      bytes, 0,
      "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
  const base::FilePath missing = dir.path().Append(L"missing");
  ScopedLogCapture log;
  EXPECT_FALSE(ChecksumMatches(missing, abc));
  EXPECT_TRUE(log.Saw("Unable to read " + missing.AsUTF8()));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
