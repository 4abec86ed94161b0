#include "desktop/common/product/installer_features.h"

#include <iterator>

#include "base/features/feature_registry.h"
#include "desktop/common/product/experiments.h"

namespace vexlo {
namespace installer {

namespace {

constexpr FeatureDefinition kInstallerFeatures[] = {
    {"installer-experiment-test", 0x0, 0xffff},
    {"installer-ui-stats", 0x3, 0xffff},
    {"installer-hide-from-program-and-features", 0x4, 0x0},
    {"installer-pref-default-overrides-support", 0x3, 0xffff},
};

// The browser's features that the installer consults too.
constexpr FeatureDefinition kBrowserFeatures[] = {
    {"alternative-crash-logging", 0xfffb, 0x10003},
};

}  // namespace

const FeatureDefinition* GetInstallerFeatures(size_t* count) {
  *count = std::size(kInstallerFeatures);
  return kInstallerFeatures;
}

bool IsInstallerFeatureEnabledByDefault(const FeatureDefinition& feature) {
  return (feature.default_mask & GetExperimentMasks().default_mask) != 0;
}

bool IsInstallerFeatureOverridable(const FeatureDefinition& feature) {
  return (feature.overridable_mask & GetExperimentMasks().overridable_mask) !=
         0;
}

void RegisterInstallerFeatures(base::FeatureRegistry* registry) {
  for (const FeatureDefinition& feature : kInstallerFeatures) {
    registry->RegisterFeature(feature.name,
                              IsInstallerFeatureEnabledByDefault(feature),
                              IsInstallerFeatureOverridable(feature));
  }
}

const FeatureDefinition* FindBrowserFeature(base::StringPiece name) {
  for (const FeatureDefinition& feature : kBrowserFeatures) {
    if (name == feature.name)
      return &feature;
  }
  return nullptr;
}

}  // namespace installer
}  // namespace vexlo
