#ifndef DESKTOP_LAUNCHER_INSTALLER_INSTALLER_BACKEND_H_
#define DESKTOP_LAUNCHER_INSTALLER_INSTALLER_BACKEND_H_

#include <windows.h>

#include <stdint.h>

#include <string>

#include "base/run_loop.h"
#include "base/win/object_watcher.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/installer.h"
#include "desktop/launcher/installer/ipc/installer_message.h"
#include "desktop/launcher/installer/ipc/ipc_sender_proxy.h"
#include "desktop/launcher/installer/settings.h"

namespace base {
class CommandLine;
}

namespace vexlo {
namespace installer {

// The backend process's host of the installer: it watches the front end
// that started it, runs the installer on the main thread's loop, tells the
// front end every step over the mailslot and ends that loop when the
// installation has ended or the front end has gone.
class InstallerBackend : public Settings::Observer,
                         public InstallerMessageEncoder,
                         public base::win::ObjectWatcher::Delegate {
 public:
  InstallerBackend();
  InstallerBackend(const InstallerBackend&) = delete;
  InstallerBackend& operator=(const InstallerBackend&) = delete;
  ~InstallerBackend() override;

  // Runs the installation that |settings| describe, for the front end that
  // |command_line| names; whether it succeeded.
  bool Run(Settings* settings, const base::CommandLine& command_line);

  // Settings::Observer:
  void OnSettingChanged() override {}
  void OnLanguageChanged() override {}
  void OnPathChanged() override;

  // InstallerObserver: each call but the last goes to the front end.
  void OnInstallationFailed(int32_t error_code,
                            const base::string16& message,
                            const std::string& detail) override;
  void OnInstallationSucceeded() override;
  void OnInstallerTerminated(bool success) override;

  // base::win::ObjectWatcher::Delegate:
  void OnObjectSignaled(HANDLE object) override;

 protected:
  // InstallerMessageEncoder:
  void SendMessage(std::unique_ptr<base::Pickle> message) override;

 private:
  bool FindFrontEnd(const base::CommandLine& command_line);
  void FindStarter(const base::CommandLine& command_line);
  void StartInstaller();

  base::RunLoop run_loop_;
  base::win::ScopedHandle front_end_;
  base::win::ObjectWatcher front_end_watcher_;
  // The process that started this one when that is not the front end (a
  // backend that waited for the package); null when it had ended.
  bool started_by_front_end_ = false;
  base::win::ScopedHandle starter_;
  // Declared before the installer: the messages of its last calls are sent
  // when the proxy closes.
  IPCSenderProxy sender_;
  Installer installer_;
  Settings* settings_;
};

namespace internal {

// The handle that the "initial-proc-handle" value |text| encodes: 16 or
// more hexadecimal digits, an even count, whose first 8 bytes are the
// handle's value, lowest byte first. False for anything else.
bool DecodeProcessHandle(const std::string& text, HANDLE* handle);

}  // namespace internal

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_INSTALLER_BACKEND_H_
