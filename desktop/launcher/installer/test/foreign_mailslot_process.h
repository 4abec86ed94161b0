#ifndef DESKTOP_LAUNCHER_INSTALLER_TEST_FOREIGN_MAILSLOT_PROCESS_H_
#define DESKTOP_LAUNCHER_INSTALLER_TEST_FOREIGN_MAILSLOT_PROCESS_H_

#include "base/process/process.h"
#include "base/strings/string16.h"
#include "base/win/scoped_handle.h"

namespace vexlo {
namespace installer {

// A process of the same user beside a run: "squat" holds the mailslot of
// |channel| before the front end can, "spoof" writes datagrams of |kind|
// ("junk", or an installer message type) into it as fast as the mailslot
// takes them. It ends when this object goes, or by itself after a minute.
class ForeignMailslotProcess {
 public:
  ForeignMailslotProcess(const wchar_t* mode,
                         const base::string16& channel,
                         const wchar_t* kind = L"");
  ForeignMailslotProcess(const ForeignMailslotProcess&) = delete;
  ForeignMailslotProcess& operator=(const ForeignMailslotProcess&) = delete;
  ~ForeignMailslotProcess();

  // True once a squatter holds the name.
  bool WaitUntilReady();

 private:
  base::win::ScopedHandle ready_;
  base::win::ScopedHandle release_;
  base::Process process_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_TEST_FOREIGN_MAILSLOT_PROCESS_H_
