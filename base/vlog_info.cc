#include "base/vlog_info.h"

#include <climits>

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"

namespace base {

namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// The negation of |level|; the lowest int, which has none, gives the highest.
int NegateLevel(int level) {
  return level == INT_MIN ? INT_MAX : -level;
}

bool MatchVlogCharacter(char text, char pattern) {
  if (IsSeparator(pattern))
    return IsSeparator(text);
  return pattern == '?' || pattern == text;
}

}  // namespace

VlogInfo::VmodulePattern::VmodulePattern(const std::string& pattern)
    : pattern(pattern),
      vlog_level(0),
      match_target(pattern.find_first_of("\\/") == std::string::npos
                       ? MATCH_MODULE
                       : MATCH_FILE) {}

VlogInfo::VlogInfo(const std::string& v_switch,
                   const std::string& vmodule_switch,
                   int* min_log_level)
    : min_log_level_(min_log_level) {
  int vlevel = 0;
  if (!v_switch.empty() && StringToInt(v_switch, &vlevel)) {
    // A negative level must not lift the minimum above FATAL: that would
    // suppress FATAL lines, and the process would run on past them.
    *min_log_level_ = vlevel <= -3 ? 3 : NegateLevel(vlevel);
  }

  StringPairs pairs;
  SplitStringIntoKeyValuePairs(vmodule_switch, '=', ',', &pairs);
  for (const auto& pair : pairs) {
    VmodulePattern pattern(pair.first);
    // A level such as "3x" still counts as 3.
    StringToInt(pair.second, &pattern.vlog_level);
    vmodule_levels_.push_back(pattern);
  }
}

VlogInfo::~VlogInfo() = default;

int VlogInfo::GetVlogLevel(StringPiece file) const {
  if (!vmodule_levels_.empty()) {
    const StringPiece module = GetVlogModule(file);
    for (const VmodulePattern& entry : vmodule_levels_) {
      const StringPiece target =
          entry.match_target == VmodulePattern::MATCH_FILE ? file : module;
      if (MatchVlogPattern(target, entry.pattern))
        return entry.vlog_level;
    }
  }
  return GetMaxVlogLevel();
}

int VlogInfo::GetMaxVlogLevel() const {
  return NegateLevel(*min_log_level_);
}

StringPiece GetVlogModule(StringPiece file) {
  const size_t last_separator = file.find_last_of("\\/");
  StringPiece module = last_separator == StringPiece::npos
                           ? file
                           : file.substr(last_separator + 1);
  module = module.substr(0, module.rfind('.'));
  static constexpr StringPiece kInlSuffix("-inl", 4);
  if (module.size() >= kInlSuffix.size() &&
      module.substr(module.size() - kInlSuffix.size()) == kInlSuffix) {
    module = module.substr(0, module.size() - kInlSuffix.size());
  }
  return module;
}

bool MatchVlogPattern(StringPiece text, StringPiece pattern) {
  while (!text.empty() && !pattern.empty() && pattern[0] != '*') {
    if (!MatchVlogCharacter(text[0], pattern[0]))
      return false;
    text = text.substr(1);
    pattern = pattern.substr(1);
  }
  if (pattern.empty())
    return text.empty();

  const size_t first_non_star = pattern.find_first_not_of('*');
  if (first_non_star == StringPiece::npos)
    return true;
  pattern = pattern.substr(first_non_star);
  for (size_t start = 0; start < text.size(); ++start) {
    if (MatchVlogPattern(text.substr(start), pattern))
      return true;
  }
  return false;
}

}  // namespace base
