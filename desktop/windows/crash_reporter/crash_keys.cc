#include "desktop/windows/crash_reporter/crash_keys.h"

#include <windows.h>

#include <string.h>
#include <wchar.h>

#include <algorithm>

#include "base/logging.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/common/product/product_info.h"

namespace vexlo {
namespace crash_reporter {

namespace {

constexpr size_t kTableSize = CrashKeys::kEntryCount * sizeof(CrashKeyEntry);
static_assert(kTableSize == 24576, "crash key table size");
constexpr size_t kMaxValueLength = CrashKeyEntry::kValueLength - 1;

// The slot names; a name given to a range goes into every slot of it.
constexpr struct {
  size_t first;
  size_t last;
  const wchar_t* name;
} kSlotNames[] = {
    {0, 0, L"version"},
    {1, 1, L"build"},
    {2, 2, L"buildset"},
    {3, 3, L"build_request_time"},
    {4, 4, L"process_type"},
    {5, 5, L"crash_guid"},
    {6, 21, L"active_url"},
    {22, 22, L"gpu_vendor_id"},
    {23, 23, L"gpu_device_id"},
    {24, 24, L"gpu_driver_version"},
    {25, 25, L"gpu_pixel_shader_version"},
    {26, 26, L"gpu_vertex_shader_version"},
    {27, 27, L"is_wow64"},
    {28, 28, L"exception_policy"},
    {29, 32, L"kronta_test"},
    {33, 33, L"origin"},
    {34, 49, L"enabled_extensions"},
    {50, 65, L"disabled_extensions"},
    {66, 69, L"blacklisted_extensions"},
    {70, 73, L"terminated_extensions"},
    {74, 77, L"third_party_installs"},
    {78, 93, L"modules"},
    {94, 94, L"handle_info_items"},
    {95, 95, L"invalid_handle"},
};

using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE process, BOOL* wow64);
using GetExceptionPolicyFunction = BOOL(WINAPI*)(DWORD* flags);

template <typename Function>
Function GetKernel32Function(const char* name) {
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  return kernel32 ? reinterpret_cast<Function>(reinterpret_cast<void*>(
                        ::GetProcAddress(kernel32, name)))
                  : nullptr;
}

// "1" or "0"; empty when it cannot be told.
base::string16 GetWow64Text() {
  const auto is_wow64 =
      GetKernel32Function<IsWow64ProcessFunction>("IsWow64Process");
  BOOL wow64 = FALSE;
  if (!is_wow64 || !is_wow64(::GetCurrentProcess(), &wow64))
    return base::string16();
  return wow64 ? L"1" : L"0";
}

base::string16 GetExceptionPolicyText() {
  const auto get_policy = GetKernel32Function<GetExceptionPolicyFunction>(
      "GetProcessUserModeExceptionPolicy");
  DWORD flags = 0;
  if (!get_policy || !get_policy(&flags))
    return base::string16();
  return base::StringPrintfWide(L"0x%04x", static_cast<unsigned>(flags));
}

base::LazyInstance::Leaky<CrashKeys> g_crash_keys;

}  // namespace

// static
CrashKeys* CrashKeys::Get() {
  return g_crash_keys.Pointer();
}

CrashKeys::CrashKeys() {
  entries_ = static_cast<CrashKeyEntry*>(::VirtualAlloc(
      nullptr, kTableSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (!entries_) {
    PLOG(ERROR) << "VirtualAlloc of the crash keys failed";
    return;
  }
  FillNames();
  FillConstructionValues();
  MakeReadOnly();
}

void CrashKeys::FillNames() {
  for (const auto& slots : kSlotNames) {
    for (size_t slot = slots.first; slot <= slots.last; ++slot)
      wcscpy(entries_[slot].name, slots.name);
  }
}

void CrashKeys::FillConstructionValues() {
  const base::string16 values[] = {
      base::UTF8ToUTF16(ProductInfo::GetVersionString()),
      base::StringPrintfWide(L"%d", ProductInfo::GetBuildNumber()),
      base::StringPrintfWide(L"%d", ProductInfo::GetBuildsetNumber()),
      base::UTF8ToUTF16(ProductInfo::GetBuildTime()),
  };
  for (size_t slot = 0; slot < 4; ++slot)
    WriteValue(slot, values[slot].c_str(), values[slot].size());
  const base::string16 wow64 = GetWow64Text();
  WriteValue(kIsWow64Slot, wow64.c_str(), wow64.size());
  const base::string16 policy = GetExceptionPolicyText();
  WriteValue(kExceptionPolicySlot, policy.c_str(), policy.size());
}

CrashKeySet CrashKeys::key_set() const {
  CrashKeySet keys;
  if (entries_) {
    keys.entries = entries_;
    keys.count = kEntryCount;
  }
  return keys;
}

bool CrashKeys::MakeWritable() {
  DWORD old_protection = 0;
  if (::VirtualProtect(entries_, kTableSize, PAGE_READWRITE, &old_protection)) {
    return true;
  }
  PLOG(ERROR) << "Making the crash keys writable failed";
  return false;
}

void CrashKeys::MakeReadOnly() {
  DWORD old_protection = 0;
  if (!::VirtualProtect(entries_, kTableSize, PAGE_READONLY, &old_protection))
    PLOG(ERROR) << "Making the crash keys read-only failed";
}

void CrashKeys::WriteValue(size_t slot, const wchar_t* value, size_t length) {
  length = std::min(length, kMaxValueLength);
  wmemcpy(entries_[slot].value, value, length);
  wmemset(entries_[slot].value + length, L'\0',
          CrashKeyEntry::kValueLength - length);
}

void CrashKeys::SetValue(size_t slot, const wchar_t* value) {
  if (!entries_ || slot >= kEntryCount)
    return;
  base::AutoLock lock(lock_);
  if (!MakeWritable())
    return;
  WriteValue(slot, value ? value : L"", value ? wcslen(value) : 0);
  MakeReadOnly();
}

void CrashKeys::SetValueRange(size_t first,
                              size_t last,
                              const base::string16& value) {
  if (!entries_ || first > last || last >= kEntryCount)
    return;
  base::AutoLock lock(lock_);
  if (!MakeWritable())
    return;
  size_t offset = 0;
  for (size_t slot = first; slot <= last; ++slot) {
    const size_t length = offset < value.size()
                              ? std::min(value.size() - offset, kMaxValueLength)
                              : 0;
    WriteValue(slot, value.data() + std::min(offset, value.size()), length);
    offset += length;
  }
  MakeReadOnly();
}

}  // namespace crash_reporter
}  // namespace vexlo
