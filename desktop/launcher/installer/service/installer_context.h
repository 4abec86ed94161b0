#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_INSTALLER_CONTEXT_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_INSTALLER_CONTEXT_H_

#include <windows.h>

#include <stddef.h>

#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "base/strings/string16.h"
#include "components/prefs/json_pref_store.h"
#include "desktop/launcher/installer/service/installation_status.h"

namespace vexlo {
namespace installer {

struct RegistryItem;

// The name of an installation's preferences file and of its status record.
extern const wchar_t kInstallerPrefsFileName[];
extern const wchar_t kInstallationStatusFileName[];

// One installation folder: its preferences ("installer_prefs.json", read
// once and never written through the context), its status record
// ("installation_status.xml", read on demand) and the profile and user-data
// folders that follow from its "profile_path" preference. The process-wide
// instance describes the running program's own installation; instances on
// the stack describe any other folder. Used on one thread at a time.
class InstallerContext {
 public:
  // The context of the running program's folder, created on first use and
  // destroyed at exit.
  static InstallerContext* GetInstance();

  // The folder of the running executable, or its parent when the launcher
  // lies there and not beside the executable (an installer inside the
  // installation's version folder). Empty when the executable is unknown.
  static base::FilePath GetOwnInstallationFolder();

  InstallerContext();
  explicit InstallerContext(const base::FilePath& folder);
  // A context whose status record is |status| rather than the folder's.
  InstallerContext(const base::FilePath& folder,
                   const InstallationStatus& status);
  InstallerContext(const InstallerContext&) = delete;
  InstallerContext& operator=(const InstallerContext&) = delete;
  virtual ~InstallerContext();

  // The folder's preferences, opened and read on first use; a missing or
  // unreadable file, or a missing folder, gives an empty store. The store is
  // for reading: its changes are never written behind (writers open the
  // file through PrefsTaskPool).
  base::scoped_refptr<JsonPrefStore> GetInstallerPrefs();

  // Reads the status record once; a record that cannot be read leaves
  // status() with empty lists.
  void LoadInstallationStatus();

  // The folder's profile when the installation keeps a single profile in
  // it; false (and |folder| untouched) otherwise.
  bool GetSingleProfileFolder(base::FilePath* folder);

  // The browser profile folder: the "profile_path" preference with its
  // first "<USERNAME>" replaced by the user's name, or the default under the
  // roaming application data. False when a folder it needs is unknown.
  bool GetProfileFolder(base::FilePath* folder);

  // The folder of the browser's user data: the single profile's "data", else
  // the profile folder. |for_removal| asks for the folder that an
  // uninstallation may delete whole, which never holds other users'
  // profiles.
  bool GetUserDataFolder(base::FilePath* folder, bool for_removal);

  // Whether the installation keeps its profile in its own folder (the
  // preference "single_profile").
  bool IsSingleProfile();

  // Whether the current user's handler of |target| (a protocol, or an
  // extension with its leading ".") runs this installation's launcher, or
  // its browser executable when |use_browser_executable|.
  bool IsDefaultHandlerFor(const base::string16& target,
                           bool use_browser_executable);

  // Shell registration, under HKEY_LOCAL_MACHINE for |all_users|, else
  // under HKEY_CURRENT_USER. Each call registers its whole entry or, on
  // failure, leaves the registry as it was.
  // The browser's program class.
  bool RegisterProgIdClass(bool all_users);
  // The handler of |target|: an extension when it starts with ".", else a
  // protocol. From Windows 8 on the user chooses in the system's own
  // dialog or settings page, which a machine-wide registration cannot use.
  bool RegisterHandler(const base::string16& target, bool all_users);
  // The Start-menu Internet client.
  bool RegisterStartMenuInternet(bool all_users);

  // Registers the browser for the web's protocols and files; whether it is
  // the default browser afterwards.
  bool SetAsDefaultBrowser(bool all_users);
  bool IsDefaultBrowser();
  bool IsDefaultStartMenuInternet();
  // Keeps the command of the current "http" handler unless it is this
  // installation's.
  void SavePreviousDefaultBrowser(bool all_users);

  // The command with which the shell opens |target|: the user's choice when
  // not |machine_wide|, else the machine's registration.
  static bool GetOpenCommand(const base::string16& target,
                             bool machine_wide,
                             base::string16* command);

  const base::FilePath& folder() const { return folder_; }
  // The product name, a blank and the release channel, as registered with
  // the shell.
  const base::string16& name() const { return name_; }
  const base::string16& profile_path() const { return profile_path_; }
  bool status_loaded() const { return status_loaded_; }
  const InstallationStatus& status() const { return status_; }
  InstallationStatus* mutable_status() { return &status_; }

 private:
  void Initialize();
  // Applies |count| rows of |rows| for |target| under |root| in one
  // transaction, rolled back when a row fails.
  bool ApplyRows(const RegistryItem* rows,
                 size_t count,
                 const base::string16& target,
                 HKEY root);

  base::scoped_refptr<JsonPrefStore> installer_prefs_;
  base::FilePath folder_;
  base::string16 profile_path_;
  bool status_loaded_;
  InstallationStatus status_;
  base::string16 name_;
};

// Stores |command| as the previous default browser's under the company's
// key of the machine (|all_users|) or of the user.
bool SetPreviousDefaultBrowser(const base::string16& command, bool all_users);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_INSTALLER_CONTEXT_H_
