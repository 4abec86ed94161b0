#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_SERVER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_SERVER_H_

#include <stdint.h>

#include "base/files/file_path.h"

namespace vexlo {
namespace crash_reporter {

class CrashClient;

// The crash-reporter process: installs its own crash handlers, then reports
// a crashed reporter when "crash-reporter-exception-info" names one, else
// serves the watched process.
void RunCrashReporter();

// The crash reporter's server mode: serves the crash pipe for the process
// named by "crash-reporter-parent-id" until it has ended and every crash it
// reported is written and sent. 0 on an orderly end, -1 when it could not
// start (the watched process then runs without a reporter).
int RunCrashReporterServer();

// Whether the user asked to keep the crash files ("<PRODUCT>_CRASH_KEEP_LOGS"
// is "1" or "yes").
bool IsKeepLogsRequested();

// The crash pipe server's dump callback: writes the crash's text log (and
// minidump when asked for), asks the crash server and uploads. |context| is
// the reporter's CrashCounter.
void OnCrashDumpRequest(void* context,
                        CrashClient* client,
                        const base::FilePath* dump_path);

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_SERVER_H_
