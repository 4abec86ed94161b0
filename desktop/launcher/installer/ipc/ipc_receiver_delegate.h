#ifndef DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_RECEIVER_DELEGATE_H_
#define DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_RECEIVER_DELEGATE_H_

#include "base/pickle.h"

namespace vexlo {
namespace installer {

// Told of each non-empty datagram the mailslot receives, in arrival order.
class IPCReceiverDelegate {
 public:
  virtual ~IPCReceiverDelegate() = default;
  virtual void OnMessageReceived(const base::Pickle& message) = 0;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_RECEIVER_DELEGATE_H_
