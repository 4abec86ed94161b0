#include "base/win/exception_filter_hook.h"

#include <thread>
#include <utility>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

EXCEPTION_POINTERS* g_info_seen = nullptr;

int32_t HandlingHook(EXCEPTION_POINTERS* info) {
  g_info_seen = info;
  return EXCEPTION_EXECUTE_HANDLER;
}

int32_t ResumingHook(EXCEPTION_POINTERS* info) {
  g_info_seen = info;
  return EXCEPTION_CONTINUE_EXECUTION;
}

// Leaves the slot empty whatever the test does.
class ExceptionFilterHookTest : public testing::Test {
 protected:
  void SetUp() override { SetExceptionFilterHook(nullptr); }
  void TearDown() override { SetExceptionFilterHook(nullptr); }
};

TEST_F(ExceptionFilterHookTest, WithoutHookTheSearchContinues) {
  EXCEPTION_RECORD record = {};
  CONTEXT context = {};
  EXCEPTION_POINTERS info = {&record, &context};
  EXPECT_EQ(EXCEPTION_CONTINUE_SEARCH, CallExceptionFilterHook(&info));
}

TEST_F(ExceptionFilterHookTest, InstalledHookGivesTheVerdict) {
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  CONTEXT context = {};
  EXCEPTION_POINTERS info = {&record, &context};

  EXPECT_EQ(nullptr, SetExceptionFilterHook(&HandlingHook));
  EXPECT_EQ(EXCEPTION_EXECUTE_HANDLER, CallExceptionFilterHook(&info));
  EXPECT_EQ(&info, g_info_seen);

  // Replacing returns the hook that was there.
  EXPECT_EQ(&HandlingHook, SetExceptionFilterHook(&ResumingHook));
  EXPECT_EQ(EXCEPTION_CONTINUE_EXECUTION, CallExceptionFilterHook(&info));

  EXPECT_EQ(&ResumingHook, SetExceptionFilterHook(nullptr));
  EXPECT_EQ(EXCEPTION_CONTINUE_SEARCH, CallExceptionFilterHook(&info));
}

template <int N>
int32_t NumberedHook(EXCEPTION_POINTERS*) {
  return N;
}

template <int... N>
std::vector<ExceptionFilterHook> MakeHooks(std::integer_sequence<int, N...>) {
  return {&NumberedHook<N + 1>...};
}

TEST_F(ExceptionFilterHookTest, ConcurrentInstallsLoseNoHook) {
  // Each exchange hands back exactly one earlier hook: along the chain of
  // exchanges, every hook is returned once, except the one left installed.
  std::vector<ExceptionFilterHook> hooks =
      MakeHooks(std::make_integer_sequence<int, 32>());
  std::vector<ExceptionFilterHook> returned(hooks.size());
  std::vector<std::thread> threads;
  for (size_t i = 0; i < hooks.size(); ++i) {
    threads.emplace_back([&hooks, &returned, i] {
      returned[i] = SetExceptionFilterHook(hooks[i]);
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  ExceptionFilterHook installed = SetExceptionFilterHook(nullptr);

  std::vector<int> times_returned(hooks.size() + 1);  // Slot 0 for null.
  for (ExceptionFilterHook hook : returned)
    ++times_returned[hook ? hook(nullptr) : 0];
  EXPECT_EQ(1, times_returned[0]);
  ASSERT_TRUE(installed);
  int left_installed = installed(nullptr);
  for (size_t n = 1; n <= hooks.size(); ++n)
    EXPECT_EQ(static_cast<int>(n) == left_installed ? 0 : 1, times_returned[n])
        << n;
}

}  // namespace
}  // namespace win
}  // namespace base
