#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_COUNTER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_COUNTER_H_

#include <windows.h>

#include <stdint.h>

#include "base/files/file_path.h"
#include "base/synchronization/lock.h"
#include "base/win/scoped_handle.h"

namespace vexlo {
namespace crash_reporter {

// Counts the crashes the reporter handled in the crash-count file, written
// on a thread of its own so that a crash never waits for the file. Also the
// context of the reporter's dump callback.
class CrashCounter {
 public:
  // Attempts after a failed write before the counter waits for the next
  // crash, and the pauses between them.
  static constexpr int kMaxFailures = 10;
  static constexpr DWORD kRetryDelayMs = 100;
  static constexpr DWORD kFinalRetryDelayMs = 50;

  // |count_file| empty: nothing is counted.
  CrashCounter(const base::FilePath& count_file, bool keep_logs);
  CrashCounter(const CrashCounter&) = delete;
  CrashCounter& operator=(const CrashCounter&) = delete;
  // Stops the thread; what is still to be added gets a last few attempts.
  ~CrashCounter();

  // Adds |count| crashes; with |signal| the thread writes them at once.
  void Add(uint32_t count, bool signal);

  // Whether crash files stay after their upload.
  bool keep_logs() const { return keep_logs_; }

  // Adds |count| to the count in |path| (lower-case hexadecimal), making
  // the file when missing. False when it cannot be opened or written.
  static bool AddToFile(const base::FilePath& path, uint64_t count);

 private:
  static DWORD WINAPI ThreadMain(void* counter);
  void Run();
  // Writes what is pending; false when the write failed (the count is
  // kept).
  bool WritePending(bool* had_pending);

  const base::FilePath count_file_;
  const bool keep_logs_;
  base::win::ScopedHandle event_;
  base::Lock lock_;
  uint32_t pending_ = 0;
  bool stop_ = false;
  base::win::ScopedHandle thread_;
};

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_COUNTER_H_
