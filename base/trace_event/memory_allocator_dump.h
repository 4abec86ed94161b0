#ifndef BASE_TRACE_EVENT_MEMORY_ALLOCATOR_DUMP_H_
#define BASE_TRACE_EVENT_MEMORY_ALLOCATOR_DUMP_H_

#include <stdint.h>

#include <memory>
#include <string>

namespace base {
namespace trace_event {

class ProcessMemoryDump;
class TracedValue;

// One named node of a process memory dump ("tracing/main_trace_log") with
// its scalar attributes.
class MemoryAllocatorDump {
 public:
  static const char kNameSize[];
  static const char kNameObjectCount[];
  static const char kUnitsBytes[];
  static const char kUnitsObjects[];

  // The identifier comes from the process id and |absolute_name|.
  MemoryAllocatorDump(const std::string& absolute_name,
                      ProcessMemoryDump* process_memory_dump);
  MemoryAllocatorDump(const std::string& absolute_name,
                      ProcessMemoryDump* process_memory_dump,
                      uint64_t guid);
  MemoryAllocatorDump(const MemoryAllocatorDump&) = delete;
  MemoryAllocatorDump& operator=(const MemoryAllocatorDump&) = delete;
  ~MemoryAllocatorDump();

  // The first 8 bytes, little-endian, of the SHA-1 digest of "%d:%s" with
  // |process_id| and |absolute_name|.
  static uint64_t MakeGuid(int process_id, const std::string& absolute_name);

  // Records {"type": "scalar", "units": |units|, "value": |value| in
  // lower-case hexadecimal} under |name|.
  void AddScalar(const char* name, const char* units, uint64_t value);

  const std::string& absolute_name() const { return absolute_name_; }
  uint64_t guid() const { return guid_; }
  const TracedValue* attributes() const { return attributes_.get(); }

 private:
  const std::string absolute_name_;
  ProcessMemoryDump* const process_memory_dump_;
  std::unique_ptr<TracedValue> attributes_;
  const uint64_t guid_;
  int32_t flags_;
  // Reused by every scalar.
  std::string string_conversion_buffer_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_MEMORY_ALLOCATOR_DUMP_H_
