#include "desktop/launcher/installer/run_directory.h"

#include <windows.h>

#include "base/base_paths.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/test/unique_test_dir.h"
#include "desktop/launcher/installer/test/scoped_path_override.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr wchar_t kSubFolder[] = L"Run Test Folder";

// The installer host executable, built beside the test executable; without
// its library next to it, a copy starts and ends at once.
base::FilePath GetRunnableExecutable() {
  base::FilePath folder;
  EXPECT_TRUE(base::PathService::Get(base::DIR_EXE, &folder));
  return folder.Append(L"installer.exe");
}

// The names in |folder|, "|"-separated; "missing" when it is not there.
std::string Contents(const base::FilePath& folder) {
  if (!base::DirectoryExists(folder))
    return "missing";
  std::string names;
  base::FileEnumerator enumerator(
      folder, false,
      base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath path = enumerator.Next(); !path.empty();
       path = enumerator.Next()) {
    names += path.BaseName().AsUTF8() + "|";
  }
  return names;
}

// The folder is made, missing parents too, and proven by running a copy of
// the executable there, which then goes; a folder where nothing runs is
// removed when empty. An existing folder is reused as it is.
TEST(RunDirectoryTest, PreparesAFolderWhereTheExecutableRuns) {
  base::UniqueTestDir temp;
  ASSERT_TRUE(temp.IsValid());
  const base::FilePath not_a_program = temp.path().Append(L"text.exe");
  ASSERT_EQ(4, base::WriteFile(not_a_program, "text", 4));
  ASSERT_TRUE(base::CreateDirectory(temp.path().Append(L"busy")));
  ASSERT_EQ(4, base::WriteFile(temp.path().Append(L"busy\\keep"), "keep", 4));
  const struct {
    const wchar_t* parent;
    const wchar_t* name;
    base::FilePath executable;
    bool prepared;
    const char* contents;  // Of the folder afterwards.
  } kCases[] = {{L"missing parent", kSubFolder, base::FilePath(), true, ""},
                {L"", L"", base::FilePath(), true, nullptr},
                {L"", kSubFolder, GetRunnableExecutable(), true, ""},
                {L"", L"busy", GetRunnableExecutable(), true, "keep|"},
                {L"", L"other", not_a_program, false, "missing"},
                {L"", L"busy", not_a_program, false, "keep|"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.parent << "\\" << c.name);
    base::FilePath folder = temp.path().Append(c.parent);
    EXPECT_EQ(c.prepared, PrepareFolderIn(c.name, c.executable, &folder));
    EXPECT_EQ(temp.path().Append(c.parent).Append(c.name), folder);
    EXPECT_EQ(c.contents ? c.contents : Contents(folder), Contents(folder));
  }
  EXPECT_FALSE(TestRunExecutableIn(temp.path(), temp.path().Append(L"no.exe")));
  base::FilePath untouched(L"C:\\untouched");
  // A path key that nothing answers.
  EXPECT_FALSE(PrepareFolderUnderPathKey(kSubFolder, base::FilePath(),
                                         &untouched, 2016));
  EXPECT_EQ(L"C:\\untouched", untouched.value());
}

// The temporary folder first, then the downloads folder.
TEST(RunDirectoryTest, GetsTheTemporaryInstallerFolder) {
  base::UniqueTestDir temp;
  ASSERT_TRUE(temp.IsValid());
  ASSERT_EQ(1, base::WriteFile(temp.path().Append(L"file"), "x", 1));
  base::FilePath downloads;
  ASSERT_TRUE(PrepareFolderInDownloads(L"", base::FilePath(), &downloads));
  // With a file in the way of the temporary folder, no folder below it.
  for (const wchar_t* name : {L"", L"file"}) {
    ScopedPathOverride temp_override(base::DIR_TEMP, temp.path().Append(name));
    base::FilePath folder;
    EXPECT_TRUE(GetTemporaryInstallerFolder(kSubFolder, GetRunnableExecutable(),
                                            &folder));
    EXPECT_EQ((*name ? downloads : temp.path()).Append(kSubFolder), folder);
    EXPECT_EQ("", Contents(folder));
    EXPECT_TRUE(::RemoveDirectoryW(folder.value().c_str()));
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
