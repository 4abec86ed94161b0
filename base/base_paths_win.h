#ifndef BASE_BASE_PATHS_WIN_H_
#define BASE_BASE_PATHS_WIN_H_

// The Windows path keys, and the provider that also answers the executable
// and module keys of base_paths.h.

#include "base/files/file_path.h"

namespace base {

enum WindowsPathKey {
  PATH_WIN_START = 100,

  DIR_WINDOWS = 101,            // The Windows folder.
  DIR_SYSTEM = 102,             // The system folder.
  DIR_PROGRAM_FILES = 103,      // Program files of this process's kind.
  DIR_PROGRAM_FILESX86 = 104,   // 32-bit program files.
  DIR_PROGRAM_FILES6432 = 105,  // Program files of the machine's kind.
  DIR_IE_INTERNET_CACHE = 106,
  DIR_COMMON_START_MENU = 107,  // All users' start-menu programs.
  DIR_START_MENU = 108,         // The user's start-menu programs.
  DIR_APP_DATA = 109,           // The user's roaming application data.
  DIR_LOCAL_APP_DATA = 110,     // The user's local application data.
  DIR_COMMON_APP_DATA = 111,    // All users' application data.
  DIR_APP_SHORTCUTS = 112,      // Start-screen shortcuts, Windows 8 on.
  DIR_COMMON_DESKTOP = 113,     // All users' desktop.
  DIR_USER_QUICK_LAUNCH = 114,
  DIR_TASKBAR_PINS = 115,
  DIR_WINDOWS_FONTS = 116,

  PATH_WIN_END
};

// Answers FILE_EXE, FILE_MODULE, DIR_SOURCE_ROOT, DIR_USER_DESKTOP and every
// WindowsPathKey.
bool PathProviderWin(int key, FilePath* result);

}  // namespace base

#endif  // BASE_BASE_PATHS_WIN_H_
