#include "base/path_service.h"

#include <windows.h>

#include <shlobj.h>

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "base/files/file_util.h"
#include "base/test/scoped_windows_version_override.h"
#include "base/test/unique_test_dir.h"
#include "gtest/gtest.h"

namespace base {

namespace {

FilePath ShellFolder(int csidl) {
  wchar_t buffer[MAX_PATH];
  if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT,
                                buffer))) {
    return FilePath(L"(no such folder)");
  }
  return FilePath(buffer);
}

FilePath SystemFolder(UINT (*get)(wchar_t* buffer, UINT size)) {
  wchar_t buffer[MAX_PATH];
  return FilePath(StringPiece16(buffer, get(buffer, MAX_PATH)));
}

UINT ExecutableFile(wchar_t* buffer, UINT size) {
  return ::GetModuleFileNameW(nullptr, buffer, size);
}

FilePath TaskbarPins(const FilePath& app_data) {
  return app_data.Append(L"Microsoft\\Internet Explorer\\Quick Launch")
      .Append(L"User Pinned\\TaskBar");
}

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

TEST(PathServiceTest, KeysAnswerFromTheSystem) {
  // The library is linked into the test executable, so its module is the
  // executable too.
  const FilePath exe = SystemFolder(&ExecutableFile);
  const FilePath app_data = ShellFolder(CSIDL_APPDATA);
  const std::pair<int, FilePath> kAnswers[] = {
      {FILE_EXE, exe},
      {FILE_MODULE, exe},
      {DIR_EXE, exe.DirName()},
      {DIR_MODULE, exe.DirName()},
      {DIR_SOURCE_ROOT, exe.DirName().DirName().DirName()},
      {DIR_SYSTEM, SystemFolder(&::GetSystemDirectoryW)},
      {DIR_PROGRAM_FILESX86, ShellFolder(CSIDL_PROGRAM_FILESX86)},
      {DIR_APP_DATA, app_data},
      {DIR_TASKBAR_PINS, TaskbarPins(app_data)},
      {DIR_HOME, GetHomeDir()},
  };
  for (const auto& answer : kAnswers) {
    FilePath path;
    EXPECT_TRUE(PathService::Get(answer.first, &path)) << answer.first;
    EXPECT_EQ(answer.second, path) << answer.first;
  }
  FilePath temp;
  ASSERT_TRUE(PathService::Get(DIR_TEMP, &temp));
  EXPECT_TRUE(DirectoryExists(temp));

  // Keys without an answer leave the result alone, as does the test data
  // folder while it does not exist under the source root.
  UniqueTestDir folder;
  ScopedPathOverride exe_override(DIR_EXE, folder.path().Append(L"out\\b"));
  win::ScopedWindowsVersionOverride win7(win::VERSION_WIN7);
  for (int key : {0, 11, 50, 100, 117, 2016, -1, int{DIR_TEST_DATA},
                  int{DIR_APP_SHORTCUTS}}) {
    FilePath path(L"C:\\untouched");
    EXPECT_FALSE(PathService::Get(key, &path)) << key;
    EXPECT_EQ(L"C:\\untouched", path.value()) << key;
  }
  const FilePath test_data = folder.path().Append(L"base\\test\\data");
  ASSERT_TRUE(CreateDirectory(test_data));
  FilePath path;
  ASSERT_TRUE(PathService::Get(DIR_TEST_DATA, &path));
  EXPECT_EQ(test_data, path);
}

TEST(PathServiceTest, OverridesReachCachedAndDerivedAnswers) {
  UniqueTestDir folder;
  FilePath path;
  ASSERT_TRUE(PathService::Get(DIR_TASKBAR_PINS, &path));
  {
    // The answer is cached by now; an override of its base must reach it.
    ScopedPathOverride app_data_override(DIR_APP_DATA, folder.path());
    ASSERT_TRUE(PathService::Get(DIR_TASKBAR_PINS, &path));
    EXPECT_EQ(TaskbarPins(folder.path()), path);
  }
  ASSERT_TRUE(PathService::Get(DIR_TASKBAR_PINS, &path));
  EXPECT_EQ(TaskbarPins(ShellFolder(CSIDL_APPDATA)), path);

  // Overrides create folders when asked, and store a relative path against
  // the current directory at the time.
  constexpr int kKey = 2017;  // A key that no provider answers.
  const FilePath nested = folder.path().Append(L"one\\two");
  ASSERT_TRUE(
      PathService::OverrideAndCreateIfNeeded(kKey, nested, true, false));
  EXPECT_FALSE(DirectoryExists(nested));
  ASSERT_TRUE(PathService::OverrideAndCreateIfNeeded(kKey, nested, true, true));
  EXPECT_TRUE(DirectoryExists(nested));
  FilePath original;
  ASSERT_TRUE(PathService::Get(DIR_CURRENT, &original));
  ASSERT_TRUE(SetCurrentDirectory(nested));
  EXPECT_TRUE(PathService::OverrideAndCreateIfNeeded(kKey, FilePath(L"..\\x"),
                                                     false, false));
  // The current directory is never cached, nor hidden by an override.
  EXPECT_TRUE(PathService::OverrideAndCreateIfNeeded(DIR_CURRENT, original,
                                                     true, false));
  EXPECT_TRUE(PathService::Get(DIR_CURRENT, &path));
  ASSERT_TRUE(SetCurrentDirectory(original));
  EXPECT_EQ(nested, path);
  ASSERT_TRUE(PathService::Get(kKey, &path));
  EXPECT_EQ(folder.path().Append(L"one\\x"), path);
  // A folder that cannot be created (here: below a file) is no override.
  const FilePath file = folder.path().Append(L"file");
  ASSERT_EQ(1, WriteFile(file, "x", 1));
  EXPECT_FALSE(PathService::OverrideAndCreateIfNeeded(
      kKey, file.Append(L"folder"), true, true));
  ASSERT_TRUE(PathService::Get(kKey, &path));
  EXPECT_EQ(folder.path().Append(L"one\\x"), path);
}

TEST(PathServiceTest, ConcurrentReadersSeeOnlyWholeAnswers) {
  const FilePath first(L"C:\\first");
  const FilePath second(L"C:\\second");
  ScopedPathOverride app_data_override(DIR_APP_DATA, first);
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
            (path != TaskbarPins(first) && path != TaskbarPins(second))) {
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
  EXPECT_EQ(TaskbarPins(first), path);
}

}  // namespace base
