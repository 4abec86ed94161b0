#include "desktop/launcher/installer/ipc/ipc_sender.h"

#include <algorithm>
#include <utility>

#include "base/logging.h"
#include "desktop/launcher/installer/ipc/installer_message.h"

namespace vexlo {
namespace installer {

namespace {

// How often closing looks whether the reader still runs.
constexpr base::TimeDelta kReaderCheckInterval =
    base::TimeDelta::FromMicroseconds(100 * 1000);
// How long closing waits for one write while the reader runs.
constexpr base::TimeDelta kReaderStallBound =
    base::TimeDelta::FromMicroseconds(120 * 1000 * 1000);

}  // namespace

IPCSender::IPCSender(HANDLE mailslot)
    : mailslot_(mailslot),
      through_port_(
          base::MessageLoop::current()->RegisterIOHandler(mailslot_.Get(),
                                                          this)) {}

IPCSender::~IPCSender() {
  FlushWithinBound();
  if (write_pending_)
    ::CancelIo(mailslot_.Get());
  mailslot_.Close();
  // The head's buffer may not go while the system can still read it.
  while (write_pending_)
    base::MessageLoop::current()->WaitForIOCompletion(INFINITE, this);
}

void IPCSender::Send(std::unique_ptr<base::Pickle> message) {
  // The reader takes no larger datagram: a write of it would fail at the
  // head of the queue for ever and hold back every later message.
  if (message->size() > kMaxInstallerMessageSize) {
    LOG(ERROR) << "Installer message of " << message->size()
               << " bytes is too large to send";
    return;
  }
  queue_.push_back(std::move(message));
  if (!write_pending_)
    StartWrite();
}

void IPCSender::StartWrite() {
  if (!through_port_) {
    while (!queue_.empty() && WriteHeadAndWait())
      queue_.pop_front();
    return;
  }
  if (!mailslot_.IsValid() || queue_.empty())
    return;
  auto* context = new base::MessageLoop::IOContext();
  ::ZeroMemory(context, sizeof(*context));
  context->handler = this;
  const base::Pickle& head = *queue_.front();
  if (!::WriteFile(mailslot_.Get(), head.data(),
                   static_cast<DWORD>(head.size()), nullptr,
                   &context->overlapped) &&
      ::GetLastError() != ERROR_IO_PENDING) {
    delete context;
    return;
  }
  write_pending_ = true;
}

bool IPCSender::WriteHeadAndWait() {
  if (!mailslot_.IsValid())
    return false;
  base::win::ScopedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event.IsValid())
    return false;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event.Get();
  const base::Pickle& head = *queue_.front();
  DWORD written = 0;
  if (!::WriteFile(mailslot_.Get(), head.data(),
                   static_cast<DWORD>(head.size()), nullptr, &overlapped) &&
      ::GetLastError() != ERROR_IO_PENDING) {
    return false;
  }
  // Whatever the outcome, the message has gone as far as it can.
  ::GetOverlappedResult(mailslot_.Get(), &overlapped, &written, TRUE);
  return true;
}

void IPCSender::OnIOCompleted(base::MessageLoop::IOContext* context,
                              DWORD /*bytes_transfered*/,
                              DWORD /*error*/) {
  delete context;
  write_pending_ = false;
  queue_.pop_front();
  StartWrite();
}

void IPCSender::FlushWithinBound() {
  if (!through_port_) {
    StartWrite();
    return;
  }
  if (!write_pending_)
    StartWrite();
  base::TimeTicks last_write = base::TimeTicks::Now();
  base::TimeTicks deadline = last_write + kCloseFlushBound;
  size_t queued = queue_.size();
  while (write_pending_) {
    const base::TimeTicks now = base::TimeTicks::Now();
    if (queue_.size() < queued) {
      queued = queue_.size();
      last_write = now;
    }
    // Another writer can keep the mailslot full, and its blocked writes
    // take the room that a read makes before an overlapped one does: while
    // the reader runs, the queue goes out in the end, however slowly. One
    // that lets nothing through for long no longer reads.
    if (ReaderRuns() && now - last_write < kReaderStallBound)
      deadline = now + kCloseFlushBound;
    const base::TimeDelta left = deadline - now;
    if (left <= base::TimeDelta())
      return;
    base::MessageLoop::current()->WaitForIOCompletion(
        static_cast<DWORD>(
            std::min(left, kReaderCheckInterval).InMillisecondsRoundedUp()),
        this);
  }
}

bool IPCSender::ReaderRuns() const {
  return reader_ && ::WaitForSingleObject(reader_, 0) == WAIT_TIMEOUT;
}

}  // namespace installer
}  // namespace vexlo
