#include "base/trace_event/heap_profiler_type_name_deduplicator.h"

#include <utility>

#include "base/json/string_escape.h"
#include "base/strings/stringprintf.h"
#include "base/trace_event/trace_event_memory_overhead.h"

namespace base {
namespace trace_event {

namespace {

constexpr size_t kMapEntrySize = 16;
constexpr size_t kObjectSize = 24;

}  // namespace

TypeNameDeduplicator::TypeNameDeduplicator() {
  type_ids_.insert(std::make_pair(nullptr, 0));
}

TypeNameDeduplicator::~TypeNameDeduplicator() = default;

int TypeNameDeduplicator::Insert(const char* type_name) {
  const int next_id = static_cast<int>(type_ids_.size());
  return type_ids_.insert(std::make_pair(type_name, next_id)).first->second;
}

void TypeNameDeduplicator::AppendAsTraceFormat(std::string* out) const {
  out->append("{\"0\":\"[unknown]\"");
  for (const auto& entry : type_ids_) {
    if (!entry.first)
      continue;
    StringAppendF(out, ",\"%d\":", entry.second);
    EscapeJSONString(entry.first, true, out);
  }
  out->append("}");
}

void TypeNameDeduplicator::EstimateTraceMemoryOverhead(
    TraceEventMemoryOverhead* overhead) {
  overhead->Add("TypeNameDeduplicator",
                type_ids_.size() * kMapEntrySize + kObjectSize);
}

}  // namespace trace_event
}  // namespace base
