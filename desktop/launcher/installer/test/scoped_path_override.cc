#include "desktop/launcher/installer/test/scoped_path_override.h"

#include "base/path_service.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

ScopedPathOverride::ScopedPathOverride(int key, const base::FilePath& path)
    : key_(key) {
  EXPECT_TRUE(base::PathService::Get(key, &previous_));
  EXPECT_TRUE(
      base::PathService::OverrideAndCreateIfNeeded(key, path, true, false));
}

ScopedPathOverride::~ScopedPathOverride() {
  EXPECT_TRUE(base::PathService::OverrideAndCreateIfNeeded(key_, previous_,
                                                           true, false));
}

}  // namespace installer
}  // namespace vexlo
