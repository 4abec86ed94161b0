#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_FROZEN_PROCESS_LOG_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_FROZEN_PROCESS_LOG_H_

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "desktop/windows/crash_reporter/crash_metadata.h"
#include "desktop/windows/crash_reporter/crash_records.h"
#include "desktop/windows/crash_reporter/module_info_impl.h"

namespace vexlo {
namespace crash_reporter {

// The handle records a crashed process may keep for its reporter: a ring of
// kHandleRecordCount records after the index of the oldest one and the
// index the next one goes to (the ring is empty when they are equal).
struct HandleRecord {
  static constexpr size_t kBacktraceLength = 24;
  uint64_t handle;
  uint64_t timestamp;
  uint32_t info;
  uint32_t type;
  uint32_t thread_id;
  uint8_t inherit;
  uint8_t protect_from_close;
  uint16_t backtrace_count;
  uint64_t backtrace[kBacktraceLength];
};
static_assert(sizeof(HandleRecord) == 224, "handle record layout");

constexpr size_t kHandleRecordCount = 500;
struct HandleRecordRing {
  uint64_t first;
  uint64_t next;
  HandleRecord records[kHandleRecordCount];
};
static_assert(sizeof(HandleRecordRing) == 112016, "handle record ring layout");

// The crash key |name| (all its slots) read as a hexadecimal number.
bool GetCrashKeyHexValue(const CrashKeySet& keys,
                         const std::string& name,
                         uint64_t* value);

// The lines describing the handle records that the crash key
// "handle_info_items" points to inside |process|: only those of the handle
// "invalid_handle" names, when it names one.
std::vector<std::string> GetHandleInfoLines(HANDLE process,
                                            const CrashKeySet& keys);

// Freezes process |process_id| while it captures its state and writes its
// text crash log to |path| with |data| (and the process's memory counters
// when asked) and the handle records of |keys|.
// The two addresses are those of the process's crash fields.
bool WriteFrozenProcessLog(uint32_t process_id,
                           uint64_t exception_pointers_address,
                           uint64_t thread_id_address,
                           const std::vector<ModuleListEntry>& modules,
                           const CrashKeySet& keys,
                           const CrashReportData& data,
                           bool with_memory_counters,
                           const base::FilePath& path);

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_FROZEN_PROCESS_LOG_H_
