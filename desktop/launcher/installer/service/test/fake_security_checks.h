#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TEST_FAKE_SECURITY_CHECKS_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TEST_FAKE_SECURITY_CHECKS_H_

#include <set>

#include "base/strings/string16.h"
#include "desktop/launcher/installer/service/security_checks.h"

namespace vexlo {
namespace installer {

// Answers in place of the system while it lives, for what the test
// platform cannot show: access to the denied objects is refused, and a user
// who is not an administrator is not in BUILTIN\Administrators. Every other
// question goes to the system.
class FakeSecurityChecks : public SecurityChecks {
 public:
  FakeSecurityChecks() : previous_(SetForTesting(this)) {}
  FakeSecurityChecks(const FakeSecurityChecks&) = delete;
  FakeSecurityChecks& operator=(const FakeSecurityChecks&) = delete;
  ~FakeSecurityChecks() override { SetForTesting(previous_); }

  void Deny(const base::string16& object_name) { denied_.insert(object_name); }
  void set_administrator(bool administrator) { administrator_ = administrator; }

  bool HasAccess(const base::string16& object_name,
                 SE_OBJECT_TYPE object_type,
                 ACCESS_MASK access) override {
    return !denied_.count(object_name) &&
           SecurityChecks::HasAccess(object_name, object_type, access);
  }
  bool IsMember(HANDLE token, PSID sid) override {
    return (administrator_ ||
            !::IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) &&
           SecurityChecks::IsMember(token, sid);
  }

 private:
  SecurityChecks* const previous_;
  std::set<base::string16> denied_;
  bool administrator_ = true;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TEST_FAKE_SECURITY_CHECKS_H_
