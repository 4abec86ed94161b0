#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_CHECKSUM_CHECKER_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_CHECKSUM_CHECKER_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "base/files/file_path.h"

namespace vexlo {
namespace installer {

// Whether the SHA-256 of the file at |path|, as 64 lower-case hex digits,
// is exactly |expected|. The server sends lower case; anything else is a
// mismatch.
bool ChecksumMatches(const base::FilePath& path, const std::string& expected);
// The same for the |length| bytes at |data|, for a file that is mapped
// already.
bool ChecksumMatches(const uint8_t* data,
                     size_t length,
                     const std::string& expected);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_CHECKSUM_CHECKER_H_
