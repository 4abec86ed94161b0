#include "base/trace_event/trace_event_memory_overhead.h"

#include <algorithm>

#include "base/strings/stringprintf.h"
#include "base/trace_event/memory_allocator_dump.h"
#include "base/trace_event/process_memory_dump.h"

namespace base {
namespace trace_event {

const char kOverheadTypeTraceEvent[] = "TraceEvent";
const char kOverheadTypeString[] = "std::string";
const char kOverheadTypeSelf[] = "TraceEventMemoryOverhead";

namespace {

// What a string object and its heap room take, by the heap's granularity.
constexpr size_t kStringObjectSize = 32;
constexpr size_t kHeapGranule = 16;
// What one entry of the map form costs beyond the entry itself.
constexpr size_t kMapEntryOverhead = 32;

}  // namespace

TraceEventMemoryOverhead::TraceEventMemoryOverhead() : inline_count_(0) {}

TraceEventMemoryOverhead::~TraceEventMemoryOverhead() = default;

void TraceEventMemoryOverhead::AddOrCreateInternal(
    const char* object_type,
    size_t count,
    size_t allocated_size_in_bytes,
    size_t resident_size_in_bytes) {
  ObjectCountAndSize* entry =
      const_cast<ObjectCountAndSize*>(Find(object_type));
  if (!entry) {
    if (!map_ && inline_count_ == kMaxInlineEntries) {
      map_.reset(new Map(8));
      map_->max_load_factor(1.0f);
      for (size_t i = 0; i < inline_count_; ++i)
        (*map_)[inline_entries_[i].object_type] = inline_entries_[i];
    }
    const ObjectCountAndSize empty = {object_type, 0, 0, 0};
    if (map_) {
      entry = &(*map_)[object_type];
      *entry = empty;
    } else {
      entry = &inline_entries_[inline_count_++];
      *entry = empty;
    }
  }
  entry->count += count;
  entry->allocated_size_in_bytes += allocated_size_in_bytes;
  entry->resident_size_in_bytes += resident_size_in_bytes;
}

const TraceEventMemoryOverhead::ObjectCountAndSize*
TraceEventMemoryOverhead::Find(const char* object_type) const {
  if (map_) {
    const Map::const_iterator it = map_->find(object_type);
    return it == map_->end() ? nullptr : &it->second;
  }
  for (size_t i = 0; i < inline_count_; ++i) {
    if (inline_entries_[i].object_type == object_type)
      return &inline_entries_[i];
  }
  return nullptr;
}

void TraceEventMemoryOverhead::Add(const char* object_type,
                                   size_t allocated_size_in_bytes) {
  Add(object_type, allocated_size_in_bytes, allocated_size_in_bytes);
}

void TraceEventMemoryOverhead::Add(const char* object_type,
                                   size_t allocated_size_in_bytes,
                                   size_t resident_size_in_bytes) {
  AddOrCreateInternal(object_type, 1, allocated_size_in_bytes,
                      resident_size_in_bytes);
}

void TraceEventMemoryOverhead::AddString(const std::string& str) {
  const size_t capacity = std::max(kStringObjectSize, str.capacity());
  const size_t heap_room = (capacity + kHeapGranule - 1) & ~(kHeapGranule - 1);
  Add(kOverheadTypeString, kStringObjectSize + heap_room);
}

void TraceEventMemoryOverhead::AddSelf() {
  size_t self_size = sizeof(*this);
  if (map_)
    self_size += map_->size() * kMapEntryOverhead;
  Add(kOverheadTypeSelf, self_size);
}

size_t TraceEventMemoryOverhead::GetCount(const char* object_type) const {
  const ObjectCountAndSize* entry = Find(object_type);
  return entry ? entry->count : 0;
}

void TraceEventMemoryOverhead::Update(const TraceEventMemoryOverhead& other) {
  auto add = [this](const ObjectCountAndSize& entry) {
    AddOrCreateInternal(entry.object_type, entry.count,
                        entry.allocated_size_in_bytes,
                        entry.resident_size_in_bytes);
  };
  if (other.map_) {
    for (const Map::value_type& entry : *other.map_)
      add(entry.second);
  } else {
    for (size_t i = 0; i < other.inline_count_; ++i)
      add(other.inline_entries_[i]);
  }
}

void TraceEventMemoryOverhead::DumpInto(const char* base_name,
                                        ProcessMemoryDump* pmd) const {
  auto dump = [base_name, pmd](const ObjectCountAndSize& entry) {
    MemoryAllocatorDump* const allocator_dump = pmd->CreateAllocatorDump(
        StringPrintf("%s/%s", base_name, entry.object_type));
    allocator_dump->AddScalar(MemoryAllocatorDump::kNameSize,
                              MemoryAllocatorDump::kUnitsBytes,
                              entry.allocated_size_in_bytes);
    allocator_dump->AddScalar("resident_size", MemoryAllocatorDump::kUnitsBytes,
                              entry.resident_size_in_bytes);
    allocator_dump->AddScalar(MemoryAllocatorDump::kNameObjectCount,
                              MemoryAllocatorDump::kUnitsObjects, entry.count);
  };
  if (map_) {
    for (const Map::value_type& entry : *map_)
      dump(entry.second);
  } else {
    for (size_t i = 0; i < inline_count_; ++i)
      dump(inline_entries_[i]);
  }
}

}  // namespace trace_event
}  // namespace base
