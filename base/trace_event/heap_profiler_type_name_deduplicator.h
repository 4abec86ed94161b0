#ifndef BASE_TRACE_EVENT_HEAP_PROFILER_TYPE_NAME_DEDUPLICATOR_H_
#define BASE_TRACE_EVENT_HEAP_PROFILER_TYPE_NAME_DEDUPLICATOR_H_

#include <map>
#include <string>

#include "base/trace_event/convertable_to_trace_format.h"

namespace base {
namespace trace_event {

// Gives each type name an id; id 0 stands for a missing name.
class TypeNameDeduplicator : public ConvertableToTraceFormat {
 public:
  TypeNameDeduplicator();
  ~TypeNameDeduplicator() override;

  // The id of |type_name| (compared by address), added when new.
  int Insert(const char* type_name);

  // {"0":"[unknown]","id":"name",...}.
  void AppendAsTraceFormat(std::string* out) const override;
  void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) override;

 private:
  std::map<const char*, int> type_ids_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_HEAP_PROFILER_TYPE_NAME_DEDUPLICATOR_H_
