#ifndef DESKTOP_LAUNCHER_INSTALLER_SETTINGS_H_
#define DESKTOP_LAUNCHER_INSTALLER_SETTINGS_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "base/observer_list.h"
#include "base/strings/string16.h"
#include "desktop/launcher/installer/status.h"

namespace vexlo {
namespace installer {

class StatsDictionary;

// Every option of one installer run: the operation, the folder and mode,
// shortcuts, default-browser and import choices, statistics consent,
// language and launch. Built from the start-up flags, the command line, the
// registry and, asynchronously, from what an installation already in the
// chosen folder says. Lives on the thread that made it; the front ends
// change it through the setters while the user chooses, and the backend
// gets it back as switches of its command line.
class Settings {
 public:
  enum Operation : int32_t {
    kInvalidOperation = 0,
    kInstallOperation = 1,
    kUpdateOperation = 2,
    kUninstallOperation = 3,
  };

  // The installation modes of SetInstallationMode.
  enum InstallationMode : uint32_t {
    kAllUsersMode = 0,
    kCurrentUserMode = 1,
    kStandaloneMode = 2,
  };

  class Observer {
   public:
    virtual ~Observer() = default;
    // After each accepted option setter.
    virtual void OnSettingChanged() = 0;
    virtual void OnLanguageChanged() = 0;
    // After the status of a newly chosen folder was taken over, valid or
    // not.
    virtual void OnPathChanged() = 0;
  };

  // One asynchronous status check of a folder. Cancel makes its late
  // result vanish.
  class StatusFetcher : public base::RefCountedThreadSafe<StatusFetcher> {
   public:
    StatusFetcher(Settings* settings,
                  const base::FilePath& path,
                  bool replace_talvik_installation);
    StatusFetcher(const StatusFetcher&) = delete;
    StatusFetcher& operator=(const StatusFetcher&) = delete;

    // Checks the folder on the worker pool and hands the result to the
    // settings on this thread, unless cancelled by then.
    void FetchStatus();
    void Cancel() { settings_ = nullptr; }

   private:
    friend class base::RefCountedThreadSafe<StatusFetcher>;
    ~StatusFetcher();

    void FetchOnWorker();
    void Deliver();

    const base::FilePath path_;
    Settings* settings_;
    std::unique_ptr<Status> status_;
    const bool replace_talvik_installation_;
  };

  // Reads the process's command line.
  Settings(bool uninstall,
           bool silent,
           bool autoupdate,
           const base::FilePath& command_line_folder,
           bool replace_talvik_installation);
  // Reads |command_line| in its place.
  Settings(bool uninstall,
           bool silent,
           bool autoupdate,
           const base::FilePath& command_line_folder,
           bool replace_talvik_installation,
           const base::CommandLine& command_line);
  Settings(const Settings&) = delete;
  Settings& operator=(const Settings&) = delete;
  ~Settings();

  void AddObserver(Observer* observer) { observers_.AddObserver(observer); }
  void RemoveObserver(Observer* observer) {
    observers_.RemoveObserver(observer);
  }

  // Option setters: false, changing nothing, when refused (see each field's
  // rules); otherwise the observers hear of it, even without a change.
  bool SetCopyOnly(bool copy_only);
  bool SetSingleProfile(bool single_profile);
  bool SetAllUsers(bool all_users);
  bool SetDefaultBrowser(bool default_browser);
  bool SetImportBrowserData(bool import_browser_data);
  bool SetEnableInstallerStats(bool enable_installer_stats);
  bool SetEnableVexloStats(bool enable_vexlo_stats);
  bool SetDeleteProfile(bool delete_profile);
  bool SetInstallationMode(uint32_t mode);

  // Makes |language| the language of the run and of the UI.
  void SetLanguage(const base::string16& language);
  void SetInstallFolderFromString(const base::string16& folder);
  // Starts checking |folder| unless it is the folder checked last.
  void SetInstallFolder(const base::FilePath& folder);

  // The folder of the command line or of the registry when asked for and
  // known, else the default folder for the current mode.
  base::FilePath GetDefaultInstallFolder(bool use_command_line,
                                         bool use_registry) const;

  // Writes the settings into the statistics, their keys behind |prefix|.
  void RecordStats(const std::string& prefix, StatsDictionary* stats) const;

  // The settings as the backend's switches, without a program.
  base::CommandLine GetBackendCommandLine(bool suppress_launch) const;

