#ifndef DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_MAILSLOT_NAME_H_
#define DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_MAILSLOT_NAME_H_

#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "base/threading/thread.h"

namespace vexlo {
namespace installer {

// The name of each side's IPC thread.
extern const char kIPCThreadName[];

// The channel on which the front end and the backend of an installation
// into |install_folder| meet: the folder as it stands, backslashes kept, or,
// when that would make the mailslot's path too long, the folder's SHA-1
// digest in hexadecimal.
base::string16 InstallerChannelName(const base::FilePath& install_folder);

// The path of the mailslot of the channel |channel_name|.
base::string16 MailslotPath(const base::string16& channel_name);

// Starts |thread| with an IO loop; logs and returns false when it cannot.
bool StartIPCThread(base::Thread* thread);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_IPC_IPC_MAILSLOT_NAME_H_
