#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_DUMP_WRITER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_DUMP_WRITER_H_

#include "base/files/file_path.h"

namespace vexlo {
namespace crash_reporter {

class CrashClient;

// Writes the minidump of a registered crash client that asked for one,
// reading its crash fields out of its memory.
class DumpWriter {
 public:
  // The user streams a dump carries besides the system's own.
  static constexpr unsigned kWriterRecordStream = 0x47670001;
  static constexpr unsigned kAssertionRecordStream = 0x47670002;

  DumpWriter() = delete;

  // Writes a new file "<uuid>.dmp" in |folder| and names it in |dump_path|.
  // False, with no file left behind, when anything fails.
  static bool WriteDump(const CrashClient& client,
                        const base::FilePath& folder,
                        base::FilePath* dump_path);
};

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_DUMP_WRITER_H_
