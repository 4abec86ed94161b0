#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_SCOPED_LOCAL_MEMORY_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_SCOPED_LOCAL_MEMORY_H_

#include <windows.h>

#include <memory>

namespace vexlo {
namespace installer {

struct LocalMemoryDeleter {
  void operator()(void* memory) const { ::LocalFree(memory); }
};

// Owner of memory that a security call allocated with LocalAlloc.
template <typename T>
using ScopedLocalMemory = std::unique_ptr<T, LocalMemoryDeleter>;

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_SCOPED_LOCAL_MEMORY_H_
