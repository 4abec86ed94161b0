#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_MEMORY_RANGE_LIST_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_MEMORY_RANGE_LIST_H_

#include <stdint.h>

#include <map>

namespace vexlo {
namespace crash_reporter {

// The memory a crash log dumps: the union of the ranges added, kept as
// disjoint ranges in address order, touching ranges merged.
class MemoryRangeList {
 public:
  // Start -> end (exclusive).
  using Ranges = std::map<uint64_t, uint64_t>;

  MemoryRangeList();
  MemoryRangeList(const MemoryRangeList&) = delete;
  MemoryRangeList& operator=(const MemoryRangeList&) = delete;
  ~MemoryRangeList();

  // Adds [start, end) and returns by how many bytes the union grew.
  uint64_t Add(uint64_t start, uint64_t end);
  void Clear();

  const Ranges& ranges() const { return ranges_; }
  // The bytes covered.
  uint64_t total() const { return total_; }

 private:
  Ranges ranges_;
  uint64_t total_ = 0;
};

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_MEMORY_RANGE_LIST_H_
