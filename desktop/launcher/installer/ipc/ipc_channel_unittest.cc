#include <windows.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/bind.h"
#include "base/files/file_path.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/pickle.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/run_loop.h"
#include "base/test/process_test_child_command.h"
#include "base/threading/platform_thread.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/ipc/installer_message.h"
#include "desktop/launcher/installer/ipc/ipc_mailslot_name.h"
#include "desktop/launcher/installer/ipc/ipc_receiver.h"
#include "desktop/launcher/installer/ipc/ipc_receiver_proxy.h"
#include "desktop/launcher/installer/ipc/ipc_sender_proxy.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

base::string16 UniqueChannelName() {
  static int serial = 0;
  return L"vexlo_installer\\C:\\ipc test " +
         std::to_wstring(::GetCurrentProcessId()) + L"_" +
         std::to_wstring(++serial);
}

std::unique_ptr<base::Pickle> NumberedMessage(int number) {
  std::unique_ptr<base::Pickle> message(new base::Pickle());
  message->Write4Bytes(number);
  return message;
}

// Records each delivery and quits the run once |expected| have arrived.
class RecordingDelegate : public IPCReceiverDelegate {
 public:
  void OnMessageReceived(const base::Pickle& message) override {
    base::PickleIterator iterator(message);
    int number = -1;
    EXPECT_TRUE(iterator.ReadInt(&number));
    numbers.push_back(number);
    sizes.push_back(message.size());
    threads.push_back(::GetCurrentThreadId());
    if (numbers.size() == expected && run_loop)
      run_loop->Quit();
  }

  // Runs the owner's loop until |count| messages have arrived, at most a
  // minute: a reader that polls, on a processor shared with much else, has
  // taken over 10 s for 200 messages.
  void WaitFor(size_t count) {
    expected = count;
    if (numbers.size() >= count)
      return;
    base::RunLoop loop;
    run_loop = &loop;
    base::MessageLoop::current()->PostDelayedTask(
        LOCATION_FROM_HERE("RecordingDelegate::WaitFor"), loop.QuitClosure(),
        base::TimeDelta::FromSeconds(60));
    loop.Run();
    run_loop = nullptr;
  }

  std::vector<int> numbers;
  std::vector<size_t> sizes;
  std::vector<DWORD> threads;
  size_t expected = 0;
  base::RunLoop* run_loop = nullptr;
};

void RunUntilIdle() {
  base::RunLoop loop;
  base::MessageLoop::current()->PostTask(
      LOCATION_FROM_HERE("RunUntilIdle"),
      base::Bind(&base::MessageLoop::QuitWhenIdle,
                 base::MessageLoop::current()));
  loop.Run();
}

