#include "base/trace_event/process_memory_dump.h"

#include "base/trace_event/memory_allocator_dump.h"

namespace base {
namespace trace_event {

ProcessMemoryDump::ProcessMemoryDump() = default;

ProcessMemoryDump::~ProcessMemoryDump() = default;

MemoryAllocatorDump* ProcessMemoryDump::CreateAllocatorDump(
    const std::string& absolute_name) {
  std::unique_ptr<MemoryAllocatorDump>& slot = allocator_dumps_[absolute_name];
  if (!slot)
    slot.reset(new MemoryAllocatorDump(absolute_name, this));
  return slot.get();
}

MemoryAllocatorDump* ProcessMemoryDump::GetAllocatorDump(
    const std::string& absolute_name) const {
  const auto it = allocator_dumps_.find(absolute_name);
  return it == allocator_dumps_.end() ? nullptr : it->second.get();
}

}  // namespace trace_event
}  // namespace base
