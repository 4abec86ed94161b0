#ifndef DESKTOP_COMMON_PRODUCT_INSTALLER_FEATURES_H_
#define DESKTOP_COMMON_PRODUCT_INSTALLER_FEATURES_H_

#include <stddef.h>

#include <cstdint>

#include "base/strings/string_piece.h"

namespace base {
class FeatureRegistry;
}

namespace vexlo {
namespace installer {

// One named feature. It is on by default for a product whose default mask
// shares a bit with |default_mask|, and may be switched from outside
// (command line, preferences) for a product whose overridable mask shares a
// bit with |overridable_mask| (see GetExperimentMasks).
struct FeatureDefinition {
  const char* name;
  uint32_t default_mask;
  uint32_t overridable_mask;
};

// The installer's own features; |count| receives the number of rows.
const FeatureDefinition* GetInstallerFeatures(size_t* count);

bool IsInstallerFeatureEnabledByDefault(const FeatureDefinition& feature);
bool IsInstallerFeatureOverridable(const FeatureDefinition& feature);

// Registers every installer feature, in table order, with the running
// product's default and overridability.
void RegisterInstallerFeatures(base::FeatureRegistry* registry);

// The browser's definition of the feature |name|; null when the browser has
// none. The installer reads only the one it shares with the browser.
const FeatureDefinition* FindBrowserFeature(base::StringPiece name);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_COMMON_PRODUCT_INSTALLER_FEATURES_H_
