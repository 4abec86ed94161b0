#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_SAVED_DACL_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_SAVED_DACL_H_

#include <windows.h>

#include <aclapi.h>

#include "base/strings/string16.h"

namespace vexlo {
namespace installer {

// What an object's access list was before a temporary grant changed it, so
// that the grant can be undone: the object, and its old security descriptor
// with the access list inside it. For a file, also its attributes: a system
// that keeps file permissions in other terms may take the read-only
// attribute away with a grant.
class SavedDacl {
 public:
  // Takes |security_descriptor| (allocated by the system), into which |dacl|
  // points. |file_attributes| is INVALID_FILE_ATTRIBUTES when not kept.
  SavedDacl(const base::string16& object_name,
            SE_OBJECT_TYPE object_type,
            PACL dacl,
            PSECURITY_DESCRIPTOR security_descriptor,
            DWORD file_attributes = INVALID_FILE_ATTRIBUTES);
  SavedDacl(const SavedDacl&) = delete;
  SavedDacl& operator=(const SavedDacl&) = delete;
  ~SavedDacl();

  const base::string16& object_name() const { return object_name_; }
  SE_OBJECT_TYPE object_type() const { return object_type_; }
  PACL dacl() const { return dacl_; }
  DWORD file_attributes() const { return file_attributes_; }

 private:
  const base::string16 object_name_;
  const SE_OBJECT_TYPE object_type_;
  const PACL dacl_;
  const PSECURITY_DESCRIPTOR security_descriptor_;
  const DWORD file_attributes_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_SAVED_DACL_H_
