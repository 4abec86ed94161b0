#ifndef DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_RECEIVER_H_
#define DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_RECEIVER_H_

#include <windows.h>

#include <memory>

#include "base/memory/weak_ptr.h"
#include "base/message_loop/message_loop.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/ipc/ipc_receiver_delegate.h"

namespace vexlo {
namespace installer {

// The receiving end of the mailslot; lives on the IPC thread only. Where the
// loop's completion port takes the mailslot a read is always in flight;
// where it refuses it (Wine), the loop reads with a short time-out and runs
// its queued tasks between reads, so the thread can still be stopped.
class IPCReceiver : public base::MessageLoop::IOHandler {
 public:
  // The mailslot read time-out set for polling, in ms.
  static constexpr DWORD kPollTimeoutMs = 50;
  // Sets the polling read time-out of the receivers started from now on;
  // kPollTimeoutMs restores it.
  static void SetPollTimeoutForTesting(DWORD timeout_ms);
  // The most datagrams that DeliverWaiting reads.
  static constexpr int kMaxWaitingDelivered = 10000;
  // Sets that bound for DeliverWaiting from now on; kMaxWaitingDelivered
  // restores it.
  static void SetMaxWaitingDeliveredForTesting(int count);

  // |delegate| must outlive the receiver.
  IPCReceiver(HANDLE mailslot, IPCReceiverDelegate* delegate);
  IPCReceiver(const IPCReceiver&) = delete;
  IPCReceiver& operator=(const IPCReceiver&) = delete;
  ~IPCReceiver() override;

  // Starts listening on the current (IO) loop.
  void Start();
  // Delivers the messages waiting in the mailslot, up to a bound, before it
  // returns: a caller who knows that a writer has ended hears all it wrote,
  // whatever the reads in flight or the polling were doing.
  void DeliverWaiting();

  // base::MessageLoop::IOHandler:
  void OnIOCompleted(base::MessageLoop::IOContext* context,
                     DWORD bytes_transfered,
                     DWORD error) override;

 private:
  void StartRead();
  void PollOnce();
  // One polling read; false when the mailslot became unusable.
  bool ReadOnce();
  bool HasWaitingMessage() const;
  void SchedulePoll();
  void Deliver(DWORD bytes);

  base::win::ScopedHandle mailslot_;
  IPCReceiverDelegate* delegate_;
  std::unique_ptr<char[]> buffer_;
  bool read_pending_ = false;
  // The event of the polling reads; valid only while polling.
  base::win::ScopedHandle poll_event_;
  base::WeakPtrFactory<IPCReceiver> weak_factory_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_RECEIVER_H_