HANDLE OpenForWriting(const base::string16& channel) {
  return ::CreateFileW(MailslotPath(channel).c_str(), GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Writes one raw datagram to the mailslot, as a foreign writer might.
void WriteDatagram(const base::string16& channel, const std::string& bytes) {
  base::win::ScopedHandle slot(OpenForWriting(channel));
  ASSERT_TRUE(slot.IsValid());
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(slot.Get(), bytes.data(),
                          static_cast<DWORD>(bytes.size()), &written, nullptr));
}

// Waits until the receiver's mailslot exists, so that a sender finds it.
void WaitForMailslot(const base::string16& channel) {
  for (int i = 0; i < 1000; ++i) {
    base::win::ScopedHandle slot(OpenForWriting(channel));
    if (slot.IsValid())
      return;
    ::Sleep(5);
  }
  FAIL() << "the mailslot never appeared";
}

void CopyAndQuit(const std::vector<int>* from,
                 std::vector<int>* to,
                 base::RunLoop* loop) {
  *to = *from;
  loop->Quit();
}

void SetFlag(bool* flag) {
  *flag = true;
}

void SetFlagAndQuit(bool* flag, base::RunLoop* loop) {
  *flag = true;
  loop->Quit();
}

class IPCChannelTest : public testing::Test {
 protected:
  void ConnectBoth() {
    ASSERT_TRUE(receiver_.Connect(channel_));
    WaitForMailslot(channel_);
    sender_.Connect(channel_);
  }

  base::MessageLoop loop_;
  const base::string16 channel_ = UniqueChannelName();
  RecordingDelegate delegate_;
  IPCReceiverProxy receiver_{&delegate_};
  IPCSenderProxy sender_;
};

TEST_F(IPCChannelTest, DeliversInOrderOnTheOwnersThreadOneDatagramEach) {
  ConnectBoth();
  std::vector<size_t> sent_sizes;
  for (int i = 0; i < 20; ++i) {
    std::unique_ptr<base::Pickle> message = NumberedMessage(i);
    for (int j = 0; j < i; ++j)
      message->Write4Bytes(j);
    sent_sizes.push_back(message->size());
    sender_.Send(std::move(message));
  }
  delegate_.WaitFor(20);
  ASSERT_EQ(20u, delegate_.numbers.size());
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(i, delegate_.numbers[i]);
    EXPECT_EQ(sent_sizes[i], delegate_.sizes[i]);
    EXPECT_EQ(::GetCurrentThreadId(), delegate_.threads[i]);
  }
}

// A writer's end is news that must come after its last words: everything
// already in the mailslot is delivered before the caller hears back.
TEST_F(IPCChannelTest, DeliverWaitingHearsEveryQueuedMessageFirst) {
  ASSERT_TRUE(receiver_.Connect(channel_));
  WaitForMailslot(channel_);
  for (int i = 0; i < 30; ++i) {
    const std::unique_ptr<base::Pickle> message = NumberedMessage(i);
    WriteDatagram(channel_,
                  std::string(static_cast<const char*>(message->data()),
                              message->size()));
  }
  std::vector<int> heard_before_done;
  base::RunLoop loop;
  receiver_.DeliverWaiting(
      base::Bind(&CopyAndQuit, &delegate_.numbers, &heard_before_done, &loop));
  loop.Run();
  ASSERT_EQ(30u, heard_before_done.size());
  for (int i = 0; i < 30; ++i)
    EXPECT_EQ(i, heard_before_done[i]);

  receiver_.Close();
  bool done_at_once = false;
  receiver_.DeliverWaiting(base::Bind(&SetFlag, &done_at_once));
  EXPECT_TRUE(done_at_once);
}

// Where the reader polls (under Wine), hearing what waits does not wait for
// a polling read to time out: with reads that block longer than the bound,
// DeliverWaiting still answers. (Close waits out one read.)
TEST_F(IPCChannelTest, TheOwnerNeverWaitsOutAPollingRead) {
  IPCReceiver::SetPollTimeoutForTesting(25000);
  ConnectBoth();
  sender_.Send(NumberedMessage(1));
  delegate_.WaitFor(1);
  bool done = false;
  base::RunLoop loop;
  receiver_.DeliverWaiting(base::Bind(&SetFlagAndQuit, &done, &loop));
  // A bound far below the read's time-out, only so that a failure ends.
  loop_.PostDelayedTask(LOCATION_FROM_HERE("TheOwnerNeverWaitsOutAPollingRead"),
                        loop.QuitClosure(), base::TimeDelta::FromSeconds(20));
  loop.Run();
  EXPECT_TRUE(done);
  sender_.Close();
  receiver_.Close();
  IPCReceiver::SetPollTimeoutForTesting(IPCReceiver::kPollTimeoutMs);
  EXPECT_EQ(std::vector<int>{1}, delegate_.numbers);
}

