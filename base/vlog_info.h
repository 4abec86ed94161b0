#ifndef BASE_VLOG_INFO_H_
#define BASE_VLOG_INFO_H_

#include <cstdint>
#include <string>
#include <vector>

#include "base/strings/string_piece.h"

namespace base {

// The verbose level in force for each source file, from the values of the
// switches "v" (one level for every file) and "vmodule" (levels per module or
// path pattern, such as "foo=2,bar/*=3").
class VlogInfo {
 public:
  // |min_log_level| is the process-wide minimum severity; "v" sets it to the
  // negated level, and a file that no pattern names gets its negation back.
  VlogInfo(const std::string& v_switch,
           const std::string& vmodule_switch,
           int* min_log_level);
  VlogInfo(const VlogInfo&) = delete;
  VlogInfo& operator=(const VlogInfo&) = delete;
  ~VlogInfo();

  // The level of the first pattern that matches |file|, else the level of
  // "v" (or of the minimum severity).
  int GetVlogLevel(StringPiece file) const;

 private:
  struct VmodulePattern {
    enum MatchTarget : uint32_t { MATCH_MODULE = 0, MATCH_FILE = 1 };

    explicit VmodulePattern(const std::string& pattern);

    std::string pattern;
    int vlog_level;
    MatchTarget match_target;
  };

  int GetMaxVlogLevel() const;

  std::vector<VmodulePattern> vmodule_levels_;
  int* min_log_level_;
};

// The module of a source path: its file name without the extension and
// without a trailing "-inl" ("x\y\foo_bar-inl.h" gives "foo_bar").
StringPiece GetVlogModule(StringPiece file);

// Case-sensitive match of |text| against a "vmodule" pattern: "*" matches any
// run, "?" one character, and "/" or "\" either separator.
bool MatchVlogPattern(StringPiece text, StringPiece pattern);

}  // namespace base

#endif  // BASE_VLOG_INFO_H_
