#ifndef BASE_TRACE_EVENT_MEMORY_DUMP_SESSION_STATE_H_
#define BASE_TRACE_EVENT_MEMORY_DUMP_SESSION_STATE_H_

#include <memory>

#include "base/memory/ref_counted.h"
#include "base/trace_event/convertable_to_trace_format.h"

namespace base {
namespace trace_event {

class StackFrameDeduplicator;
class TypeNameDeduplicator;

// What one memory-tracing session shares: the heap profiler's
// deduplicators, written into the trace as metadata.
class MemoryDumpSessionState
    : public RefCountedThreadSafe<MemoryDumpSessionState> {
 public:
  MemoryDumpSessionState();

  StackFrameDeduplicator* stack_frame_deduplicator() const {
    return stack_frame_deduplicator_.get();
  }
  TypeNameDeduplicator* type_name_deduplicator() const {
    return type_name_deduplicator_.get();
  }
  // Each replaces and deletes the one before.
  void SetStackFrameDeduplicator(
      std::unique_ptr<StackFrameDeduplicator> deduplicator);
  void SetTypeNameDeduplicator(
      std::unique_ptr<TypeNameDeduplicator> deduplicator);

 private:
  friend class RefCountedThreadSafe<MemoryDumpSessionState>;
  ~MemoryDumpSessionState();

  std::unique_ptr<StackFrameDeduplicator> stack_frame_deduplicator_;
  std::unique_ptr<TypeNameDeduplicator> type_name_deduplicator_;
};

// A metadata argument standing for one deduplicator of a session: it holds
// the session and forwards to the deduplicator |getter| picks.
class SessionStateConvertableProxy : public ConvertableToTraceFormat {
 public:
  typedef ConvertableToTraceFormat* (*GetterFunction)(
      const MemoryDumpSessionState& session_state);

  SessionStateConvertableProxy(
      scoped_refptr<MemoryDumpSessionState> session_state,
      GetterFunction getter);
  ~SessionStateConvertableProxy() override;

  void AppendAsTraceFormat(std::string* out) const override;
  void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) override;

 private:
  const scoped_refptr<MemoryDumpSessionState> session_state_;
  const GetterFunction getter_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_MEMORY_DUMP_SESSION_STATE_H_
