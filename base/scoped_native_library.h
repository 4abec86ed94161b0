#ifndef BASE_SCOPED_NATIVE_LIBRARY_H_
#define BASE_SCOPED_NATIVE_LIBRARY_H_

#include "base/files/file_path.h"
#include "base/native_library.h"

namespace base {

// Loads a DLL (see LoadNativeLibrary) and frees it when it goes away.
class ScopedNativeLibrary {
 public:
  explicit ScopedNativeLibrary(const FilePath& library_path);
  ScopedNativeLibrary(const ScopedNativeLibrary&) = delete;
  ScopedNativeLibrary& operator=(const ScopedNativeLibrary&) = delete;
  ~ScopedNativeLibrary();

  bool is_valid() const { return library_ != nullptr; }

  // The exported function |function_name|; null when it is missing or no
  // library is loaded.
  void* GetFunctionPointer(const char* function_name) const;

 private:
  NativeLibrary library_;
};

}  // namespace base

#endif  // BASE_SCOPED_NATIVE_LIBRARY_H_
