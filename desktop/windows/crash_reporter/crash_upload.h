#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_UPLOAD_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_UPLOAD_H_

#include <map>
#include <string>

#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "desktop/windows/crash_reporter/crash_metadata.h"

namespace vexlo {
namespace crash_reporter {

// The crash reporter's requests to the crash server: whether it wants a
// crash, then the crash's text log and minidump as multipart form posts.
// Every request is a blocking WinINet session of its own.

// Form part name -> the file sent as that part.
using UploadFiles = std::map<base::string16, base::FilePath>;

enum CrashUrlQueryResult {
  kCrashUrlAccepted = 0,  // 303 with a crash id
  kCrashUrlRefused = 1,   // 503
  kCrashUrlOther = 2,     // anything else, every failure included
};

// The requests' user agent, followed by a suffix.
extern const wchar_t kCrashUploadUserAgent[];

// The time the crash server gets to answer whether it wants a crash.
constexpr int kCrashUrlQueryTimeoutMs = 3000;

// Sets the crash-server URL (from "VEXLO_CRASH_SERVER_URL", else the
// product configuration, with the user's e-mail address added to its
// query when one is set) and the user-agent suffix. Runs before any upload.
void InitializeCrashUpload();

const base::string16& GetCrashServerUrl();
const base::string16& GetCrashUploadUserAgentSuffix();

// Where minidumps go: the crash server's host, on the collector's path.
// Empty when the crash-server URL cannot be split.
base::string16 GetCrashCollectorUrl();

// Asks the crash server with a GET whether it wants the crash of a process
// that showed |active_url| and came from |origin|. Accepted with the crash
// id and the whole "Location" answer; no time-out when |timeout_ms| is 0.
CrashUrlQueryResult QueryCrashUrl(const base::string16& active_url,
                                  const base::string16& origin,
                                  base::string16* crash_id,
                                  base::string16* location,
                                  int timeout_ms);

// Posts |fields| and |files| to |url|: true only for a 200 answer read
// completely. |timeout_ms| 0 keeps WinINet's own; |response| (UTF-8 body)
// and |status| may be null.
bool SendMultipartRequest(const base::string16& user_agent_suffix,
                          const base::string16& url,
                          const UploadFields& fields,
                          const UploadFiles& files,
                          int timeout_ms,
                          base::string16* response,
                          int* status);
bool SendMultipartRequestNoSuffix(const base::string16& url,
                                  const UploadFields& fields,
                                  const UploadFiles& files,
                                  int timeout_ms,
                                  base::string16* response,
                                  int* status);

// Packs |log_path| as the one entry "crashlog.txt" of a new zip archive at
// |zip_path|. An empty or unreadable log gives false and no archive.
bool ZipCrashLog(const base::FilePath& log_path,
                 const base::FilePath& zip_path);

// Sends a text log (zipped) or a minidump on a pool thread, deleting the
// file afterwards when |delete_file|; the reporter's pending-work gate
// stays closed meanwhile. False (and the file deleted when asked) when the
// upload could not be started.
bool UploadCrashLogAsync(const base::FilePath& log_path,
                         const UploadFields& fields,
                         bool delete_file);
void UploadMinidumpAsync(const base::FilePath& dump_path,
                         const UploadFields& fields,
                         bool delete_file);

// The same on the calling thread, which keeps the file.
bool UploadCrashLog(const base::FilePath& log_path,
                    const UploadFields& fields,
                    bool zip);
bool UploadMinidump(const base::FilePath& dump_path,
                    const UploadFields& fields);

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_UPLOAD_H_
