#ifndef DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_SENDER_H_
#define DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_SENDER_H_

#include <windows.h>

#include <deque>
#include <memory>

#include "base/message_loop/message_loop.h"
#include "base/pickle.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"

namespace vexlo {
namespace installer {

// The sending end of the mailslot; lives on the IPC thread only. Messages
// leave one datagram each, in the order given, at most one write in flight.
// Where the loop's completion port refuses the mailslot (Wine), each write
// is waited for on the IPC thread; a mailslot write never waits for the
// reader.
class IPCSender : public base::MessageLoop::IOHandler {
 public:
  // How long closing goes on sending what is still queued once the reader
  // has ended, or when none is known.
  static constexpr base::TimeDelta kCloseFlushBound =
      base::TimeDelta::FromMicroseconds(2000 * 1000);

  // Takes |mailslot|, a client handle opened for overlapped writes, and
  // ties it to the current (IO) loop.
  explicit IPCSender(HANDLE mailslot);
  IPCSender(const IPCSender&) = delete;
  IPCSender& operator=(const IPCSender&) = delete;
  // Sends what is queued while the reader runs and for kCloseFlushBound
  // after, then drops the rest: the last message is often the
  // installation's result.
  ~IPCSender() override;

  void Send(std::unique_ptr<base::Pickle> message);
  // While |reader|, the process that reads the mailslot, runs, closing goes
  // on sending what is queued however slowly a full mailslot takes it (a
  // write at least every 2 minutes). |reader| must outlive the sender.
  void KeepSendingWhileRunning(HANDLE reader) { reader_ = reader; }

  // base::MessageLoop::IOHandler:
  void OnIOCompleted(base::MessageLoop::IOContext* context,
                     DWORD bytes_transfered,
                     DWORD error) override;

 private:
  void StartWrite();
  // Writes the queue's head and waits for it; false when it cannot start.
  bool WriteHeadAndWait();
  void FlushWithinBound();
  bool ReaderRuns() const;

  base::win::ScopedHandle mailslot_;
  HANDLE reader_ = nullptr;
  bool through_port_;
  std::deque<std::unique_ptr<base::Pickle>> queue_;
  bool write_pending_ = false;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_SENDER_H_