  // The installer clears this when it starts running; setters then refuse.
  void set_editable(bool editable) { editable_ = editable; }

  int32_t operation() const { return operation_; }
  bool copy_only() const { return copy_only_; }
  bool single_profile() const { return single_profile_; }
  bool launch_vexlo() const { return launch_vexlo_; }
  bool all_users() const { return all_users_; }
  bool default_browser() const { return default_browser_; }
  bool import_browser_data() const { return import_browser_data_; }
  bool enable_vexlo_stats() const { return enable_vexlo_stats_; }
  bool enable_installer_stats() const { return enable_installer_stats_; }
  bool desktop_shortcut() const { return desktop_shortcut_; }
  bool start_menu_shortcut() const { return start_menu_shortcut_; }
  bool quick_launch_shortcut() const { return quick_launch_shortcut_; }
  bool pinned_shortcut() const { return pinned_shortcut_; }
  bool uninstall() const { return uninstall_; }
  bool silent() const { return silent_; }
  bool autoupdate() const { return autoupdate_; }
  bool delete_profile() const { return delete_profile_; }
  const base::string16& language() const { return language_; }
  const Status& status() const { return *status_; }
  bool editable() const { return editable_; }
  bool replace_talvik_installation() const {
    return replace_talvik_installation_;
  }
  const base::FilePath& command_line_folder() const {
    return command_line_folder_;
  }
  const base::FilePath& registry_folder() const { return registry_folder_; }
  const base::FilePath& profile_folder() const { return profile_folder_; }
  const base::FilePath& standalone_drive() const { return standalone_drive_; }
  const base::FilePath& first_valid_folder() const {
    return first_valid_folder_;
  }
  // Whether a status check is under way.
  bool fetching_status() const { return status_fetcher_.get() != nullptr; }

 private:
  void Initialize();
  void ReadFromCommandLine();
  // Clears the fields that a standalone copy cannot have.
  void ClearSystemChanges();
  bool SwitchIsTrue(const char* switch_name) const;
  // Sets |field| from |switch_name| when the switch is given.
  void ReadSwitch(const char* switch_name, bool* field) const;
  bool ChangeOption(bool* field, bool value, const char* label);
  void OnStatusFetched(std::unique_ptr<Status> status);
  void TakeOverInstallation();
  void LogSettings() const;

  int32_t operation_;
  bool copy_only_;
  bool single_profile_;
  bool launch_vexlo_;
  bool all_users_;
  bool default_browser_;
  bool import_browser_data_;
  bool enable_vexlo_stats_;
  bool enable_installer_stats_;
  bool desktop_shortcut_;
  bool start_menu_shortcut_;
  bool quick_launch_shortcut_;
  bool pinned_shortcut_;
  const bool uninstall_;
  const bool silent_;
  const bool autoupdate_;
  bool delete_profile_;
  base::string16 language_;
  std::unique_ptr<Status> status_;
  base::scoped_refptr<StatusFetcher> status_fetcher_;
  base::ObserverList<Observer> observers_;
  bool editable_;
  const bool replace_talvik_installation_;
  const base::FilePath command_line_folder_;
  base::FilePath registry_folder_;
  base::FilePath profile_folder_;
  base::FilePath standalone_drive_;
  base::FilePath first_valid_folder_;
  const base::CommandLine command_line_;
};

// Whether a switch value means yes: "yes" or "true" in any letter case, or
// a leading decimal number other than 0.
bool SwitchValueIsTrue(const base::string16& value);

namespace internal {

// The last installation folder that the registry remembers under
// |root|\|key_path| for the release channel |channel_name| (code
// |channel_code|) whose stream is named |stream_name|; empty when none is
// remembered or the folder is gone.
base::FilePath ReadRegistryInstallFolder(HKEY root,
                                         const base::string16& key_path,
                                         const std::string& channel_name,
                                         const std::string& stream_name,
                                         int channel_code);

// How well the drive |letter| suits a standalone copy: 0 (removable, the
// best) to 7, or -1 when it holds no medium.
using DriveRankFunction = int (*)(wchar_t letter);

// The root of the best drive of |drives| (bit 0 is A) by |rank|; drive A's
// when none holds a medium.
base::FilePath ChooseStandaloneDrive(uint32_t drives, DriveRankFunction rank);

// DriveRankFunction of the system.
int RankDrive(wchar_t letter);

}  // namespace internal

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SETTINGS_H_
