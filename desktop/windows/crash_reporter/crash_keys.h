#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_KEYS_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_KEYS_H_

#include <stddef.h>

#include "base/lazy_instance.h"
#include "base/strings/string16.h"
#include "base/synchronization/lock.h"
#include "desktop/windows/crash_reporter/crash_records.h"

namespace vexlo {
namespace crash_reporter {

// The process's crash keys: a fixed table of named text values at a stable
// address, which the crash reporter copies out of a crashed process in one
// read. The pages are read-only except during a write, so that a stray
// write elsewhere in the process cannot corrupt them unnoticed. Every
// process that shares a reporter has the same slot names.
class CrashKeys {
 public:
  static constexpr size_t kEntryCount = 96;
  // Slots written by the installer.
  enum Slot : size_t {
    kVersionSlot = 0,
    kBuildSlot = 1,
    kBuildsetSlot = 2,
    kBuildRequestTimeSlot = 3,
    kProcessTypeSlot = 4,
    kIsWow64Slot = 27,
    kExceptionPolicySlot = 28,
    kKrontaTestFirstSlot = 29,
    kKrontaTestLastSlot = 32,
    kOriginSlot = 33,
    kModulesFirstSlot = 78,
    kModulesLastSlot = 93,
  };

  CrashKeys(const CrashKeys&) = delete;
  CrashKeys& operator=(const CrashKeys&) = delete;

  // The process's table, made on first use and never destroyed.
  static CrashKeys* Get();

  // Sets one slot's value, cut to 63 units; null clears it.
  void SetValue(size_t slot, const wchar_t* value);
  // Spreads |value| over the slots |first| to |last| in 63-unit chunks and
  // clears the rest of the range; text beyond the range is dropped.
  void SetValueRange(size_t first, size_t last, const base::string16& value);

  // The table, or null when its pages could not be had.
  const CrashKeyEntry* entries() const { return entries_; }
  // {table, 96}, or {null, 0} without a table.
  CrashKeySet key_set() const;

 private:
  friend class base::LazyInstance::StaticInstance<CrashKeys, false>;

  CrashKeys();

  void FillNames();
  void FillConstructionValues();
  bool MakeWritable();
  void MakeReadOnly();
  void WriteValue(size_t slot, const wchar_t* value, size_t length);

  CrashKeyEntry* entries_ = nullptr;
  base::Lock lock_;
};

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_KEYS_H_
