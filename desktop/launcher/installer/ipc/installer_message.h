#ifndef DESKTOP_LAUNCHER_INSTALLER_IPC_INSTALLER_MESSAGE_H_
#define DESKTOP_LAUNCHER_INSTALLER_IPC_INSTALLER_MESSAGE_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "base/observer_list.h"
#include "base/pickle.h"
#include "base/strings/string16.h"
#include "desktop/launcher/installer/installer_observer.h"

namespace vexlo {
namespace installer {

// The messages in which the backend tells the front end its progress: one
// pickle per mailslot datagram, the magic text, the message type and the
// arguments of the observer call it stands for.

// The message types; the numbers are the wire format.
enum InstallerMessageType : int32_t {
  kSubprocessStartingMessage = 0,
  kSubprocessFinishedMessage = 1,
  kInstallationStartedMessage = 2,
  kSetTotalStepsMessage = 3,
  kNextStepMessage = 4,
  kInstallationFailedMessage = 5,
  kInstallationSucceededMessage = 6,
};

// The largest datagram, header included, that the receiving mailslot takes.
constexpr size_t kMaxInstallerMessageSize = 2048;

// A new message holding the magic and |type|; the caller appends the
// arguments of the type.
std::unique_ptr<base::Pickle> CreateInstallerMessage(int32_t type);

// Checks |message| and makes the call it stands for on every observer in
// |observers|, in the order they were added. A foreign or malformed message
// is dropped; only an unknown type is logged. False when dropped.
bool DispatchInstallerMessage(const base::Pickle& message,
                              base::ObserverList<InstallerObserver>* observers);

// Turns each observer call of the backend's installer into its message and
// hands it to SendMessage. The texts of a failure are cut so that its
// message always fits one datagram: the user's message first, then the
// detail.
class InstallerMessageEncoder : public InstallerObserver {
 public:
  InstallerMessageEncoder() = default;
  InstallerMessageEncoder(const InstallerMessageEncoder&) = delete;
  InstallerMessageEncoder& operator=(const InstallerMessageEncoder&) = delete;
  ~InstallerMessageEncoder() override = default;

  // InstallerObserver:
  void OnInstallationStarted() override;
  void OnSubprocessStarting(bool flag) override;
  void OnSubprocessFinished() override;
  void SetTotalSteps(int32_t steps) override;
  void OnNextStep() override;
  void OnInstallationFailed(int32_t error_code,
                            const base::string16& message,
                            const std::string& detail) override;
  void OnInstallationSucceeded() override;
  // Stays in the front end: sends nothing.
  void OnInstallerTerminated(bool success) override;

 protected:
  // Takes one finished message.
  virtual void SendMessage(std::unique_ptr<base::Pickle> message) = 0;

 private:
  void SendEmptyMessage(int32_t type);
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_IPC_INSTALLER_MESSAGE_H_
