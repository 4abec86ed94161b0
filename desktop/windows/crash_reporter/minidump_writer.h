#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_MINIDUMP_WRITER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_MINIDUMP_WRITER_H_

#include <windows.h>

#include <stdint.h>

#include "base/files/file_path.h"
#include "desktop/windows/crash_reporter/crash_records.h"

namespace vexlo {
namespace crash_reporter {

// The reporter's minidumps of crashed processes, read through their memory,
// and the short crash log of a crashed reporter. Every failure returns false
// and leaves no file behind.

// The largest dump kept of a watched client, and of a crashed reporter
// (its minidump and its short crash log).
constexpr int64_t kClientMinidumpSizeLimit = 3072000;
constexpr int64_t kReporterMinidumpSizeLimit = 512000;

// The user streams a dump carries: the product's version and build, and for
// an invalid-parameter report its assertion part.
constexpr uint32_t kVersionStreamType = 0x10000;
constexpr uint32_t kAssertionStreamType = 0x10001;

// Writes into |file| a dump of at most |size_limit| bytes: one with the
// memory the stacks point to when it fits, else a plain one.
bool WriteMinidump(HANDLE process,
                   DWORD process_id,
                   const SelfCrashRecord& record,
                   HANDLE file,
                   int64_t size_limit);

// The same into a file at |path|, made anew.
bool WriteMinidumpFile(HANDLE process,
                       DWORD process_id,
                       const SelfCrashRecord& record,
                       const base::FilePath& path,
                       int64_t size_limit);

// A watched client's dump from the three addresses its crash request gives;
// |assertion_address| 0 when it has none.
bool WriteClientMinidump(DWORD process_id,
                         uint64_t thread_id_address,
                         uint64_t exception_pointers_address,
                         uint64_t assertion_address,
                         const base::FilePath& path,
                         int64_t size_limit);

// A crashed reporter's dump from its self-crash record at |record_address|.
bool WriteReporterMinidump(DWORD process_id,
                           uint64_t record_address,
                           const base::FilePath& path,
                           int64_t size_limit);

// A crashed reporter's short crash log: a text header naming the program,
// the exception code and address, the metadata, then the dump's bytes.
bool WriteShortCrashLog(DWORD process_id,
                        uint64_t record_address,
                        const base::FilePath& log_path,
                        int64_t size_limit);

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_MINIDUMP_WRITER_H_
