#ifndef BASE_TRACE_EVENT_MEMORY_DUMP_REQUEST_ARGS_H_
#define BASE_TRACE_EVENT_MEMORY_DUMP_REQUEST_ARGS_H_

#include <stdint.h>

#include "base/callback.h"

namespace base {
namespace trace_event {

// Why a dump is made.
enum class MemoryDumpType : int32_t {
  TASK_BEGIN = 0,
  TASK_END = 1,
  PERIODIC_INTERVAL = 2,
  EXPLICITLY_TRIGGERED = 3,
};

enum class MemoryDumpLevelOfDetail : int32_t {
  LIGHT = 0,
  DETAILED = 1,
};

// One global dump request.
struct MemoryDumpRequestArgs {
  // The trace log's mangled form of the dump number.
  uint64_t dump_guid;
  MemoryDumpType dump_type;
  MemoryDumpLevelOfDetail level_of_detail;
};

// What a provider is asked for.
struct MemoryDumpArgs {
  MemoryDumpLevelOfDetail level_of_detail;
};

// Told the dump number and whether the dump succeeded.
typedef Callback<void(uint64_t, bool)> MemoryDumpCallback;

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_MEMORY_DUMP_REQUEST_ARGS_H_
