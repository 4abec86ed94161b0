#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASH_SERVER_TEST_UTIL_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASH_SERVER_TEST_UTIL_H_

#include <map>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "desktop/launcher/installer/wininet/test/http_test_server.h"

namespace vexlo {
namespace crash_reporter {

// The loopback server's path that answers a GET with |code| and
// "Location: |location|" (none when empty), and a POST with 200.
std::string CrashServerReplyPath(int code, const std::string& location);

// The name and contents of the only entry of the zip archive |zip|, read
// through the file |scratch|.
bool UnzipOnlyEntry(const std::string& zip,
                    const base::FilePath& scratch,
                    std::string* name,
                    std::string* contents);

// A form's plain fields by name, and the names of all its parts in order.
std::map<std::string, std::string> FormFields(
    const installer::HttpTestServer::Request& request);
std::vector<std::string> FormPartNames(
    const installer::HttpTestServer::Request& request);

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASH_SERVER_TEST_UTIL_H_
