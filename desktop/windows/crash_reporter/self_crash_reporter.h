#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_SELF_CRASH_REPORTER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_SELF_CRASH_REPORTER_H_

#include <stdint.h>

namespace vexlo {
namespace crash_reporter {

// A crash of the crash reporter itself: the crashed reporter starts a fresh
// copy of the program, which reads the crash out of it and reports it.

// The fewest days between two reported crashes of the reporter.
constexpr uint64_t kReporterCrashIntervalDays = 3;

// Makes the reporter's crashes, invalid parameters and pure calls start the
// fresh copy once the relaunch is prepared. Once per process.
void InstallSelfCrashHandlers();

// Builds the fresh copy's command line; |with_minidump| when this process
// is itself reporting a reporter crash, so that a crash now gets the short
// log. Once per process.
void PrepareSelfCrashRelaunch(bool with_minidump);

// The fresh copy's work: reads the crash of the reporter named by
// "crash-reporter-parent-id", writes its log (and minidump when asked for),
// releases it and uploads, at most once every few days.
void ReportCrashReporterCrash();

// Whether a reporter crash at |now| (a file time) may be reported: false
// within kReporterCrashIntervalDays of the last report, when the clock is
// behind it, or when the registry cannot be used. A missing record counts
// as a report long ago.
bool IsReporterCrashReportDue(uint64_t now);
// Records a report at |now|.
bool RecordReporterCrashReport(uint64_t now);

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_SELF_CRASH_REPORTER_H_
