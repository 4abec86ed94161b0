#include "base/files/file_enumerator.h"

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/test/scoped_windows_version_override.h"
#include "base/test/unique_test_dir.h"
#include "gtest/gtest.h"

namespace base {

namespace {

// The paths an enumerator returns, relative to |root|, in their order.
std::vector<string16> Walk(FileEnumerator* enumerator, const FilePath& root) {
  std::vector<string16> walked;
  for (FilePath path = enumerator->Next(); !path.empty();
       path = enumerator->Next()) {
    FilePath relative;
    walked.push_back(root.AppendRelativePath(path, &relative)
                         ? relative.value()
                         : L"(outside) " + path.value());
  }
  return walked;
}

std::set<string16> AsSet(const std::vector<string16>& paths) {
  return std::set<string16>(paths.begin(), paths.end());
}

class FileEnumeratorTest : public testing::TestWithParam<win::Version> {
 protected:
  FileEnumeratorTest() : version_override_(GetParam()) {}

  void SetUp() override {
    ASSERT_TRUE(temp_dir_.IsValid());
    root_ = temp_dir_.path();
    // root: a.txt b.log one\ (c.txt, nested\ (d.txt)) two.txt\ (e.bin)
    ASSERT_TRUE(CreateDirectory(root_.Append(L"one\\nested")));
    ASSERT_TRUE(CreateDirectory(root_.Append(L"two.txt")));
    for (const wchar_t* name : {L"a.txt", L"b.log", L"one\\c.txt",
                                L"one\\nested\\d.txt", L"two.txt\\e.bin"}) {
      ASSERT_EQ(1, WriteFile(root_.Append(name), "x", 1));
    }
  }

