#include "base/features/feature_override.h"

namespace base {

FeatureOverride::FeatureOverride() : enabled_(false) {}

FeatureOverride::FeatureOverride(StringPiece name, bool enabled)
    : name_(name.as_string()), enabled_(enabled) {}

FeatureOverride::~FeatureOverride() = default;

}  // namespace base
