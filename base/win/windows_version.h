#ifndef BASE_WIN_WINDOWS_VERSION_H_
#define BASE_WIN_WINDOWS_VERSION_H_

#include <stddef.h>

namespace base {
namespace win {

// The Windows releases the system tells apart, in release order; callers
// compare with "at least". Every unlisted version ranks above them all, so
// that it passes every such test.
enum Version {
  VERSION_XP = 1,           // 5.1.
  VERSION_SERVER_2003 = 2,  // 5.2, also XP x64.
  VERSION_VISTA = 3,        // 6.0, also Server 2008.
  VERSION_WIN7 = 4,         // 6.1, also Server 2008 R2.
  VERSION_WIN8 = 5,         // 6.2.
  VERSION_WIN8_1 = 6,       // 6.3 and every later 6.x.
  VERSION_WIN10 = 7,        // 10.0 before build 10586.
  VERSION_WIN10_TH2 = 8,    // 10.0 from build 10586.
  VERSION_WIN_LAST = 9,     // 5.0, majors below 5, 7 to 9 and above 10.
};

// Facts about the running Windows and its machine, read once per process.
class OSInfo {
 public:
  struct VersionNumber {
    int major;
    int minor;
    int build;
  };

  struct ServicePack {
    int major;
    int minor;
  };

  enum WindowsArchitecture {
    X86_ARCHITECTURE = 0,
    X64_ARCHITECTURE = 1,
    IA64_ARCHITECTURE = 2,
    OTHER_ARCHITECTURE = 3,
  };

  // The process-wide instance, built on first use and never destroyed.
  static OSInfo* GetInstance();

  OSInfo(const OSInfo&) = delete;
  OSInfo& operator=(const OSInfo&) = delete;

  Version version() const { return version_; }
  VersionNumber version_number() const { return version_number_; }
  ServicePack service_pack() const { return service_pack_; }
  WindowsArchitecture architecture() const { return architecture_; }
  int processors() const { return processors_; }
  size_t allocation_granularity() const { return allocation_granularity_; }

 private:
  OSInfo();

  Version version_;
  VersionNumber version_number_;
  ServicePack service_pack_;
  WindowsArchitecture architecture_;
  int processors_;
  size_t allocation_granularity_;
};

// The running Windows, as every version-dependent branch asks for it.
Version GetVersion();

namespace internal {

// The release of a version number.
Version MajorMinorBuildToVersion(int major, int minor, int build);

// Makes GetVersion report |version| instead of the running Windows, so that
// tests can take every version-dependent branch; 0 ends the override.
// Returns the previous override (0 when there was none).
int SetVersionOverrideForTesting(int version);

}  // namespace internal

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_WINDOWS_VERSION_H_
