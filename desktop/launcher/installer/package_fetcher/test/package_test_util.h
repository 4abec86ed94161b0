#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_TEST_PACKAGE_TEST_UTIL_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_TEST_PACKAGE_TEST_UTIL_H_

#include <string>
#include <vector>

#include "base/files/file_path.h"

namespace vexlo {
namespace installer {

// A file the build made for the package tests (make_package_fixtures).
base::FilePath PackageFixture(const wchar_t* name);

// The whole file at |path|; empty when it cannot be read.
std::string ReadWholeFile(const base::FilePath& path);

// The SHA-256 of |bytes| as 64 lower-case hex digits, as the update server
// sends it.
std::string Sha256Hex(const std::string& bytes);

// |program| carrying |payload| as an installer does: "VXQ", the payload and
// its length as a 32-bit little-endian number at the end.
std::string AppendPayload(const std::string& program,
                          const std::string& payload);

// The update server's reply naming the package at |url| with |checksum|,
// and |more| (further members, each with a leading comma).
std::string ReplyNaming(const std::string& url,
                        const std::string& checksum,
                        const std::string& more = std::string());

// Collects the message of every log line written while it lives, and keeps
// them from the log's destinations.
class ScopedLogCapture {
 public:
  ScopedLogCapture();
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;
  ~ScopedLogCapture();

  // Whether some line's message starts with |text|.
  bool Saw(const std::string& text) const;
  // How many lines' messages start with |text|.
  size_t Count(const std::string& text) const;
  // Every line's message, in order.
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_TEST_PACKAGE_TEST_UTIL_H_
