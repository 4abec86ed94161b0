#ifndef BASE_TRACE_EVENT_TRACE_CONFIG_H_
#define BASE_TRACE_EVENT_TRACE_CONFIG_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "base/strings/string_piece.h"

namespace base {
namespace trace_event {

// Which category groups are traced. A category group is one string naming
// one or more categories separated by commas. Categories whose names start
// with "disabled-by-default-" are off unless named explicitly.
class TraceConfig {
 public:
  enum TraceRecordMode { RECORD_UNTIL_FULL = 0 };

  // One periodic memory-dump trigger of the memory-dump manager.
  struct MemoryDumpTriggerConfig {
    uint32_t periodic_interval_ms;
    // 0 light, 1 detailed.
    int32_t level_of_detail;
  };

  typedef std::vector<std::string> StringList;

  // No included patterns; "*Debug" and "*Test" excluded.
  TraceConfig();
  TraceConfig(const TraceConfig& other);
  TraceConfig& operator=(const TraceConfig& other);
  ~TraceConfig();

  // Back to the start state of every list, without the default exclusions.
  void Clear();

  // Whether the single category |category_name| is enabled.
  bool IsCategoryEnabled(StringPiece category_name) const;
  // Whether any category of |category_group| is enabled and the group is
  // not excluded.
  bool IsCategoryGroupEnabled(StringPiece category_group) const;

  TraceRecordMode GetTraceRecordMode() const { return record_mode_; }

  StringList* included_categories() { return &included_categories_; }
  StringList* disabled_categories() { return &disabled_categories_; }
  StringList* excluded_categories() { return &excluded_categories_; }
  std::vector<MemoryDumpTriggerConfig>* mutable_memory_dump_config() {
    return &memory_dump_config_;
  }
  const std::vector<MemoryDumpTriggerConfig>& memory_dump_config() const {
    return memory_dump_config_;
  }

  // Calls |visit| with each category of |category_group|: the pieces
  // between commas, spaces kept, empty pieces dropped. Stops early when
  // |visit| returns true, and returns whether it did.
  template <typename Visitor>
  static bool AnyCategory(StringPiece category_group, Visitor visit) {
    size_t begin = 0;
    while (begin <= category_group.size()) {
      size_t end = category_group.find(',', begin);
      if (end == StringPiece::npos)
        end = category_group.size();
      if (end > begin && visit(category_group.substr(begin, end - begin)))
        return true;
      begin = end + 1;
    }
    return false;
  }

 private:
  void InitializeDefault();

  TraceRecordMode record_mode_;
  bool enable_sampling_ : 1;
  bool enable_systrace_ : 1;
  bool enable_argument_filter_ : 1;
  std::vector<MemoryDumpTriggerConfig> memory_dump_config_;
  StringList included_categories_;
  StringList disabled_categories_;
  StringList excluded_categories_;
  StringList synthetic_delays_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_CONFIG_H_
