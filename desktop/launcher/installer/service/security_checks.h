#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_SECURITY_CHECKS_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_SECURITY_CHECKS_H_

#include <windows.h>

#include <aclapi.h>

#include "base/strings/string16.h"

namespace vexlo {
namespace installer {

// The two questions about the current user's rights on which the
// installation service decides whether to loosen permissions or to refuse.
// The real answers come from the system; a test puts an instance of its own
// in place to reach the branches that its machine cannot show (denied file
// access where file permissions are not enforced, a user who is not an
// administrator).
class SecurityChecks {
 public:
  virtual ~SecurityChecks();

  // Whether the process's token is granted every right of |access| on the
  // file or registry key |object_name|; false for other object types and
  // when the check cannot be made.
  virtual bool HasAccess(const base::string16& object_name,
                         SE_OBJECT_TYPE object_type,
                         ACCESS_MASK access);

  // Whether |token| (null: the calling thread's effective token) holds the
  // enabled group or user |sid|; false when the check cannot be made.
  virtual bool IsMember(HANDLE token, PSID sid);

  // The checks in use: the system's unless a test replaced them.
  static SecurityChecks* Get();

  // Makes |checks| the ones in use (null: the system's again) and returns
  // the replacement they follow (null when there was none).
  static SecurityChecks* SetForTesting(SecurityChecks* checks);
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_SECURITY_CHECKS_H_
