#include "base/features/command_line_feature_reader.h"

#include <string>

#include "base/command_line.h"
#include "base/features/feature_registry.h"
#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace base {

CommandLineFeatureReader::CommandLineFeatureReader(
    const CommandLine* command_line)
    : command_line_(command_line) {}

CommandLineFeatureReader::~CommandLineFeatureReader() = default;

void CommandLineFeatureReader::ReadFeatures(
    std::vector<FeatureOverride>* overrides) {
  for (const auto& entry : command_line_->GetSwitches()) {
    const std::string& switch_name = entry.first;
    if (!StartsWith(switch_name, kFeatureSwitchPrefix,
                    CompareCase::SENSITIVE)) {
      continue;
    }
    const StringPiece feature_name =
        StringPiece(switch_name)
            .substr(StringPiece(kFeatureSwitchPrefix).size());
    const string16& value = entry.second;

    // A switch without "=" means on. A value that is not ASCII is refused
    // like any other unknown word, rather than read as empty and so as on.
    if (value.empty() || value == ASCIIToUTF16("on")) {
      overrides->emplace_back(feature_name, true);
    } else if (value == ASCIIToUTF16("off")) {
      overrides->emplace_back(feature_name, false);
    } else {
      LOG(WARNING) << switch_name << " has unhandled value: \""
                   << UTF16ToUTF8(value)
                   << "\" did you mean \"on\" or \"off\"? Using default "
                      "setting.";
    }
  }
}

}  // namespace base
