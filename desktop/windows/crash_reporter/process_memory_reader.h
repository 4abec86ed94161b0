#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_MEMORY_READER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_MEMORY_READER_H_

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace vexlo {
namespace crash_reporter {

// Reads exactly 8 bytes at |address| of |process|.
bool ReadProcessWord(HANDLE process, uint64_t address, uint64_t* word);

// Reads another process's memory into one buffer that grows to the largest
// read, so that a crash log's many reads allocate little.
class ProcessMemoryReader {
 public:
  // Failed reads beyond this many are counted but not logged.
  static constexpr size_t kMaxLoggedFailures = 100;

  // |process| must outlive the reader.
  explicit ProcessMemoryReader(HANDLE process);
  ProcessMemoryReader(const ProcessMemoryReader&) = delete;
  ProcessMemoryReader& operator=(const ProcessMemoryReader&) = delete;

  // The bytes at |address|, as many of |size| as could be read (their count
  // in |bytes_read|), valid until the next read; null when none could.
  const uint8_t* Read(uint64_t address, size_t size, size_t* bytes_read);

  size_t failure_count() const { return failure_count_; }

 private:
  const HANDLE process_;
  std::vector<uint8_t> buffer_;
  size_t failure_count_ = 0;
};

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_MEMORY_READER_H_
