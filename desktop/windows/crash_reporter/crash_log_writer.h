#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_WRITER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_WRITER_H_

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "desktop/windows/crash_reporter/crash_metadata.h"
#include "desktop/windows/crash_reporter/memory_range_list.h"
#include "desktop/windows/crash_reporter/process_state_impl.h"

namespace vexlo {
namespace crash_reporter {

// Writes the text crash log of a captured process to |path| (created or
// truncated): header, metadata, every thread's registers and stack, the
// modules, and the memory the registers and stack words point to. |ranges|
// collects that memory. False, with the file removed, when any write fails;
// an empty |path| (a path that was not ASCII) writes nothing.
bool WriteCrashLog(MemoryRangeList* ranges,
                   const ProcessStateImpl& state,
                   const CrashReportData& data,
                   const std::string& path);

// A thread's stack bytes as read for the log.
struct StackBlock {
  uint64_t start = 0;
  std::vector<uint8_t> bytes;

  bool Contains(uint64_t address) const {
    return address >= start && address - start < bytes.size();
  }
};

// How many bytes of ranges a thread other than the crashed one may add,
// given what is collected already; unlimited for the crashed thread.
uint64_t GetThreadMemoryBudget(bool crashed,
                               uint64_t collected,
                               bool last_thread);

// How much of a stack of unknown extent to keep: past the deepest frame of
// the frame-pointer chain from |frame|, and past what the kept words point
// to inside the block; at least 512 bytes.
size_t GetFramesExtent(const StackBlock& block, uint64_t frame);

// The lines of a thread's stack dump, without the heading; |frame| is where
// the frame-pointer chain starts.
std::string FormatStackLines(const StackBlock& block, uint64_t frame);

// The lines of one memory dump block starting at |address|.
std::string FormatMemoryLines(uint64_t address,
                              const uint8_t* data,
                              size_t size);

// Replaces control characters with blanks, so that a value stays on its
// line.
std::string WithoutControlCharacters(const std::string& text);

// Writes one crash log; the pieces that WriteCrashLog puts together.
class CrashLogWriter {
 public:
  CrashLogWriter(MemoryRangeList* ranges,
                 const ProcessStateImpl& state,
                 FILE* file);
  CrashLogWriter(const CrashLogWriter&) = delete;
  CrashLogWriter& operator=(const CrashLogWriter&) = delete;

  bool Write(const CrashReportData& data);

  // The stack bytes of |thread| as the log keeps them.
  static StackBlock ReadStackBlock(ProcessMemoryReader* reader,
                                   const ThreadInfoImpl& thread);

 private:
  bool WriteHeader(const CrashReportData& data);
  bool WriteThreads();
  bool WriteThread(const ThreadInfoImpl& thread, bool last);
  bool WriteModules();
  bool WriteMemoryDumps();
  // Adds the memory around |value| unless it lies in |block|, is 0 or is
  // unreadable, and shrinks |budget| by the growth.
  void AddReference(uint64_t value, const StackBlock& block, uint64_t* budget);
  bool Put(const std::string& text);

  MemoryRangeList* const ranges_;
  const ProcessStateImpl& state_;
  FILE* const file_;
};

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_WRITER_H_
