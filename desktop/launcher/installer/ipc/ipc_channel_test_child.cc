// Sends numbered messages to a mailslot and ends at once after closing the
// channel, as a backend does after its last report.
#include <stdlib.h>

#include <memory>
#include <utility>

#include "base/message_loop/message_loop.h"
#include "base/pickle.h"
#include "desktop/launcher/installer/ipc/ipc_sender_proxy.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3)
    return 2;
  base::MessageLoop loop;
  vexlo::installer::IPCSenderProxy sender;
  sender.Connect(argv[1]);
  const int count = _wtoi(argv[2]);
  for (int i = 0; i < count; ++i) {
    std::unique_ptr<base::Pickle> message(new base::Pickle());
    message->Write4Bytes(i);
    sender.Send(std::move(message));
  }
  sender.Close();
  return 0;
}
