#include "desktop/windows/crash_reporter/crash_counter.h"

#include <string>

#include "base/logging.h"
#include "base/strings/stringprintf.h"
#include "desktop/windows/crash_reporter/crash_log_files.h"

namespace vexlo {
namespace crash_reporter {

namespace {

// The count file holds at most this many digits worth reading.
constexpr DWORD kCountDigits = 9;

}  // namespace

CrashCounter::CrashCounter(const base::FilePath& count_file, bool keep_logs)
    : count_file_(count_file),
      keep_logs_(keep_logs),
      event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (count_file_.empty() || !event_.IsValid())
    return;
  thread_.Set(::CreateThread(nullptr, 0, &ThreadMain, this, 0, nullptr));
  if (!thread_.IsValid())
    PLOG(ERROR) << "Starting the crash counter failed";
}

CrashCounter::~CrashCounter() {
  if (!thread_.IsValid())
    return;
  {
    base::AutoLock lock(lock_);
    stop_ = true;
  }
  ::SetEvent(event_.Get());
  ::WaitForSingleObject(thread_.Get(), INFINITE);
  bool had_pending = false;
  for (int attempt = 0; attempt < kMaxFailures; ++attempt) {
    if (WritePending(&had_pending) || !had_pending)
      return;
    ::Sleep(kFinalRetryDelayMs);
  }
  LOG(ERROR) << "Crashes were left uncounted";
}

void CrashCounter::Add(uint32_t count, bool signal) {
  {
    base::AutoLock lock(lock_);
    pending_ += count;
  }
  if (signal && thread_.IsValid())
    ::SetEvent(event_.Get());
}

// static
bool CrashCounter::AddToFile(const base::FilePath& path, uint64_t count) {
  base::win::ScopedHandle file(
      ::CreateFileW(path.value().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) {
    PLOG(ERROR) << "Opening the crash count " << path.AsUTF8() << " failed";
    return false;
  }
  char digits[kCountDigits] = {};
  DWORD read = 0;
  if (!::ReadFile(file.Get(), digits, kCountDigits, &read, nullptr))
    read = 0;
  const std::string text = base::StringPrintf(
      "%llx", static_cast<unsigned long long>(AddToCrashCount(
                  ParseCrashCount(std::string(digits, read)), count)));
  DWORD written = 0;
  return ::SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN) !=
             INVALID_SET_FILE_POINTER &&
         ::SetEndOfFile(file.Get()) &&
         ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()),
                     &written, nullptr) &&
         written > 0;
}

// static
DWORD WINAPI CrashCounter::ThreadMain(void* counter) {
  static_cast<CrashCounter*>(counter)->Run();
  return 0;
}

void CrashCounter::Run() {
  int failures = 0;
  for (;;) {
    ::WaitForSingleObject(event_.Get(), INFINITE);
    {
      base::AutoLock lock(lock_);
      ::ResetEvent(event_.Get());
      if (stop_)
        return;
    }
    bool had_pending = false;
    if (WritePending(&had_pending) || !had_pending) {
      failures = 0;
      continue;
    }
    // Below the limit try again soon; at it, wait for the next crash.
    if (++failures < kMaxFailures) {
      ::SetEvent(event_.Get());
      ::Sleep(kRetryDelayMs);
    }
  }
}

bool CrashCounter::WritePending(bool* had_pending) {
  uint32_t count = 0;
  {
    base::AutoLock lock(lock_);
    count = pending_;
    pending_ = 0;
  }
  *had_pending = count != 0;
  if (count == 0 || AddToFile(count_file_, count))
    return count != 0;
  base::AutoLock lock(lock_);
  pending_ += count;
  return false;
}

}  // namespace crash_reporter
}  // namespace vexlo
