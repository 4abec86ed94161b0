#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_FILE_VERSION_STRING_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_FILE_VERSION_STRING_H_

#include <string>

namespace vexlo {
namespace crash_reporter {

// The text stored under |key| (such as "FileVersion") in the first
// translation of the version resource of the file at |path|, as the
// system's version functions read it; empty when there is none.
std::string GetFileVersionString(const std::wstring& path, const wchar_t* key);

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_FILE_VERSION_STRING_H_
