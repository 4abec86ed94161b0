#include "desktop/windows/crash_reporter/memory_range_list.h"

#include <algorithm>

namespace vexlo {
namespace crash_reporter {

MemoryRangeList::MemoryRangeList() = default;

MemoryRangeList::~MemoryRangeList() = default;

uint64_t MemoryRangeList::Add(uint64_t start, uint64_t end) {
  if (start >= end)
    return 0;
  const uint64_t old_total = total_;
  // The first range that ends at or after |start| is the first one the new
  // range touches.
  auto range = ranges_.upper_bound(start);
  if (range != ranges_.begin() && std::prev(range)->second >= start)
    --range;
  while (range != ranges_.end() && range->first <= end) {
    start = std::min(start, range->first);
    end = std::max(end, range->second);
    total_ -= range->second - range->first;
    range = ranges_.erase(range);
  }
  ranges_.emplace(start, end);
  total_ += end - start;
  return total_ - old_total;
}

void MemoryRangeList::Clear() {
  ranges_.clear();
  total_ = 0;
}

}  // namespace crash_reporter
}  // namespace vexlo
