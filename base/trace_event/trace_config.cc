#include "base/trace_event/trace_config.h"

#include "base/strings/pattern.h"

namespace base {
namespace trace_event {

namespace {

const char kDisabledByDefaultPattern[] = "disabled-by-default-*";

bool IsDisabledByDefault(StringPiece category) {
  return MatchPattern(category, kDisabledByDefaultPattern);
}

bool MatchesAny(StringPiece category, const TraceConfig::StringList& patterns) {
  for (const std::string& pattern : patterns) {
    if (MatchPattern(category, pattern))
      return true;
  }
  return false;
}

}  // namespace

TraceConfig::TraceConfig() {
  InitializeDefault();
}

TraceConfig::TraceConfig(const TraceConfig& other) = default;

TraceConfig& TraceConfig::operator=(const TraceConfig& other) = default;

TraceConfig::~TraceConfig() = default;

void TraceConfig::InitializeDefault() {
  record_mode_ = RECORD_UNTIL_FULL;
  enable_sampling_ = false;
  enable_systrace_ = false;
  enable_argument_filter_ = false;
  excluded_categories_.push_back("*Debug");
  excluded_categories_.push_back("*Test");
}

void TraceConfig::Clear() {
  record_mode_ = RECORD_UNTIL_FULL;
  enable_sampling_ = false;
  enable_systrace_ = false;
  enable_argument_filter_ = false;
  memory_dump_config_.clear();
  included_categories_.clear();
  disabled_categories_.clear();
  excluded_categories_.clear();
  synthetic_delays_.clear();
}

bool TraceConfig::IsCategoryEnabled(StringPiece category_name) const {
  if (MatchesAny(category_name, disabled_categories_))
    return true;
  if (IsDisabledByDefault(category_name))
    return false;
  return MatchesAny(category_name, included_categories_);
}

bool TraceConfig::IsCategoryGroupEnabled(StringPiece category_group) const {
  bool had_enabled_by_default = false;
  if (AnyCategory(category_group, [&](StringPiece category) {
        if (IsCategoryEnabled(category))
          return true;
        if (!IsDisabledByDefault(category))
          had_enabled_by_default = true;
        return false;
      })) {
    return true;
  }

  // The pass stops at the first category that no exclusion holds: the
  // group then stays on.
  bool category_group_disabled = false;
  AnyCategory(category_group, [&](StringPiece category) {
    for (const std::string& pattern : excluded_categories_) {
      if (MatchPattern(category, pattern)) {
        category_group_disabled = true;
        break;
      }
      if (!IsDisabledByDefault(category))
        category_group_disabled = false;
    }
    return !category_group_disabled;
  });
  return !category_group_disabled && included_categories_.empty() &&
         had_enabled_by_default;
}

}  // namespace trace_event
}  // namespace base
