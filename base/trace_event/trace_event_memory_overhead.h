#ifndef BASE_TRACE_EVENT_TRACE_EVENT_MEMORY_OVERHEAD_H_
#define BASE_TRACE_EVENT_TRACE_EVENT_MEMORY_OVERHEAD_H_

#include <stddef.h>

#include <memory>
#include <string>
#include <unordered_map>

namespace base {
namespace trace_event {

class ProcessMemoryDump;

// Object types counted in more than one place.
extern const char kOverheadTypeTraceEvent[];
extern const char kOverheadTypeString[];
extern const char kOverheadTypeSelf[];

// A tally of the memory that tracing uses, by object type. Types are
// strings compared by address, not by content: a type counted in several
// places is one of the names below.
class TraceEventMemoryOverhead {
 public:
  TraceEventMemoryOverhead();
  TraceEventMemoryOverhead(const TraceEventMemoryOverhead&) = delete;
  TraceEventMemoryOverhead& operator=(const TraceEventMemoryOverhead&) = delete;
  ~TraceEventMemoryOverhead();

  // One object of |allocated_size_in_bytes|, all of it resident.
  void Add(const char* object_type, size_t allocated_size_in_bytes);
  void Add(const char* object_type,
           size_t allocated_size_in_bytes,
           size_t resident_size_in_bytes);
  // A string, by the heap room its capacity takes.
  void AddString(const std::string& str);
  // The tally itself.
  void AddSelf();

  size_t GetCount(const char* object_type) const;
  // Adds every entry of |other|.
  void Update(const TraceEventMemoryOverhead& other);

  // One allocator dump per type, named |base_name| "/" type, with its size,
  // resident size and object count.
  void DumpInto(const char* base_name, ProcessMemoryDump* pmd) const;

 private:
  struct ObjectCountAndSize {
    const char* object_type;
    size_t count;
    size_t allocated_size_in_bytes;
    size_t resident_size_in_bytes;
  };
  // Types are few: they are kept in order in a small array, and in a hash
  // map only once there are more.
  static constexpr size_t kMaxInlineEntries = 16;
  typedef std::unordered_map<const char*, ObjectCountAndSize> Map;

  void AddOrCreateInternal(const char* object_type,
                           size_t count,
                           size_t allocated_size_in_bytes,
                           size_t resident_size_in_bytes);
  const ObjectCountAndSize* Find(const char* object_type) const;

  ObjectCountAndSize inline_entries_[kMaxInlineEntries];
  size_t inline_count_;
  std::unique_ptr<Map> map_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_EVENT_MEMORY_OVERHEAD_H_
