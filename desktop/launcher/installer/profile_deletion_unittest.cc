#include "desktop/launcher/installer/profile_deletion.h"

#include <windows.h>

#include <shlobj.h>

#include <string>

#include "base/files/file_util.h"
#include "base/test/folder_link.h"
#include "base/test/unique_test_dir.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

TEST(ProfileDeletionTest, RefusesRootsAndFoldersHoldingSharedOnes) {
  const std::vector<base::FilePath> shared = {
      base::FilePath(L"C:\\Users\\me"),
      base::FilePath(L"C:\\Users\\me\\AppData\\Roaming\\"),
      base::FilePath(L"D:\\Programs")};
  const struct {
    const wchar_t* folder;
    bool allowed;
  } kCases[] = {
      {L"", false},
      {L"Vexlo\\Profile", false},
      {L"\\Vexlo", false},
      {L"C:\\", false},
      {L"E:\\", false},
      {L"E:\\\\", false},
      {L"\\\\server\\share", false},
      {L"\\\\server\\share\\", false},
      {L"\\\\server", false},
      {L"C:\\Users", false},
      {L"c:\\users\\ME", false},
      {L"C:\\Users\\me\\", false},
      {L"C:\\Users\\me\\AppData", false},
      {L"C:\\Users\\me\\AppData\\Roaming", false},
      {L"D:\\PROGRAMS\\", false},
      {L"C:\\Users\\me\\AppData\\Roaming\\Vexlo\\Profile", true},
      {L"C:\\Users\\me\\Documents\\Vexlo", true},
      {L"C:\\Users\\me2", true},
      {L"C:\\Users\\m", true},
      {L"E:\\Profiles", true},
      {L"\\\\server\\share\\Vexlo", true},
  };
  for (const auto& test : kCases) {
    EXPECT_EQ(test.allowed,
              MayDeleteRecursively(base::FilePath(test.folder), shared))
        << test.folder;
  }
}

// The shell's own folders, as it names them now, are never deleted; a
// profile below them is.
TEST(ProfileDeletionTest, DeletesOnlyBelowTheShellsFolders) {
  const std::vector<base::FilePath> shared = GetSharedShellFolders();
  for (int id :
       {CSIDL_PROFILE, CSIDL_PERSONAL, CSIDL_DESKTOPDIRECTORY, CSIDL_APPDATA,
        CSIDL_LOCAL_APPDATA, CSIDL_PROGRAM_FILES, CSIDL_WINDOWS}) {
    wchar_t path[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(
        ::SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path)));
    const base::FilePath folder(path);
    EXPECT_FALSE(MayDeleteRecursively(folder, shared)) << path;
    EXPECT_FALSE(MayDeleteRecursively(folder.DirName(), shared)) << path;
  }
  base::UniqueTestDir temp;
  const base::FilePath profile = temp.path().Append(L"Profile");
  ASSERT_TRUE(base::CreateDirectory(profile.Append(L"Default")));
  ASSERT_EQ(1, base::WriteFile(profile.Append(L"Default\\Bookmarks"), "b", 1));
  EXPECT_FALSE(DeleteProfileFolder(base::FilePath(L"Profile")));
  EXPECT_TRUE(DeleteProfileFolder(profile));
  EXPECT_FALSE(base::PathExists(profile));
  EXPECT_TRUE(base::PathExists(temp.path()));
}

// A cache or a whole profile moved elsewhere and linked back in place: the
// deletion takes the links and leaves what they point to.
TEST(ProfileDeletionTest, TakesLinksAndLeavesWhatTheyPointTo) {
  base::UniqueTestDir temp;
  const base::FilePath moved = temp.path().Append(L"Moved");
  const base::FilePath profile = temp.path().Append(L"Profile");
  ASSERT_TRUE(base::CreateDirectory(moved.Append(L"Cache")) &&
              base::CreateDirectory(profile.Append(L"Default")));
  ASSERT_EQ(1, base::WriteFile(moved.Append(L"Cache\\data_0"), "c", 1));
  ASSERT_TRUE(base::MakeFolderLink(profile.Append(L"Default\\Cache"),
                                   moved.Append(L"Cache")));
  EXPECT_TRUE(DeleteProfileFolder(profile));
  EXPECT_FALSE(base::PathExists(profile));
  const base::FilePath linked_profile = temp.path().Append(L"Linked");
  ASSERT_TRUE(base::MakeFolderLink(linked_profile, moved));
  EXPECT_TRUE(DeleteProfileFolder(linked_profile));
  EXPECT_FALSE(base::PathExists(linked_profile));
  std::string data;
  EXPECT_TRUE(base::ReadFileToString(moved.Append(L"Cache\\data_0"), &data));
  EXPECT_EQ("c", data);
}

}  // namespace installer
}  // namespace vexlo
