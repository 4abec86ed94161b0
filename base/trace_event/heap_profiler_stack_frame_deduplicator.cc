#include "base/trace_event/heap_profiler_stack_frame_deduplicator.h"

#include "base/strings/stringprintf.h"
#include "base/trace_event/trace_event_memory_overhead.h"
#include "base/trace_event/traced_value.h"

namespace base {
namespace trace_event {

namespace {

// What one map entry and one frame node take, for the estimate.
constexpr size_t kMapEntrySize = 16;
constexpr size_t kFrameNodeSize = 32;
constexpr size_t kObjectSize = 48;

}  // namespace

StackFrameDeduplicator::StackFrameDeduplicator() = default;

StackFrameDeduplicator::~StackFrameDeduplicator() = default;

int StackFrameDeduplicator::Insert(const StackFrame* begin,
                                   const StackFrame* end) {
  int frame_index = -1;
  std::map<StackFrame, int>* nodes = &roots_;
  for (const StackFrame* it = begin; it != end; ++it) {
    const std::map<StackFrame, int>::iterator node = nodes->find(*it);
    if (node != nodes->end()) {
      frame_index = node->second;
    } else {
      frames_.push_back({*it, frame_index, {}});
      const int new_index = static_cast<int>(frames_.size() - 1);
      // |nodes| may point into |frames_|, which push_back just moved.
      std::map<StackFrame, int>* const parent_nodes =
          frame_index < 0 ? &roots_ : &frames_[frame_index].children;
      parent_nodes->insert(std::make_pair(*it, new_index));
      frame_index = new_index;
    }
    nodes = &frames_[frame_index].children;
  }
  return frame_index;
}

void StackFrameDeduplicator::AppendAsTraceFormat(std::string* out) const {
  out->append("{");
  for (size_t i = 0; i < frames_.size(); ++i) {
    if (i > 0)
      out->append(",");
    StringAppendF(out, "\"%d\":", static_cast<int>(i));
    TracedValue frame_node;
    frame_node.SetString("name", frames_[i].frame);
    if (frames_[i].parent_frame_index >= 0) {
      frame_node.SetString("parent",
                           StringPrintf("%d", frames_[i].parent_frame_index));
    }
    frame_node.AppendAsTraceFormat(out);
  }
  out->append("}");
}

void StackFrameDeduplicator::EstimateTraceMemoryOverhead(
    TraceEventMemoryOverhead* overhead) {
  size_t map_entries = roots_.size();
  for (const FrameNode& node : frames_)
    map_entries += node.children.size();
  const size_t maps_size = map_entries * kMapEntrySize;
  overhead->Add("StackFrameDeduplicator",
                maps_size + frames_.capacity() * kFrameNodeSize + kObjectSize,
                maps_size + frames_.size() * kFrameNodeSize + kObjectSize);
}

}  // namespace trace_event
}  // namespace base
