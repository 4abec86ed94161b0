#include "base/native_library.h"

#include <windows.h>

#include "base/files/file_util.h"
#include "base/scoped_native_library.h"
#include "base/test/unique_test_dir.h"
#include "gtest/gtest.h"

namespace base {

namespace {

FilePath ModuleFile(HMODULE module) {
  wchar_t buffer[MAX_PATH];
  return FilePath(
      StringPiece16(buffer, ::GetModuleFileNameW(module, buffer, MAX_PATH)));
}

bool IsLoaded(const FilePath& path) {
  return ::GetModuleHandleW(path.value().c_str()) != nullptr;
}

}  // namespace

// A copy of a test DLL under a name that no system DLL has, dropped into the
// current directory as an attacker would drop one into a downloads folder,
// is loaded only by its full path.
TEST(NativeLibraryTest, LoadsByFullPathOrFromTheSystemFolderOnly) {
  UniqueTestDir folder;
  const FilePath planted = folder.path().Append(L"planted_library.dll");
  ASSERT_TRUE(CopyFile(ModuleFile(nullptr).DirName().Append(
                           L"thread_local_storage_test_dll.dll"),
                       planted));
  FilePath original;
  ASSERT_TRUE(GetCurrentDirectory(&original));
  ASSERT_TRUE(SetCurrentDirectory(folder.path()));
  const struct {
    const wchar_t* path;
    DWORD error;
  } kRefused[] = {
      {L"planted_library.dll", ERROR_MOD_NOT_FOUND},
      {L".\\planted_library.dll", ERROR_INVALID_PARAMETER},
      {L"missing.dll", ERROR_MOD_NOT_FOUND},
  };
  for (const auto& refused : kRefused) {
    DWORD error = 0;
    EXPECT_EQ(nullptr, LoadNativeLibrary(FilePath(refused.path), &error));
    EXPECT_EQ(refused.error, error) << refused.path;
    EXPECT_EQ(nullptr, LoadNativeLibrary(FilePath(refused.path), nullptr));
  }
  EXPECT_FALSE(
      ScopedNativeLibrary(FilePath(L"planted_library.dll")).is_valid());
  NativeLibrary library = LoadNativeLibrary(planted, nullptr);
  ASSERT_TRUE(library);
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(planted.value(),
                                           ModuleFile(library).value()));
  EXPECT_TRUE(
      GetFunctionPointerFromNativeLibrary(library, "FillSlotsOnThisThread"));
  EXPECT_FALSE(GetFunctionPointerFromNativeLibrary(library, "NoSuchFunction"));
  UnloadNativeLibrary(library);
  EXPECT_FALSE(IsLoaded(planted));
  // The plain system call would have taken the planted copy.
  HMODULE plain = ::LoadLibraryW(L"planted_library.dll");
  EXPECT_TRUE(plain && ::FreeLibrary(plain));
  EXPECT_TRUE(SetCurrentDirectory(original));

  // A bare name loads from the system folder.
  ScopedNativeLibrary system_library{FilePath(L"msimg32.dll")};
  ASSERT_TRUE(system_library.is_valid());
  wchar_t system_folder[MAX_PATH];
  ::GetSystemDirectoryW(system_folder, MAX_PATH);
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(
                   FilePath(system_folder).Append(L"msimg32.dll").value(),
                   ModuleFile(::GetModuleHandleW(L"msimg32.dll")).value()));
  EXPECT_TRUE(system_library.GetFunctionPointer("AlphaBlend"));
  {
    ScopedNativeLibrary scoped(planted);
    EXPECT_TRUE(IsLoaded(planted) &&
                scoped.GetFunctionPointer("SetDestructionRecorder"));
    EXPECT_FALSE(scoped.GetFunctionPointer("NoSuchFunction"));
  }
  EXPECT_FALSE(IsLoaded(planted));
  EXPECT_FALSE(ScopedNativeLibrary(FilePath(L"planted_library.dll"))
                   .GetFunctionPointer("SetDestructionRecorder"));
}

}  // namespace base
