#include "desktop/launcher/installer/ipc/ipc_receiver_proxy.h"

#include <windows.h>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/win/scoped_handle.h"
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
  // Created here, not on the IPC thread, so that a name another process
  // holds fails the connection: whoever created the mailslot first would
  // otherwise hear the backend instead of this front end.
  const base::string16 path = MailslotPath(channel_name);
  base::win::ScopedHandle mailslot(::CreateMailslotW(
      path.c_str(), kMaxInstallerMessageSize, MAILSLOT_WAIT_FOREVER, nullptr));
  if (!mailslot.IsValid()) {
    const DWORD error = ::GetLastError();
    LOG(ERROR) << "Could not create the mailslot " << path.c_str() << ": error "
               << error
               << (error == ERROR_ALREADY_EXISTS
                       ? ", another process holds its name"
                       : "");
    return false;
  }
  if (!StartIPCThread(&ipc_thread_))
    return false;
  wake_.Set(::CreateFileW(path.c_str(), GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ipc_thread_.task_runner()->PostTask(
      LOCATION_FROM_HERE("vexlo::installer::IPCReceiverProxy::Connect"),
      base::Bind(&IPCReceiverProxy::CreateReceiver, this, mailslot.Take()));
  return true;
}

void IPCReceiverProxy::Close() {
  if (ipc_thread_.task_runner()) {
    ipc_thread_.task_runner()->PostNonNestableTask(
        LOCATION_FROM_HERE("vexlo::installer::IPCReceiverProxy::Close"),
        base::Bind(&IPCReceiverProxy::DestroyReceiver, this));
    // No wake here: a writer blocks while the mailslot is full, and once the
    // receiver is gone nobody would read to let it go (a foreign process can
    // keep it full). The end waits out one polling read instead.
  }
  ipc_thread_.Stop();
  wake_.Close();
}

void IPCReceiverProxy::DeliverWaiting(const base::Closure& done) {
  if (!ipc_thread_.task_runner()) {
    done.Run();
    return;
  }
  ipc_thread_.task_runner()->PostTask(
      LOCATION_FROM_HERE("vexlo::installer::IPCReceiverProxy::DeliverWaiting"),
      base::Bind(&IPCReceiverProxy::DeliverWaitingOnIPCThread, this, done));
  WakeIPCThread();
}

void IPCReceiverProxy::WakeIPCThread() {
  if (!wake_.IsValid())
    return;
  DWORD written = 0;
  ::WriteFile(wake_.Get(), "", 0, &written, nullptr);
}

void IPCReceiverProxy::DeliverWaitingOnIPCThread(const base::Closure& done) {
  if (receiver_)
    receiver_->DeliverWaiting();
  // Deliveries were posted to the owner before this, so they run first.
  owner_loop_->PostTask(
      LOCATION_FROM_HERE(
          "vexlo::installer::IPCReceiverProxy::DeliverWaitingOnIPCThread"),
      done);
}

void IPCReceiverProxy::CreateReceiver(HANDLE mailslot) {
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
