#ifndef BASE_BASE_PATHS_H_
#define BASE_BASE_PATHS_H_

// The path keys that every platform answers. See base_paths_win.h for the
// Windows folders.

#include "base/files/file_path.h"

namespace base {

enum BasePathKey {
  PATH_START = 0,

  DIR_CURRENT = 1,      // The current directory; never cached.
  DIR_EXE = 2,          // The folder of the executable.
  DIR_MODULE = 3,       // The folder of the module holding this code.
  DIR_TEMP = 4,         // The temporary folder.
  DIR_HOME = 5,         // The user's profile folder.
  FILE_EXE = 6,         // The executable file.
  FILE_MODULE = 7,      // The module holding this code.
  DIR_SOURCE_ROOT = 8,  // Two folders above the executable's.
  DIR_USER_DESKTOP = 9,
  DIR_TEST_DATA = 10,  // base\test\data under the source root, when there.

  PATH_END
};

// The provider of the folders derived from other keys and of the temporary
// and home folders: DIR_EXE, DIR_MODULE, DIR_TEMP, DIR_HOME, DIR_TEST_DATA.
bool PathProvider(int key, FilePath* result);

}  // namespace base

#endif  // BASE_BASE_PATHS_H_
