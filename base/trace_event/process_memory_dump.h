#ifndef BASE_TRACE_EVENT_PROCESS_MEMORY_DUMP_H_
#define BASE_TRACE_EVENT_PROCESS_MEMORY_DUMP_H_

#include <memory>
#include <string>
#include <unordered_map>

namespace base {
namespace trace_event {

class MemoryAllocatorDump;

// The allocator dumps of one process, by absolute name.
class ProcessMemoryDump {
 public:
  ProcessMemoryDump();
  ProcessMemoryDump(const ProcessMemoryDump&) = delete;
  ProcessMemoryDump& operator=(const ProcessMemoryDump&) = delete;
  ~ProcessMemoryDump();

  // The dump of |absolute_name|, made when missing; owned by this table.
  MemoryAllocatorDump* CreateAllocatorDump(const std::string& absolute_name);
  // The dump of |absolute_name|, or null.
  MemoryAllocatorDump* GetAllocatorDump(const std::string& absolute_name) const;

  size_t size() const { return allocator_dumps_.size(); }

 private:
  std::unordered_map<std::string, std::unique_ptr<MemoryAllocatorDump>>
      allocator_dumps_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_PROCESS_MEMORY_DUMP_H_
