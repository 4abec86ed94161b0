#ifndef BASE_TRACE_EVENT_HEAP_PROFILER_STACK_FRAME_DEDUPLICATOR_H_
#define BASE_TRACE_EVENT_HEAP_PROFILER_STACK_FRAME_DEDUPLICATOR_H_

#include <map>
#include <string>
#include <vector>

#include "base/trace_event/convertable_to_trace_format.h"

namespace base {
namespace trace_event {

// Gives each distinct call path of pseudo-stack frames an id: a tree of
// frames where id i names the path from a root to frame i.
class StackFrameDeduplicator : public ConvertableToTraceFormat {
 public:
  // A frame is a pointer to the C string naming it; frames are compared by
  // address.
  typedef const char* StackFrame;

  StackFrameDeduplicator();
  ~StackFrameDeduplicator() override;

  // The id of the path |begin| .. |end| (outermost first), adding what is
  // new; -1 for an empty path.
  int Insert(const StackFrame* begin, const StackFrame* end);

  // {"id": {"name": frame, "parent": "parent id"}, ...}.
  void AppendAsTraceFormat(std::string* out) const override;
  void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) override;

 private:
  struct FrameNode {
    StackFrame frame;
    int parent_frame_index;
    std::map<StackFrame, int> children;
  };

  std::map<StackFrame, int> roots_;
  std::vector<FrameNode> frames_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_HEAP_PROFILER_STACK_FRAME_DEDUPLICATOR_H_
