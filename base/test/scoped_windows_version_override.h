#ifndef BASE_TEST_SCOPED_WINDOWS_VERSION_OVERRIDE_H_
#define BASE_TEST_SCOPED_WINDOWS_VERSION_OVERRIDE_H_

#include "base/win/windows_version.h"

namespace base {
namespace win {

// Makes base::win::GetVersion report |version| for the life of the object,
// so that a test can take the branch of any Windows release. Overrides nest;
// the outer one comes back when the inner one ends.
class ScopedWindowsVersionOverride {
 public:
  explicit ScopedWindowsVersionOverride(Version version)
      : previous_(internal::SetVersionOverrideForTesting(version)) {}
  ScopedWindowsVersionOverride(const ScopedWindowsVersionOverride&) = delete;
  ScopedWindowsVersionOverride& operator=(const ScopedWindowsVersionOverride&) =
      delete;
  ~ScopedWindowsVersionOverride() {
    internal::SetVersionOverrideForTesting(previous_);
  }

 private:
  const int previous_;
};

}  // namespace win
}  // namespace base

#endif  // BASE_TEST_SCOPED_WINDOWS_VERSION_OVERRIDE_H_
