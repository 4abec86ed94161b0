#include "base/features/list_value_feature_reader.h"

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/values.h"

namespace base {
namespace {

constexpr char kItemSeparator[] = "@";
constexpr int kStateEnabled = 1;
constexpr int kStateDisabled = 2;

}  // namespace

ListValueFeatureReader::ListValueFeatureReader(const ListValue* list)
    : list_(list) {}

ListValueFeatureReader::~ListValueFeatureReader() = default;

void ListValueFeatureReader::ReadFeatures(
    std::vector<FeatureOverride>* overrides) {
  for (const auto& element : *list_) {
    std::string item;
    if (!element->GetAsString(&item))
      continue;
    FeatureOverride feature_override;
    if (ParseOverride(item, &feature_override))
      overrides->push_back(feature_override);
  }
}

// static
bool ListValueFeatureReader::ParseOverride(const std::string& item,
                                           FeatureOverride* result) {
  const std::vector<std::string> parts =
      SplitString(item, kItemSeparator, TRIM_WHITESPACE, SPLIT_WANT_ALL);
  if (parts.size() != 2)
    return false;
  int state = 0;
  if (!StringToInt(parts[1], &state))
    return false;
  if (state != kStateEnabled && state != kStateDisabled)
    return false;
  *result = FeatureOverride(parts[0], state == kStateEnabled);
  return true;
}

}  // namespace base
