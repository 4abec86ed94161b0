#include "base/native_library.h"

#include "base/logging.h"

namespace base {

namespace {

// The full path to load for |library_path|, or empty when it is a relative
// path with a folder part.
FilePath FullLibraryPath(const FilePath& library_path) {
  if (library_path.IsAbsolute())
    return library_path;
  if (library_path.BaseName() != library_path)
    return FilePath();
  wchar_t system_folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(system_folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return FilePath();
  return FilePath(StringPiece16(system_folder, length)).Append(library_path);
}

// The search flags for a library's dependencies. The flags that leave the
// current directory out exist where AddDllDirectory does (Windows 8, and
// Windows 7 with its loader update); before that, the altered search order
// still puts the library's own folder and the system folders first.
DWORD DependencySearchFlags() {
  static const bool has_search_flags =
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"),
                       "AddDllDirectory") != nullptr;
  return has_search_flags
             ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
             : LOAD_WITH_ALTERED_SEARCH_PATH;
}

}  // namespace

NativeLibrary LoadNativeLibrary(const FilePath& library_path, DWORD* error) {
  const FilePath full_path = FullLibraryPath(library_path);
  if (full_path.empty()) {
    LOG(ERROR) << "Refusing to load " << library_path.AsUTF8()
               << " by a relative path";
    if (error)
      *error = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  HMODULE module = ::LoadLibraryExW(full_path.value().c_str(), nullptr,
                                    DependencySearchFlags());
  if (!module && error)
    *error = ::GetLastError();
  return module;
}

void* GetFunctionPointerFromNativeLibrary(NativeLibrary library,
                                          const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(library, name));
}

void UnloadNativeLibrary(NativeLibrary library) {
  ::FreeLibrary(library);
}

}  // namespace base
