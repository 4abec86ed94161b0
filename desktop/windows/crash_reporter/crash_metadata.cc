#include "desktop/windows/crash_reporter/crash_metadata.h"

#include <windows.h>

#include <wchar.h>

#include <iterator>

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"

namespace vexlo {
namespace crash_reporter {

namespace {

base::LazyInstance::DestroyedAtExit<CrashMetadata> g_crash_metadata;

// Names of keys whose slots are collected into one line each, in the order
// their lines are written.
constexpr const wchar_t* kListKeyNames[] = {
    L"kronta_test",           L"enabled_extensions",
    L"disabled_extensions",   L"blacklisted_extensions",
    L"terminated_extensions", L"third_party_installs",
};
constexpr size_t kKrontaListIndex = 0;

// Keys the text log leaves out: they are sent otherwise or are too large.
constexpr const wchar_t* kSkippedKeyNames[] = {
    L"ptime",    L"active_url",         L"crash_guid",
    L"modules",  L"handle_info_items",  L"invalid_handle",
    L"buildset", L"build_request_time",
};

constexpr size_t kMaxKeyNameLength = 63;
constexpr DWORD kEnvironmentBufferLength = 192;
constexpr size_t kBuildTimeDigits = 8;
constexpr size_t kBuildsetDigits = 6;
constexpr size_t kSecondDigits = 3;
constexpr size_t kMinUptimeLength = 4;
constexpr size_t kMaxUptimeLength = 13;

base::string16 FieldText(const wchar_t* field, size_t length) {
  return base::string16(field, wcsnlen(field, length));
}

base::string16 EntryName(const CrashKeyEntry& entry) {
  return FieldText(entry.name, CrashKeyEntry::kNameLength);
}

base::string16 EntryValue(const CrashKeyEntry& entry) {
  return FieldText(entry.value, CrashKeyEntry::kValueLength);
}

bool IsLoggableKeyName(const base::string16& name) {
  if (name.empty() || name.size() > kMaxKeyNameLength)
    return false;
  for (wchar_t c : name) {
    const bool allowed = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
                         (c >= L'0' && c <= L'9') || c == L'.' || c == L'-' ||
                         c == L'_';
    if (!allowed)
      return false;
  }
  return true;
}

template <size_t kCount>
int IndexOf(const wchar_t* const (&names)[kCount], const base::string16& name) {
  for (size_t i = 0; i < kCount; ++i) {
    if (name == names[i])
      return static_cast<int>(i);
  }
  return -1;
}

std::string LowerHex(unsigned value) {
  return base::StringPrintf("0x%x", value);
}

void AddField(const base::string16& name,
              const base::string16& value,
              UploadFields* fields) {
  fields->emplace(name, value);
}

// The value of the first entry named |name|, or |fallback| when there is
// no such entry.
base::string16 CrashKeyValueOr(const CrashKeySet& keys,
                               const wchar_t* name,
                               const base::string16& fallback) {
  base::string16 value;
  return GetCrashKeyValue(keys, name, &value) ? value : fallback;
}

}  // namespace

// static
CrashMetadata* CrashMetadata::Get() {
  return g_crash_metadata.Pointer();
}

CrashMetadata::CrashMetadata() {
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  if (::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) {
    os_version_ =
        base::StringPrintf("%lu.%lu.%lu", version.dwMajorVersion,
                           version.dwMinorVersion, version.dwBuildNumber);
    if (version.wServicePackMajor != 0) {
      os_service_pack_version_ = base::StringPrintf(
          "%u.%u", version.wServicePackMajor, version.wServicePackMinor);
    }
  }
  SYSTEM_INFO system = {};
  ::GetNativeSystemInfo(&system);
  cpu_architecture_ = LowerHex(system.wProcessorArchitecture);
  cpu_level_ = LowerHex(system.wProcessorLevel);
  cpu_revision_ = LowerHex(system.wProcessorRevision);

  field_names_ = {
      {L"version", L"Version"},
      {L"build", L"UBN"},
      {L"process_type", L"ProcessType"},
      {L"active_url", L"URL"},
      {L"gpu_vendor_id", L"gpu_vendor_id"},
      {L"gpu_device_id", L"gpu_device_id"},
      {L"gpu_driver_version", L"gpu_driver_version"},
      {L"gpu_pixel_shader_version", L"gpu_pixel_shader_version"},
      {L"gpu_vertex_shader_version", L"gpu_vertex_shader_version"},
  };
  const base::string16 email_variable = base::UTF8ToUTF16(
      base::ToUpperASCII(ProductConfiguration::GetProductName()) +
      "_CRASH_EMAIL");
  minidump_environment_ = {{email_variable, L"Email"}};
  crash_log_environment_ = {{email_variable, L"email"}};
}

const CrashKeyEntry* FindCrashKeyEntry(const CrashKeySet& keys,
                                       const wchar_t* name) {
  for (size_t i = 0; i < keys.count; ++i) {
    if (EntryName(keys.entries[i]) == name)
      return &keys.entries[i];
  }
  return nullptr;
}

bool GetCrashKeyValue(const CrashKeySet& keys,
                      const wchar_t* name,
                      base::string16* value) {
  const CrashKeyEntry* entry = FindCrashKeyEntry(keys, name);
  if (!entry)
    return false;
  *value = EntryValue(*entry);
  return true;
}

bool GetJoinedCrashKeyValue(const CrashKeySet& keys,
                            const wchar_t* name,
                            base::string16* value) {
  value->clear();
  for (size_t i = 0; i < keys.count; ++i) {
    if (EntryName(keys.entries[i]) == name)
      *value += EntryValue(keys.entries[i]);
  }
  return !value->empty();
}

base::string16 GetCrashOrigin(const CrashKeySet& keys) {
  base::string16 value;
  if (GetCrashKeyValue(keys, L"kronta_test", &value) && !value.empty())
    return L"Kronta";
  if (GetCrashKeyValue(keys, L"origin", &value) && value == L"Wirn")
    return L"Wirn";
  return base::string16();
}

bool IsBrowserProcessCrash(const CrashKeySet& keys) {
  base::string16 value;
  return GetCrashKeyValue(keys, L"process_type", &value) && value == L"browser";
}

void CollectCrashKeyMetadata(const CrashKeySet& keys, CrashReportData* data) {
  base::string16 lists[std::size(kListKeyNames)];
  for (size_t i = 0; i < keys.count; ++i) {
    const base::string16 name = EntryName(keys.entries[i]);
    if (!IsLoggableKeyName(name) || IndexOf(kSkippedKeyNames, name) >= 0)
      continue;
    const base::string16 value = EntryValue(keys.entries[i]);
    const int list = IndexOf(kListKeyNames, name);
    if (list >= 0) {
      lists[list] += value;
    } else if (name == L"version") {
      data->version = base::UTF16ToUTF8(value);
    } else if (name == L"build") {
      data->build = base::UTF16ToUTF8(value);
    } else if (!value.empty()) {
      data->metadata.emplace_back(base::UTF16ToUTF8(name),
                                  base::UTF16ToUTF8(value));
    }
  }
  for (size_t i = 0; i < std::size(kListKeyNames); ++i) {
    if (i == kKrontaListIndex && lists[i].empty())
      continue;
    data->metadata.emplace_back(base::UTF16ToUTF8(kListKeyNames[i]),
                                base::UTF16ToUTF8(lists[i]));
  }
  const CrashMetadata* system = CrashMetadata::Get();
  data->metadata.emplace_back("os_version", system->os_version());
  data->metadata.emplace_back("os_service_pack_version",
                              system->os_service_pack_version());
  data->metadata.emplace_back("cpu_architecture", system->cpu_architecture());
  data->metadata.emplace_back("cpu_level", system->cpu_level());
  data->metadata.emplace_back("cpu_revision", system->cpu_revision());
  FillCrashReportDataDefaults(data);
}

void AddMemoryMetadata(uint64_t working_set,
                       uint64_t peak_working_set,
                       uint64_t private_usage,
                       CrashReportData* data) {
  data->metadata.emplace_back("mem_working_set_size",
                              base::Uint64ToString(working_set));
  data->metadata.emplace_back("mem_peak_working_set_size",
                              base::Uint64ToString(peak_working_set));
  data->metadata.emplace_back("mem_private_usage",
                              base::Uint64ToString(private_usage));
}

void SetReporterCrashReportData(CrashReportData* data) {
  data->metadata.assign({{"process_type", "crash_reporter"}});
  FillCrashReportDataDefaults(data);
}

void FillCrashReportDataDefaults(CrashReportData* data) {
  if (data->version.empty())
    data->version = ProductInfo::GetVersionString();
  if (data->build.empty())
    data->build = base::IntToString(ProductInfo::GetBuildNumber());
  if (data->product_suffix.empty())
    data->product_suffix = ProductConfiguration::GetCrashLogProductSuffix();
}

void GetCrashLogUploadFields(const CrashKeySet& keys, UploadFields* fields) {
  AddEnvironmentFields(CrashMetadata::Get()->crash_log_environment(), fields);
  base::string16 uptime;
  if (GetCrashKeyValue(keys, L"ptime", &uptime) &&
      uptime.size() >= kMinUptimeLength && uptime.size() <= kMaxUptimeLength) {
    AddField(L"CrashUptime", uptime.substr(0, uptime.size() - kSecondDigits),
             fields);
  }
  const base::string16 origin = GetCrashOrigin(keys);
  if (!origin.empty())
    AddField(L"origin", origin, fields);
  base::string16 url;
  if (!IsBrowserProcessCrash(keys) &&
      GetJoinedCrashKeyValue(keys, L"active_url", &url)) {
    AddField(L"url", url, fields);
  }
}

void AddStacktraceId(const base::string16& crash_id, UploadFields* fields) {
  if (!crash_id.empty())
    AddField(L"stacktraceId", crash_id, fields);
}

void GetReporterCrashLogUploadFields(UploadFields* fields) {
  AddEnvironmentFields(CrashMetadata::Get()->crash_log_environment(), fields);
}

void GetMinidumpUploadFields(const CrashKeySet& keys, UploadFields* fields) {
  const CrashMetadata* metadata = CrashMetadata::Get();
  AddEnvironmentFields(metadata->minidump_environment(), fields);
  AddMappedCrashKeyFields(keys, metadata->field_names(), fields);
  const base::string16 origin = GetCrashOrigin(keys);
  if (!origin.empty())
    AddField(L"Origin", origin, fields);
  AddField(L"BuildID", GetBuildIdFromCrashKeys(keys), fields);
  AddDefaultUploadFields(fields);
}

void GetReporterMinidumpUploadFields(UploadFields* fields) {
  AddEnvironmentFields(CrashMetadata::Get()->minidump_environment(), fields);
  AddField(L"ProcessType", L"crash_reporter", fields);
  AddDefaultUploadFields(fields);
}

void AddEnvironmentFields(const FieldNameTable& table, UploadFields* fields) {
  for (const auto& row : table) {
    wchar_t value[kEnvironmentBufferLength];
    const DWORD length = ::GetEnvironmentVariableW(row.first.c_str(), value,
                                                   kEnvironmentBufferLength);
    if (length >= 1 && length < kEnvironmentBufferLength)
      AddField(row.second, base::string16(value, length), fields);
  }
}

void AddMappedCrashKeyFields(const CrashKeySet& keys,
                             const FieldNameTable& table,
                             UploadFields* fields) {
  for (size_t i = 0; i < keys.count; ++i) {
    const auto row = table.find(EntryName(keys.entries[i]));
    if (row != table.end())
      (*fields)[row->second] += EntryValue(keys.entries[i]);
  }
}

void AddDefaultUploadFields(UploadFields* fields) {
  AddField(L"ProductName", L"VexloDesktop", fields);
  AddField(L"Version", base::UTF8ToUTF16(ProductInfo::GetVersionString()),
           fields);
  AddField(L"UBN", base::IntToString16(ProductInfo::GetBuildNumber()), fields);
  AddField(L"ReleaseChannel", GetReleaseChannelName(), fields);
  const auto process_type = fields->find(L"ProcessType");
  const bool tests =
      process_type != fields->end() && process_type->second == L"browser_tests";
  AddField(L"symbols-package", tests ? L"tests-syms" : L"browser-syms", fields);
  AddField(L"BuildID", GetDefaultBuildId(), fields);
}

base::string16 GetReleaseChannelName() {
  if (ProductInfo::GetChannelCode() == ProductInfo::CHANNEL_DEVELOPER)
    return L"nightly";
  return base::UTF8ToUTF16(ProductInfo::GetChannel());
}

base::string16 MakeBuildId(const base::string16& buildset,
                           const base::string16& build_time) {
  base::string16 id = build_time.substr(0, kBuildTimeDigits);
  if (buildset.size() < kBuildsetDigits)
    id.append(kBuildsetDigits - buildset.size(), L'0');
  return id + buildset;
}

base::string16 GetDefaultBuildId() {
  return MakeBuildId(base::IntToString16(ProductInfo::GetBuildsetNumber()),
                     base::UTF8ToUTF16(ProductInfo::GetBuildTime()));
}

base::string16 GetBuildIdFromCrashKeys(const CrashKeySet& keys) {
  const base::string16 buildset = CrashKeyValueOr(
      keys, L"buildset", base::IntToString16(ProductInfo::GetBuildsetNumber()));
  const base::string16 build_time =
      CrashKeyValueOr(keys, L"build_request_time",
                      base::UTF8ToUTF16(ProductInfo::GetBuildTime()));
  return MakeBuildId(buildset, build_time);
}

}  // namespace crash_reporter
}  // namespace vexlo
