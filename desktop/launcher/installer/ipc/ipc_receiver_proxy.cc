#include "desktop/launcher/installer/ipc/ipc_receiver_proxy.h"

#include <windows.h>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "desktop/launcher/installer/ipc/installer_message.h"
#include "desktop/launcher/installer/ipc/ipc_mailslot_name.h"
#include "desktop/launcher/installer/ipc/ipc_receiver.h"

namespace vexlo {
namespace installer {

IPCReceiverProxy::IPCReceiverProxy(IPCReceiverDelegate* delegate)
    : ipc_thread_(kIPCThreadName),
      owner_loop_(base::MessageLoop::current()),
      delegate_(delegate),
      weak_factory_(this) {
  weak_this_ = weak_factory_.GetWeakPtr();
}

IPCReceiverProxy::~IPCReceiverProxy() {
  Close();
  weak_factory_.InvalidateWeakPtrs();
}

bool IPCReceiverProxy::Connect(const base::string16& channel_name) {
  if (!StartIPCThread(&ipc_thread_))
    return false;
  ipc_thread_.task_runner()->PostTask(
      LOCATION_FROM_HERE("vexlo::installer::IPCReceiverProxy::Connect"),
      base::Bind(&IPCReceiverProxy::CreateReceiver, this, channel_name));
  return true;
}

void IPCReceiverProxy::Close() {
  if (ipc_thread_.task_runner()) {
    ipc_thread_.task_runner()->PostNonNestableTask(
        LOCATION_FROM_HERE("vexlo::installer::IPCReceiverProxy::Close"),
        base::Bind(&IPCReceiverProxy::DestroyReceiver, this));
  }
  ipc_thread_.Stop();
}

void IPCReceiverProxy::CreateReceiver(const base::string16& channel_name) {
  HANDLE mailslot = ::CreateMailslotW(MailslotPath(channel_name).c_str(),
                                      kMaxInstallerMessageSize,
                                      MAILSLOT_WAIT_FOREVER, nullptr);
  if (mailslot == INVALID_HANDLE_VALUE)
    return;
  receiver_.reset(new IPCReceiver(mailslot, this));
  receiver_->Start();
}

void IPCReceiverProxy::DestroyReceiver() {
  receiver_.reset();
}

void IPCReceiverProxy::OnMessageReceived(const base::Pickle& message) {
  owner_loop_->PostTask(
      LOCATION_FROM_HERE(
          "vexlo::installer::IPCReceiverProxy::OnMessageReceived"),
      base::Bind(&IPCReceiverProxy::DeliverOnOwnerThread, weak_this_,
                 base::Owned(new base::Pickle(message))));
}

void IPCReceiverProxy::DeliverOnOwnerThread(base::Pickle* message) {
  delegate_->OnMessageReceived(*message);
}

}  // namespace installer
}  // namespace vexlo
