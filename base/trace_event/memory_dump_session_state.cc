#include "base/trace_event/memory_dump_session_state.h"

#include <utility>

#include "base/trace_event/heap_profiler_stack_frame_deduplicator.h"
#include "base/trace_event/heap_profiler_type_name_deduplicator.h"

namespace base {
namespace trace_event {

MemoryDumpSessionState::MemoryDumpSessionState() = default;

MemoryDumpSessionState::~MemoryDumpSessionState() = default;

void MemoryDumpSessionState::SetStackFrameDeduplicator(
    std::unique_ptr<StackFrameDeduplicator> deduplicator) {
  stack_frame_deduplicator_ = std::move(deduplicator);
}

void MemoryDumpSessionState::SetTypeNameDeduplicator(
    std::unique_ptr<TypeNameDeduplicator> deduplicator) {
  type_name_deduplicator_ = std::move(deduplicator);
}

SessionStateConvertableProxy::SessionStateConvertableProxy(
    scoped_refptr<MemoryDumpSessionState> session_state,
    GetterFunction getter)
    : session_state_(std::move(session_state)), getter_(getter) {}

SessionStateConvertableProxy::~SessionStateConvertableProxy() = default;

void SessionStateConvertableProxy::AppendAsTraceFormat(std::string* out) const {
  getter_(*session_state_)->AppendAsTraceFormat(out);
}

void SessionStateConvertableProxy::EstimateTraceMemoryOverhead(
    TraceEventMemoryOverhead* overhead) {
  getter_(*session_state_)->EstimateTraceMemoryOverhead(overhead);
}

}  // namespace trace_event
}  // namespace base
