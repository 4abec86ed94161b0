#ifndef DESKTOP_LAUNCHER_INSTALLER_INSTALLER_RUNNER_H_
#define DESKTOP_LAUNCHER_INSTALLER_INSTALLER_RUNNER_H_

#include <windows.h>

#include <stdint.h>

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/memory/weak_ptr.h"
#include "base/observer_list.h"
#include "base/pickle.h"
#include "base/process/process.h"
#include "base/win/object_watcher.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/installer_observer.h"
#include "desktop/launcher/installer/ipc/ipc_receiver_delegate.h"
#include "desktop/launcher/installer/ipc/ipc_receiver_proxy.h"

namespace base {
class CommandLine;
}

namespace vexlo {
namespace installer {

class Settings;

// The front end's side of one installation run: it holds the installation
// folder's installer mutex, listens on the folder's mailslot, starts the
// backend and watches it, and tells its observers what the backend reports
// and how the backend ended. Used on the main thread only.
class InstallerRunner : public base::win::ObjectWatcher::Delegate,
                        public IPCReceiverDelegate {
 public:
  // |package_folder| holds, or will hold, the unpacked package.
  explicit InstallerRunner(const base::FilePath& package_folder);
  InstallerRunner(const InstallerRunner&) = delete;
  InstallerRunner& operator=(const InstallerRunner&) = delete;
  ~InstallerRunner() override;

  void AddObserver(InstallerObserver* observer);
  void RemoveObserver(InstallerObserver* observer);

  // Starts the backend for |settings|, which must outlive the run and have
  // their folder status at hand. True when the backend runs and is
  // watched; otherwise the observers were told of the failure.
  bool StartInstallation(Settings* settings);
  // The package folder now holds the package: a backend waiting for it is
  // released. Only the first call counts.
  void SetPackageReady();
  // Ends the run: a backend still running is told to stop, the mutex and
  // the channel go.
  void Stop();

  // IPCReceiverDelegate, on the main thread:
  void OnMessageReceived(const base::Pickle& message) override;
  // base::win::ObjectWatcher::Delegate: the backend has ended.
  void OnObjectSignaled(HANDLE object) override;

  const base::Process& backend_process() const { return backend_; }

  // The installer mutex of |install_folder|.
  static base::string16 GetMutexName(const base::FilePath& install_folder);

 private:
  // Tells the observers of a failure found here and logs it; always false.
  bool Fail(int32_t code, const std::string& detail);
  bool AcquireMutex(const base::FilePath& install_folder);
  bool CreateEvents(const base::FilePath& install_folder);
  base::CommandLine BuildCommandLine() const;
  bool LaunchBackend(base::CommandLine* command_line);
  // Tells the observers how the backend ended: in success only when it
  // exited with 0, left no journal and every installer process of the run
  // reported its success.
  void NotifyTerminated(bool exited_with_zero, bool left_journal);

  // Counts the installer processes of a run and the successes they report.
  class SuccessTally;

  IPCReceiverProxy receiver_;
  const base::FilePath package_folder_;
  base::Process backend_;
  base::win::ScopedHandle mutex_;
  base::win::ObjectWatcher watcher_;
  base::win::ScopedHandle package_ready_event_;
  base::win::ScopedHandle interrupted_event_;
  Settings* settings_ = nullptr;
  bool package_ready_ = false;
  bool backend_launched_ = false;
  // From the launch until the observers hear of the backend's end: only
  // then may a message on the mailslot be the backend's.
  bool hearing_backend_ = false;
  const std::unique_ptr<SuccessTally> success_tally_;
  base::ObserverList<InstallerObserver> observers_;
  base::WeakPtrFactory<InstallerRunner> weak_factory_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_INSTALLER_RUNNER_H_
