#include "desktop/windows/crash_reporter/crash_client.h"

#include <string.h>
#include <wchar.h>

#include <algorithm>

#include "base/logging.h"
#include "base/strings/string_number_conversions.h"

namespace vexlo {
namespace crash_reporter {

namespace {

constexpr wchar_t kUptimeKeyName[] = L"ptime";

uint64_t FileTimeToUint64(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) |
         time.dwLowDateTime;
}

void CopyTruncated(const base::string16& text,
                   wchar_t* field,
                   size_t field_length) {
  const size_t length = std::min(text.size(), field_length - 1);
  wmemcpy(field, text.data(), length);
  field[length] = L'\0';
}

}  // namespace

CrashClient::CrashClient(CrashPipeServer* server,
                         const CrashPipeMessage& request)
    : server_(server),
      process_id_(request.id),
      dump_type_(request.dump_type),
      thread_id_address_(request.thread_id_address),
      exception_pointers_address_(request.exception_pointers_address),
      assertion_address_(request.assertion_address),
      crash_keys_address_(request.crash_keys_address),
      crash_key_count_(request.crash_key_count) {}

CrashClient::~CrashClient() = default;

bool CrashClient::Initialize() {
  process_.Set(::OpenProcess(GENERIC_ALL, FALSE, process_id_));
  if (!process_.IsValid()) {
    PLOG(ERROR) << "OpenProcess of crash client " << process_id_ << " failed";
    return false;
  }
  FILETIME exit_time, kernel_time, user_time;
  if (!::GetProcessTimes(process_.Get(), &start_time_, &exit_time, &kernel_time,
                         &user_time)) {
    ::GetSystemTimeAsFileTime(&start_time_);
  }
  crash_id_ = start_time_.dwLowDateTime;
  dump_request_event_.Set(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  dump_done_event_.Set(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!dump_request_event_.IsValid() || !dump_done_event_.IsValid()) {
    PLOG(ERROR) << "CreateEvent for crash client failed";
    return false;
  }
  return true;
}

void CrashClient::FetchCrashKeys() {
  if (crash_key_count_ > kMaxCrashKeyCount)
    return;
  const size_t count = static_cast<size_t>(crash_key_count_);
  if (crash_keys_.empty()) {
    crash_keys_.resize(count + 1, CrashKeyEntry());
    wcscpy(crash_keys_.back().name, kUptimeKeyName);
  }
  const size_t size = count * sizeof(CrashKeyEntry);
  if (size > 0 && !ReadMemory(crash_keys_address_, crash_keys_.data(), size)) {
    PLOG(ERROR) << "Reading the crash keys of " << process_id_ << " failed";
    return;
  }
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  const uint64_t start = FileTimeToUint64(start_time_);
  const uint64_t current = FileTimeToUint64(now);
  // File times count 100 ns; the uptime is in milliseconds.
  const uint64_t uptime = current > start ? (current - start) / 10000 : 0;
  CopyTruncated(base::Uint64ToString16(uptime), crash_keys_.back().value,
                CrashKeyEntry::kValueLength);
}

bool CrashClient::ReadMemory(uint64_t address,
                             void* buffer,
                             size_t size) const {
  SIZE_T read = 0;
  return ::ReadProcessMemory(
             process_.Get(),
             reinterpret_cast<const void*>(static_cast<uintptr_t>(address)),
             buffer, size, &read) &&
         read == size;
}

CrashKeySet CrashClient::GetCrashKeys() const {
  CrashKeySet keys;
  if (!crash_keys_.empty()) {
    keys.entries = const_cast<CrashKeyEntry*>(crash_keys_.data());
    keys.count = crash_keys_.size();
  }
  return keys;
}

}  // namespace crash_reporter
}  // namespace vexlo
