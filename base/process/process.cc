#include "base/process/process.h"

#include "base/logging.h"

namespace base {

Process::Process(ProcessHandle handle)
    : is_current_process_(false), process_(handle) {
  CHECK_NE(handle, ::GetCurrentProcess());
}

Process::Process(Process&& other)
    : is_current_process_(other.is_current_process_),
      process_(other.process_.Take()) {
  other.is_current_process_ = false;
}

Process::~Process() = default;

Process& Process::operator=(Process&& other) {
  if (this == &other)
    return *this;
  const DWORD last_error = ::GetLastError();
  process_.Set(other.process_.Take());
  is_current_process_ = other.is_current_process_;
  other.is_current_process_ = false;
  ::SetLastError(last_error);
  return *this;
}

// static
Process Process::Current() {
  Process process;
  process.is_current_process_ = true;
  return process;
}

bool Process::IsValid() const {
  return is_current_process_ || process_.IsValid();
}

ProcessHandle Process::Handle() const {
  return is_current_process_ ? ::GetCurrentProcess() : process_.Get();
}

ProcessId Process::Pid() const {
  return GetProcId(Handle());
}

void Process::Close() {
  process_.Close();
}

bool Process::Terminate(uint32_t exit_code, bool wait) const {
  if (!::TerminateProcess(Handle(), exit_code)) {
    LOG(ERROR) << "TerminateProcess failed, error " << ::GetLastError();
    return false;
  }
  // A process that outlives the wait is not an error of the termination:
  // it has been told to end, and the caller learns no more from a timeout.
  if (wait)
    ::WaitForSingleObject(Handle(), kTerminateWaitMilliseconds);
  return true;
}

}  // namespace base
