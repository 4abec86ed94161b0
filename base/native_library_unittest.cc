#include "base/native_library.h"

#include <windows.h>

#include "base/files/file_util.h"
#include "base/scoped_native_library.h"
#include "gtest/gtest.h"

namespace base {

namespace {

constexpr wchar_t kPlantedName[] = L"planted_native_library.dll";

FilePath ExecutableFolder() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  return FilePath(StringPiece16(buffer, length)).DirName();
}

FilePath SystemFolder() {
  wchar_t buffer[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH);
  return FilePath(StringPiece16(buffer, length));
}

FilePath ModuleFile(HMODULE module) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(module, buffer, MAX_PATH);
  return FilePath(StringPiece16(buffer, length));
}

// A folder holding a copy of a test DLL under a name that no system DLL
// has, as an attacker would drop one into a downloads folder. The folder is
// the current directory for the life of the object.
class PlantedLibraryFolder {
 public:
  PlantedLibraryFolder() {
    EXPECT_TRUE(GetCurrentDirectory(&original_current_));
    FilePath temp;
    EXPECT_TRUE(GetTempDir(&temp));
    folder_ = temp.Append(L"native_library_test_" +
                          std::to_wstring(::GetCurrentProcessId()));
    EXPECT_TRUE(CreateDirectory(folder_));
    EXPECT_TRUE(::CopyFileW(ExecutableFolder()
                                .Append(L"thread_local_storage_test_dll.dll")
                                .value()
                                .c_str(),
                            library().value().c_str(), FALSE));
    EXPECT_TRUE(SetCurrentDirectory(folder_));
  }
  ~PlantedLibraryFolder() {
    SetCurrentDirectory(original_current_);
    DeleteFile(folder_, true);
  }

  const FilePath& folder() const { return folder_; }
  FilePath library() const { return folder_.Append(kPlantedName); }

 private:
  FilePath original_current_;
  FilePath folder_;
};

}  // namespace

TEST(NativeLibraryTest, BareNameIsNeverLoadedFromTheCurrentDirectory) {
  PlantedLibraryFolder planted;
  DWORD error = 0;
  EXPECT_EQ(nullptr, LoadNativeLibrary(FilePath(kPlantedName), &error));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), error);
  // Nor by a path relative to it.
  error = 0;
  EXPECT_EQ(nullptr, LoadNativeLibrary(
                         FilePath(L".\\planted_native_library.dll"), &error));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), error);
  FilePath current;
  ASSERT_TRUE(GetCurrentDirectory(&current));
  EXPECT_EQ(planted.folder(), current);

  // The plain system call would have taken the planted copy.
  HMODULE plain = ::LoadLibraryW(kPlantedName);
  EXPECT_NE(nullptr, plain);
  if (plain)
    ::FreeLibrary(plain);
}

TEST(NativeLibraryTest, FullPathLoadsThatFile) {
  PlantedLibraryFolder planted;
  DWORD error = 0;
  NativeLibrary library = LoadNativeLibrary(planted.library(), &error);
  ASSERT_NE(nullptr, library) << error;
  EXPECT_EQ(FilePath::CompareIgnoreCase(planted.library().value(),
                                        ModuleFile(library).value()),
            0);
  EXPECT_NE(nullptr, GetFunctionPointerFromNativeLibrary(
                         library, "FillSlotsOnThisThread"));
  EXPECT_EQ(nullptr,
            GetFunctionPointerFromNativeLibrary(library, "NoSuchFunction"));
  UnloadNativeLibrary(library);
  EXPECT_EQ(nullptr, ::GetModuleHandleW(planted.library().value().c_str()));

  FilePath current;
  ASSERT_TRUE(GetCurrentDirectory(&current));
  EXPECT_EQ(planted.folder(), current);

  error = 0;
  EXPECT_EQ(nullptr,
            LoadNativeLibrary(planted.folder().Append(L"missing.dll"), &error));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), error);
  EXPECT_EQ(nullptr, LoadNativeLibrary(planted.folder().Append(L"missing.dll"),
                                       nullptr));
}

TEST(NativeLibraryTest, BareNameLoadsTheSystemLibrary) {
  NativeLibrary library = LoadNativeLibrary(FilePath(L"msimg32.dll"), nullptr);
  ASSERT_NE(nullptr, library);
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(
                   SystemFolder().Append(L"msimg32.dll").value(),
                   ModuleFile(library).value()));
  EXPECT_NE(nullptr,
            GetFunctionPointerFromNativeLibrary(library, "AlphaBlend"));
  UnloadNativeLibrary(library);
}

TEST(ScopedNativeLibraryTest, OwnsTheLoadedLibrary) {
  PlantedLibraryFolder planted;
  {
    ScopedNativeLibrary library(planted.library());
    ASSERT_TRUE(library.is_valid());
    EXPECT_NE(nullptr, ::GetModuleHandleW(planted.library().value().c_str()));
    EXPECT_NE(nullptr, library.GetFunctionPointer("SetDestructionRecorder"));
    EXPECT_EQ(nullptr, library.GetFunctionPointer("NoSuchFunction"));
  }
  EXPECT_EQ(nullptr, ::GetModuleHandleW(planted.library().value().c_str()));

  ScopedNativeLibrary missing{FilePath(kPlantedName)};
  EXPECT_FALSE(missing.is_valid());
  EXPECT_EQ(nullptr, missing.GetFunctionPointer("SetDestructionRecorder"));
}

}  // namespace base
