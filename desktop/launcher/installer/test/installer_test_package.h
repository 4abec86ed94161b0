#ifndef DESKTOP_LAUNCHER_INSTALLER_TEST_INSTALLER_TEST_PACKAGE_H_
#define DESKTOP_LAUNCHER_INSTALLER_TEST_INSTALLER_TEST_PACKAGE_H_

#include <map>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "desktop/launcher/installer/service/test/product_registry.h"

namespace vexlo {
namespace installer {

// An unpacked package made by a test: "files_list" with |files| below
// "res" and "res\\deep" of a few bytes each (the last of them larger),
// "root_files_list" with |root_files|, and "launcher.exe", all written into
// |folder|. Returns the relative names of the files list.
std::vector<std::string> WriteTestPackage(
    const base::FilePath& folder,
    int files,
    const std::vector<std::string>& root_files);

// Every file (with its bytes) and folder below |folder|, by relative path;
// folders map to "<dir>". |folder| itself maps to "<dir>" when it exists.
std::map<base::string16, std::string> SnapshotFolder(
    const base::FilePath& folder);

// The registry keys and values an installation of the test product writes
// under both roots.
std::vector<ScopedProductRegistry::Key> InstallerRegistryKeys();

// The uninstall key an installation by the build's installer executable
// (the product as its own configuration names it) writes.
extern const wchar_t kInstallerExecutableUninstallKey[];

// The registry keys and values such an installation writes, all of them
// under HKEY_CURRENT_USER.
std::vector<ScopedProductRegistry::Key> InstallerExecutableKeys();

// Runs |command_line| to its end, at most two minutes; its exit code, or 1
// when it did not end (it is then ended).
int RunToEnd(const base::string16& command_line);

// The name under which the installation-interrupted event of |folder| is
// made by the processes that start a backend.
base::string16 InterruptedEventName(const base::FilePath& folder);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_TEST_INSTALLER_TEST_PACKAGE_H_
