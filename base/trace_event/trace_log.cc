#include "base/trace_event/trace_log.h"

namespace base {
namespace trace_event {

namespace {

// Nothing enables a category, so every site shares one byte that stays 0.
const unsigned char g_disabled_category_flag = 0;

}  // namespace

TraceLog::TraceLog() = default;

TraceLog::~TraceLog() = default;

// static
TraceLog* TraceLog::GetInstance() {
  static TraceLog* const instance = new TraceLog();
  return instance;
}

// static
const unsigned char* TraceLog::GetCategoryGroupEnabled(
    const char* /*category_group*/) {
  return &g_disabled_category_flag;
}

TraceEventHandle TraceLog::AddTraceEventWithThreadIdAndTimestamp(
    char /*phase*/,
    const unsigned char* /*category_group_enabled*/,
    const char* /*name*/,
    const char* /*scope*/,
    unsigned long long /*id*/,
    unsigned long long /*bind_id*/,
    int /*thread_id*/,
    const TimeTicks& /*timestamp*/,
    int /*num_args*/,
    const char* const* /*arg_names*/,
    const unsigned char* /*arg_types*/,
    const unsigned long long* /*arg_values*/,
    std::unique_ptr<ConvertableToTraceFormat>* /*convertable_values*/,
    unsigned int /*flags*/) {
  return TraceEventHandle();
}

void TraceLog::UpdateTraceEventDuration(
    const unsigned char* /*category_group_enabled*/,
    const char* /*name*/,
    TraceEventHandle /*handle*/) {}

}  // namespace trace_event
}  // namespace base
