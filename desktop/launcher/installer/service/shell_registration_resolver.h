#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_SHELL_REGISTRATION_RESOLVER_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_SHELL_REGISTRATION_RESOLVER_H_

#include <stddef.h>

#include <vector>

#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "desktop/launcher/installer/service/registry_item.h"

namespace vexlo {
namespace installer {

// Fills in the shell registration templates for one target: the protocol or
// extension being registered (empty for the program class and the
// Start-menu entry). Shell registrations are not recorded in the status
// record.
class ShellRegistrationResolver : public RegistryItem::Delegate {
 public:
  ShellRegistrationResolver(const base::string16& target,
                            const base::FilePath& install_folder);
  ShellRegistrationResolver(const ShellRegistrationResolver&) = delete;
  ShellRegistrationResolver& operator=(const ShellRegistrationResolver&) =
      delete;
  ~ShellRegistrationResolver() override;

  base::string16 ResolvePlaceholder(const base::string16& name) override;
  std::vector<InstallationStatus::RegistryKey>* GetStatusRegistryKeys(
      HKEY root) override;

 private:
  const base::string16 target_;
  const base::FilePath install_folder_;
};

// The shell's registration tables.
extern const RegistryItem kProgIdClassRows[];
extern const size_t kProgIdClassRowCount;
extern const RegistryItem kProtocolRows[];
extern const size_t kProtocolRowCount;
extern const RegistryItem kExtensionRows[];
extern const size_t kExtensionRowCount;
extern const RegistryItem kStartMenuInternetRow;

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_SHELL_REGISTRATION_RESOLVER_H_
