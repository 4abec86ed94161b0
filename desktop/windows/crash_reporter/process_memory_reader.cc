#include "desktop/windows/crash_reporter/process_memory_reader.h"

#include "base/logging.h"

namespace vexlo {
namespace crash_reporter {

bool ReadProcessWord(HANDLE process, uint64_t address, uint64_t* word) {
  SIZE_T bytes_read = 0;
  return ::ReadProcessMemory(process, reinterpret_cast<const void*>(address),
                             word, sizeof(*word), &bytes_read) &&
         bytes_read == sizeof(*word);
}

ProcessMemoryReader::ProcessMemoryReader(HANDLE process) : process_(process) {}

const uint8_t* ProcessMemoryReader::Read(uint64_t address,
                                         size_t size,
                                         size_t* bytes_read) {
  *bytes_read = 0;
  if (buffer_.size() < size)
    buffer_.resize(size);
  SIZE_T count = 0;
  const bool read =
      ::ReadProcessMemory(process_, reinterpret_cast<const void*>(address),
                          buffer_.data(), size, &count);
  // A read that stops at an unreadable page still gives the bytes before it.
  if (count > 0) {
    *bytes_read = count;
    return buffer_.data();
  }
  const DWORD error = read ? ERROR_SUCCESS : ::GetLastError();
  ++failure_count_;
  if (failure_count_ <= kMaxLoggedFailures) {
    LOG(ERROR) << "ReadProcessMemory failed for address 0x" << std::hex
               << address << std::dec << " and size " << size
               << ", bytes_read=" << count << ": "
               << base::SystemErrorCodeToString(error);
  }
  if (failure_count_ == kMaxLoggedFailures)
    LOG(ERROR) << "Reached limit of logged memory read errors";
  return nullptr;
}

}  // namespace crash_reporter
}  // namespace vexlo
