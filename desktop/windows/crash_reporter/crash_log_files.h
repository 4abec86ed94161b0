#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_FILES_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_FILES_H_

#include <stdint.h>

#include <string>

#include "base/files/file_path.h"

namespace vexlo {
namespace crash_reporter {

// Path-service keys of the reporter's files.
enum CrashPathKey {
  kUserDataDirKey = 1002,
  kCrashCountFileKey = 2016,
  kCrashIdRecordFileKey = 2017,
  kBrowserPreferencesFileKey = 2018,
};

// The next crash's sequence number; the first crash of a process gets 1.
uint32_t TakeCrashSequenceNumber();

// "<product>-crashlog-<reporter pid>-<sequence>.txt" and ".dmp".
std::string GetCrashLogFileName(uint32_t sequence);
std::string GetCrashDumpFileName(uint32_t sequence);

// Sets up, once at reporter start-up, the folder of the crash files and the
// reporter's other files; false when no folder is known.
bool InitializeCrashLogFolder();
const base::FilePath& GetCrashLogFolder();
// True when the folder came from VEXLO_CRASH_LOG_DIR.
bool IsCrashLogFolderFromEnvironment();
const base::FilePath& GetCrashCountFilePath();
const base::FilePath& GetCrashIdRecordFilePath();
const base::FilePath& GetBrowserPreferencesFilePath();
// The crash-id record of crash |sequence|: one file per crash when the
// folder came from the environment, else the one record file.
base::FilePath GetCrashIdRecordPath(uint32_t sequence);

// The largest crash count that the crash-count file's nine hexadecimal
// characters can hold; counts stop there.
constexpr uint64_t kMaxCrashCount = 0xFFFFFFFFFull;

// The count stored in a crash-count file's text: its first nine
// characters as hexadecimal; 0 when they are not a number.
uint64_t ParseCrashCount(const std::string& text);
// |count| + |added|, stopping at kMaxCrashCount.
uint64_t AddToCrashCount(uint64_t count, uint64_t added);

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_FILES_H_
