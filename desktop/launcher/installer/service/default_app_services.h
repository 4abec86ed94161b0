#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_DEFAULT_APP_SERVICES_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_DEFAULT_APP_SERVICES_H_

#include "base/strings/string16.h"

namespace vexlo {
namespace installer {

// The shell's services that choose default programs: the association
// registration service, the open-with dialog, the association change
// notification and the default-apps settings page. The process uses the
// system's unless a test has put its own in place.
class DefaultAppServices {
 public:
  // What an association names.
  enum Association { kFileExtension, kUrlProtocol, kStartMenuClient };

  // The services in use.
  static DefaultAppServices* Get();
  // Puts |services| (null: the system's again) in place and returns the
  // ones it replaces.
  static DefaultAppServices* SetForTesting(DefaultAppServices* services);

  virtual ~DefaultAppServices() = default;

  // Makes the registered application |app_name| the default for |target|.
  virtual bool SetAppAsDefault(const base::string16& app_name,
                               const base::string16& target,
                               Association association) = 0;
  // Whether |app_name| is the effective default for |target|; false also
  // when the service cannot answer.
  virtual bool QueryAppIsDefault(const base::string16& target,
                                 Association association,
                                 const base::string16& app_name) = 0;
  // Lets the user choose the handler of |target| (an extension or a
  // protocol) in the open-with dialog.
  virtual bool ShowOpenWithDialog(const base::string16& target) = 0;
  // Tells the shell that associations changed.
  virtual void NotifyAssociationsChanged() = 0;
  // Opens the settings page of the default applications.
  virtual bool OpenDefaultAppsSettings() = 0;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_DEFAULT_APP_SERVICES_H_
