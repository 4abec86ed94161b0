#include "base/run_loop.h"

#include <string>
#include <thread>
#include <vector>

#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/test/closure_from_function.h"
#include "base/test/task_test_util.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using test::ClosureFromFunction;

#define HERE LOCATION_FROM_HERE("base::RunLoopTest")

Closure Record(std::vector<std::string>* log, const std::string& entry) {
  return ClosureFromFunction([log, entry] { log->push_back(entry); });
}

TEST(RunLoopTest, QuitBeforeRunReturnsAtOnce) {
  MessageLoop loop;
  std::vector<std::string> ran;
  loop.PostTask(HERE, Record(&ran, "task"));

  RunLoop run_loop;
  run_loop.Quit();
  run_loop.Run();
  EXPECT_TRUE(ran.empty());
  // And again: a quit run loop stays quit.
  run_loop.Run();
  EXPECT_TRUE(ran.empty());

  // A run loop that ran and quit returns at once from a second Run.
  RunLoop second;
  loop.PostTask(HERE, second.QuitClosure());
  second.Run();
  EXPECT_EQ((std::vector<std::string>{"task"}), ran);
  loop.PostTask(HERE, Record(&ran, "later"));
  second.Run();
  EXPECT_EQ((std::vector<std::string>{"task"}), ran);

  test::RunUntilIdle();
  EXPECT_EQ((std::vector<std::string>{"task", "later"}), ran);
}

TEST(RunLoopTest, NestedRunLoopsQuitInOrder) {
  MessageLoop loop;
  std::vector<std::string> log;
  RunLoop outer;

  loop.PostTask(HERE, ClosureFromFunction([&] {
                  RunLoop middle;
                  loop.PostTask(
                      HERE, ClosureFromFunction([&] {
                        RunLoop inner;
                        loop.PostTask(HERE, ClosureFromFunction([&] {
                                        // Addressed to the outermost run:
                                        // the inner and middle ones go on.
                                        outer.Quit();
                                        log.push_back("quit outer");
                                        loop.PostTask(
                                            HERE, ClosureFromFunction([&] {
                                              log.push_back("inner runs on");
                                              inner.Quit();
                                            }));
                                      }));
                        MessageLoop::ScopedNestableTaskAllower allow(&loop);
                        inner.Run();
                        log.push_back("inner returned");
                        loop.PostTask(HERE, ClosureFromFunction([&] {
                                        log.push_back("middle runs on");
                                        middle.Quit();
                                      }));
                      }));
                  {
                    MessageLoop::ScopedNestableTaskAllower allow(&loop);
                    middle.Run();
                  }
                  log.push_back("middle returned");
                  // The outer run quits as soon as this task returns.
                  loop.PostTask(HERE, Record(&log, "too late"));
                }));
  outer.Run();
  log.push_back("outer returned");
  EXPECT_EQ((std::vector<std::string>{"quit outer", "inner runs on",
                                      "inner returned", "middle runs on",
                                      "middle returned", "outer returned"}),
            log);

  test::RunUntilIdle();
  EXPECT_EQ("too late", log.back());
}

TEST(RunLoopTest, QuitClosureOfAGoneRunLoopDoesNothing) {
  MessageLoop loop;
  Closure stale_quit;
  {
    RunLoop gone;
    stale_quit = gone.QuitClosure();
  }
  std::vector<std::string> ran;
  RunLoop run_loop;
  // Posted from another thread, run after its run loop is gone.
  std::thread([&] {
    loop.task_runner()->PostTask(HERE, stale_quit);
    loop.task_runner()->PostTask(HERE, Record(&ran, "still running"));
    loop.task_runner()->PostTask(HERE, run_loop.QuitClosure());
  }).join();
  run_loop.Run();
  EXPECT_EQ((std::vector<std::string>{"still running"}), ran);
}

TEST(RunLoopTest, QuitOfAnOuterRunLoopWaitsForTheNestedOne) {
  MessageLoop loop;
  std::vector<std::string> log;
  RunLoop outer;
  loop.PostTask(HERE, ClosureFromFunction([&] {
                  RunLoop nested;
                  loop.PostTask(HERE, outer.QuitClosure());
                  loop.PostTask(HERE, Record(&log, "nested runs on"));
                  loop.PostTask(HERE, nested.QuitClosure());
                  MessageLoop::ScopedNestableTaskAllower allow(&loop);
                  nested.Run();
                  log.push_back("nested returned");
                }));
  outer.Run();
  EXPECT_EQ((std::vector<std::string>{"nested runs on", "nested returned"}),
            log);
}

}  // namespace
}  // namespace base
