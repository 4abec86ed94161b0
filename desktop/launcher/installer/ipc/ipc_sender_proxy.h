#ifndef DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_SENDER_PROXY_H_
#define DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_SENDER_PROXY_H_

#include <memory>

#include "base/message_loop/message_loop.h"
#include "base/pickle.h"
#include "base/strings/string16.h"
#include "base/threading/thread.h"

namespace vexlo {
namespace installer {

class IPCSender;

// The backend's side of the channel, used on the owner's thread: it writes
// to the front end's mailslot from an IPC thread of its own. Without a
// mailslot to write to, messages are dropped silently.
class IPCSenderProxy {
 public:
  IPCSenderProxy();
  IPCSenderProxy(const IPCSenderProxy&) = delete;
  IPCSenderProxy& operator=(const IPCSenderProxy&) = delete;
  ~IPCSenderProxy();

  void Connect(const base::string16& channel_name);
  void Send(std::unique_ptr<base::Pickle> message);
  // Sends what is still queued, for a bounded time, then stops the thread.
  void Close();

 private:
  void OpenSender(const base::string16& channel_name);
  void SendOnIPCThread(base::Pickle* message);
  void DestroySender();

  base::Thread ipc_thread_;
  // Used on the IPC thread only.
  std::unique_ptr<IPCSender> sender_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_SENDER_PROXY_H_
