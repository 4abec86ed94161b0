#include "base/sys_info.h"

#include "base/win/windows_version.h"

namespace base {

// static
size_t SysInfo::VMAllocationGranularity() {
  return win::OSInfo::GetInstance()->allocation_granularity();
}

}  // namespace base
