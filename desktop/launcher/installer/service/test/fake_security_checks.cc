#include "desktop/launcher/installer/service/test/fake_security_checks.h"

namespace vexlo {
namespace installer {

FakeSecurityChecks::FakeSecurityChecks()
    : previous_(SecurityChecks::SetForTesting(this)), administrator_(true) {}

FakeSecurityChecks::~FakeSecurityChecks() {
  SecurityChecks::SetForTesting(previous_);
}

bool FakeSecurityChecks::HasAccess(const base::string16& object_name,
                                   SE_OBJECT_TYPE object_type,
                                   ACCESS_MASK access) {
  return !denied_.count(object_name) &&
         SecurityChecks::HasAccess(object_name, object_type, access);
}

bool FakeSecurityChecks::IsMember(HANDLE token, PSID sid) {
  if (!administrator_ && ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid))
    return false;
  return SecurityChecks::IsMember(token, sid);
}

}  // namespace installer
}  // namespace vexlo
