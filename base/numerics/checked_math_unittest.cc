#include "base/numerics/checked_math.h"

#include <stdint.h>

#include <limits>

#include "gtest/gtest.h"

namespace base {
namespace internal {
namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

TEST(CheckedMulTest, FitsAtTheEdgesOfTheRange) {
  CheckedValue<int64_t> r = CheckedMul<int64_t>(kMax, 1);
  EXPECT_EQ(RANGE_VALID, r.validity);
  EXPECT_EQ(kMax, r.value);

  r = CheckedMul<int64_t>(kMin, 1);
  EXPECT_EQ(RANGE_VALID, r.validity);
  EXPECT_EQ(kMin, r.value);

  r = CheckedMul<int64_t>(-kMax, -1);
  EXPECT_EQ(RANGE_VALID, r.validity);
  EXPECT_EQ(kMax, r.value);

  // The largest number of milliseconds that still fits in microseconds.
  r = CheckedMul<int64_t>(kMax / 1000, 1000);
  EXPECT_EQ(RANGE_VALID, r.validity);
  EXPECT_EQ(kMax / 1000 * 1000, r.value);
}

TEST(CheckedMulTest, ZeroOperandNeverOverflows) {
  for (int64_t other : {kMax, kMin, int64_t{0}, int64_t{-1}}) {
    CheckedValue<int64_t> r = CheckedMul<int64_t>(0, other);
    EXPECT_EQ(RANGE_VALID, r.validity);
    EXPECT_EQ(0, r.value);
    r = CheckedMul<int64_t>(other, 0);
    EXPECT_EQ(RANGE_VALID, r.validity);
    EXPECT_EQ(0, r.value);
  }
}

TEST(CheckedMulTest, ReportsTheSideOfTheOverflow) {
  EXPECT_EQ(RANGE_OVERFLOW,
            CheckedMul<int64_t>(kMax / 1000 + 1, 1000).validity);
  EXPECT_EQ(RANGE_OVERFLOW, CheckedMul<int64_t>(kMin, -1).validity);
  EXPECT_EQ(RANGE_OVERFLOW, CheckedMul<int64_t>(-(kMax / 2), -3).validity);
  EXPECT_EQ(RANGE_UNDERFLOW,
            CheckedMul<int64_t>(-(kMax / 1000) - 2, 1000).validity);
  EXPECT_EQ(RANGE_UNDERFLOW, CheckedMul<int64_t>(kMax, -2).validity);
  EXPECT_EQ(RANGE_UNDERFLOW, CheckedMul<int64_t>(-2, kMax).validity);
  // Wrapping can land on a plausible-looking value; the state still tells.
  EXPECT_EQ(RANGE_OVERFLOW,
            CheckedMul<int64_t>(int64_t{1} << 32, int64_t{1} << 32).validity);
}

}  // namespace
}  // namespace internal
}  // namespace base
