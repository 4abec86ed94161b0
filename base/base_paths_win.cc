#include "base/base_paths_win.h"

#include <windows.h>

#include <shlobj.h>

#include "base/base_paths.h"
#include "base/path_service.h"
#include "base/process/process_handle.h"
#include "base/win/windows_version.h"

namespace base {

namespace {

// FOLDERID_ApplicationShortcuts.
constexpr GUID kApplicationShortcutsFolder = {
    0xA3918781,
    0xE5F2,
    0x4890,
    {0xB3, 0xD9, 0xA7, 0xE5, 0x43, 0x32, 0x32, 0x8C}};

// The file of |module| (null: the executable). A name that does not fit in
// MAX_PATH comes back cut short, so it counts as a failure.
bool GetModuleFile(HMODULE module, FilePath* result) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(module, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return false;
  *result = FilePath(StringPiece16(buffer, length));
  return true;
}

bool GetShellFolder(int csidl, FilePath* result) {
  wchar_t buffer[MAX_PATH];
  if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT,
                                buffer))) {
    return false;
  }
  *result = FilePath(buffer);
  return true;
}

bool GetSystemFolder(UINT(WINAPI* get_folder)(LPWSTR, UINT), FilePath* result) {
  wchar_t buffer[MAX_PATH];
  const UINT length = get_folder(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return false;
  *result = FilePath(StringPiece16(buffer, length));
  return true;
}

bool GetApplicationShortcutsFolder(FilePath* result) {
  if (win::GetVersion() < win::VERSION_WIN8)
    return false;
  wchar_t* path = nullptr;
  const HRESULT hr =
      ::SHGetKnownFolderPath(kApplicationShortcutsFolder, 0, nullptr, &path);
  const bool found = SUCCEEDED(hr) && path;
  if (found)
    *result = FilePath(path);
  ::CoTaskMemFree(path);
  return found;
}

int ProgramFilesX86Csidl() {
  return win::OSInfo::GetInstance()->architecture() ==
                 win::OSInfo::X86_ARCHITECTURE
             ? CSIDL_PROGRAM_FILES
             : CSIDL_PROGRAM_FILESX86;
}

}  // namespace

bool PathProviderWin(int key, FilePath* result) {
  FilePath cur;
  switch (key) {
    case FILE_EXE:
      if (!GetModuleFile(nullptr, &cur))
        return false;
      break;
    case FILE_MODULE: {
      HMODULE module =
          GetModuleFromAddress(reinterpret_cast<const void*>(&PathProviderWin));
      if (!module || !GetModuleFile(module, &cur))
        return false;
      break;
    }
    case DIR_SOURCE_ROOT:
      if (!PathService::Get(DIR_EXE, &cur))
        return false;
      cur = cur.DirName().DirName();
      break;
    case DIR_USER_DESKTOP:
      return GetShellFolder(CSIDL_DESKTOPDIRECTORY, result);
    case DIR_WINDOWS:
      return GetSystemFolder(&::GetWindowsDirectoryW, result);
    case DIR_SYSTEM:
      return GetSystemFolder(&::GetSystemDirectoryW, result);
    case DIR_PROGRAM_FILES:
    case DIR_PROGRAM_FILES6432:
      return GetShellFolder(CSIDL_PROGRAM_FILES, result);
    case DIR_PROGRAM_FILESX86:
      return GetShellFolder(ProgramFilesX86Csidl(), result);
    case DIR_IE_INTERNET_CACHE:
      return GetShellFolder(CSIDL_INTERNET_CACHE, result);
    case DIR_COMMON_START_MENU:
      return GetShellFolder(CSIDL_COMMON_PROGRAMS, result);
    case DIR_START_MENU:
      return GetShellFolder(CSIDL_PROGRAMS, result);
    case DIR_APP_DATA:
      return GetShellFolder(CSIDL_APPDATA, result);
    case DIR_LOCAL_APP_DATA:
      return GetShellFolder(CSIDL_LOCAL_APPDATA, result);
    case DIR_COMMON_APP_DATA:
      return GetShellFolder(CSIDL_COMMON_APPDATA, result);
    case DIR_APP_SHORTCUTS:
      return GetApplicationShortcutsFolder(result);
    case DIR_COMMON_DESKTOP:
      return GetShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY, result);
    case DIR_USER_QUICK_LAUNCH:
      if (!PathService::Get(DIR_APP_DATA, &cur))
        return false;
      cur = cur.Append(L"Microsoft")
                .Append(L"Internet Explorer")
                .Append(L"Quick Launch");
      break;
    case DIR_TASKBAR_PINS:
      if (!PathService::Get(DIR_USER_QUICK_LAUNCH, &cur))
        return false;
      cur = cur.Append(L"User Pinned").Append(L"TaskBar");
      break;
    case DIR_WINDOWS_FONTS:
      return GetShellFolder(CSIDL_FONTS, result);
    default:
      return false;
  }
  *result = cur;
  return true;
}

}  // namespace base
