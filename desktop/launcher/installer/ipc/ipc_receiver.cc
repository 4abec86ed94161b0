#include "desktop/launcher/installer/ipc/ipc_receiver.h"

#include <winternl.h>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "desktop/launcher/installer/ipc/installer_message.h"

namespace vexlo {
namespace installer {

namespace {

// Whether |handle| was opened for overlapped I/O. One opened for synchronous
// I/O only cannot join a completion port (Wine opens every mailslot so).
bool TakesOverlappedIO(HANDLE handle) {
  IO_STATUS_BLOCK status = {};
  FILE_MODE_INFORMATION mode = {};
  if (!NT_SUCCESS(::NtQueryInformationFile(handle, &status, &mode, sizeof(mode),
                                           FileModeInformation))) {
    // Let the port decide.
    return true;
  }
  return !(mode.Mode &
           (FILE_SYNCHRONOUS_IO_ALERT | FILE_SYNCHRONOUS_IO_NONALERT));
}

DWORD g_poll_timeout_ms = IPCReceiver::kPollTimeoutMs;
int g_max_waiting_delivered = IPCReceiver::kMaxWaitingDelivered;

// Wine takes datagrams of any size into a mailslot and cuts one longer than
// a read without a word: a read one byte longer than the largest message
// tells a datagram over the limit from one at it.
constexpr DWORD kReadSize = kMaxInstallerMessageSize + 1;

}  // namespace

// static
void IPCReceiver::SetPollTimeoutForTesting(DWORD timeout_ms) {
  g_poll_timeout_ms = timeout_ms;
}

// static
void IPCReceiver::SetMaxWaitingDeliveredForTesting(int count) {
  g_max_waiting_delivered = count;
}

IPCReceiver::IPCReceiver(HANDLE mailslot, IPCReceiverDelegate* delegate)
    : mailslot_(mailslot),
      delegate_(delegate),
      buffer_(new char[kReadSize]),
      weak_factory_(this) {}

IPCReceiver::~IPCReceiver() {
  weak_factory_.InvalidateWeakPtrs();
  if (read_pending_)
    ::CancelIo(mailslot_.Get());
  mailslot_.Close();
  // The buffer may not go while the system can still write into it.
  while (read_pending_)
    base::MessageLoop::current()->WaitForIOCompletion(INFINITE, this);
}

void IPCReceiver::Start() {
  if (TakesOverlappedIO(mailslot_.Get()) &&
      base::MessageLoop::current()->RegisterIOHandler(mailslot_.Get(), this)) {
    StartRead();
    return;
  }
  LOG(INFO) << "The mailslot takes no completion port here; polling it";
  poll_event_.Set(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!poll_event_.IsValid() ||
      !::SetMailslotInfo(mailslot_.Get(), g_poll_timeout_ms)) {
    return;
  }
  SchedulePoll();
}

void IPCReceiver::StartRead() {
  if (!mailslot_.IsValid())
    return;
  auto* context = new base::MessageLoop::IOContext();
  ::ZeroMemory(context, sizeof(*context));
  context->handler = this;
  if (!::ReadFile(mailslot_.Get(), buffer_.get(), kReadSize, nullptr,
                  &context->overlapped) &&
      ::GetLastError() != ERROR_IO_PENDING) {
    delete context;
    return;
  }
  read_pending_ = true;
}

void IPCReceiver::OnIOCompleted(base::MessageLoop::IOContext* context,
                                DWORD bytes_transfered,
                                DWORD /*error*/) {
  Deliver(bytes_transfered);
  delete context;
  read_pending_ = false;
  StartRead();
}

void IPCReceiver::SchedulePoll() {
  base::MessageLoop::current()->PostTask(
      LOCATION_FROM_HERE("vexlo::installer::IPCReceiver::SchedulePoll"),
      base::Bind(&IPCReceiver::PollOnce, weak_factory_.GetWeakPtr()));
}

void IPCReceiver::PollOnce() {
  if (ReadOnce())
    SchedulePoll();
}

void IPCReceiver::DeliverWaiting() {
  if (!mailslot_.IsValid())
    return;
  // A writer that goes on writing, whoever it is, must not hold the caller
  // for good: reading stops after a bound far above what a run sends.
  int budget = g_max_waiting_delivered;
  if (!poll_event_.IsValid()) {
    // Each completion delivers its message and starts the next read, which
    // completes at once while messages wait.
    while (budget-- > 0 && read_pending_ &&
           base::MessageLoop::current()->WaitForIOCompletion(0, this)) {
    }
    return;
  }
  // The count of waiting datagrams is not to be trusted (Wine says 1 for
  // any number): each read asks again whether one waits.
  while (budget-- > 0 && HasWaitingMessage() && ReadOnce()) {
  }
}

// One read bounded by the mailslot's read time-out; an overlapped read
// blocks there like a synchronous one, elsewhere it is waited for.
bool IPCReceiver::ReadOnce() {
  OVERLAPPED overlapped = {};
  overlapped.hEvent = poll_event_.Get();
  ::ResetEvent(overlapped.hEvent);
  DWORD bytes = 0;
  const BOOL started = ::ReadFile(mailslot_.Get(), buffer_.get(), kReadSize,
                                  nullptr, &overlapped);
  const DWORD error = started ? ERROR_SUCCESS : ::GetLastError();
  if (started || error == ERROR_IO_PENDING) {
    if (::GetOverlappedResult(mailslot_.Get(), &overlapped, &bytes, TRUE))
      Deliver(bytes);
    return true;
  }
  // Any other error than the time-out leaves the mailslot unusable:
  // listening ends, as with the port. (Wine reports an empty datagram as a
  // broken pipe and reads on after it.)
  return error == ERROR_SEM_TIMEOUT || error == ERROR_BROKEN_PIPE;
}

bool IPCReceiver::HasWaitingMessage() const {
  DWORD waiting = 0;
  return ::GetMailslotInfo(mailslot_.Get(), nullptr, nullptr, &waiting,
                           nullptr) &&
         waiting > 0;
}

void IPCReceiver::Deliver(DWORD bytes) {
  // No sender of ours writes more: the first bytes of a longer datagram
  // could pass for a message of their own.
  if (bytes == 0 || bytes > kMaxInstallerMessageSize)
    return;
  base::Pickle message(buffer_.get(), static_cast<int>(bytes));
  delegate_->OnMessageReceived(message);
}

}  // namespace installer
}  // namespace vexlo
