#include "desktop/launcher/installer/ipc/ipc_mailslot_name.h"

#include <windows.h>

#include "base/logging.h"
#include "base/sha1.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"

namespace vexlo {
namespace installer {

namespace {

constexpr wchar_t kChannelPrefix[] = L"vexlo_installer\\";
// The longest mailslot path that creating or opening a mailslot takes: a
// longer one fails with ERROR_FILENAME_EXCED_RANGE.
constexpr size_t kMaxMailslotPathLength = MAX_PATH - 1;

}  // namespace

const char kIPCThreadName[] = "Installer IPC thread";

base::string16 InstallerChannelName(const base::FilePath& install_folder) {
  const base::string16& folder = install_folder.value();
  const base::string16 name = kChannelPrefix + folder;
  if (MailslotPath(name).size() <= kMaxMailslotPathLength)
    return name;
  // A folder too long to name a mailslot would leave the front end and its
  // backend without a channel. Both sides derive the name from the same
  // folder text, so its digest still makes them meet; no absolute folder
  // path is forty hexadecimal digits.
  unsigned char digest[base::kSha1Length];
  base::ComputeSha1Digest(reinterpret_cast<const unsigned char*>(folder.data()),
                          folder.size() * sizeof(wchar_t), digest);
  return kChannelPrefix +
         base::ASCIIToUTF16(base::HexEncode(digest, sizeof(digest)));
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
