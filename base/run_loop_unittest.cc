#include "base/run_loop.h"

#include <functional>
#include <string>
#include <vector>

#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/test/closure_from_function.h"
#include "base/test/task_test_util.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using test::Record;
using Log = std::vector<std::string>;

#define HERE LOCATION_FROM_HERE("base::RunLoopTest")

TEST(RunLoopTest, QuitBeforeRunReturnsAtOnce) {
  MessageLoop loop;
  Log ran;
  loop.PostTask(HERE, Record(&ran, "task"));
  RunLoop run_loop;
  run_loop.Quit();
  run_loop.Run();
  EXPECT_TRUE(ran.empty());
}

// A quit of the outermost of three run loops, made while the innermost
// runs, ends nothing until the middle one returns, and then ends the
// outermost as soon as the task that ran the middle one returns.
TEST(RunLoopTest, QuitOfAnOuterRunLoopWaitsForTheOnesInsideIt) {
  MessageLoop loop;
  Log log;
  RunLoop run_loops[3];
  auto post = [&loop](std::function<void()> task) {
    loop.PostTask(HERE, test::ClosureFromFunction(std::move(task)));
  };
  auto run_nested = [&](int level) {
    MessageLoop::ScopedNestableTaskAllower allow(&loop);
    run_loops[level].Run();
    log.push_back("returned " + std::to_string(level));
  };
  auto go_on_and_quit = [&](int level) {
    post([&, level] {
      log.push_back("level " + std::to_string(level) + " goes on");
      run_loops[level].Quit();
    });
  };
  post([&] {
    post([&] {
      post([&] {
        run_loops[0].Quit();
        go_on_and_quit(2);
      });
      run_nested(2);
      go_on_and_quit(1);
    });
    run_nested(1);
    loop.PostTask(HERE, Record(&log, "after the outer run"));
  });
  ASSERT_TRUE(test::RunWithTimeout(&run_loops[0]));
  EXPECT_EQ(
      (Log{"level 2 goes on", "returned 2", "level 1 goes on", "returned 1"}),
      log);
}

}  // namespace
}  // namespace base
