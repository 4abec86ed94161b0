#include "desktop/windows/crash_reporter/crash_uuid.h"

#include <rpc.h>

#include "base/lazy_instance.h"
#include "base/native_library.h"
#include "base/strings/stringprintf.h"
#include "base/synchronization/lock.h"

namespace vexlo {
namespace crash_reporter {

namespace {

using UuidCreateFunction = long(WINAPI*)(GUID* uuid);

base::LazyInstance::Leaky<base::Lock> g_uuid_lock;
UuidCreateFunction g_uuid_create = nullptr;
bool g_uuid_create_looked_up = false;

UuidCreateFunction GetUuidCreate() {
  base::AutoLock lock(g_uuid_lock.Get());
  if (!g_uuid_create_looked_up) {
    g_uuid_create_looked_up = true;
    // Stays loaded for the life of the process.
    const HMODULE rpcrt4 =
        base::LoadNativeLibrary(base::FilePath(L"rpcrt4.dll"), nullptr);
    if (rpcrt4) {
      g_uuid_create = reinterpret_cast<UuidCreateFunction>(
          reinterpret_cast<void*>(::GetProcAddress(rpcrt4, "UuidCreate")));
    }
  }
  return g_uuid_create;
}

}  // namespace

base::string16 FormatUuid(const GUID& uuid) {
  return base::StringPrintfWide(
      L"%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
      static_cast<unsigned>(uuid.Data1), uuid.Data2, uuid.Data3, uuid.Data4[0],
      uuid.Data4[1], uuid.Data4[2], uuid.Data4[3], uuid.Data4[4], uuid.Data4[5],
      uuid.Data4[6], uuid.Data4[7]);
}

GUID CreateDumpUuid() {
  GUID uuid = {};
  const UuidCreateFunction uuid_create = GetUuidCreate();
  if (!uuid_create)
    return uuid;
  // A local-only identifier still names a file uniquely.
  const long status = uuid_create(&uuid);
  if (status != RPC_S_OK && status != RPC_S_UUID_LOCAL_ONLY)
    uuid = GUID();
  return uuid;
}

}  // namespace crash_reporter
}  // namespace vexlo
