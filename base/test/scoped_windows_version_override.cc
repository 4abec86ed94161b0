#include "base/test/scoped_windows_version_override.h"

namespace base {
namespace win {

ScopedWindowsVersionOverride::ScopedWindowsVersionOverride(Version version)
    : previous_(internal::SetVersionOverrideForTesting(version)) {}

ScopedWindowsVersionOverride::~ScopedWindowsVersionOverride() {
  internal::SetVersionOverrideForTesting(previous_);
}

}  // namespace win
}  // namespace base
