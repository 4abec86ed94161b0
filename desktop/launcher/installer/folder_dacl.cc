#include "desktop/launcher/installer/folder_dacl.h"

#include <aclapi.h>

#include "base/strings/string16.h"

namespace vexlo {
namespace installer {

namespace {

FolderDacl* g_dacl_for_testing = nullptr;

}  // namespace

FolderDacl::~FolderDacl() = default;

DWORD FolderDacl::Read(const base::FilePath& folder,
                       PACL* dacl,
                       PSECURITY_DESCRIPTOR* security_descriptor) {
  return ::GetNamedSecurityInfoW(folder.value().c_str(), SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                 dacl, nullptr, security_descriptor);
}

DWORD FolderDacl::Write(const base::FilePath& folder, PACL dacl) {
  // The call wants a writable name.
  base::string16 name = folder.value();
  return ::SetNamedSecurityInfoW(&name[0], SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                 dacl, nullptr);
}

// static
FolderDacl* FolderDacl::Get() {
  static FolderDacl system_dacl;
  return g_dacl_for_testing ? g_dacl_for_testing : &system_dacl;
}

// static
FolderDacl* FolderDacl::SetForTesting(FolderDacl* dacl) {
  FolderDacl* const previous = g_dacl_for_testing;
  g_dacl_for_testing = dacl;
  return previous;
}

}  // namespace installer
}  // namespace vexlo
