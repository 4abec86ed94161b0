#include "desktop/launcher/installer/ipc/ipc_sender.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/pickle.h"
#include "base/threading/thread.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/ipc/ipc_mailslot_name.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr int kMessages = 40;
constexpr DWORD kPipeBuffer = 1024;

// A message pipe whose reading end the test holds. Unlike a mailslot under
// Wine it takes a completion port, and its writes wait for the reader once
// its small buffer is full: the sender works as it does on Windows, with
// writes in flight and messages queued behind them.
class SlowReaderPipe {
 public:
  SlowReaderPipe() {
    static int serial = 0;
    const base::string16 name = L"\\\\.\\pipe\\vexlo_ipc_sender_test_" +
                                std::to_wstring(::GetCurrentProcessId()) +
                                L"_" + std::to_wstring(++serial);
    reader_.Set(::CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_INBOUND,
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 0,
        kPipeBuffer, 0, nullptr));
    EXPECT_TRUE(reader_.IsValid());
    writer_ = ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, writer_);
  }

  // The writing end, for the sender to own.
  HANDLE writer() const { return writer_; }

  // The numbers of the messages that arrived, reading until the writer has
  // closed its end.
  std::vector<int> ReadAll() {
    std::vector<int> numbers;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(reader_.Get(), buffer, sizeof(buffer), &read, nullptr)) {
      const base::Pickle message(buffer, static_cast<int>(read));
      base::PickleIterator iterator(message);
      int number = -1;
      EXPECT_TRUE(iterator.ReadInt(&number));
      numbers.push_back(number);
    }
    return numbers;
  }

 private:
  base::win::ScopedHandle reader_;
  HANDLE writer_;
};

// On the IPC thread: queues every message, then closes the sender.
void SendAllAndClose(HANDLE writer, HANDLE closed) {
  std::unique_ptr<IPCSender> sender(new IPCSender(writer));
  for (int i = 0; i < kMessages; ++i) {
    std::unique_ptr<base::Pickle> message(new base::Pickle());
    message->Write4Bytes(i);
    message->WriteString(std::string(200, 'x'));
    sender->Send(std::move(message));
  }
  sender.reset();
  ::SetEvent(closed);
}

// Closing goes on sending what is queued, so the last messages (the
// installation's result) are not lost; a reader that takes nothing holds
// the close up only for the bound, and then the rest is dropped.
TEST(IPCSenderTest, CloseSendsWhatIsQueuedWithinABound) {
  for (bool reader_reads : {true, false}) {
    SCOPED_TRACE(reader_reads ? "reading" : "not reading");
    SlowReaderPipe pipe;
    base::Thread thread(kIPCThreadName);
    ASSERT_TRUE(StartIPCThread(&thread));
    base::win::ScopedHandle closed(
        ::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    thread.task_runner()->PostTask(
        LOCATION_FROM_HERE("IPCSenderTest"),
        base::Bind(&SendAllAndClose, pipe.writer(), closed.Get()));
    if (!reader_reads) {
      ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(closed.Get(), 30000))
          << "the close did not end";
    }
    const std::vector<int> numbers = pipe.ReadAll();
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(closed.Get(), 30000));
    if (reader_reads)
      ASSERT_EQ(static_cast<size_t>(kMessages), numbers.size());
    else
      ASSERT_LT(numbers.size(), static_cast<size_t>(kMessages));
    for (size_t i = 0; i < numbers.size(); ++i)
      EXPECT_EQ(static_cast<int>(i), numbers[i]);
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
