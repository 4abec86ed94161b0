#ifndef BASE_TRACE_EVENT_TRACE_EVENT_H_
#define BASE_TRACE_EVENT_TRACE_EVENT_H_

#include <stdint.h>

#include "base/trace_event/trace_log.h"

// What trace sites share: event flags, argument types, and a scoped complete
// event that costs one byte test while its category is off.

namespace base {
namespace trace_event {

// Bits of a category's enabled-flag byte.
constexpr unsigned char kEnabledForRecording = 1;
constexpr unsigned char kEnabledForEventCallback = 4;
constexpr unsigned char kEnabledForEtwExport = 8;
// A site builds an event only when one of these is set.
constexpr unsigned char kEnabledForAnyMask =
    kEnabledForRecording | kEnabledForEventCallback | kEnabledForEtwExport;

// Event phases.
constexpr char TRACE_EVENT_PHASE_BEGIN = 'B';
constexpr char TRACE_EVENT_PHASE_END = 'E';
constexpr char TRACE_EVENT_PHASE_COMPLETE = 'X';
constexpr char TRACE_EVENT_PHASE_INSTANT = 'I';
constexpr char TRACE_EVENT_PHASE_NESTABLE_ASYNC_BEGIN = 'b';
constexpr char TRACE_EVENT_PHASE_NESTABLE_ASYNC_END = 'e';
constexpr char TRACE_EVENT_PHASE_METADATA = 'M';

constexpr unsigned int TRACE_EVENT_FLAG_NONE = 0;
constexpr unsigned int TRACE_EVENT_FLAG_COPY = 0x1;
constexpr unsigned int TRACE_EVENT_FLAG_HAS_ID = 0x2;
constexpr unsigned int TRACE_EVENT_FLAG_MANGLE_ID = 0x4;
constexpr unsigned int TRACE_EVENT_FLAG_FLOW_IN = 0x100;
constexpr unsigned int TRACE_EVENT_FLAG_FLOW_OUT = 0x200;

// Argument types.
constexpr unsigned char TRACE_VALUE_TYPE_BOOL = 1;
constexpr unsigned char TRACE_VALUE_TYPE_UINT = 2;
constexpr unsigned char TRACE_VALUE_TYPE_INT = 3;
constexpr unsigned char TRACE_VALUE_TYPE_DOUBLE = 4;
constexpr unsigned char TRACE_VALUE_TYPE_POINTER = 5;
constexpr unsigned char TRACE_VALUE_TYPE_STRING = 6;
constexpr unsigned char TRACE_VALUE_TYPE_COPY_STRING = 7;
constexpr unsigned char TRACE_VALUE_TYPE_CONVERTABLE = 8;

// A complete ('X') event around a scope on the calling thread, without an
// event id. It is begun only when its category is enabled, and its duration
// is set at the end of the scope when the flag byte is then non-zero.
// |name| and the argument arrays must outlive the constructor call only.
class ScopedCompleteEvent {
 public:
  ScopedCompleteEvent(const unsigned char* category_group_enabled,
                      const char* name,
                      unsigned long long bind_id,
                      unsigned int flags,
                      int num_args,
                      const char* const* arg_names,
                      const unsigned char* arg_types,
                      const unsigned long long* arg_values);
  ScopedCompleteEvent(const ScopedCompleteEvent&) = delete;
  ScopedCompleteEvent& operator=(const ScopedCompleteEvent&) = delete;
  ~ScopedCompleteEvent();

  // Whether a category byte asks for events to be built.
  static bool IsEnabled(const unsigned char* category_group_enabled) {
    return (*category_group_enabled & kEnabledForAnyMask) != 0;
  }

 private:
  const unsigned char* const category_group_enabled_;
  const char* const name_;
  bool begun_;
  TraceEventHandle handle_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_EVENT_H_
