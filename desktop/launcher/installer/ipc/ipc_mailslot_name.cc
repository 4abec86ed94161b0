#include "desktop/launcher/installer/ipc/ipc_mailslot_name.h"

#include "base/logging.h"

namespace vexlo {
namespace installer {

const char kIPCThreadName[] = "Installer IPC thread";

base::string16 InstallerChannelName(const base::FilePath& install_folder) {
  return L"vexlo_installer\\" + install_folder.value();
}

base::string16 MailslotPath(const base::string16& channel_name) {
  return L"\\\\.\\mailslot\\" + channel_name;
}

bool StartIPCThread(base::Thread* thread) {
  base::Thread::Options options;
  options.message_loop_type = base::MessageLoop::TYPE_IO;
  if (thread->StartWithOptions(options))
    return true;
  LOG(ERROR) << "Could not start IPC thread";
  return false;
}

}  // namespace installer
}  // namespace vexlo
