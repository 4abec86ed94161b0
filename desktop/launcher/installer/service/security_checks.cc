#include "desktop/launcher/installer/service/security_checks.h"

#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/service/scoped_local_memory.h"

namespace vexlo {
namespace installer {

namespace {

SecurityChecks* g_checks_for_testing = nullptr;

GENERIC_MAPPING GetGenericMapping(SE_OBJECT_TYPE object_type) {
  if (object_type == SE_FILE_OBJECT)
    return {0x120089, 0x120116, 0x1200A0, 0x1F01FF};
  return {0x20019, 0x20006, 0x20019, 0xF003F};
}

// The process's token at identification level, as AccessCheck wants it.
bool OpenIdentificationToken(base::win::ScopedHandle* token) {
  HANDLE process_token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE,
                          &process_token)) {
    return false;
  }
  base::win::ScopedHandle owned_process_token(process_token);
  HANDLE duplicate = nullptr;
  if (!::DuplicateToken(process_token, SecurityIdentification, &duplicate))
    return false;
  token->Set(duplicate);
  return true;
}

}  // namespace

SecurityChecks::~SecurityChecks() = default;

bool SecurityChecks::HasAccess(const base::string16& object_name,
                               SE_OBJECT_TYPE object_type,
                               ACCESS_MASK access) {
  if (object_type != SE_FILE_OBJECT && object_type != SE_REGISTRY_KEY)
    return false;
  base::win::ScopedHandle token;
  if (!OpenIdentificationToken(&token))
    return false;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoW(
          object_name.c_str(), object_type,
          OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
              DACL_SECURITY_INFORMATION,
          nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  ScopedLocalMemory<void> owned_descriptor(descriptor);
  GENERIC_MAPPING mapping = GetGenericMapping(object_type);
  // Room for one privilege: checks that would need more fail.
  alignas(PRIVILEGE_SET) BYTE privileges[20];
  DWORD privileges_size = sizeof(privileges);
  DWORD granted = 0;
  BOOL status = FALSE;
  return ::AccessCheck(descriptor, token.Get(), access, &mapping,
                       reinterpret_cast<PRIVILEGE_SET*>(privileges),
                       &privileges_size, &granted, &status) &&
         status;
}

bool SecurityChecks::IsMember(HANDLE token, PSID sid) {
  BOOL is_member = FALSE;
  return ::CheckTokenMembership(token, sid, &is_member) && is_member;
}

// static
SecurityChecks* SecurityChecks::Get() {
  static SecurityChecks system_checks;
  return g_checks_for_testing ? g_checks_for_testing : &system_checks;
}

// static
SecurityChecks* SecurityChecks::SetForTesting(SecurityChecks* checks) {
  SecurityChecks* const previous = g_checks_for_testing;
  g_checks_for_testing = checks;
  return previous;
}

}  // namespace installer
}  // namespace vexlo
