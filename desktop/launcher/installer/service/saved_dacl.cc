#include "desktop/launcher/installer/service/saved_dacl.h"

namespace vexlo {
namespace installer {

SavedDacl::SavedDacl(const base::string16& object_name,
                     SE_OBJECT_TYPE object_type,
                     PACL dacl,
                     PSECURITY_DESCRIPTOR security_descriptor,
                     DWORD file_attributes)
    : object_name_(object_name),
      object_type_(object_type),
      dacl_(dacl),
      security_descriptor_(security_descriptor),
      file_attributes_(file_attributes) {}

SavedDacl::~SavedDacl() {
  ::LocalFree(security_descriptor_);
}

}  // namespace installer
}  // namespace vexlo
