#ifndef BASE_FEATURES_COMMAND_LINE_FEATURE_READER_H_
#define BASE_FEATURES_COMMAND_LINE_FEATURE_READER_H_

#include <vector>

#include "base/features/feature_reader.h"

namespace base {

class CommandLine;

// Reads the switches "with-feature:<name>", "with-feature:<name>=on" and
// "with-feature:<name>=off". Switch names are lower case, so the feature
// names read here are too. Any other value is logged and ignored.
class CommandLineFeatureReader : public FeatureReader {
 public:
  // |command_line| is not owned and must outlive the reader.
  explicit CommandLineFeatureReader(const CommandLine* command_line);
  CommandLineFeatureReader(const CommandLineFeatureReader&) = delete;
  CommandLineFeatureReader& operator=(const CommandLineFeatureReader&) = delete;
  ~CommandLineFeatureReader() override;

  // In the order of the switch names.
  void ReadFeatures(std::vector<FeatureOverride>* overrides) override;

 private:
  const CommandLine* const command_line_;
};

}  // namespace base

#endif  // BASE_FEATURES_COMMAND_LINE_FEATURE_READER_H_
