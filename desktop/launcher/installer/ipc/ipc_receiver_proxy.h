#ifndef DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_RECEIVER_PROXY_H_
#define DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_RECEIVER_PROXY_H_

#include <memory>

#include "base/memory/weak_ptr.h"
#include "base/message_loop/message_loop.h"
#include "base/pickle.h"
#include "base/strings/string16.h"
#include "base/threading/thread.h"
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

  // Creates the mailslot named after |channel_name| on the IPC thread. False
  // only when the thread cannot start.
  bool Connect(const base::string16& channel_name);
  void Close();

  // IPCReceiverDelegate, on the IPC thread:
  void OnMessageReceived(const base::Pickle& message) override;

 private:
  void CreateReceiver(const base::string16& channel_name);
  void DestroyReceiver();
  void DeliverOnOwnerThread(base::Pickle* message);

  base::Thread ipc_thread_;
  base::MessageLoop* owner_loop_;
  // Used on the IPC thread only.
  std::unique_ptr<IPCReceiver> receiver_;
  IPCReceiverDelegate* delegate_;
  // Taken on the owner's thread, followed there only.
  base::WeakPtr<IPCReceiverProxy> weak_this_;
  base::WeakPtrFactory<IPCReceiverProxy> weak_factory_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_RECEIVER_PROXY_H_
