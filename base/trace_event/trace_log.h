#ifndef BASE_TRACE_EVENT_TRACE_LOG_H_
#define BASE_TRACE_EVENT_TRACE_LOG_H_

#include <stdint.h>

#include <memory>

#include "base/time/time.h"

// The process-wide collector of trace events. For now it records nothing:
// every category's enabled-flag byte is 0, so trace sites stop at their flag
// test, and an event handed in anyway is dropped. Trace sites use it exactly
// as they will once recording exists.

namespace base {
namespace trace_event {

class ConvertableToTraceFormat;

// Names a stored event so that the end of a complete event can be written
// into it later; all zero for no event.
struct TraceEventHandle {
  uint32_t chunk_seq = 0;
  uint32_t chunk_index : 26;
  uint32_t event_index : 6;

  TraceEventHandle() : chunk_index(0), event_index(0) {}
};

class TraceLog {
 public:
  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  // The process's trace log, created on first use and never destroyed.
  static TraceLog* GetInstance();

  // The enabled-flag byte of |category_group|, which trace sites look up
  // once and test before building an event.
  static const unsigned char* GetCategoryGroupEnabled(
      const char* category_group);

  // The one entry of every trace site: adds an event of |phase| ('X' for a
  // complete event) and returns its handle.
  TraceEventHandle AddTraceEventWithThreadIdAndTimestamp(
      char phase,
      const unsigned char* category_group_enabled,
      const char* name,
      const char* scope,
      unsigned long long id,
      unsigned long long bind_id,
      int thread_id,
      const TimeTicks& timestamp,
      int num_args,
      const char* const* arg_names,
      const unsigned char* arg_types,
      const unsigned long long* arg_values,
      std::unique_ptr<ConvertableToTraceFormat>* convertable_values,
      unsigned int flags);

  // Ends the complete event |handle|, setting its duration.
  void UpdateTraceEventDuration(const unsigned char* category_group_enabled,
                                const char* name,
                                TraceEventHandle handle);

 private:
  TraceLog();
  ~TraceLog();
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_LOG_H_
