#include "base/win/windows_version.h"

#include <windows.h>

#include <atomic>

namespace base {
namespace win {

namespace {

std::atomic<OSInfo*> g_os_info{nullptr};
std::atomic<int> g_version_override{0};

using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);

// The version of the running system. GetVersionExW reports Windows 8 on
// every later release unless the program's manifest names that release, so
// the kernel's own answer comes first.
OSVERSIONINFOEXW ReadVersionInfo() {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  auto rtl_get_version =
      reinterpret_cast<RtlGetVersionFunction>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  if (rtl_get_version && rtl_get_version(&info) == 0)
    return info;
  info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
  return info;
}

OSInfo::WindowsArchitecture ArchitectureOf(WORD processor_architecture) {
  switch (processor_architecture) {
    case PROCESSOR_ARCHITECTURE_INTEL:
      return OSInfo::X86_ARCHITECTURE;
    case PROCESSOR_ARCHITECTURE_AMD64:
      return OSInfo::X64_ARCHITECTURE;
    case PROCESSOR_ARCHITECTURE_IA64:
      return OSInfo::IA64_ARCHITECTURE;
    default:
      return OSInfo::OTHER_ARCHITECTURE;
  }
}

}  // namespace

OSInfo::OSInfo() {
  static_assert(sizeof(OSVERSIONINFOEXW) == 284, "unexpected version record");
  OSVERSIONINFOEXW info = ReadVersionInfo();
  version_number_.major = static_cast<int>(info.dwMajorVersion);
  version_number_.minor = static_cast<int>(info.dwMinorVersion);
  version_number_.build = static_cast<int>(info.dwBuildNumber);
  version_ = internal::MajorMinorBuildToVersion(
      version_number_.major, version_number_.minor, version_number_.build);
  service_pack_.major = info.wServicePackMajor;
  service_pack_.minor = info.wServicePackMinor;

  SYSTEM_INFO system_info = {};
  GetNativeSystemInfo(&system_info);
  architecture_ = ArchitectureOf(system_info.wProcessorArchitecture);
  processors_ = static_cast<int>(system_info.dwNumberOfProcessors);
  allocation_granularity_ = system_info.dwAllocationGranularity;
}

// static
OSInfo* OSInfo::GetInstance() {
  OSInfo* info = g_os_info.load(std::memory_order_acquire);
  if (info)
    return info;
  OSInfo* built = new OSInfo();
  OSInfo* expected = nullptr;
  if (g_os_info.compare_exchange_strong(expected, built,
                                        std::memory_order_acq_rel)) {
    return built;
  }
  // Another thread published its copy first.
  delete built;
  return expected;
}

Version GetVersion() {
  int version_override = g_version_override.load(std::memory_order_acquire);
  if (version_override != 0)
    return static_cast<Version>(version_override);
  return OSInfo::GetInstance()->version();
}

namespace internal {

Version MajorMinorBuildToVersion(int major, int minor, int build) {
  switch (major) {
    case 5:
      if (minor == 0)
        return VERSION_WIN_LAST;
      return minor == 1 ? VERSION_XP : VERSION_SERVER_2003;
    case 6:
      switch (minor) {
        case 0:
          return VERSION_VISTA;
        case 1:
          return VERSION_WIN7;
        case 2:
          return VERSION_WIN8;
        default:
          return VERSION_WIN8_1;
      }
    case 10:
      return build < 10586 ? VERSION_WIN10 : VERSION_WIN10_TH2;
    default:
      return VERSION_WIN_LAST;
  }
}

int SetVersionOverrideForTesting(int version) {
  return g_version_override.exchange(version);
}

}  // namespace internal

}  // namespace win
}  // namespace base
