#include "desktop/windows/crash_reporter/process_state_impl.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <atomic>

#include "base/logging.h"
#include "desktop/windows/crash_reporter/process_path.h"

namespace vexlo {
namespace crash_reporter {

namespace {

// The smallest thread entry that still names the owning process.
constexpr DWORD kMinThreadEntrySize = 16;

std::atomic<ProcessStateImpl::SnapshotFunction> g_snapshot_function{
    &::CreateToolhelp32Snapshot};

HANDLE TakeSnapshot(DWORD flags, DWORD process_id) {
  return g_snapshot_function.load()(flags, process_id);
}

bool ReadExact(HANDLE process, uint64_t address, void* buffer, size_t size) {
  SIZE_T bytes_read = 0;
  return ::ReadProcessMemory(process, reinterpret_cast<const void*>(address),
                             buffer, size, &bytes_read) &&
         bytes_read == size;
}

bool SamePath(const base::string16& a, const base::string16& b) {
  return !a.empty() && a.size() == b.size() &&
         ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

ProcessStateImpl::ProcessStateImpl()
    : exception_context_(std::make_unique<CONTEXT>()) {}

ProcessStateImpl::~ProcessStateImpl() = default;

// static
void ProcessStateImpl::SetSnapshotFunctionForTesting(
    SnapshotFunction function) {
  g_snapshot_function = function ? function : &::CreateToolhelp32Snapshot;
}

bool ProcessStateImpl::Capture(
    uint32_t process_id,
    uint64_t exception_pointers_address,
    uint64_t thread_id_address,
    const std::vector<ModuleListEntry>& fallback_modules) {
  process_.Set(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                             process_id));
  if (!process_.IsValid()) {
    PLOG(ERROR) << "OpenProcess failed for " << process_id;
    return false;
  }
  process_id_ = process_id;
  exception_pointers_address_ = exception_pointers_address;
  thread_id_address_ = thread_id_address;
  ReadMemoryCounters();
  process_path_ = GetProcessPath(process_.Get());
  ReadModules(fallback_modules);
  if (!ReadCrash())
    return false;
  threads_.push_back(ThreadInfoImpl::CreateCrashed(
      process_.Get(), crashed_thread_id_, *exception_context_));
  ReadOtherThreads();
  return true;
}

bool ProcessStateImpl::IsReadable(uint64_t address) const {
  uint8_t byte = 0;
  return ReadExact(process_.Get(), address, &byte, 1);
}

std::unique_ptr<ProcessMemoryReader> ProcessStateImpl::CreateMemoryReader()
    const {
  return std::make_unique<ProcessMemoryReader>(process_.Get());
}

void ProcessStateImpl::ReadMemoryCounters() {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof(counters);
  if (!::GetProcessMemoryInfo(
          process_.Get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
          sizeof(counters))) {
    PLOG(ERROR) << "GetProcessMemoryInfo failed";
    return;
  }
  working_set_size_ = counters.WorkingSetSize;
  peak_working_set_size_ = counters.PeakWorkingSetSize;
  private_bytes_ = counters.PrivateUsage;
}

void ProcessStateImpl::ReadModules(
    const std::vector<ModuleListEntry>& fallback_modules) {
  if (!ReadModuleSnapshot() || modules_.empty()) {
    LOG(INFO) << "Using fallback modules";
    for (const ModuleListEntry& module : fallback_modules)
      AddModule(module.name, module.path, module.base, module.size);
  }
  if (main_module_)
    return;
  LOG(WARNING) << "Couldn't find main module for '" << process_path_.c_str()
               << "'";
  for (const auto& module : modules_)
    LOG(WARNING) << "Module path: " << module->path().c_str();
}

bool ProcessStateImpl::ReadModuleSnapshot() {
  base::win::ScopedHandle snapshot;
  int attempts_left = kModuleSnapshotAttempts;
  while (attempts_left > 0) {
    --attempts_left;
    snapshot.Set(TakeSnapshot(TH32CS_SNAPMODULE, process_id_));
    if (snapshot.IsValid() || ::GetLastError() != ERROR_BAD_LENGTH)
      break;
  }
  if (!snapshot.IsValid()) {
    PLOG(ERROR) << "TH32CS_SNAPMODULE failed, retries_left=" << attempts_left;
    return false;
  }
  MODULEENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  if (!::Module32FirstW(snapshot.Get(), &entry)) {
    PLOG(ERROR) << "Module32First failed";
    return false;
  }
  do {
    AddModule(entry.szModule, entry.szExePath,
              reinterpret_cast<uintptr_t>(entry.modBaseAddr),
              entry.modBaseSize);
    entry.dwSize = sizeof(entry);
  } while (::Module32NextW(snapshot.Get(), &entry));
  return true;
}

void ProcessStateImpl::AddModule(const base::string16& name,
                                 const base::string16& path,
                                 uint64_t base,
                                 uint32_t size) {
  modules_.push_back(
      std::make_unique<ModuleInfoImpl>(process_.Get(), name, path, base, size));
  if (!main_module_ && SamePath(path, process_path_))
    main_module_ = modules_.back().get();
}

bool ProcessStateImpl::ReadCrash() {
  uint64_t pointers_address = 0;
  EXCEPTION_POINTERS pointers = {};
  if (!ReadProcessWord(process_.Get(), exception_pointers_address_,
                       &pointers_address) ||
      !ReadExact(process_.Get(), pointers_address, &pointers,
                 sizeof(pointers))) {
    PLOG(ERROR) << "Could not read the exception pointers";
    return false;
  }
  const uint64_t record = reinterpret_cast<uintptr_t>(pointers.ExceptionRecord);
  if (!ReadExact(process_.Get(), record, &exception_code_,
                 sizeof(exception_code_)) ||
      !ReadProcessWord(process_.Get(),
                       record + offsetof(EXCEPTION_RECORD, ExceptionAddress),
                       &exception_address_) ||
      !ReadExact(process_.Get(),
                 reinterpret_cast<uintptr_t>(pointers.ContextRecord),
                 exception_context_.get(), sizeof(CONTEXT))) {
    PLOG(ERROR) << "Could not read the exception record and context";
    return false;
  }
  if (!ReadExact(process_.Get(), thread_id_address_, &crashed_thread_id_,
                 sizeof(crashed_thread_id_))) {
    LOG(WARNING) << "Could not read ID of crashed thread";
    crashed_thread_id_ = 0;
  }
  return true;
}

void ProcessStateImpl::ReadOtherThreads() {
  base::win::ScopedHandle snapshot(TakeSnapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot.IsValid()) {
    PLOG(ERROR) << "TH32CS_SNAPTHREAD failed";
    return;
  }
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  bool more = ::Thread32First(snapshot.Get(), &entry);
  if (!more || entry.dwSize < kMinThreadEntrySize) {
    LOG(ERROR) << "Thread32First failed, te.dwSize=" << entry.dwSize
               << ", min size=" << kMinThreadEntrySize;
    return;
  }
  while (more) {
    if (entry.dwSize >= kMinThreadEntrySize &&
        entry.th32OwnerProcessID == process_id_ &&
        entry.th32ThreadID != crashed_thread_id_) {
      std::unique_ptr<ThreadInfoImpl> thread =
          ThreadInfoImpl::CreateLive(process_.Get(), entry.th32ThreadID);
      if (thread)
        threads_.push_back(std::move(thread));
    }
    entry.dwSize = sizeof(entry);
    more = ::Thread32Next(snapshot.Get(), &entry);
  }
}

}  // namespace crash_reporter
}  // namespace vexlo
