#ifndef DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_SENDER_PROXY_H_
#define DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_SENDER_PROXY_H_

#include <windows.h>

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
  // From now on, while |reader|, the process that reads the mailslot, runs,
  // closing goes on sending what is queued however slowly a full mailslot
  // takes it. |reader| must outlive the proxy.
  void KeepSendingWhileRunning(HANDLE reader);
  // Sends what is still queued, while the reader runs and for a bounded
  // time after, then stops the thread.
  void Close();

 private:
  void OpenSender(const base::string16& channel_name);
  void SendOnIPCThread(base::Pickle* message);
  void KeepSendingOnIPCThread(HANDLE reader);
  void DestroySender();

  base::Thread ipc_thread_;
  // Used on the IPC thread only.
  std::unique_ptr<IPCSender> sender_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_SENDER_PROXY_H_
