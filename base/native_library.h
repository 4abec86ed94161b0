#ifndef BASE_NATIVE_LIBRARY_H_
#define BASE_NATIVE_LIBRARY_H_

#include <windows.h>

#include "base/files/file_path.h"

namespace base {

typedef HMODULE NativeLibrary;

// Loads the DLL at |library_path|, or null with the Windows error in
// |error| (may be null). A bare file name is looked for in the system
// folder only, and a full path loads that file, whose own dependencies are
// looked for beside it and in the system folder. The current directory is
// never searched: an installer often runs from a folder that anyone can
// drop a DLL into. Other relative paths are refused (ERROR_INVALID_PARAMETER).
NativeLibrary LoadNativeLibrary(const FilePath& library_path, DWORD* error);

// The exported function |name| of |library|, or null.
void* GetFunctionPointerFromNativeLibrary(NativeLibrary library,
                                          const char* name);

void UnloadNativeLibrary(NativeLibrary library);

}  // namespace base

#endif  // BASE_NATIVE_LIBRARY_H_
