#include "base/process/app_output_process.h"

#include <windows.h>

#include <string>

#include "base/command_line.h"
#include "base/test/process_test_child_command.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

string16 ChildCommand(std::initializer_list<std::string> args) {
  return MakeTestChildCommandLine(args).GetCommandLineString(false);
}

// A child started while another runs must not keep the other's pipe open:
// the first one's output ends with the first one, not with the second. The
// second waits for an event that is set only once the first was read to
// its end; had it inherited the first's pipe, that read would have lasted
// until the second gave up waiting.
TEST(AppOutputProcessTest, AChildStartedLaterDoesNotHoldTheEarlierOnesPipe) {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  win::ScopedHandle go(::CreateEventW(&inheritable, TRUE, FALSE, nullptr));
  ASSERT_TRUE(go.IsValid());
  AppOutputProcess first;
  AppOutputProcess second;
  ASSERT_TRUE(first.Start(ChildCommand({"write", "3"}), false));
  ASSERT_TRUE(second.Start(
      ChildCommand({"wait-for", HandleToChildArgument(go.Get())}), false));
  std::string first_output;
  EXPECT_TRUE(first.Finish(&first_output));
  EXPECT_EQ("abc", first_output);
  ASSERT_TRUE(::SetEvent(go.Get()));
  std::string second_output;
  EXPECT_TRUE(second.Finish(&second_output));
  EXPECT_EQ("signaled", second_output);
}

// Two children run side by side and are read in either order; each output
// is its own child's, and each result says how that child ended.
TEST(AppOutputProcessTest, EachChildIsReadForItselfInEitherOrder) {
  const struct {
    const char* name;
    // Each child's mode and its argument.
    const char* first_mode;
    const char* first_argument;
    const char* second_mode;
    const char* second_argument;
    bool second_read_first;
    bool first_result;
    size_t first_size;
    bool second_result;
    const char* second_output;
  } kCases[] = {
      // More than a pipe holds: the first waits for its reader meanwhile.
      {"large first, read last", "write", "70000", "write", "3", true, true,
       70000, true, "abc"},
      {"large first, read first", "write", "70000", "write", "3", false, true,
       70000, true, "abc"},
      {"first crashes", "exit", "3221225477", "write", "3", false, false, 0,
       true, "abc"},
      {"second crashes, read first", "write", "3", "exit", "3221225477", true,
       true, 3, false, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    AppOutputProcess first;
    AppOutputProcess second;
    ASSERT_TRUE(
        first.Start(ChildCommand({c.first_mode, c.first_argument}), false));
    ASSERT_TRUE(
        second.Start(ChildCommand({c.second_mode, c.second_argument}), false));
    std::string first_output;
    std::string second_output;
    bool second_result = false;
    if (c.second_read_first)
      second_result = second.Finish(&second_output);
    const bool first_result = first.Finish(&first_output);
    if (!c.second_read_first)
      second_result = second.Finish(&second_output);
    EXPECT_EQ(c.first_result, first_result);
    EXPECT_EQ(c.first_size, first_output.size());
    EXPECT_EQ(c.second_result, second_result);
    EXPECT_EQ(c.second_output, second_output);
  }
}

// Nothing started, nothing read: a child that cannot start, and a second
// Finish of one that has been read.
TEST(AppOutputProcessTest, FinishIsFalseWithoutAChildToRead) {
  std::string output = "kept";
  AppOutputProcess never_started;
  EXPECT_FALSE(never_started.Finish(&output));
  AppOutputProcess missing;
  EXPECT_FALSE(missing.Start(L"\"C:\\no\\such.exe\"", false));
  EXPECT_FALSE(missing.Finish(&output));
  AppOutputProcess once;
  ASSERT_TRUE(once.Start(ChildCommand({"write", "3"}), false));
  EXPECT_TRUE(once.Finish(&output));
  EXPECT_FALSE(once.Finish(&output));
  EXPECT_EQ("keptabc", output);
}

// A bounded finish reads what an unbounded one reads, also more than a pipe
// holds; a child that never ends is ended at the limit and fails.
TEST(AppOutputProcessTest, ABoundedFinishEndsAChildThatOutlivesIt) {
  const struct {
    const char* mode;
    const char* argument;
    int64_t limit_ms;
    bool result;
    size_t size;
  } kCases[] = {
      {"write", "3", 60000, true, 3},
      {"write", "70000", 60000, true, 70000},
      {"exit", "3221225477", 60000, false, 0},
      {"sleep", "0", 300, false, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.mode);
    AppOutputProcess child;
    ASSERT_TRUE(child.Start(ChildCommand({c.mode, c.argument}), false));
    std::string output;
    EXPECT_EQ(c.result,
              child.Finish(&output, TimeDelta::FromMilliseconds(c.limit_ms)));
    EXPECT_EQ(c.size, output.size());
    // Read or ended, the child is done with.
    EXPECT_FALSE(child.Finish(&output));
  }
}

}  // namespace
}  // namespace base
