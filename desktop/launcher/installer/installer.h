#ifndef DESKTOP_LAUNCHER_INSTALLER_INSTALLER_H_
#define DESKTOP_LAUNCHER_INSTALLER_INSTALLER_H_

#include <windows.h>

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "base/callback.h"
#include "base/files/file_path.h"
#include "base/memory/weak_ptr.h"
#include "base/observer_list.h"
#include "base/strings/string16.h"
#include "base/synchronization/lock.h"
#include "base/win/object_watcher.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/service/installation_status.h"
#include "desktop/launcher/installer/service/registry_item.h"
#include "desktop/launcher/installer/service/saved_dacl.h"
#include "desktop/launcher/installer/service/transactions/rollback_journal.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"

namespace base {
class MessageLoop;
}
class JsonPrefStore;

namespace vexlo {
namespace installer {

class InstallerObserver;
class Settings;
class TaskScheduler;
class UninstallBatch;

// The installer's failure codes.
enum InstallerError : int32_t {
  kInstallerErrorGeneric = 37050,
  kInstallerErrorInvalidOperation = 37053,
  kInstallerErrorCreateFolder = 37054,
  kInstallerErrorNoWriteAccess = 37055,
  kInstallerErrorElevation = 37056,
  kInstallerErrorCopy = 37057,
  kInstallerErrorBrowserInUse = 37058,
};

// Carries out one installation, update or uninstallation inside the backend
// process: the start task checks the settings, the rights and the folder,
// then the operation's steps run one posted task at a time on the message
// loop that created the installer. Every change goes through one
// transaction, so a failure anywhere, or the installation-interrupted event
// of the installation folder, takes back everything done so far. The
// transaction keeps a journal of the folder until the run ends, so that
// even a killed run is taken back. Used on one thread only.
class Installer : public base::win::ObjectWatcher::Delegate,
                  public RegistryItem::Delegate {
 public:
  Installer();
  Installer(const Installer&) = delete;
  Installer& operator=(const Installer&) = delete;
  // Aborts a run still going; the transaction then commits what it holds.
  ~Installer() override;

  void AddObserver(InstallerObserver* observer);
  void RemoveObserver(InstallerObserver* observer);

  // Starts a run with |settings|, which must outlive it and must have their
  // folder status at hand.
  void Run(Settings* settings);

  // base::win::ObjectWatcher::Delegate:
  void OnObjectSignaled(HANDLE object) override;

  // RegistryItem::Delegate:
  base::string16 ResolvePlaceholder(const base::string16& name) override;
  std::vector<InstallationStatus::RegistryKey>* GetStatusRegistryKeys(
      HKEY root) override;

  bool running() const { return running_; }
  bool succeeded() const { return succeeded_; }
  // The process the front end knows as the backend's parent.
  uint32_t parent_process_id() const { return parent_process_id_; }
  // What the run recorded so far.
  const InstallationStatus& status_record() const { return record_; }

  // Removes the tasks whose programs are gone and the auto-update task of
  // the installation |app_id|, if any.
  static void DeleteAutoupdateTask(const std::string& app_id);
  // Makes the installer use |scheduler|, which it does not own, in place of
  // this Windows version's; null restores that.
  static void SetTaskSchedulerForTesting(TaskScheduler* scheduler);

 private:
  using Step = base::Closure;
  // The outcome of running an installer elevated.
  enum ElevationResult {
    kElevated,
    kCannotElevate,
    kElevatedFailed,
    kSetupFailed
  };

  void StartTask();
  void OpenJournal();
  // Ends the journal: the run's changes are final or taken back.
  void CloseJournal();
  // The parts of the start task; each returns false after reporting a
  // failure.
  bool CheckOperation();
  bool WatchInterruption();
  bool EnsureWriteAccess(bool admin, bool* write_access, bool* handed_over);
  bool ReportElevation(ElevationResult result, bool* handed_over);
  bool RequestPermission();
  void RunPostElevationTasks();
  void RegisterForCurrentUser();
  void FillRecord();
  bool ReadFilesLists(int64_t* extra_steps);
  bool CreateSubfolder();
  bool CheckBrowserNotInUse();
  void ReadExperiments();
  void FillSteps();

  void ScheduleNextStep();
  // Posts |step| to the loop; it runs only while this run goes on.
  void PostStep(const char* location, const Step& step);
  // Reports the failure, aborts and returns |narrow| for the caller's log.
  std::string Fail(int32_t code,
                   const base::string16& wide,
                   const std::string& narrow);
  void Abort();
  void Succeed();
  void Reset();

  ElevationResult RunElevated();
  void WaitForPackage(bool elevated);
  void RunPackageInstaller();

  // Steps on files.
  void StepCopyFiles(int index);
  void StepCopyRootFiles(int index);
  void CopyFileW(int index,
                 const std::vector<std::string>& list,
                 void (Installer::*next)(int),
                 std::vector<base::FilePath>* recorded,
                 bool root);
  void StepInstallLauncher();
  void StepDeleteListedFiles();
  void StepPreserveOldStatus();
  void StepCleanUp();
  // Deletes the files that the record in |status_file| lists; false when a
  // deletion failed during an update, leaving the record for a later run.
  bool DeleteRecordedFiles(const base::FilePath& status_file, bool uninstall);

  // Steps on the registry.
  void StepSetUpRegistry();
  void StepRemoveRegistryKeys();
  bool ChooseUninstallKey(HKEY root);
  void RemoveRecordedKeys(
      HKEY root,
      const std::vector<InstallationStatus::RegistryKey>& keys);
  base::string16 ResolveOldPlaceholders(const std::string& text) const;

  // The finishing steps.
  void StepWritePreferences();
  void WriteExperimentLists(JsonPrefStore* prefs);
  void StepFinalize();
  bool SaveStatusFile();
  void RegisterDefaultBrowser();
  void ScheduleAutoupdateTask();
  void WriteFirstRunPreferences();
  void LaunchBrowser();

  // Steps on shortcuts.
  // Where a shortcut is copied to and the record's field for its path.
  struct ShortcutDestination {
    base::FilePath folder;
    base::FilePath InstallationStatus::*field;
  };
  void StepInstallShortcuts();
  void StepUpdateShortcuts();
  void StepDeleteShortcuts();
  // Whether the shortcuts of |existing| need other names; sets |numbered|
  // when they carry a version number.
  bool ShortcutNamesChanged(const InstallationStatus& existing,
                            bool* numbered) const;
  void DeleteShortcut(const base::FilePath& path);
  // Creates the master shortcut to |target| in the package folder, pins it
  // with |pin| and copies it to each destination.
  void CreateShortcuts(const std::vector<ShortcutDestination>& list,
                       bool pin,
                       bool* numbered,
                       const base::FilePath& target);

  // The steps that end an uninstallation.
  void StepFinalizeUninstall();
  void BroadcastAssociationChange();
  void OpenUninstallSurvey();
  void StepSelfDelete();
  // Deletes what |record| and the installation folder hold, leaving to
  // |batch| what is still in use.
  void DeleteInstalledFiles(const InstallationStatus& record,
                            UninstallBatch* batch);

  const base::FilePath& install_path() const;

  base::MessageLoop* const message_loop_;
  std::unique_ptr<SavedDacl> saved_dacl_;
  // Outlives the transaction that records into it.
  RollbackJournal journal_;
  Transaction transaction_;
  base::ObserverList<InstallerObserver> observers_;
  base::FilePath package_folder_;
  std::vector<std::string> files_;
  std::vector<std::string> root_files_;
  Settings* settings_;
  InstallationStatus record_;
  base::string16 uninstall_key_;
  bool running_;
  bool succeeded_;
  bool record_registry_;
  base::win::ScopedHandle permission_undo_event_;
  uint32_t parent_process_id_;
  base::win::ScopedHandle package_ready_event_;
  base::win::ObjectWatcher package_ready_watcher_;
  base::win::ScopedHandle interrupted_event_;
  base::win::ObjectWatcher interrupted_watcher_;
  bool elevated_;
  std::vector<Step> steps_;
  size_t next_step_;
  base::WeakPtrFactory<Installer> weak_factory_;
};

// Held by whoever creates inheritable handles and starts a child process
// with them, so that no other child started meanwhile inherits them.
base::Lock& GetProcessLaunchLock();

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_INSTALLER_H_
