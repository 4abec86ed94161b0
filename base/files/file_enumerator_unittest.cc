#include "base/files/file_enumerator.h"

#include <set>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/test/scoped_windows_version_override.h"
#include "base/test/unique_test_dir.h"
#include "gtest/gtest.h"

namespace base {

namespace {

constexpr int kAll = FileEnumerator::FILES | FileEnumerator::DIRECTORIES;

// A version before and one from Windows 7 take the two search calls.
class FileEnumeratorTest : public testing::TestWithParam<win::Version> {
 protected:
  FileEnumeratorTest() : version_override_(GetParam()) {}

  void SetUp() override {
    ASSERT_TRUE(temp_dir_.IsValid());
    // root: a.txt b.log one\ (c.txt, nested\ (d.txt)) two.txt\ (e.bin)
    ASSERT_TRUE(CreateDirectory(Root().Append(L"one\\nested")));
    ASSERT_TRUE(CreateDirectory(Root().Append(L"two.txt")));
    for (const wchar_t* name : {L"a.txt", L"b.log", L"one\\c.txt",
                                L"one\\nested\\d.txt", L"two.txt\\e.bin"}) {
      ASSERT_EQ(1, WriteFile(Root().Append(name), "x", 1));
    }
  }

  const FilePath& Root() const { return temp_dir_.path(); }

  // The paths |enumerator| returns, relative to the root, in their order,
  // those its info calls folders with a trailing separator.
  std::vector<string16> Walk(FileEnumerator* enumerator) const {
    std::vector<string16> walked;
    EXPECT_EQ(0u, enumerator->GetInfo().find_data().dwFileAttributes);
    for (FilePath path = enumerator->Next(); !path.empty();
         path = enumerator->Next()) {
      FilePath relative;
      EXPECT_TRUE(Root().AppendRelativePath(path, &relative)) << path.AsUTF8();
      EXPECT_EQ(path.BaseName().value(),
                enumerator->GetInfo().find_data().cFileName);
      walked.push_back(relative.value() +
                       (enumerator->GetInfo().IsDirectory() ? L"\\" : L""));
    }
    // The end is final, and its info empty.
    EXPECT_TRUE(enumerator->Next().empty());
    EXPECT_EQ(L'\0', enumerator->GetInfo().find_data().cFileName[0]);
    return walked;
  }

  win::ScopedWindowsVersionOverride version_override_;
  UniqueTestDir temp_dir_;
};

TEST_P(FileEnumeratorTest, SelectsTypesAndPatterns) {
  const struct {
    bool recursive;
    int types;
    const wchar_t* pattern;
    std::set<string16> expected;
  } kWalks[] = {
      {false, FileEnumerator::FILES, L"", {L"a.txt", L"b.log"}},
      {false, FileEnumerator::DIRECTORIES, L"", {L"one\\", L"two.txt\\"}},
      {true, 0, L"", {}},
      {true,
       kAll,
       L"",
       {L"a.txt", L"b.log", L"one\\", L"one\\c.txt", L"one\\nested\\",
        L"one\\nested\\d.txt", L"two.txt\\", L"two.txt\\e.bin"}},
      {false, FileEnumerator::FILES, L"*.txt", {L"a.txt"}},
      // The pattern filters the first folder only: "one" is not entered,
      // "two.txt" is walked whole.
      {true, kAll, L"*.txt", {L"a.txt", L"two.txt\\", L"two.txt\\e.bin"}},
      {true, FileEnumerator::FILES, L"*.none", {}},
  };
  for (const auto& walk : kWalks) {
    FileEnumerator enumerator(Root(), walk.recursive, walk.types, walk.pattern);
    const std::vector<string16> walked = Walk(&enumerator);
    EXPECT_EQ(walk.expected, std::set<string16>(walked.begin(), walked.end()))
        << walk.types << " " << walk.pattern;
    EXPECT_EQ(walk.expected.size(), walked.size());
  }
  // "." never comes; ".." only when asked for.
  FileEnumerator dot_dot(
      Root().Append(L"one"), false,
      FileEnumerator::DIRECTORIES | FileEnumerator::INCLUDE_DOT_DOT);
  const std::vector<string16> walked = Walk(&dot_dot);
  EXPECT_EQ(std::set<string16>({L"one\\..\\", L"one\\nested\\"}),
            std::set<string16>(walked.begin(), walked.end()));
  for (const wchar_t* root : {L"missing", L"a.txt"}) {
    FileEnumerator nothing(Root().Append(root), true, kAll);
    EXPECT_TRUE(nothing.Next().empty()) << root;
  }
  // An enumerator dropped in the middle of a walk closes its search.
  {
    FileEnumerator partial(Root(), true, FileEnumerator::FILES);
    EXPECT_FALSE(partial.Next().empty());
  }
  EXPECT_TRUE(DeleteFile(Root().Append(L"one"), true));
}

INSTANTIATE_TEST_SUITE_P(SearchCalls,
                         FileEnumeratorTest,
                         testing::Values(win::VERSION_VISTA,
                                         win::VERSION_WIN7));

}  // namespace

}  // namespace base
