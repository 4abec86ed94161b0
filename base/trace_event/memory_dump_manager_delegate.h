#ifndef BASE_TRACE_EVENT_MEMORY_DUMP_MANAGER_DELEGATE_H_
#define BASE_TRACE_EVENT_MEMORY_DUMP_MANAGER_DELEGATE_H_

#include "base/trace_event/memory_dump_request_args.h"

namespace base {
namespace trace_event {

// Carries out global dumps for the memory-dump manager.
class MemoryDumpManagerDelegate {
 public:
  MemoryDumpManagerDelegate(const MemoryDumpManagerDelegate&) = delete;
  MemoryDumpManagerDelegate& operator=(const MemoryDumpManagerDelegate&) =
      delete;
  virtual ~MemoryDumpManagerDelegate() = default;

  // Dumps every process, then runs |callback|.
  virtual void RequestGlobalMemoryDump(const MemoryDumpRequestArgs& args,
                                       const MemoryDumpCallback& callback) = 0;

 protected:
  MemoryDumpManagerDelegate() = default;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_MEMORY_DUMP_MANAGER_DELEGATE_H_
