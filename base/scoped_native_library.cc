#include "base/scoped_native_library.h"

namespace base {

ScopedNativeLibrary::ScopedNativeLibrary(const FilePath& library_path)
    : library_(LoadNativeLibrary(library_path, nullptr)) {}

ScopedNativeLibrary::~ScopedNativeLibrary() {
  if (library_)
    UnloadNativeLibrary(library_);
}

void* ScopedNativeLibrary::GetFunctionPointer(const char* function_name) const {
  if (!library_)
    return nullptr;
  return GetFunctionPointerFromNativeLibrary(library_, function_name);
}

}  // namespace base
