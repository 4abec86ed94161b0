#ifndef DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_RECEIVER_PROXY_H_
#define DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_RECEIVER_PROXY_H_

#include <windows.h>

#include <memory>

#include "base/callback.h"
#include "base/memory/weak_ptr.h"
#include "base/message_loop/message_loop.h"
#include "base/pickle.h"
#include "base/strings/string16.h"
#include "base/threading/thread.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/ipc/ipc_receiver_delegate.h"

namespace vexlo {
namespace installer {

class IPCReceiver;

// The front end's side of the channel, used on the owner's thread: it runs
// the receiving mailslot on an IPC thread of its own and tells its delegate
// of each message on the owner's thread.
class IPCReceiverProxy : public IPCReceiverDelegate {
 public:
  // |delegate| must outlive the proxy. The current loop is the owner's.
  explicit IPCReceiverProxy(IPCReceiverDelegate* delegate);
  IPCReceiverProxy(const IPCReceiverProxy&) = delete;
  IPCReceiverProxy& operator=(const IPCReceiverProxy&) = delete;
  // Closes; deliveries still queued for the owner are dropped.
  ~IPCReceiverProxy() override;

  // Creates the mailslot named after |channel_name| and listens on it on the
  // IPC thread. False, logged, when the mailslot cannot be created (another
  // process may hold the name) or the thread cannot start.
  bool Connect(const base::string16& channel_name);
  void Close();
  // Runs |done| on the owner's thread once every message waiting in the
  // mailslot now has been delivered there: the writers have ended, and
  // their last words must not arrive after the news of their end. Runs it
  // at once when the channel is not connected.
  void DeliverWaiting(const base::Closure& done);

  // IPCReceiverDelegate, on the IPC thread:
  void OnMessageReceived(const base::Pickle& message) override;

 private:
  // Takes |mailslot| over.
  void CreateReceiver(HANDLE mailslot);
  void DestroyReceiver();
  void DeliverWaitingOnIPCThread(const base::Closure& done);
  void DeliverOnOwnerThread(base::Pickle* message);
  // Ends a polling read on the IPC thread at once, so that what was just
  // posted there runs without waiting out the read's time-out. Only while
  // the receiver lives and reads: the write blocks while the mailslot is
  // full.
  void WakeIPCThread();

  base::Thread ipc_thread_;
  base::MessageLoop* owner_loop_;
  // Used on the IPC thread only.
  std::unique_ptr<IPCReceiver> receiver_;
  // A writing end of the proxy's own mailslot, on the owner's thread: an
  // empty datagram written there ends a read that blocks the IPC thread,
  // and is never delivered.
  base::win::ScopedHandle wake_;
  IPCReceiverDelegate* delegate_;
  // Taken on the owner's thread, followed there only.
  base::WeakPtr<IPCReceiverProxy> weak_this_;
  base::WeakPtrFactory<IPCReceiverProxy> weak_factory_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_RECEIVER_PROXY_H_
