#ifndef BASE_SYS_INFO_H_
#define BASE_SYS_INFO_H_

#include <stddef.h>

namespace base {

// Facts about the machine that do not change while the process runs.
class SysInfo {
 public:
  SysInfo() = delete;

  // The granularity, in bytes, to which mapped views of files must start.
  static size_t VMAllocationGranularity();
};

}  // namespace base

#endif  // BASE_SYS_INFO_H_
