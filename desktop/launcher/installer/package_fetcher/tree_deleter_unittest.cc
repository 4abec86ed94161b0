#include "desktop/launcher/installer/package_fetcher/tree_deleter.h"

#include <windows.h>

#include <string>

#include "base/files/file_util.h"
#include "base/test/folder_link.h"
#include "base/test/unique_test_dir.h"
#include "base/threading/platform_thread.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

bool Exists(const base::FilePath& path) {
  return GetFileAttributesW(path.value().c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A tree of |folders| folders of three levels with a few files each, one of
// them read-only.
void MakeTree(const base::FilePath& root, int folders) {
  for (int i = 0; i < folders; ++i) {
    const base::FilePath folder = root.Append(L"f" + std::to_wstring(i % 5) +
                                              L"\\g" + std::to_wstring(i));
    ASSERT_TRUE(base::CreateDirectory(folder));
    for (int j = 0; j < 6; ++j) {
      const std::string text = "file " + std::to_string(j);
      ASSERT_EQ(static_cast<int>(text.size()),
                base::WriteFile(folder.Append(L"x" + std::to_wstring(j)),
                                text.data(), static_cast<int>(text.size())));
    }
  }
  ASSERT_TRUE(SetFileAttributesW(root.Append(L"f0\\g0\\x0").value().c_str(),
                                 FILE_ATTRIBUTE_READONLY));
}

TEST(TreeDeleterTest, DeletesTheWholeTreeButNothingBehindALink) {
  base::UniqueTestDir dir;
  const base::FilePath outside = dir.path().Append(L"outside");
  ASSERT_TRUE(base::CreateDirectory(outside));
  ASSERT_EQ(4, base::WriteFile(outside.Append(L"keep"), "keep", 4));
  const base::FilePath tree = dir.path().Append(L"tree");
  MakeTree(tree, 40);
  // Folder links at two depths, listed before and after plain folders.
  ASSERT_TRUE(base::MakeFolderLink(tree.Append(L"a_link"), outside));
  ASSERT_TRUE(base::MakeFolderLink(tree.Append(L"f3\\z_link"), outside));
  EXPECT_TRUE(TreeDeleter(tree).Delete());
  EXPECT_FALSE(Exists(tree));
  EXPECT_TRUE(Exists(outside.Append(L"keep")));
}

// Makes |link| a symbolic link to the file |target|: under Wine a host
// link, which Wine shows as a plain file. Returns once the link is there.
bool MakeFileLink(const base::FilePath& link, const base::FilePath& target) {
  base::string16 host_link, host_target;
  if (!base::GetHostPath(link, &host_link) ||
      !base::GetHostPath(target, &host_target)) {
    return CreateSymbolicLinkW(link.value().c_str(), target.value().c_str(),
                               SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) !=
           FALSE;
  }
  if (!base::StartHostProgram(L"/bin/ln -s -- \"" + host_target + L"\" \"" +
                              host_link + L"\""))
    return false;
  // The host program comes without a handle to wait on.
  const base::TimeTicks deadline =
      base::TimeTicks::Now() + base::TimeDelta::FromSeconds(60);
  while (!Exists(link) && base::TimeTicks::Now() < deadline)
    base::PlatformThread::Sleep(base::TimeDelta::FromMilliseconds(5));
  return Exists(link);
}

// Another process swaps something of the tree for a link to outside it once
// the deletion has begun: a folder is held, so its move is refused; a file
// replaced by a link after it was listed is left alone, and the deletion
// fails. What is outside stays.
TEST(TreeDeleterTest, WhatIsSwappedForALinkOnceDeletingBeganIsNotFollowed) {
  const struct {
    const wchar_t* swapped;
    bool file;
  } cases[] = {
      {L"f3", false},
      {L"f3\\g8", false},
      {L"f3\\g8\\x1", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.swapped);
    base::UniqueTestDir dir;
    const base::FilePath outside = dir.path().Append(L"outside");
    ASSERT_TRUE(base::CreateDirectory(outside));
    ASSERT_EQ(4, base::WriteFile(outside.Append(L"keep"), "keep", 4));
    ASSERT_EQ(4, base::WriteFile(outside.Append(L"x1"), "keep", 4));
    const base::FilePath tree = dir.path().Append(L"tree");
    MakeTree(tree, 40);
    const base::FilePath swapped = tree.Append(c.swapped);
    TreeDeleter deleter(tree);
    bool began = false;
    deleter.set_before_deleting_for_testing([&]() {
      began = true;
      if (c.file) {
        EXPECT_TRUE(DeleteFileW(swapped.value().c_str()));
        EXPECT_TRUE(MakeFileLink(swapped, outside.Append(L"x1")));
      } else if (MoveFileExW(swapped.value().c_str(),
                             dir.path().Append(L"moved").value().c_str(), 0)) {
        EXPECT_TRUE(base::MakeFolderLink(swapped, outside));
      }
    });
    EXPECT_EQ(!c.file, deleter.Delete());
    EXPECT_TRUE(began);
    EXPECT_TRUE(Exists(outside.Append(L"keep")));
    EXPECT_TRUE(Exists(outside.Append(L"x1")));
    EXPECT_EQ(c.file, Exists(tree));
  }
}

TEST(TreeDeleterTest, AnswersAsBaseDeleteFile) {
  base::UniqueTestDir dir;
  // Not there: deleted already.
  EXPECT_TRUE(TreeDeleter(dir.path().Append(L"missing")).Delete());
  // A file, and a link given itself, go as themselves.
  const base::FilePath file = dir.path().Append(L"file");
  ASSERT_EQ(1, base::WriteFile(file, "x", 1));
  EXPECT_TRUE(TreeDeleter(file).Delete());
  EXPECT_FALSE(Exists(file));
  const base::FilePath target = dir.path().Append(L"target");
  MakeTree(target, 2);
  const base::FilePath link = dir.path().Append(L"link");
  ASSERT_TRUE(base::MakeFolderLink(link, target));
  EXPECT_TRUE(TreeDeleter(link).Delete());
  EXPECT_FALSE(Exists(link));
  EXPECT_TRUE(Exists(target.Append(L"f1\\g1\\x5")));
  // A file held open without sharing its deletion fails the deletion, and
  // stays.
  const base::FilePath tree = dir.path().Append(L"tree");
  MakeTree(tree, 10);
  const base::FilePath held = tree.Append(L"f2\\g7\\x3");
  base::win::ScopedHandle hold(CreateFileW(held.value().c_str(), GENERIC_READ,
                                           FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(hold.IsValid());
  EXPECT_FALSE(TreeDeleter(tree).Delete());
  EXPECT_TRUE(Exists(held));
  hold.Close();
  EXPECT_TRUE(TreeDeleter(tree).Delete());
  EXPECT_FALSE(Exists(tree));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
