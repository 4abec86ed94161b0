#include "base/path_service.h"

#include <windows.h>

#include <shlobj.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/files/file_util.h"
#include "base/test/scoped_windows_version_override.h"
#include "gtest/gtest.h"

namespace base {

namespace {

FilePath ExecutableFile() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  return FilePath(StringPiece16(buffer, length));
}

FilePath ShellFolder(int csidl) {
  wchar_t buffer[MAX_PATH];
  if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT,
                                buffer))) {
    return FilePath();
  }
  return FilePath(buffer);
}

// A fresh folder under the temporary folder, deleted with its contents at
// the end of the test.
class ScopedTestFolder {
 public:
  ScopedTestFolder() {
    FilePath temp;
    EXPECT_TRUE(GetTempDir(&temp));
    path_ = temp.Append(L"path_service_test_" +
                        std::to_wstring(::GetCurrentProcessId()));
    DeleteFile(path_, true);
  }
  ~ScopedTestFolder() { DeleteFile(path_, true); }
  const FilePath& path() const { return path_; }

 private:
  FilePath path_;
};

// Overrides |key| for the life of the object, then puts back the answer it
// had before.
class ScopedPathOverride {
 public:
  ScopedPathOverride(int key, const FilePath& path) : key_(key) {
    EXPECT_TRUE(PathService::Get(key, &original_));
    EXPECT_TRUE(PathService::OverrideAndCreateIfNeeded(key, path, true, false));
  }
  ~ScopedPathOverride() {
    PathService::OverrideAndCreateIfNeeded(key_, original_, true, false);
  }

 private:
  const int key_;
  FilePath original_;
};

}  // namespace

TEST(PathServiceTest, ExecutableKeysAnswerFromTheRunningModule) {
  const FilePath exe = ExecutableFile();
  FilePath path;
  ASSERT_TRUE(PathService::Get(FILE_EXE, &path));
  EXPECT_EQ(exe, path);
  // The library is linked into the test executable, so its module is the
  // executable too.
  ASSERT_TRUE(PathService::Get(FILE_MODULE, &path));
  EXPECT_EQ(exe, path);
  ASSERT_TRUE(PathService::Get(DIR_EXE, &path));
  EXPECT_EQ(exe.DirName(), path);
  ASSERT_TRUE(PathService::Get(DIR_MODULE, &path));
  EXPECT_EQ(exe.DirName(), path);
  ASSERT_TRUE(PathService::Get(DIR_SOURCE_ROOT, &path));
  EXPECT_EQ(exe.DirName().DirName().DirName(), path);
}

TEST(PathServiceTest, WindowsFoldersComeFromWindows) {
  wchar_t buffer[MAX_PATH];
  FilePath path;
  ASSERT_NE(0u, ::GetWindowsDirectoryW(buffer, MAX_PATH));
  ASSERT_TRUE(PathService::Get(DIR_WINDOWS, &path));
  EXPECT_EQ(FilePath(buffer), path);
  ASSERT_NE(0u, ::GetSystemDirectoryW(buffer, MAX_PATH));
  ASSERT_TRUE(PathService::Get(DIR_SYSTEM, &path));
  EXPECT_EQ(FilePath(buffer), path);

  struct {
    int key;
    int csidl;
  } const shell_folders[] = {
      {DIR_USER_DESKTOP, CSIDL_DESKTOPDIRECTORY},
      {DIR_PROGRAM_FILES, CSIDL_PROGRAM_FILES},
      {DIR_PROGRAM_FILESX86, CSIDL_PROGRAM_FILESX86},
      {DIR_PROGRAM_FILES6432, CSIDL_PROGRAM_FILES},
      {DIR_IE_INTERNET_CACHE, CSIDL_INTERNET_CACHE},
      {DIR_COMMON_START_MENU, CSIDL_COMMON_PROGRAMS},
      {DIR_START_MENU, CSIDL_PROGRAMS},
      {DIR_APP_DATA, CSIDL_APPDATA},
      {DIR_LOCAL_APP_DATA, CSIDL_LOCAL_APPDATA},
      {DIR_COMMON_APP_DATA, CSIDL_COMMON_APPDATA},
      {DIR_COMMON_DESKTOP, CSIDL_COMMON_DESKTOPDIRECTORY},
      {DIR_WINDOWS_FONTS, CSIDL_FONTS},
  };
  for (const auto& folder : shell_folders) {
    const FilePath expected = ShellFolder(folder.csidl);
    ASSERT_FALSE(expected.empty()) << folder.csidl;
    ASSERT_TRUE(PathService::Get(folder.key, &path)) << folder.key;
    EXPECT_EQ(expected, path) << folder.key;
  }

  ASSERT_TRUE(PathService::Get(DIR_TEMP, &path));
  EXPECT_TRUE(DirectoryExists(path));
  ASSERT_TRUE(PathService::Get(DIR_HOME, &path));
  EXPECT_FALSE(path.empty());
}

