#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_RECORDS_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_RECORDS_H_

// The fixed layouts that cross process boundaries: the watched process and
// its crash reporter read each other's copies of these records by address,
// and exchange the pipe record over the crash pipe. Their sizes and offsets
// must never change.

#include <stddef.h>
#include <stdint.h>

namespace vexlo {
namespace crash_reporter {

// One named text value that the reporter copies out of a crashed process.
struct CrashKeyEntry {
  static constexpr size_t kNameLength = 64;
  static constexpr size_t kValueLength = 64;
  wchar_t name[kNameLength];    // NUL-terminated
  wchar_t value[kValueLength];  // NUL-terminated, at most 63 units of text
};
static_assert(sizeof(CrashKeyEntry) == 256, "crash key entry layout");

// A run of crash-key entries, as handed to the exception handler and sent
// in the pipe registration. {null, 0} when there is no table.
struct CrashKeySet {
  CrashKeyEntry* entries = nullptr;
  size_t count = 0;
};

// What a runtime-library report carries: the record the reporter reads from
// the crashed process, and that dumps carry as a user stream.
struct AssertionRecord {
  enum Type : uint32_t {
    kNone = 0,
    kInvalidParameter = 1,
    kPureVirtualCall = 2,
  };
  static constexpr size_t kTextLength = 128;
  wchar_t expression[kTextLength];
  wchar_t function[kTextLength];
  wchar_t file[kTextLength];
  uint32_t line;
  uint32_t type;
};
static_assert(sizeof(AssertionRecord) == 776, "assertion record layout");
static_assert(offsetof(AssertionRecord, line) == 768, "assertion line");

// What a crashed reporter leaves for the fresh copy that reports it, and
// what a watched client's dump request becomes inside the reporter: the
// crashing thread, the address of its exception pointers (inside the
// crashed process) and, for runtime-library reports, the assertion part,
// whose type field tells the kind of crash.
struct SelfCrashRecord {
  uint32_t thread_id;
  uint32_t reserved;
  uint64_t exception_pointers;
  AssertionRecord assertion;
};
static_assert(sizeof(SelfCrashRecord) == 792, "self-crash record layout");
static_assert(offsetof(SelfCrashRecord, assertion) == 16,
              "self-crash record assertion part");

// One message on the crash pipe; every message is exactly one record, and
// the fields a message does not use are zero.
struct CrashPipeMessage {
  enum Tag : uint32_t {
    kRegistrationRequest = 1,
    kRegistrationReply = 2,
    kRegistrationAck = 3,
    kUploadRequest = 4,
  };
  uint32_t tag;
  // Request: the client's process id; reply: the server's; upload request:
  // a crash id.
  uint32_t id;
  uint32_t dump_type;
  uint32_t reserved;
  // Addresses inside the client.
  uint64_t thread_id_address;
  uint64_t exception_pointers_address;
  uint64_t assertion_address;
  uint64_t crash_keys_address;
  uint64_t crash_key_count;
  // Reply: handles valid inside the client.
  uint64_t dump_request_event;
  uint64_t dump_done_event;
  uint64_t server_alive_mutex;
};
static_assert(sizeof(CrashPipeMessage) == 80, "crash pipe record layout");
static_assert(offsetof(CrashPipeMessage, thread_id_address) == 16,
              "crash pipe record addresses");
static_assert(offsetof(CrashPipeMessage, dump_request_event) == 56,
              "crash pipe record handles");

// The access each handle of a registration reply grants the client, as the
// server duplicates it: exactly these, so that a handle of any other kind
// is no reply's.
constexpr uint32_t kDumpRequestEventAccess = 0x0002;  // EVENT_MODIFY_STATE
// SYNCHRONIZE | EVENT_MODIFY_STATE
constexpr uint32_t kDumpDoneEventAccess = 0x00100002;
constexpr uint32_t kServerAliveMutexAccess = 0x00100000;  // SYNCHRONIZE

// The name prefixes of the reporter's kernel objects, followed by a process
// id in decimal.
constexpr wchar_t kCrashPipeNamePrefix[] = L"\\\\.\\pipe\\VexloCrashReporter";
constexpr wchar_t kCrashReporterInitEventPrefix[] =
    L"VexloCrashReporterInitEvent";

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_RECORDS_H_
