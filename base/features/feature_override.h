#ifndef BASE_FEATURES_FEATURE_OVERRIDE_H_
#define BASE_FEATURES_FEATURE_OVERRIDE_H_

#include <string>

#include "base/strings/string_piece.h"

namespace base {

// One reader's decision on one feature: on or off, in place of the default.
class FeatureOverride {
 public:
  // An empty name, off; for records that a reader fills in later.
  FeatureOverride();
  FeatureOverride(StringPiece name, bool enabled);
  ~FeatureOverride();

  const std::string& name() const { return name_; }
  bool IsEnabled() const { return enabled_; }

 private:
  std::string name_;
  bool enabled_;
};

}  // namespace base

#endif  // BASE_FEATURES_FEATURE_OVERRIDE_H_