TEST(PathServiceTest, DerivedShellFoldersFollowAnOverrideOfTheirBase) {
  const FilePath app_data = ShellFolder(CSIDL_APPDATA);
  FilePath path;
  ASSERT_TRUE(PathService::Get(DIR_USER_QUICK_LAUNCH, &path));
  const FilePath quick_launch = app_data.Append(L"Microsoft")
                                    .Append(L"Internet Explorer")
                                    .Append(L"Quick Launch");
  EXPECT_EQ(quick_launch, path);
  ASSERT_TRUE(PathService::Get(DIR_TASKBAR_PINS, &path));
  EXPECT_EQ(quick_launch.Append(L"User Pinned").Append(L"TaskBar"), path);

  // Both answers are cached by now; an override of their base must still
  // reach them.
  ScopedTestFolder folder;
  {
    ScopedPathOverride app_data_override(DIR_APP_DATA, folder.path());
    ASSERT_TRUE(PathService::Get(DIR_APP_DATA, &path));
    EXPECT_EQ(folder.path(), path);
    const FilePath new_quick_launch = folder.path()
                                          .Append(L"Microsoft")
                                          .Append(L"Internet Explorer")
                                          .Append(L"Quick Launch");
    ASSERT_TRUE(PathService::Get(DIR_TASKBAR_PINS, &path));
    EXPECT_EQ(new_quick_launch.Append(L"User Pinned").Append(L"TaskBar"), path);
    ASSERT_TRUE(PathService::Get(DIR_USER_QUICK_LAUNCH, &path));
    EXPECT_EQ(new_quick_launch, path);
  }
  ASSERT_TRUE(PathService::Get(DIR_USER_QUICK_LAUNCH, &path));
  EXPECT_EQ(quick_launch, path);
}

TEST(PathServiceTest, CurrentDirectoryIsNeverCached) {
  FilePath original;
  ASSERT_TRUE(PathService::Get(DIR_CURRENT, &original));
  FilePath system;
  ASSERT_TRUE(PathService::Get(DIR_SYSTEM, &system));
  ScopedTestFolder folder;
  ASSERT_TRUE(CreateDirectory(folder.path()));

  ASSERT_TRUE(SetCurrentDirectory(folder.path()));
  FilePath path;
  EXPECT_TRUE(PathService::Get(DIR_CURRENT, &path));
  EXPECT_EQ(folder.path(), path);
  ASSERT_TRUE(SetCurrentDirectory(original));
  EXPECT_TRUE(PathService::Get(DIR_CURRENT, &path));
  EXPECT_EQ(original, path);

  // An override of the current directory does not hide the real one.
  EXPECT_TRUE(
      PathService::OverrideAndCreateIfNeeded(DIR_CURRENT, system, true, false));
  EXPECT_TRUE(PathService::Get(DIR_CURRENT, &path));
  EXPECT_EQ(original, path);
}

TEST(PathServiceTest, KeysWithoutAnAnswerLeaveTheResultAlone) {
  const FilePath untouched(L"C:\\untouched");
  for (int key : {0, 11, 50, 100, 117, 2016, -1}) {
    FilePath path = untouched;
    EXPECT_FALSE(PathService::Get(key, &path)) << key;
    EXPECT_EQ(untouched, path) << key;
  }

  // The test data folder answers only when it exists under the source root.
  ScopedTestFolder folder;
  const FilePath exe_folder = folder.path().Append(L"out").Append(L"build");
  ScopedPathOverride exe_override(DIR_EXE, exe_folder);
  FilePath path = untouched;
  EXPECT_FALSE(PathService::Get(DIR_TEST_DATA, &path));
  EXPECT_EQ(untouched, path);
  const FilePath test_data =
      folder.path().Append(L"base").Append(L"test").Append(L"data");
  ASSERT_TRUE(CreateDirectory(test_data));
  ASSERT_TRUE(PathService::Get(DIR_TEST_DATA, &path));
  EXPECT_EQ(test_data, path);
}

