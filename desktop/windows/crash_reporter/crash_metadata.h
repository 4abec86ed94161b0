#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_METADATA_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_METADATA_H_

#include <stdint.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/lazy_instance.h"
#include "base/strings/string16.h"
#include "desktop/windows/crash_reporter/crash_records.h"

namespace vexlo {
namespace crash_reporter {

// What the text crash log writes besides the process state: its header
// fields and its metadata lines, in order.
struct CrashReportData {
  std::string product_suffix;
  std::string version;
  std::string build;
  std::vector<std::pair<std::string, std::string>> metadata;
};

// The form fields of an upload, in the order they are sent: plain UTF-16
// code-unit order of the names.
using UploadFields = std::map<base::string16, base::string16>;
// A table from a crash-key or environment name to a field name.
using FieldNameTable = std::map<base::string16, base::string16>;

// The facts about this machine and the tables that name the upload fields,
// gathered once per reporter process.
class CrashMetadata {
 public:
  CrashMetadata(const CrashMetadata&) = delete;
  CrashMetadata& operator=(const CrashMetadata&) = delete;

  static CrashMetadata* Get();

  const std::string& os_version() const { return os_version_; }
  const std::string& os_service_pack_version() const {
    return os_service_pack_version_;
  }
  const std::string& cpu_architecture() const { return cpu_architecture_; }
  const std::string& cpu_level() const { return cpu_level_; }
  const std::string& cpu_revision() const { return cpu_revision_; }
  // Crash-key name -> minidump field name.
  const FieldNameTable& field_names() const { return field_names_; }
  // Environment variable -> minidump field name.
  const FieldNameTable& minidump_environment() const {
    return minidump_environment_;
  }
  // Environment variable -> text-log field name.
  const FieldNameTable& crash_log_environment() const {
    return crash_log_environment_;
  }

 private:
  friend class base::LazyInstance::StaticInstance<CrashMetadata, true>;

  CrashMetadata();

  std::string os_version_;
  std::string os_service_pack_version_;
  std::string cpu_architecture_;
  std::string cpu_level_;
  std::string cpu_revision_;
  FieldNameTable field_names_;
  FieldNameTable minidump_environment_;
  FieldNameTable crash_log_environment_;
};

// Lookups in fetched crash keys. Names and values fill at most 64 units and
// may lack a terminator; every comparison stops there.
const CrashKeyEntry* FindCrashKeyEntry(const CrashKeySet& keys,
                                       const wchar_t* name);
bool GetCrashKeyValue(const CrashKeySet& keys,
                      const wchar_t* name,
                      base::string16* value);
// The values of every entry named |name|, joined in entry order; false when
// the result is empty.
bool GetJoinedCrashKeyValue(const CrashKeySet& keys,
                            const wchar_t* name,
                            base::string16* value);
// "Kronta", "Wirn" or empty.
base::string16 GetCrashOrigin(const CrashKeySet& keys);
bool IsBrowserProcessCrash(const CrashKeySet& keys);

// The text log's record of a client crash, then its memory counters.
void CollectCrashKeyMetadata(const CrashKeySet& keys, CrashReportData* data);
void AddMemoryMetadata(uint64_t working_set,
                       uint64_t peak_working_set,
                       uint64_t private_usage,
                       CrashReportData* data);
// The record of a crash of the reporter itself.
void SetReporterCrashReportData(CrashReportData* data);
void FillCrashReportDataDefaults(CrashReportData* data);

// Upload fields. A field that exists is never replaced.
void GetCrashLogUploadFields(const CrashKeySet& keys, UploadFields* fields);
void AddStacktraceId(const base::string16& crash_id, UploadFields* fields);
void GetReporterCrashLogUploadFields(UploadFields* fields);
void GetMinidumpUploadFields(const CrashKeySet& keys, UploadFields* fields);
void GetReporterMinidumpUploadFields(UploadFields* fields);
void AddEnvironmentFields(const FieldNameTable& table, UploadFields* fields);
void AddMappedCrashKeyFields(const CrashKeySet& keys,
                             const FieldNameTable& table,
                             UploadFields* fields);
void AddDefaultUploadFields(UploadFields* fields);
base::string16 GetReleaseChannelName();
base::string16 MakeBuildId(const base::string16& buildset,
                           const base::string16& build_time);
base::string16 GetDefaultBuildId();
base::string16 GetBuildIdFromCrashKeys(const CrashKeySet& keys);

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_METADATA_H_
