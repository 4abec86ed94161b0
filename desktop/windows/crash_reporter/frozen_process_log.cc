#include "desktop/windows/crash_reporter/frozen_process_log.h"

#include <memory>

#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_log_writer.h"
#include "desktop/windows/crash_reporter/memory_range_list.h"
#include "desktop/windows/crash_reporter/process_state_impl.h"

namespace vexlo {
namespace crash_reporter {

namespace {

constexpr size_t kLoggedBacktraceLength = 20;

std::string FormatHandleRecord(const HandleRecord& record) {
  std::string line = base::StringPrintf(
      "Handle %llx, timestamp %llx, info %x, type %x, thread id %x, inherit "
      "%d, protect from close %d, backtrace",
      static_cast<unsigned long long>(record.handle),
      static_cast<unsigned long long>(record.timestamp), record.info,
      record.type, record.thread_id, record.inherit, record.protect_from_close);
  const size_t count =
      std::min<size_t>(record.backtrace_count, kLoggedBacktraceLength);
  for (size_t i = 0; i < count; ++i) {
    line += base::StringPrintf(
        " %llx", static_cast<unsigned long long>(record.backtrace[i]));
  }
  return line;
}

}  // namespace

bool GetCrashKeyHexValue(const CrashKeySet& keys,
                         const std::string& name,
                         uint64_t* value) {
  base::string16 text;
  return GetJoinedCrashKeyValue(keys, base::UTF8ToUTF16(name).c_str(), &text) &&
         base::HexStringToUint64(base::UTF16ToUTF8(text), value);
}

std::vector<std::string> GetHandleInfoLines(HANDLE process,
                                            const CrashKeySet& keys) {
  std::vector<std::string> lines;
  uint64_t address = 0;
  if (!GetCrashKeyHexValue(keys, "handle_info_items", &address))
    return lines;
  std::unique_ptr<HandleRecordRing> ring(new HandleRecordRing);
  SIZE_T read = 0;
  if (!::ReadProcessMemory(
          process,
          reinterpret_cast<const void*>(static_cast<uintptr_t>(address)),
          ring.get(), sizeof(*ring), &read) ||
      read != sizeof(*ring) || ring->first >= kHandleRecordCount ||
      ring->next >= kHandleRecordCount) {
    return lines;
  }
  uint64_t only_handle = 0;
  const bool filtered =
      GetCrashKeyHexValue(keys, "invalid_handle", &only_handle);
  for (uint64_t i = ring->first; i != ring->next;
       i = (i + 1) % kHandleRecordCount) {
    const HandleRecord& record = ring->records[i];
    if (!filtered || record.handle == only_handle)
      lines.push_back(FormatHandleRecord(record));
  }
  return lines;
}

bool WriteFrozenProcessLog(uint32_t process_id,
                           uint64_t exception_pointers_address,
                           uint64_t thread_id_address,
                           const std::vector<ModuleListEntry>& modules,
                           const CrashKeySet& keys,
                           const CrashReportData& data,
                           bool with_memory_counters,
                           const base::FilePath& path) {
  const bool frozen = ::DebugActiveProcess(process_id) != FALSE;
  if (!frozen)
    PLOG(ERROR) << "DebugActiveProcess failed";
  bool written = false;
  ProcessStateImpl state;
  if (state.Capture(process_id, exception_pointers_address, thread_id_address,
                    modules)) {
    CrashReportData report = data;
    if (with_memory_counters) {
      AddMemoryMetadata(state.working_set_size(), state.peak_working_set_size(),
                        state.private_bytes(), &report);
    }
    base::win::ScopedHandle process(
        ::OpenProcess(PROCESS_VM_READ, FALSE, process_id));
    if (process.IsValid()) {
      for (const std::string& line : GetHandleInfoLines(process.Get(), keys))
        LOG(INFO) << line;
    }
    MemoryRangeList ranges;
    written =
        WriteCrashLog(&ranges, state, report, base::WideToUTF8(path.value()));
  }
  if (frozen && !::DebugActiveProcessStop(process_id))
    PLOG(ERROR) << "DebugActiveProcessStop failed";
  return written;
}

}  // namespace crash_reporter
}  // namespace vexlo
