#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_STATE_IMPL_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_STATE_IMPL_H_

#include <windows.h>

#include <stdint.h>

#include <memory>
#include <vector>

#include "base/strings/string16.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/module_info_impl.h"
#include "desktop/windows/crash_reporter/process_memory_reader.h"
#include "desktop/windows/crash_reporter/thread_info_impl.h"

namespace vexlo {
namespace crash_reporter {

// A snapshot of a crashed process, taken while the caller keeps it frozen:
// its path, memory counters, modules, threads, and the crash's exception
// record and registers read out of it.
class ProcessStateImpl {
 public:
  // Snapshot functions, replaceable in tests to make the system's answers
  // fail.
  using SnapshotFunction = HANDLE(WINAPI*)(DWORD flags, DWORD process_id);
  static constexpr int kModuleSnapshotAttempts = 10;

  ProcessStateImpl();
  ProcessStateImpl(const ProcessStateImpl&) = delete;
  ProcessStateImpl& operator=(const ProcessStateImpl&) = delete;
  ~ProcessStateImpl();

  // Takes the snapshot of process |process_id|. The two addresses lie in
  // that process: the field holding its exception-pointers address and the
  // field holding the crashed thread's id. |fallback_modules| stand in when
  // the system lists none. False when the process cannot be opened, the
  // crash cannot be read, or the crashed thread cannot be described.
  bool Capture(uint32_t process_id,
               uint64_t exception_pointers_address,
               uint64_t thread_id_address,
               const std::vector<ModuleListEntry>& fallback_modules);

  // True when the byte at |address| of the process can be read.
  bool IsReadable(uint64_t address) const;
  std::unique_ptr<ProcessMemoryReader> CreateMemoryReader() const;

  uint32_t process_id() const { return process_id_; }
  uint32_t exception_code() const { return exception_code_; }
  uint64_t exception_address() const { return exception_address_; }
  const CONTEXT& exception_context() const { return *exception_context_; }
  uint32_t crashed_thread_id() const { return crashed_thread_id_; }
  uint64_t working_set_size() const { return working_set_size_; }
  uint64_t peak_working_set_size() const { return peak_working_set_size_; }
  uint64_t private_bytes() const { return private_bytes_; }
  // Null when no module's path is the process path.
  const ModuleInfoImpl* main_module() const { return main_module_; }
  const std::vector<std::unique_ptr<ModuleInfoImpl>>& modules() const {
    return modules_;
  }
  // The crashed thread first, then the others in the system's order.
  const std::vector<std::unique_ptr<ThreadInfoImpl>>& threads() const {
    return threads_;
  }
  const base::string16& process_path() const { return process_path_; }

  static void SetSnapshotFunctionForTesting(SnapshotFunction function);

 private:
  void ReadMemoryCounters();
  void ReadModules(const std::vector<ModuleListEntry>& fallback_modules);
  bool ReadModuleSnapshot();
  void AddModule(const base::string16& name,
                 const base::string16& path,
                 uint64_t base,
                 uint32_t size);
  bool ReadCrash();
  void ReadOtherThreads();

  base::win::ScopedHandle process_;
  uint32_t process_id_ = 0;
  uint64_t working_set_size_ = 0;
  uint64_t peak_working_set_size_ = 0;
  uint64_t private_bytes_ = 0;
  base::string16 process_path_;
  std::vector<std::unique_ptr<ModuleInfoImpl>> modules_;
  const ModuleInfoImpl* main_module_ = nullptr;
  std::vector<std::unique_ptr<ThreadInfoImpl>> threads_;
  uint32_t exception_code_ = 0;
  uint64_t exception_address_ = 0;
  std::unique_ptr<CONTEXT> exception_context_;
  uint32_t crashed_thread_id_ = 0;
  uint64_t exception_pointers_address_ = 0;
  uint64_t thread_id_address_ = 0;
};

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_STATE_IMPL_H_
