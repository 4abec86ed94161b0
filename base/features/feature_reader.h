#ifndef BASE_FEATURES_FEATURE_READER_H_
#define BASE_FEATURES_FEATURE_READER_H_

#include <vector>

#include "base/features/feature_override.h"

namespace base {

// A source of feature overrides, such as the command line or a list from a
// preferences file. Readers are short-lived: a registry asks one once.
class FeatureReader {
 public:
  virtual ~FeatureReader() = default;

  // Appends the overrides this source names, in its own order.
  virtual void ReadFeatures(std::vector<FeatureOverride>* overrides) = 0;
};

}  // namespace base

#endif  // BASE_FEATURES_FEATURE_READER_H_
