#include "base/synchronization/cancellation_flag.h"

#include <thread>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(CancellationFlagTest, OnceSetStaysSetOnEveryThread) {
  CancellationFlag flag;
  EXPECT_FALSE(flag.IsSet());
  std::thread setter([&flag] { flag.Set(); });
  setter.join();
  EXPECT_TRUE(flag.IsSet());
  flag.Set();
  EXPECT_TRUE(flag.IsSet());
}

}  // namespace
}  // namespace base
