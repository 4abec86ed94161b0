#ifndef BASE_FEATURES_LIST_VALUE_FEATURE_READER_H_
#define BASE_FEATURES_LIST_VALUE_FEATURE_READER_H_

#include <string>
#include <vector>

#include "base/features/feature_reader.h"

namespace base {

class ListValue;

// Reads a list of strings from a preferences file: "name@1" turns a feature
// on, "name@2" off. Items that are not strings or not of this form are
// skipped silently.
class ListValueFeatureReader : public FeatureReader {
 public:
  // |list| is not owned and must outlive the reader.
  explicit ListValueFeatureReader(const ListValue* list);
  ListValueFeatureReader(const ListValueFeatureReader&) = delete;
  ListValueFeatureReader& operator=(const ListValueFeatureReader&) = delete;
  ~ListValueFeatureReader() override;

  // In list order.
  void ReadFeatures(std::vector<FeatureOverride>* overrides) override;

  // Reads one item: a name and 1 or 2 around one '@', white space around
  // either part ignored. |result| is written only on success.
  static bool ParseOverride(const std::string& item, FeatureOverride* result);

 private:
  const ListValue* const list_;
};

}  // namespace base

#endif  // BASE_FEATURES_LIST_VALUE_FEATURE_READER_H_