TEST_F(IPCChannelTest, SkipsEmptyDatagramsAndReadsOn) {
  ASSERT_TRUE(receiver_.Connect(channel_));
  WaitForMailslot(channel_);
  WriteDatagram(channel_, std::string());
  const std::unique_ptr<base::Pickle> message = NumberedMessage(7);
  WriteDatagram(channel_, std::string(static_cast<const char*>(message->data()),
                                      message->size()));
  delegate_.WaitFor(1);
  RunUntilIdle();
  EXPECT_EQ(std::vector<int>{7}, delegate_.numbers);
}

// The reader takes no datagram over the limit; one such message must
// neither be sent nor hold back the ones after it.
TEST_F(IPCChannelTest, RefusesOversizedMessagesAndSendsTheRest) {
  ConnectBoth();
  const struct {
    size_t size;
    bool delivered;
  } cases[] = {
      {kMaxInstallerMessageSize, true},
      {kMaxInstallerMessageSize + 4, false},
      {64 * 1024, false},
      {8, true},
  };
  std::vector<int> expected;
  for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
    std::unique_ptr<base::Pickle> message = NumberedMessage(i);
    const std::string filler(cases[i].size - message->size(), 'x');
    message->WriteBytes(filler.data(), static_cast<int>(filler.size()));
    ASSERT_EQ(cases[i].size, message->size());
    if (cases[i].delivered)
      expected.push_back(i);
    sender_.Send(std::move(message));
  }
  sender_.Send(NumberedMessage(99));
  expected.push_back(99);
  delegate_.WaitFor(expected.size());
  EXPECT_EQ(expected, delegate_.numbers);
}

// Another writer may put any datagram into the mailslot: one over the
// limit is dropped whole, even when its first bytes would make a message,
// and reading goes on.
TEST_F(IPCChannelTest, DropsOversizedDatagramsOfAnyWriter) {
  ASSERT_TRUE(receiver_.Connect(channel_));
  WaitForMailslot(channel_);
  const size_t kSizes[] = {kMaxInstallerMessageSize,
                           kMaxInstallerMessageSize + 1, 5000, 64 * 1024};
  for (int i = 0; i < static_cast<int>(std::size(kSizes)); ++i) {
    std::unique_ptr<base::Pickle> message = NumberedMessage(i);
    const std::string filler(kMaxInstallerMessageSize - message->size(), 'x');
    message->WriteBytes(filler.data(), static_cast<int>(filler.size()));
    std::string datagram(static_cast<const char*>(message->data()),
                         message->size());
    datagram.resize(kSizes[i], 'y');
    WriteDatagram(channel_, datagram);
  }
  const std::unique_ptr<base::Pickle> last = NumberedMessage(99);
  WriteDatagram(channel_, std::string(static_cast<const char*>(last->data()),
                                      last->size()));
  delegate_.WaitFor(2);
  RunUntilIdle();
  EXPECT_EQ((std::vector<int>{0, 99}), delegate_.numbers);
}

// However many datagrams wait, hearing them holds the caller for a bounded
// number of reads: a writer that never stops cannot keep it.
TEST(IPCReceiverTest, DeliverWaitingReadsABoundedNumber) {
  constexpr int kBound = 20;
  constexpr int kWaiting = kBound + 5;
  base::MessageLoop loop(base::MessageLoop::TYPE_IO);
  const base::string16 channel = UniqueChannelName();
  HANDLE mailslot =
      ::CreateMailslotW(MailslotPath(channel).c_str(), kMaxInstallerMessageSize,
                        MAILSLOT_WAIT_FOREVER, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, mailslot);
  RecordingDelegate delegate;
  IPCReceiver receiver(mailslot, &delegate);
  for (int i = 0; i < kWaiting; ++i) {
    const std::unique_ptr<base::Pickle> message = NumberedMessage(i);
    WriteDatagram(channel,
                  std::string(static_cast<const char*>(message->data()),
                              message->size()));
  }
  IPCReceiver::SetMaxWaitingDeliveredForTesting(kBound);
  receiver.Start();
  receiver.DeliverWaiting();
  const size_t first_heard = delegate.numbers.size();
  receiver.DeliverWaiting();
  IPCReceiver::SetMaxWaitingDeliveredForTesting(
      IPCReceiver::kMaxWaitingDelivered);
  EXPECT_EQ(static_cast<size_t>(kBound), first_heard);
  ASSERT_EQ(static_cast<size_t>(kWaiting), delegate.numbers.size());
  EXPECT_EQ(kWaiting - 1, delegate.numbers.back());
}

