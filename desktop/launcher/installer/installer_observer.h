#ifndef DESKTOP_LAUNCHER_INSTALLER_INSTALLER_OBSERVER_H_
#define DESKTOP_LAUNCHER_INSTALLER_INSTALLER_OBSERVER_H_

#include <stdint.h>

#include <string>

#include "base/strings/string16.h"

namespace vexlo {
namespace installer {

// The progress of an installation, as the backend's installer reports it and
// as the front end hears it again from the backend's messages. The order of
// the methods is part of the message format between the two processes; add
// none in between.
class InstallerObserver {
 public:
  virtual ~InstallerObserver() = default;

  virtual void OnInstallationStarted() = 0;
  // Before the installer runs a child installer process; |flag| travels to
  // the front end unchanged.
  virtual void OnSubprocessStarting(bool flag) = 0;
  virtual void OnSubprocessFinished() = 0;
  virtual void SetTotalSteps(int32_t steps) = 0;
  virtual void OnNextStep() = 0;
  // |error_code| is one of the installer's error codes, |message| the text
  // meant for the user (may be empty) and |detail| an English text for the
  // log.
  virtual void OnInstallationFailed(int32_t error_code,
                                    const base::string16& message,
                                    const std::string& detail) = 0;
  virtual void OnInstallationSucceeded() = 0;
  // Front end only: the backend process has exited; |success| when it
  // exited with code 0, left nothing to take back and every installer
  // process of the run reported its success. Never sent between processes.
  virtual void OnInstallerTerminated(bool success) = 0;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_INSTALLER_OBSERVER_H_
