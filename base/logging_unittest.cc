#include "base/logging.h"

#include <windows.h>

#include <cstdint>
#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

// Counts how often a streamed argument is evaluated.
int CountEvaluation(int* count) {
  ++*count;
  return *count;
}

enum class Colour { kRed = 3, kBlue = 7 };

struct Opaque {
  bool operator==(const Opaque&) const { return false; }
};

TEST(LoggingTest, PassingChecksEvaluateConditionOnceAndStreamNever) {
  int condition_count = 0;
  int stream_count = 0;
  CHECK(CountEvaluation(&condition_count) == 1)
      << CountEvaluation(&stream_count);
  CHECK_EQ(CountEvaluation(&condition_count), 2)
      << CountEvaluation(&stream_count);
  DCHECK(CountEvaluation(&condition_count) == 3)
      << CountEvaluation(&stream_count);
  DCHECK_NE(CountEvaluation(&condition_count), 0)
      << CountEvaluation(&stream_count);
  EXPECT_EQ(DCHECK_IS_ON() ? 4 : 2, condition_count);
  EXPECT_EQ(0, stream_count);
}

TEST(LoggingTest, ComparisonsUseValuesAcrossSignedness) {
  // Each of these would fail if -1 were converted to a huge unsigned value.
  CHECK_LT(-1, 1u);
  CHECK_LE(int64_t{-5}, size_t{0});
  CHECK_GT(1u, -1);
  CHECK_GE(size_t{7}, -7);
  CHECK_NE(-1, 0xFFFFFFFFu);
  CHECK_EQ(size_t{3}, 3);
  CHECK_EQ(Colour::kRed, Colour::kRed);
}

TEST(LoggingTest, CheckOpIsOneStatementForAnEnclosingElse) {
  bool else_taken = false;
  if (false)
    CHECK_EQ(1, 2);
  else
    else_taken = true;
  EXPECT_TRUE(else_taken);
}

TEST(LoggingTest, LogKeepsLastErrorAndWritesLine) {
  testing::internal::CaptureStderr();
  ::SetLastError(1234);
  LOG(ERROR) << "disk is " << 42 << "% full";
  EXPECT_EQ(1234u, ::GetLastError());
  LOG(WARNING) << "second";
  const std::string output = testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos,
            output.find("[ERROR:logging_unittest.cc(" +
                        std::to_string(__LINE__ - 6) + ")] disk is 42% full\n"))
      << output;
  EXPECT_NE(std::string::npos, output.find("[WARNING:")) << output;
  EXPECT_TRUE(ShouldCreateLogMessage(LOG_INFO));
  EXPECT_FALSE(ShouldCreateLogMessage(-1));
}

TEST(LoggingDeathTest, FailedChecksStopTheProcess) {
  EXPECT_DEATH(CHECK(1 + 1 == 3) << "extra " << 7,
               "Check failed: 1 \\+ 1 == 3\\. extra 7");
  const int small = 2;
  EXPECT_DEATH(CHECK_GT(small, 5) << "tail",
               "Check failed: small > 5 \\(2 vs\\. 5\\)tail");
  EXPECT_DEATH(CHECK_EQ(Colour::kRed, Colour::kBlue),
               "Colour::kRed == Colour::kBlue \\(3 vs\\. 7\\)");
  EXPECT_DEATH(CHECK_EQ(Opaque(), Opaque()), "\\(unprintable\\)");
  EXPECT_DEATH(CHECK_LT(1u, -1), "1u < -1 \\(1 vs\\. -1\\)");
  EXPECT_DEATH(LOG(FATAL) << "fatal line", "\\[FATAL:.*\\] fatal line");
}

#if DCHECK_IS_ON()
TEST(LoggingDeathTest, FailedDchecksStopTheProcess) {
  EXPECT_DEATH(DCHECK(false), "Check failed: false");
  EXPECT_DEATH(DCHECK_EQ(1, 2), "1 == 2 \\(1 vs\\. 2\\)");
  EXPECT_DEATH(DCHECK_LE(3, 2), "3 <= 2");
  EXPECT_DEATH(NOTREACHED() << "state 9", "NOTREACHED\\(\\) hit\\. state 9");
}
#endif

}  // namespace
}  // namespace base
