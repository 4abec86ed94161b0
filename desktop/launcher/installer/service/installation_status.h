#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_INSTALLATION_STATUS_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_INSTALLATION_STATUS_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/strings/string16.h"

namespace vexlo {
namespace installer {

class XmlDocument;

// What one installation put on the machine, kept in the installation folder
// as "installation_status.xml": an update or an uninstallation reads it back
// to know what to replace or remove.
struct InstallationStatus {
  struct RegistryValue {
    // One of the names of the registry value types, such as "REG_SZ".
    std::string type;
    // UTF-8; empty for the key's default value.
    std::string name;
    // The value's data as text: UTF-8 for strings, "0a,ff" for bytes,
    // eight hex digits for a 32-bit number, empty for every other type.
    std::string data;

    bool operator==(const RegistryValue& other) const;
  };

  struct RegistryKey {
    // 0: only the recorded values are removed; N >= 1: the key N - 1
    // levels above the recorded one is removed with all below it.
    int32_t clean = 0;
    // UTF-8, below the hive, backslash separated.
    std::string path;
    std::vector<RegistryValue> values;

    bool operator==(const RegistryKey& other) const;
  };

  InstallationStatus();
  InstallationStatus(const InstallationStatus& other);
  InstallationStatus& operator=(const InstallationStatus& other);
  ~InstallationStatus();

  // Records that |size| bytes at |data| of the registry value type |type|
  // were written as |value_name| of |key_path| into |keys| (the list of one
  // hive), with |clean| for the key: a key already in the list keeps the
  // larger clean. A removal (type 0xFFFFFFFF) records nothing, nor does a
  // type beyond the known ones or a 32-bit number shorter than 4 bytes.
  // String data is read up to its first NUL within |size|.
  static void AddRegistryValue(std::vector<RegistryKey>* keys,
                               const base::string16& key_path,
                               const base::string16& value_name,
                               const void* data,
                               uint32_t type,
                               uint32_t size,
                               int32_t clean);

  bool copy_only = false;
  bool all_users = true;
  bool pinned = false;
  std::string app_id;
  base::FilePath install_path;
  base::FilePath subfolder;
  std::string version;
  base::FilePath desktop_shortcut;
  base::FilePath start_menu_shortcut;
  base::FilePath quick_launch_shortcut;
  // Relative to the installation folder.
  std::vector<base::FilePath> files;
  std::vector<base::FilePath> root_files;
  // Under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
  std::vector<RegistryKey> machine_keys;
  std::vector<RegistryKey> user_keys;
};

// The name of the registry value type |type|; empty beyond the known ones.
std::string GetRegistryTypeName(uint32_t type);

// Builds the document of |status| in |document|, whose cursor must be the
// document node. A failed element is left out; the rest is still written.
void WriteInstallationStatus(XmlDocument* document,
                             const InstallationStatus& status);

// Reads the record in |file| into |status| (whose lists are emptied first)
// through |document|. False for a missing, malformed or incomplete record;
// what was read before the fault stays in |status|. Recorded file paths and
// subfolders that could lead out of the installation folder (absolute,
// with a drive, a ':' or a '.' or '..' component) are logged and left out.
bool ReadInstallationStatus(XmlDocument* document,
                            InstallationStatus* status,
                            const base::FilePath& file);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_INSTALLATION_STATUS_H_
