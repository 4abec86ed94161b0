#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TEST_FAKE_DEFAULT_APP_SERVICES_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TEST_FAKE_DEFAULT_APP_SERVICES_H_

#include <set>
#include <string>
#include <vector>

#include "base/strings/string16.h"
#include "desktop/launcher/installer/service/default_app_services.h"

namespace vexlo {
namespace installer {

// Default-app services that record each call as one line of text and
// answer as told, in place of the system's for the life of the object.
class FakeDefaultAppServices : public DefaultAppServices {
 public:
  FakeDefaultAppServices();
  FakeDefaultAppServices(const FakeDefaultAppServices&) = delete;
  FakeDefaultAppServices& operator=(const FakeDefaultAppServices&) = delete;
  ~FakeDefaultAppServices() override;

  bool SetAppAsDefault(const base::string16& app_name,
                       const base::string16& target,
                       Association association) override;
  bool QueryAppIsDefault(const base::string16& target,
                         Association association,
                         const base::string16& app_name) override;
  bool ShowOpenWithDialog(const base::string16& target) override;
  void NotifyAssociationsChanged() override;
  bool OpenDefaultAppsSettings() override;

  // Such as "SetAppAsDefault(Vexlo developer,http,protocol)".
  const std::vector<std::string>& calls() const { return calls_; }

  // Every call that returns a result fails while set.
  bool fail = false;
  // The targets for which QueryAppIsDefault answers true.
  std::set<base::string16> defaults;

 private:
  DefaultAppServices* const previous_;
  std::vector<std::string> calls_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TEST_FAKE_DEFAULT_APP_SERVICES_H_