TEST(PathServiceTest, ApplicationShortcutsNeedWindows8) {
  win::ScopedWindowsVersionOverride win7(win::VERSION_WIN7);
  FilePath path;
  EXPECT_FALSE(PathService::Get(DIR_APP_SHORTCUTS, &path));
  EXPECT_TRUE(path.empty());
}

TEST(PathServiceTest, OverrideCreatesFoldersAndMakesPathsAbsolute) {
  ScopedTestFolder folder;
  const FilePath nested =
      folder.path().Append(L"one").Append(L"two").Append(L"three");
  constexpr int kKey = 2017;  // A key that no provider answers.

  ASSERT_TRUE(
      PathService::OverrideAndCreateIfNeeded(kKey, nested, true, false));
  EXPECT_FALSE(DirectoryExists(nested));
  ASSERT_TRUE(PathService::OverrideAndCreateIfNeeded(kKey, nested, true, true));
  EXPECT_TRUE(DirectoryExists(nested));
  FilePath path;
  ASSERT_TRUE(PathService::Get(kKey, &path));
  EXPECT_EQ(nested, path);

  // A relative path is stored in absolute form, against the current
  // directory at the time of the override.
  FilePath original;
  ASSERT_TRUE(GetCurrentDirectory(&original));
  ASSERT_TRUE(SetCurrentDirectory(folder.path()));
  const bool overridden = PathService::OverrideAndCreateIfNeeded(
      kKey, FilePath(L"one\\two"), false, false);
  ASSERT_TRUE(SetCurrentDirectory(original));
  ASSERT_TRUE(overridden);
  ASSERT_TRUE(PathService::Get(kKey, &path));
  EXPECT_EQ(folder.path().Append(L"one").Append(L"two"), path);

  // A folder that cannot be created (here: below a file) is no override.
  const FilePath file = folder.path().Append(L"file");
  ASSERT_EQ(1, WriteFile(file, "x", 1));
  EXPECT_FALSE(PathService::OverrideAndCreateIfNeeded(
      kKey, file.Append(L"folder"), true, true));
  ASSERT_TRUE(PathService::Get(kKey, &path));
  EXPECT_EQ(folder.path().Append(L"one").Append(L"two"), path);
}

TEST(PathServiceTest, ConcurrentReadersSeeOnlyWholeAnswers) {
  const FilePath first(L"C:\\first");
  const FilePath second(L"C:\\second");
  const FilePath pins_under_first = first.Append(L"Microsoft")
                                        .Append(L"Internet Explorer")
                                        .Append(L"Quick Launch")
                                        .Append(L"User Pinned")
                                        .Append(L"TaskBar");
  const FilePath pins_under_second = second.Append(L"Microsoft")
                                         .Append(L"Internet Explorer")
                                         .Append(L"Quick Launch")
                                         .Append(L"User Pinned")
                                         .Append(L"TaskBar");
  FilePath original;
  ASSERT_TRUE(PathService::Get(DIR_APP_DATA, &original));
  ASSERT_TRUE(
      PathService::OverrideAndCreateIfNeeded(DIR_APP_DATA, first, true, false));

  // Readers race the overrides; each answer must be one of the two whole
  // answers, never a mix or a failure.
  std::atomic<bool> stop{false};
  std::atomic<int> bad_answers{0};
  std::vector<std::thread> readers;
  for (int i = 0; i < 4; ++i) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        FilePath path;
        if (!PathService::Get(DIR_TASKBAR_PINS, &path) ||
            (path != pins_under_first && path != pins_under_second)) {
          ++bad_answers;
        }
      }
    });
  }
  for (int i = 0; i < 2000; ++i) {
    PathService::OverrideAndCreateIfNeeded(DIR_APP_DATA, i % 2 ? first : second,
                                           true, false);
  }
  stop = true;
  for (std::thread& reader : readers)
    reader.join();
  EXPECT_EQ(0, bad_answers.load());

  // Once the overrides stop, the answer settles on the last one.
  FilePath path;
  ASSERT_TRUE(PathService::Get(DIR_TASKBAR_PINS, &path));
  EXPECT_EQ(pins_under_first, path);
  PathService::OverrideAndCreateIfNeeded(DIR_APP_DATA, original, true, false);
}

}  // namespace base
