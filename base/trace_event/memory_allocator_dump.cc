#include "base/trace_event/memory_allocator_dump.h"

#include "base/sha1.h"
#include "base/strings/stringprintf.h"
#include "base/trace_event/trace_log.h"
#include "base/trace_event/traced_value.h"

namespace base {
namespace trace_event {

const char MemoryAllocatorDump::kNameSize[] = "size";
const char MemoryAllocatorDump::kNameObjectCount[] = "object_count";
const char MemoryAllocatorDump::kUnitsBytes[] = "bytes";
const char MemoryAllocatorDump::kUnitsObjects[] = "objects";

MemoryAllocatorDump::MemoryAllocatorDump(const std::string& absolute_name,
                                         ProcessMemoryDump* process_memory_dump)
    : MemoryAllocatorDump(
          absolute_name,
          process_memory_dump,
          MakeGuid(TraceLog::GetInstance()->process_id(), absolute_name)) {}

MemoryAllocatorDump::MemoryAllocatorDump(const std::string& absolute_name,
                                         ProcessMemoryDump* process_memory_dump,
                                         uint64_t guid)
    : absolute_name_(absolute_name),
      process_memory_dump_(process_memory_dump),
      attributes_(new TracedValue),
      guid_(guid),
      flags_(0) {
  string_conversion_buffer_.reserve(16);
}

MemoryAllocatorDump::~MemoryAllocatorDump() = default;

// static
uint64_t MemoryAllocatorDump::MakeGuid(int process_id,
                                       const std::string& absolute_name) {
  const std::string text =
      StringPrintf("%d:%s", process_id, absolute_name.c_str());
  unsigned char digest[kSha1Length];
  ComputeSha1Digest(reinterpret_cast<const unsigned char*>(text.data()),
                    text.size(), digest);
  uint64_t guid = 0;
  for (int i = 7; i >= 0; --i)
    guid = (guid << 8) | digest[i];
  return guid;
}

void MemoryAllocatorDump::AddScalar(const char* name,
                                    const char* units,
                                    uint64_t value) {
  StringPrintfTo(&string_conversion_buffer_, "%llx",
                 static_cast<unsigned long long>(value));
  attributes_->BeginDictionary(name);
  attributes_->SetString("type", "scalar");
  attributes_->SetString("units", units);
  attributes_->SetString("value", string_conversion_buffer_);
  attributes_->EndDictionary();
}

}  // namespace trace_event
}  // namespace base