  // A version before and one from Windows 7 take the two search calls.
  win::ScopedWindowsVersionOverride version_override_;
  UniqueTestDir temp_dir_;
  FilePath root_;
};

TEST_P(FileEnumeratorTest, SelectsTypes) {
  FileEnumerator files(root_, false, FileEnumerator::FILES);
  EXPECT_EQ(std::set<string16>({L"a.txt", L"b.log"}),
            AsSet(Walk(&files, root_)));

  FileEnumerator dirs(root_, false, FileEnumerator::DIRECTORIES);
  EXPECT_EQ(std::set<string16>({L"one", L"two.txt"}),
            AsSet(Walk(&dirs, root_)));

  FileEnumerator all(root_, false,
                     FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
  const std::vector<string16> walked = Walk(&all, root_);
  EXPECT_EQ(4u, walked.size());
  EXPECT_EQ(std::set<string16>({L"a.txt", L"b.log", L"one", L"two.txt"}),
            AsSet(walked));

  // "." never comes; ".." only when asked for, as the root joined with it.
  FileEnumerator with_dot_dot(
      root_.Append(L"one"), false,
      FileEnumerator::DIRECTORIES | FileEnumerator::INCLUDE_DOT_DOT);
  std::vector<string16> names;
  for (FilePath path = with_dot_dot.Next(); !path.empty();
       path = with_dot_dot.Next()) {
    names.push_back(path.BaseName().value());
  }
  EXPECT_EQ(std::set<string16>({L"..", L"nested"}), AsSet(names));
  EXPECT_EQ(2u, names.size());

  FileEnumerator nothing(root_, true, 0);
  EXPECT_TRUE(nothing.Next().empty());
}

TEST_P(FileEnumeratorTest, RecursiveWalkOrder) {
  FileEnumerator all(root_, true,
                     FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
  const std::vector<string16> walked = Walk(&all, root_);
  ASSERT_EQ(8u, walked.size());
  EXPECT_EQ(std::set<string16>({L"a.txt", L"b.log", L"one", L"one\\c.txt",
                                L"one\\nested", L"one\\nested\\d.txt",
                                L"two.txt", L"two.txt\\e.bin"}),
            AsSet(walked));

  // The root's four entries come first, in the system's order.
  std::vector<string16> root_dirs;
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(string16::npos, walked[i].find(L'\\')) << walked[i];
    if (walked[i] == L"one" || walked[i] == L"two.txt")
      root_dirs.push_back(walked[i]);
  }
  ASSERT_EQ(2u, root_dirs.size());
  // Then the folder found last is walked first; a folder's subfolders come
  // right after it, before folders found earlier. Within "one" the order of
  // c.txt and nested is the system's.
  const bool two_found_last = root_dirs[1] == L"two.txt";
  const size_t one_start = two_found_last ? 5 : 4;
  EXPECT_EQ(std::set<string16>({L"one\\c.txt", L"one\\nested"}),
            std::set<string16>(walked.begin() + one_start,
                               walked.begin() + one_start + 2));
  EXPECT_EQ(L"one\\nested\\d.txt", walked[one_start + 2]);
  EXPECT_EQ(L"two.txt\\e.bin", walked[two_found_last ? 4 : 7]);
}

TEST_P(FileEnumeratorTest, PatternFiltersTheFirstFolderOnly) {
  FileEnumerator flat(root_, false, FileEnumerator::FILES, L"*.txt");
  EXPECT_EQ(std::vector<string16>({L"a.txt"}), Walk(&flat, root_));

  // Recursive: "one" does not match and is not entered; "two.txt" matches
  // and is walked whole.
  FileEnumerator deep(root_, true,
                      FileEnumerator::FILES | FileEnumerator::DIRECTORIES,
                      L"*.txt");
  EXPECT_EQ(std::set<string16>({L"a.txt", L"two.txt", L"two.txt\\e.bin"}),
            AsSet(Walk(&deep, root_)));

  FileEnumerator none(root_, true, FileEnumerator::FILES, L"*.none");
  EXPECT_TRUE(none.Next().empty());

  FileEnumerator single(root_, false, FileEnumerator::FILES, L"b.log");
  EXPECT_EQ(std::vector<string16>({L"b.log"}), Walk(&single, root_));
}

TEST_P(FileEnumeratorTest, InfoFollowsTheCurrentEntry) {
  FileEnumerator enumerator(
      root_, false, FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
  EXPECT_EQ(0u, enumerator.GetInfo().find_data().dwFileAttributes);
  EXPECT_EQ(L'\0', enumerator.GetInfo().find_data().cFileName[0]);
  for (FilePath path = enumerator.Next(); !path.empty();
       path = enumerator.Next()) {
    const FileEnumerator::FileInfo info = enumerator.GetInfo();
    EXPECT_EQ(path.BaseName().value(), info.find_data().cFileName);
    EXPECT_EQ(DirectoryExists(path), info.IsDirectory()) << path.AsUTF8();
    if (!info.IsDirectory()) {
      EXPECT_EQ(1u, info.find_data().nFileSizeLow);
    }
  }
  EXPECT_EQ(L'\0', enumerator.GetInfo().find_data().cFileName[0]);
  EXPECT_FALSE(enumerator.GetInfo().IsDirectory());
  // The end is final.
  EXPECT_TRUE(enumerator.Next().empty());
}

TEST_P(FileEnumeratorTest, MissingRootsAndFilesAsRoots) {
  FileEnumerator missing(root_.Append(L"missing"), true,
                         FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
  EXPECT_TRUE(missing.Next().empty());
  FileEnumerator file_root(root_.Append(L"a.txt"), true, FileEnumerator::FILES);
  EXPECT_TRUE(file_root.Next().empty());
  // An enumerator dropped in the middle of a walk closes its search.
  {
    FileEnumerator partial(root_, true, FileEnumerator::FILES);
    EXPECT_FALSE(partial.Next().empty());
  }
  EXPECT_TRUE(DeleteFile(root_.Append(L"one"), true));
}

INSTANTIATE_TEST_SUITE_P(SearchCalls,
                         FileEnumeratorTest,
                         testing::Values(win::VERSION_VISTA,
                                         win::VERSION_WIN7));

}  // namespace

}  // namespace base
