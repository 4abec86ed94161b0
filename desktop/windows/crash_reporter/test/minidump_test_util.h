#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_MINIDUMP_TEST_UTIL_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_MINIDUMP_TEST_UTIL_H_

#include <stdint.h>

#include <map>
#include <string>

namespace vexlo {
namespace crash_reporter {

// The streams of type |first_type| or above in the minidump |bytes|, by
// type; empty when |bytes| is no minidump.
std::map<uint32_t, std::string> ReadMinidumpStreams(const std::string& bytes,
                                                    uint32_t first_type);

// The dump type a minidump was written with, ~0 when |bytes| is none.
uint64_t ReadMinidumpType(const std::string& bytes);

// Where the crash that the minidump |bytes| records happened, for a test's
// failure message: the exception's code, its address as a module and an
// offset when a module of the dump holds it, the address an access
// violation touched, and the crashing thread. Empty when there is no
// exception to tell.
std::string DescribeMinidumpException(const std::string& bytes);

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_MINIDUMP_TEST_UTIL_H_
