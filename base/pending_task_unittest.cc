#include "base/pending_task.h"

#include <stdint.h>

#include <limits>

#include "base/location.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// The delayed-task heap pops the greatest task first: "less" is less urgent.
TEST(PendingTaskTest, LessUrgentOrder) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  const struct {
    const char* name;
    int64_t run_a;
    int32_t sequence_a;
    int64_t run_b;
    int32_t sequence_b;
    bool a_less_urgent;
  } kCases[] = {
      {"due later", 200, 1, 100, 7, true},
      {"due earlier", 100, 7, 200, 1, false},
      {"run times are signed", 100, 0, -5, 0, true},
      {"same time, posted later", 100, 2, 100, 1, true},
      {"same time, posted earlier", 100, 1, 100, 2, false},
      {"same task", 100, 1, 100, 1, false},
      {"posted after the counter wrapped", 100, kMin, 100, kMax, true},
      {"posted before the counter wrapped", 100, kMax, 100, kMin, false},
  };
  auto make = [](int64_t run_time_us, int32_t sequence_num) {
    PendingTask task(Location(), Closure(),
                     TimeTicks::FromInternalValue(run_time_us), true);
    task.sequence_num = sequence_num;
    return task;
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.a_less_urgent,
              make(c.run_a, c.sequence_a) < make(c.run_b, c.sequence_b))
        << c.name;
  }
}

}  // namespace
}  // namespace base
