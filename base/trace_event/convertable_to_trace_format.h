#ifndef BASE_TRACE_EVENT_CONVERTABLE_TO_TRACE_FORMAT_H_
#define BASE_TRACE_EVENT_CONVERTABLE_TO_TRACE_FORMAT_H_

#include <string>

namespace base {
namespace trace_event {

class TraceEventMemoryOverhead;

// A trace-event argument that writes its own text form.
class ConvertableToTraceFormat {
 public:
  ConvertableToTraceFormat() = default;
  ConvertableToTraceFormat(const ConvertableToTraceFormat&) = delete;
  ConvertableToTraceFormat& operator=(const ConvertableToTraceFormat&) = delete;
  virtual ~ConvertableToTraceFormat() = default;

  // Appends the value's text to |out|.
  virtual void AppendAsTraceFormat(std::string* out) const = 0;

  // Adds the memory the value takes; by default only the object itself.
  virtual void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead);
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_CONVERTABLE_TO_TRACE_FORMAT_H_
