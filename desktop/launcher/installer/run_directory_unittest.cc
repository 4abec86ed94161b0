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

bool IsEmptyFolder(const base::FilePath& folder) {
  base::FileEnumerator enumerator(
      folder, false,
      base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  return base::DirectoryExists(folder) && enumerator.Next().empty();
}

class RunDirectoryTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_.IsValid()); }

  // A file that Windows refuses to start.
  base::FilePath WriteNonProgram() {
    const base::FilePath path = temp_.path().Append(L"not_a_program.exe");
    EXPECT_EQ(4, base::WriteFile(path, "text", 4));
    return path;
  }

  base::UniqueTestDir temp_;
};

TEST_F(RunDirectoryTest, CreatesTheFolderWithoutRunningAnything) {
  base::FilePath folder = temp_.path().Append(L"missing parent");
  EXPECT_TRUE(PrepareFolderIn(kSubFolder, base::FilePath(), &folder));
  EXPECT_EQ(temp_.path().Append(L"missing parent").Append(kSubFolder), folder);
  EXPECT_TRUE(IsEmptyFolder(folder));

  // An empty name: the folder itself.
  base::FilePath same = temp_.path();
  EXPECT_TRUE(PrepareFolderIn(L"", base::FilePath(), &same));
  EXPECT_EQ(temp_.path(), same);
}

TEST_F(RunDirectoryTest, ProvesTheFolderByRunningACopy) {
  base::FilePath folder = temp_.path();
  ASSERT_TRUE(base::PathExists(GetRunnableExecutable()));
  EXPECT_TRUE(PrepareFolderIn(kSubFolder, GetRunnableExecutable(), &folder));
  EXPECT_EQ(temp_.path().Append(kSubFolder), folder);
  // The copy is gone once it has run.
  EXPECT_TRUE(IsEmptyFolder(folder));
}

TEST_F(RunDirectoryTest, ReusesAnExistingFolder) {
  const base::FilePath existing = temp_.path().Append(kSubFolder);
  ASSERT_TRUE(base::CreateDirectory(existing));
  const base::FilePath other_file = existing.Append(L"keep.txt");
  ASSERT_EQ(4, base::WriteFile(other_file, "keep", 4));

  base::FilePath folder = temp_.path();
  EXPECT_TRUE(PrepareFolderIn(kSubFolder, GetRunnableExecutable(), &folder));
  EXPECT_EQ(existing, folder);
  EXPECT_TRUE(base::PathExists(other_file));
  EXPECT_FALSE(base::PathExists(existing.Append(L"installer.exe")));
}

TEST_F(RunDirectoryTest, RemovesAnEmptyFolderWhereNothingRuns) {
  const base::FilePath non_program = WriteNonProgram();
  base::FilePath folder = temp_.path();
  EXPECT_FALSE(PrepareFolderIn(kSubFolder, non_program, &folder));
  EXPECT_FALSE(base::PathExists(temp_.path().Append(kSubFolder)));

  // A folder that holds something stays; only the copy goes.
  const base::FilePath existing = temp_.path().Append(L"busy");
  ASSERT_TRUE(base::CreateDirectory(existing));
  ASSERT_EQ(4, base::WriteFile(existing.Append(L"keep.txt"), "keep", 4));
  folder = temp_.path();
  EXPECT_FALSE(PrepareFolderIn(L"busy", non_program, &folder));
  EXPECT_TRUE(base::PathExists(existing.Append(L"keep.txt")));
  EXPECT_FALSE(base::PathExists(existing.Append(L"not_a_program.exe")));
}

TEST_F(RunDirectoryTest, AMissingExecutableCannotBeRun) {
  EXPECT_FALSE(
      TestRunExecutableIn(temp_.path(), temp_.path().Append(L"missing.exe")));
  EXPECT_TRUE(IsEmptyFolder(temp_.path()));
}

TEST_F(RunDirectoryTest, AnUnknownPathKeyGivesNoFolder) {
  // A key that nothing answers.
  constexpr int kUnansweredKey = 2016;
  base::FilePath folder(L"C:\\untouched");
  EXPECT_FALSE(PrepareFolderUnderPathKey(kSubFolder, base::FilePath(), &folder,
                                         kUnansweredKey));
  EXPECT_EQ(L"C:\\untouched", folder.value());
}

TEST_F(RunDirectoryTest, PrefersTheTemporaryFolder) {
  ScopedPathOverride temp_override(base::DIR_TEMP, temp_.path());
  base::FilePath folder;
  EXPECT_TRUE(GetTemporaryInstallerFolder(kSubFolder, GetRunnableExecutable(),
                                          &folder));
  EXPECT_EQ(temp_.path().Append(kSubFolder), folder);
  EXPECT_TRUE(IsEmptyFolder(folder));
}

TEST_F(RunDirectoryTest, FallsBackToTheDownloadsFolder) {
  // A file where the temporary folder should be: no folder below it.
  const base::FilePath file = temp_.path().Append(L"file");
  ASSERT_EQ(1, base::WriteFile(file, "x", 1));
  ScopedPathOverride temp_override(base::DIR_TEMP, file);

  base::FilePath downloads;
  ASSERT_TRUE(PrepareFolderInDownloads(L"", base::FilePath(), &downloads));
  base::FilePath folder;
  EXPECT_TRUE(GetTemporaryInstallerFolder(kSubFolder, GetRunnableExecutable(),
                                          &folder));
  EXPECT_EQ(downloads.Append(kSubFolder), folder);
  EXPECT_TRUE(IsEmptyFolder(folder));
  EXPECT_TRUE(::RemoveDirectoryW(folder.value().c_str()));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
