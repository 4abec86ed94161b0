// Sends numbered messages to a mailslot and ends at once after closing the
// channel, as a backend does after its last report. With "squat" it holds a
// channel's mailslot itself; with "spoof" it writes datagrams into one, as
// foreign processes of the same user could.
#include <windows.h>

#include <stdlib.h>
#include <wchar.h>

#include <memory>
#include <string>
#include <utility>

#include "base/message_loop/message_loop.h"
#include "base/pickle.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/ipc/installer_message.h"
#include "desktop/launcher/installer/ipc/ipc_mailslot_name.h"
#include "desktop/launcher/installer/ipc/ipc_sender_proxy.h"

namespace {

using vexlo::installer::MailslotPath;

// Every wait and every flood ends by itself.
constexpr DWORD kMaxLifeMs = 60000;
constexpr int kMaxDatagrams = 20000;

int SendNumbered(const wchar_t* channel, int count) {
  base::MessageLoop loop;
  vexlo::installer::IPCSenderProxy sender;
  sender.Connect(channel);
  for (int i = 0; i < count; ++i) {
    std::unique_ptr<base::Pickle> message(new base::Pickle());
    message->Write4Bytes(i);
    sender.Send(std::move(message));
  }
  sender.Close();
  return 0;
}

// Creates the mailslot of |channel| before its front end can, says so
// through the event |ready| and holds it until the event |release| is set.
int Squat(const wchar_t* channel,
          const wchar_t* ready,
          const wchar_t* release) {
  base::win::ScopedHandle slot(::CreateMailslotW(
      MailslotPath(channel).c_str(), 2048, MAILSLOT_WAIT_FOREVER, nullptr));
  if (!slot.IsValid())
    return 3;
  base::win::ScopedHandle ready_event(
      ::OpenEventW(EVENT_MODIFY_STATE, FALSE, ready));
  base::win::ScopedHandle release_event(
      ::OpenEventW(SYNCHRONIZE, FALSE, release));
  if (!ready_event.IsValid() || !release_event.IsValid())
    return 4;
  ::SetEvent(ready_event.Get());
  ::WaitForSingleObject(release_event.Get(), kMaxLifeMs);
  return 0;
}

// The datagram of |kind|: "junk" (no installer message), or the type of an
// installer message, a failure's with a code and texts of its own.
std::string Datagram(const wchar_t* kind) {
  if (wcscmp(kind, L"junk") == 0)
    return std::string(32, 'j');
  const int type = _wtoi(kind);
  std::unique_ptr<base::Pickle> message =
      vexlo::installer::CreateInstallerMessage(type);
  if (type == vexlo::installer::kInstallationFailedMessage) {
    message->Write4Bytes(37054);
    message->WriteString16(L"spoofed");
    message->WriteString("Spoofed failure");
  }
  return std::string(static_cast<const char*>(message->data()),
                     message->size());
}

// Writes datagrams of |kind| into the mailslot of |channel| whenever it
// exists, until the event |release| is set.
int Spoof(const wchar_t* channel, const wchar_t* kind, const wchar_t* release) {
  const std::string datagram = Datagram(kind);
  base::win::ScopedHandle release_event(
      ::OpenEventW(SYNCHRONIZE, FALSE, release));
  if (!release_event.IsValid())
    return 4;
  const DWORD start = ::GetTickCount();
  int written = 0;
  base::win::ScopedHandle slot;
  while (written < kMaxDatagrams && ::GetTickCount() - start < kMaxLifeMs &&
         ::WaitForSingleObject(release_event.Get(), 0) == WAIT_TIMEOUT) {
    if (!slot.IsValid()) {
      slot.Set(::CreateFileW(MailslotPath(channel).c_str(), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!slot.IsValid()) {
        ::Sleep(1);
        continue;
      }
    }
    DWORD bytes = 0;
    if (::WriteFile(slot.Get(), datagram.data(),
                    static_cast<DWORD>(datagram.size()), &bytes, nullptr)) {
      ++written;
    } else {
      // The front end closed its mailslot; a later run may open another.
      slot.Close();
    }
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3)
    return SendNumbered(argv[1], _wtoi(argv[2]));
  if (argc == 5 && wcscmp(argv[1], L"squat") == 0)
    return Squat(argv[2], argv[3], argv[4]);
  if (argc == 5 && wcscmp(argv[1], L"spoof") == 0)
    return Spoof(argv[2], argv[3], argv[4]);
  return 2;
}
