#include "base/pending_task.h"

#include <stdint.h>

#include <limits>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "gtest/gtest.h"

namespace base {
namespace {

void DoNothing() {}

PendingTask MakeTask(int64_t run_time_us, int32_t sequence_num) {
  PendingTask task(LOCATION_FROM_HERE("base::MakeTask"), Closure(),
                   TimeTicks::FromInternalValue(run_time_us), true);
  task.sequence_num = sequence_num;
  return task;
}

// Pops the heap and returns the sequence numbers in the order it gives.
std::vector<int32_t> DrainInOrder(DelayedTaskQueue* queue) {
  std::vector<int32_t> order;
  while (!queue->empty()) {
    order.push_back(queue->top().sequence_num);
    queue->pop();
  }
  return order;
}

TEST(PendingTaskTest, ConstructorsAndLocation) {
  const Location unknown;
  EXPECT_STREQ("Unknown", unknown.function_name());
  EXPECT_STREQ("Unknown", unknown.file_name());
  EXPECT_EQ(-1, unknown.line_number());
  EXPECT_EQ(nullptr, unknown.program_counter());

  const Location here = LOCATION_FROM_HERE("base::PendingTaskTest");
  EXPECT_STREQ("base::PendingTaskTest", here.function_name());
  EXPECT_NE(nullptr, here.program_counter());
  EXPECT_GT(here.line_number(), 0);

  const Closure closure = Bind(&DoNothing);
  PendingTask immediate(here, closure);
  EXPECT_TRUE(immediate.delayed_run_time.is_null());
  EXPECT_EQ(0, immediate.sequence_num);
  EXPECT_TRUE(immediate.nestable);
  EXPECT_FALSE(immediate.is_high_res);
  EXPECT_TRUE(immediate.task.Equals(closure));
  // Profiling is off: no birth record, no posting time.
  EXPECT_EQ(nullptr, immediate.birth_tally);
  EXPECT_TRUE(immediate.time_posted.is_null());

  PendingTask delayed(here, closure, TimeTicks::FromInternalValue(5), false);
  EXPECT_EQ(5, delayed.delayed_run_time.ToInternalValue());
  EXPECT_FALSE(delayed.nestable);
  EXPECT_FALSE(delayed.is_high_res);

  // Copies share the bind state.
  PendingTask copy = delayed;
  EXPECT_TRUE(copy.task.Equals(delayed.task));
}

TEST(PendingTaskTest, EarlierRunTimeIsMoreUrgent) {
  const PendingTask early = MakeTask(100, 7);
  const PendingTask late = MakeTask(200, 1);
  EXPECT_TRUE(late < early);
  EXPECT_FALSE(early < late);

  // Run times compare as signed numbers.
  const PendingTask negative = MakeTask(-5, 0);
  EXPECT_TRUE(early < negative);

  DelayedTaskQueue queue;
  queue.push(MakeTask(300, 1));
  queue.push(MakeTask(100, 2));
  queue.push(MakeTask(200, 3));
  EXPECT_EQ((std::vector<int32_t>{2, 3, 1}), DrainInOrder(&queue));
}

TEST(PendingTaskTest, EqualRunTimesRunInPostingOrderAcrossTheWrap) {
  // Same run time: the lower sequence number first.
  EXPECT_TRUE(MakeTask(100, 2) < MakeTask(100, 1));
  EXPECT_FALSE(MakeTask(100, 1) < MakeTask(100, 2));
  EXPECT_FALSE(MakeTask(100, 1) < MakeTask(100, 1));

  // The counter wrapped between the two posts: the task numbered INT32_MAX
  // was posted first, its successor is INT32_MIN.
  const int32_t before_wrap = std::numeric_limits<int32_t>::max();
  const int32_t after_wrap = std::numeric_limits<int32_t>::min();
  EXPECT_TRUE(MakeTask(100, after_wrap) < MakeTask(100, before_wrap));
  EXPECT_FALSE(MakeTask(100, before_wrap) < MakeTask(100, after_wrap));

  // Four posts in a row across the wrap, pushed out of order.
  DelayedTaskQueue queue;
  queue.push(MakeTask(100, after_wrap + 1));
  queue.push(MakeTask(100, before_wrap));
  queue.push(MakeTask(100, after_wrap));
  queue.push(MakeTask(100, before_wrap - 1));
  queue.push(MakeTask(50, after_wrap + 2));
  EXPECT_EQ((std::vector<int32_t>{after_wrap + 2, before_wrap - 1, before_wrap,
                                  after_wrap, after_wrap + 1}),
            DrainInOrder(&queue));
}

}  // namespace
}  // namespace base