// The backend ends right after its last report: closing must send it.
TEST_F(IPCChannelTest, CloseSendsWhatIsQueued) {
  ConnectBoth();
  for (int i = 0; i < 200; ++i)
    sender_.Send(NumberedMessage(i));
  sender_.Close();
  delegate_.WaitFor(200);
  ASSERT_EQ(200u, delegate_.numbers.size());
  for (int i = 0; i < 200; ++i)
    EXPECT_EQ(i, delegate_.numbers[i]);
}

std::atomic<int> g_error_lines{0};

bool CountErrorLines(int severity,
                     const char* /*file*/,
                     int /*line*/,
                     size_t /*message_start*/,
                     const std::string& /*text*/) {
  if (severity >= base::LOG_ERROR)
    ++g_error_lines;
  return false;
}

// Where the mailslot cannot join the loop's completion port (Wine opens
// every mailslot for synchronous reads only) the receiver polls it, and
// says so without an error.
TEST_F(IPCChannelTest, ChannelOpensAndDeliversWithoutAnError) {
  g_error_lines = 0;
  base::SetLogMessageHandler(&CountErrorLines);
  ConnectBoth();
  sender_.Send(NumberedMessage(7));
  delegate_.WaitFor(1);
  base::SetLogMessageHandler(nullptr);
  EXPECT_EQ(std::vector<int>{7}, delegate_.numbers);
  EXPECT_EQ(0, g_error_lines.load());
}

TEST_F(IPCChannelTest, SenderWithoutReceiverDropsMessagesQuietly) {
  sender_.Connect(channel_);
  for (int i = 0; i < 5; ++i)
    sender_.Send(NumberedMessage(i));
  sender_.Close();
  sender_.Send(NumberedMessage(5));  // After close: dropped at once.
  ASSERT_TRUE(receiver_.Connect(channel_));
  WaitForMailslot(channel_);
  RunUntilIdle();
  EXPECT_TRUE(delegate_.numbers.empty());
}

// The receiver goes away while the sender goes on: nothing blocks or fails,
// and closing does not wait out the bound on a reader that is gone.
TEST_F(IPCChannelTest, ReceiverThatGoesAwayLeavesTheSenderWorking) {
  ConnectBoth();
  sender_.Send(NumberedMessage(0));
  delegate_.WaitFor(1);
  receiver_.Close();
  for (int i = 1; i < 50; ++i)
    sender_.Send(NumberedMessage(i));
  sender_.Close();
  RunUntilIdle();
  EXPECT_EQ(std::vector<int>{0}, delegate_.numbers);
}

// A delivery already posted to the owner's loop is dropped when the proxy
// goes first, and delivered when the loop runs first.
TEST(IPCReceiverProxyTest, DeliveryQueuedOnTheOwnerIsDroppedWithTheProxy) {
  for (const bool destroy_first : {true, false}) {
    base::MessageLoop loop;
    const base::string16 channel = UniqueChannelName();
    RecordingDelegate delegate;
    std::unique_ptr<IPCReceiverProxy> receiver(new IPCReceiverProxy(&delegate));
    ASSERT_TRUE(receiver->Connect(channel));
    WaitForMailslot(channel);
    const std::unique_ptr<base::Pickle> message = NumberedMessage(1);
    WriteDatagram(channel,
                  std::string(static_cast<const char*>(message->data()),
                              message->size()));
    // Closing runs the IPC thread's queue out: the read is delivered by then.
    ::Sleep(300);
    receiver->Close();
    if (destroy_first)
      receiver.reset();
    RunUntilIdle();
    EXPECT_EQ(destroy_first ? 0u : 1u, delegate.numbers.size())
        << destroy_first;
  }
}

