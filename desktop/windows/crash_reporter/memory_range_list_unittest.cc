#include "desktop/windows/crash_reporter/memory_range_list.h"

#include <utility>
#include <vector>

#include "gtest/gtest.h"

namespace vexlo {
namespace crash_reporter {
namespace {

using Range = std::pair<uint64_t, uint64_t>;

TEST(MemoryRangeListTest, KeepsTheUnionInOrderAndCountsGrowthOnce) {
  const struct {
    const char* name;
    std::vector<Range> added;
    std::vector<uint64_t> growth;
    std::vector<Range> ranges;
  } kCases[] = {
      {"empty and reversed ranges", {{5, 5}, {9, 3}}, {0, 0}, {}},
      {"apart, added out of order",
       {{100, 200}, {0, 10}},
       {100, 10},
       {{0, 10}, {100, 200}}},
      {"overlapping", {{0, 2048}, {1024, 3072}}, {2048, 1024}, {{0, 3072}}},
      {"touching above", {{0, 10}, {10, 20}}, {10, 10}, {{0, 20}}},
      {"touching below", {{10, 20}, {0, 10}}, {10, 10}, {{0, 20}}},
      {"inside", {{0, 100}, {10, 20}}, {100, 0}, {{0, 100}}},
      {"bridging three",
       {{0, 10}, {20, 30}, {40, 50}, {5, 45}},
       {10, 10, 10, 20},
       {{0, 50}}},
      {"covering one, touching none",
       {{10, 20}, {30, 40}, {5, 25}},
       {10, 10, 10},
       {{5, 25}, {30, 40}}},
      {"at the top of the address space",
       {{UINT64_MAX - 16, UINT64_MAX}},
       {16},
       {{UINT64_MAX - 16, UINT64_MAX}}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    MemoryRangeList list;
    uint64_t total = 0;
    for (size_t i = 0; i < c.added.size(); ++i) {
      EXPECT_EQ(c.growth[i], list.Add(c.added[i].first, c.added[i].second));
      total += c.growth[i];
    }
    EXPECT_EQ(total, list.total());
    EXPECT_EQ(c.ranges,
              std::vector<Range>(list.ranges().begin(), list.ranges().end()));
    list.Clear();
    EXPECT_EQ(0u, list.total());
    EXPECT_TRUE(list.ranges().empty());
  }
}

}  // namespace
}  // namespace crash_reporter
}  // namespace vexlo
