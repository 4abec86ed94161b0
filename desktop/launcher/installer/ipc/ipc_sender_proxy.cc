#include "desktop/launcher/installer/ipc/ipc_sender_proxy.h"

#include <windows.h>

#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "desktop/launcher/installer/ipc/ipc_mailslot_name.h"
#include "desktop/launcher/installer/ipc/ipc_sender.h"

namespace vexlo {
namespace installer {

IPCSenderProxy::IPCSenderProxy() : ipc_thread_(kIPCThreadName) {}

IPCSenderProxy::~IPCSenderProxy() {
  Close();
}

void IPCSenderProxy::Connect(const base::string16& channel_name) {
  if (!StartIPCThread(&ipc_thread_))
    return;
  ipc_thread_.task_runner()->PostTask(
      LOCATION_FROM_HERE("vexlo::installer::IPCSenderProxy::Connect"),
      base::Bind(&IPCSenderProxy::OpenSender, this, channel_name));
}

void IPCSenderProxy::Send(std::unique_ptr<base::Pickle> message) {
  if (!ipc_thread_.task_runner())
    return;
  ipc_thread_.task_runner()->PostTask(
      LOCATION_FROM_HERE("vexlo::installer::IPCSenderProxy::Send"),
      base::Bind(&IPCSenderProxy::SendOnIPCThread, this,
                 base::Owned(message.release())));
}

void IPCSenderProxy::KeepSendingWhileRunning(HANDLE reader) {
  if (!ipc_thread_.task_runner())
    return;
  ipc_thread_.task_runner()->PostTask(
      LOCATION_FROM_HERE(
          "vexlo::installer::IPCSenderProxy::KeepSendingWhileRunning"),
      base::Bind(&IPCSenderProxy::KeepSendingOnIPCThread, this, reader));
}

void IPCSenderProxy::Close() {
  if (ipc_thread_.task_runner()) {
    ipc_thread_.task_runner()->PostNonNestableTask(
        LOCATION_FROM_HERE("vexlo::installer::IPCSenderProxy::Close"),
        base::Bind(&IPCSenderProxy::DestroySender, this));
  }
  ipc_thread_.Stop();
}

void IPCSenderProxy::OpenSender(const base::string16& channel_name) {
  HANDLE mailslot =
      ::CreateFileW(MailslotPath(channel_name).c_str(), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (mailslot == INVALID_HANDLE_VALUE)
    return;
  sender_.reset(new IPCSender(mailslot));
}

void IPCSenderProxy::SendOnIPCThread(base::Pickle* message) {
  if (!sender_)
    return;
  // The bind state keeps its own pointer and deletes it; hand on a copy.
  sender_->Send(std::unique_ptr<base::Pickle>(new base::Pickle(*message)));
}

void IPCSenderProxy::KeepSendingOnIPCThread(HANDLE reader) {
  if (sender_)
    sender_->KeepSendingWhileRunning(reader);
}

void IPCSenderProxy::DestroySender() {
  sender_.reset();
}

}  // namespace installer
}  // namespace vexlo
