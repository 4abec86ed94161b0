#ifndef DESKTOP_LAUNCHER_INSTALLER_STATUS_H_
#define DESKTOP_LAUNCHER_INSTALLER_STATUS_H_

#include <windows.h>

#include <stdint.h>

#include <string>

#include "base/features/feature_registry.h"
#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "desktop/launcher/installer/service/installation_status.h"

namespace vexlo {
namespace installer {

class InstallerContext;

// What one folder named as installation folder is: whether it can be used,
// whether an installation of the product is already there (and whether it
// is one of the old engine's), and what an existing installation was
// installed with. Filled on one worker thread that has COM, then handed over
// whole.
class Status {
 public:
  explicit Status(bool replace_talvik_installation);
  Status(const Status&) = delete;
  Status& operator=(const Status&) = delete;
  ~Status();

  // Makes |get_drive_type| answer in place of the system's drive-type query
  // (null: the system again), for tests, whose platform has no CD-ROM.
  static void SetDriveTypeQueryForTesting(
      UINT(WINAPI* get_drive_type)(const wchar_t* root));

  // Takes back what a killed run left in the installation folder |path|,
  // as Initialize does first; true when there was a journal to take back
  // or keep aside. The calling thread must have COM: what the take-back may
  // touch is read from the installation's records. A journal that a process
  // still holds is left as it is: that run is not over.
  static bool TakeBackKilledRun(const base::FilePath& path);

  // Classifies |path| and reads the details of the installation in it.
  // Every problem is an outcome (valid() false), never an error.
  void Initialize(const base::FilePath& path);

  const InstallationStatus& record() const { return record_; }
  bool desktop_found() const { return desktop_found_; }
  bool start_menu_found() const { return start_menu_found_; }
  bool quick_launch_found() const { return quick_launch_found_; }
  bool company_start_menu_folder_found() const {
    return company_start_menu_folder_found_;
  }
  bool writable() const { return writable_; }
  const base::FilePath& pinned_shortcut() const { return pinned_shortcut_; }
  bool desktop_owned() const { return desktop_owned_; }
  bool start_menu_owned() const { return start_menu_owned_; }
  bool quick_launch_owned() const { return quick_launch_owned_; }
  bool pinned_owned() const { return pinned_owned_; }
  bool default_browser() const { return default_browser_; }
  // 1, 0, or -1 when unknown.
  int32_t import_browser_data() const { return import_browser_data_; }
  int32_t enable_stats() const { return enable_stats_; }
  const base::string16& language() const { return language_; }
  const base::string16& welcome_url() const { return welcome_url_; }
  const std::string& server_tracking_data() const {
    return server_tracking_data_;
  }
  // 1, 0, or -1 when unknown.
  int32_t single_profile() const { return single_profile_; }
  // 1 or 2 from the old configuration file, 0 otherwise, -1 when unknown.
  int32_t legacy_product() const { return legacy_product_; }
  const base::FilePath& user_data_folder() const { return user_data_folder_; }
  const base::FilePath& company_start_menu_folder() const {
    return company_start_menu_folder_;
  }
  // The installation's stored experiments.
  const base::FeatureRegistry& experiments() const { return experiments_; }
  const base::FilePath& requested_path() const { return requested_path_; }
  // The requested path when it is a folder, else its nearest existing
  // ancestor.
  const base::FilePath& existing_folder() const { return existing_folder_; }
  bool valid() const { return valid_; }
  bool existing_installation() const { return existing_installation_; }
  bool legacy_installation() const { return legacy_installation_; }
  bool launcher_present() const { return launcher_present_; }
  bool replace_talvik_installation() const {
    return replace_talvik_installation_;
  }

 private:
  // The classification; true when the details are to be read.
  bool Classify(const base::FilePath& path);
  bool ClassifyMissingPath(const base::FilePath& path);
  bool ReadInstallationRecord(const base::FilePath& folder);
  void SettleInstallationFlags();
  void ReadDetails();
  void TestWritable();
  void TestAllShortcuts();
  void TestShortcuts(const base::FilePath& target, bool recording_only);
  bool ReadInstallerPrefs(InstallerContext* context);
  void ReadLocalState(InstallerContext* context);
  void ReadOldConfiguration();

  InstallationStatus record_;
  bool desktop_found_;
  bool start_menu_found_;
  bool quick_launch_found_;
  bool company_start_menu_folder_found_;
  bool writable_;
  base::FilePath pinned_shortcut_;
  bool desktop_owned_;
  bool start_menu_owned_;
  bool quick_launch_owned_;
  bool pinned_owned_;
  bool default_browser_;
  int32_t import_browser_data_;
  int32_t enable_stats_;
  base::string16 language_;
  base::string16 welcome_url_;
  std::string server_tracking_data_;
  int32_t single_profile_;
  int32_t legacy_product_;
  base::FilePath user_data_folder_;
  base::FilePath company_start_menu_folder_;
  base::FeatureRegistry experiments_;
  base::FilePath requested_path_;
  base::FilePath existing_folder_;
  bool valid_;
  bool existing_installation_;
  bool legacy_installation_;
  bool launcher_present_;
  const bool replace_talvik_installation_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_STATUS_H_
