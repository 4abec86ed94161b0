#include "base/trace_event/trace_event.h"

#include <windows.h>

namespace base {
namespace trace_event {

ScopedCompleteEvent::ScopedCompleteEvent(
    const unsigned char* category_group_enabled,
    const char* name,
    unsigned long long bind_id,
    unsigned int flags,
    int num_args,
    const char* const* arg_names,
    const unsigned char* arg_types,
    const unsigned long long* arg_values)
    : category_group_enabled_(category_group_enabled),
      name_(name),
      begun_(IsEnabled(category_group_enabled)) {
  if (!begun_)
    return;
  handle_ = TraceLog::GetInstance()->AddTraceEventWithThreadIdAndTimestamp(
      TRACE_EVENT_PHASE_COMPLETE, category_group_enabled, name,
      /*scope=*/nullptr, /*id=*/0, bind_id,
      static_cast<int>(::GetCurrentThreadId()), TimeTicks::Now(), num_args,
      arg_names, arg_types, arg_values, /*convertable_values=*/nullptr, flags);
}

ScopedCompleteEvent::~ScopedCompleteEvent() {
  if (begun_ && *category_group_enabled_) {
    TraceLog::GetInstance()->UpdateTraceEventDuration(category_group_enabled_,
                                                      name_, handle_);
  }
}

}  // namespace trace_event
}  // namespace base