// A mailslot's path is limited: a folder too long to name one still gets a
// channel of its own, where both ends meet; shorter folders keep theirs.
TEST(InstallerChannelNameTest, EveryFolderGetsAChannelThatOpens) {
  base::MessageLoop loop;
  const base::string16 base_folder =
      L"C:\\channel " + std::to_wstring(::GetCurrentProcessId()) + L"\\";
  const struct {
    size_t length;
    bool as_is;
  } cases[] = {
      {3, true}, {230, true}, {231, false}, {247, false}, {400, false}};
  std::vector<base::string16> names;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    base::string16 folder = base_folder;
    folder.resize(std::max(folder.size(), c.length), L'x');
    folder.resize(c.length);
    const base::string16 name = InstallerChannelName(base::FilePath(folder));
    EXPECT_EQ(c.as_is, name == L"vexlo_installer\\" + folder) << name;
    EXPECT_GT(static_cast<size_t>(MAX_PATH), MailslotPath(name).size());
    names.push_back(name);

    RecordingDelegate delegate;
    IPCReceiverProxy receiver(&delegate);
    ASSERT_TRUE(receiver.Connect(name));
    const std::unique_ptr<base::Pickle> message = NumberedMessage(7);
    WriteDatagram(name, std::string(static_cast<const char*>(message->data()),
                                    message->size()));
    delegate.WaitFor(1);
    EXPECT_EQ(std::vector<int>{7}, delegate.numbers);
  }
  // Folders that differ only past the limit do not share a channel.
  base::string16 other = base_folder;
  other.resize(399, L'x');
  EXPECT_NE(names.back(), InstallerChannelName(base::FilePath(other + L"y")));
}

// Whoever creates the mailslot first hears what is written to it: a name
// already held fails the connection rather than leaving the front end deaf.
TEST(IPCReceiverProxyTest, ANameAlreadyHeldFailsTheConnection) {
  base::MessageLoop loop;
  const base::string16 channel = UniqueChannelName();
  base::win::ScopedHandle squatter(
      ::CreateMailslotW(MailslotPath(channel).c_str(), kMaxInstallerMessageSize,
                        MAILSLOT_WAIT_FOREVER, nullptr));
  ASSERT_TRUE(squatter.IsValid());
  RecordingDelegate delegate;
  IPCReceiverProxy receiver(&delegate);
  EXPECT_FALSE(receiver.Connect(channel));
  squatter.Close();
  EXPECT_TRUE(receiver.Connect(channel));
}

// A backend process sends and ends at once; every message arrives.
TEST(IPCChannelProcessTest, ChildSendsEverythingBeforeItEnds) {
  base::MessageLoop loop;
  const base::string16 channel = UniqueChannelName();
  RecordingDelegate delegate;
  IPCReceiverProxy receiver(&delegate);
  ASSERT_TRUE(receiver.Connect(channel));
  WaitForMailslot(channel);
  base::FilePath exe;
  ASSERT_TRUE(base::PathService::Get(base::FILE_EXE, &exe));
  const base::string16 command =
      L"\"" + exe.DirName().Append(L"ipc_channel_test_child.exe").value() +
      L"\" \"" + channel + L"\" 100";
  base::Process child = base::LaunchProcess(command, base::LaunchOptions());
  ASSERT_TRUE(child.IsValid());
  EXPECT_EQ(0u, base::WaitForTestChildExit(child.Handle()));
  delegate.WaitFor(100);
  ASSERT_EQ(100u, delegate.numbers.size());
  for (int i = 0; i < 100; ++i)
    EXPECT_EQ(i, delegate.numbers[i]);
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
