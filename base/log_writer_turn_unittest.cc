#include "base/log_writer_turn.h"

#include <windows.h>

#include <atomic>
#include <thread>

#include "base/files/file_path.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/test/process_test_child_command.h"
#include "base/test/unique_test_dir.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

class LogWriterTurnTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.IsValid()); }

  win::ScopedHandle OpenLog(const wchar_t* name) {
    return win::ScopedHandle(::CreateFileW(
        dir_.path().Append(name).value().c_str(),
        FILE_APPEND_DATA | FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  }

  // A process of the test child in the given mode, and its id.
  Process StartChild(const char* mode) {
    Process child =
        LaunchProcess(MakeTestChildCommandLine({mode}), LaunchOptions());
    EXPECT_TRUE(child.IsValid());
    return child;
  }

  UniqueTestDir dir_;
};

TEST_F(LogWriterTurnTest, HandlesOfOneFileShareATurnOthersDoNot) {
  const win::ScopedHandle log = OpenLog(L"a.log");
  const win::ScopedHandle same_log = OpenLog(L"A.LOG");
  const win::ScopedHandle other_log = OpenLog(L"b.log");
  LogWriterTurn turn;
  LogWriterTurn same_turn;
  LogWriterTurn other_turn;
  ASSERT_TRUE(turn.Open(log.Get()));
  ASSERT_TRUE(same_turn.Open(same_log.Get()));
  ASSERT_TRUE(other_turn.Open(other_log.Get()));
  EXPECT_TRUE(turn.is_open() && same_turn.is_open() && other_turn.is_open());

  // A live process holds the turn of a.log: the other file's turn is free,
  // and a.log's is this process's only once that process lets it go.
  Process holder = StartChild("sleep");
  same_turn.SetHolderForTesting(holder.Pid());
  EXPECT_TRUE(other_turn.Acquire());
  other_turn.Release();
  std::atomic<bool> acquired{false};
  std::thread waiter([&] { acquired = turn.Acquire(); });
  ::Sleep(50);
  EXPECT_FALSE(acquired);
  same_turn.SetHolderForTesting(0);
  waiter.join();
  EXPECT_TRUE(acquired);
  // Now held by this process: another process (a holder of another id)
  // could not take it.
  std::thread second_waiter([&] { acquired = same_turn.Acquire(); });
  ::Sleep(50);
  turn.Release();
  second_waiter.join();
  EXPECT_TRUE(acquired);
  same_turn.Release();
  holder.Terminate(0, true);
}

TEST_F(LogWriterTurnTest, TurnOfAnEndedProcessIsTakenOver) {
  const win::ScopedHandle log = OpenLog(L"a.log");
  LogWriterTurn turn;
  ASSERT_TRUE(turn.Open(log.Get()));
  Process ended = StartChild("sleep");
  const DWORD ended_id = ended.Pid();
  ASSERT_TRUE(ended.Terminate(3, true));
  turn.SetHolderForTesting(ended_id);
  EXPECT_TRUE(turn.Acquire());
  turn.Release();
}

TEST_F(LogWriterTurnTest, TurnKeptByALiveProcessIsGivenUp) {
  const win::ScopedHandle log = OpenLog(L"a.log");
  LogWriterTurn turn;
  ASSERT_TRUE(turn.Open(log.Get()));
  Process holder = StartChild("sleep");
  turn.SetHolderForTesting(holder.Pid());
  EXPECT_FALSE(turn.Acquire());
  holder.Terminate(0, true);
  // Once that process is gone, the turn comes free.
  EXPECT_TRUE(turn.Acquire());
  turn.Release();
}

TEST_F(LogWriterTurnTest, ClosedOrUnopenableTurn) {
  LogWriterTurn turn;
  EXPECT_FALSE(turn.is_open());
  EXPECT_FALSE(turn.Open(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(turn.is_open());
  const win::ScopedHandle log = OpenLog(L"a.log");
  ASSERT_TRUE(turn.Open(log.Get()));
  // Once every handle to it is closed, a turn starts free again, whoever
  // held it.
  Process holder = StartChild("sleep");
  turn.SetHolderForTesting(holder.Pid());
  turn.Close();
  EXPECT_FALSE(turn.is_open());
  turn.Close();
  LogWriterTurn reopened;
  ASSERT_TRUE(reopened.Open(log.Get()));
  EXPECT_TRUE(reopened.Acquire());
  reopened.Release();
  holder.Terminate(0, true);
}

}  // namespace
}  // namespace base
