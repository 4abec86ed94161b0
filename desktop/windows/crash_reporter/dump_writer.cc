#include "desktop/windows/crash_reporter/dump_writer.h"

#include <windows.h>

#include <avrfsdk.h>
#include <dbghelp.h>
#include <stdint.h>
#include <string.h>

#include <vector>

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/native_library.h"
#include "base/synchronization/lock.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_client.h"
#include "desktop/windows/crash_reporter/crash_records.h"
#include "desktop/windows/crash_reporter/crash_uuid.h"

namespace vexlo {
namespace crash_reporter {

namespace {

using MiniDumpWriteDumpFunction = decltype(&::MiniDumpWriteDump);
using VerifierEnumerateResourceFunction =
    ULONG(NTAPI*)(HANDLE process,
                  ULONG flags,
                  ULONG resource_type,
                  AVRF_RESOURCE_ENUMERATE_CALLBACK callback,
                  void* context);

constexpr DWORD kInvalidHandleCode = 0xC0000008;

base::LazyInstance::Leaky<base::Lock> g_dbghelp_lock;
MiniDumpWriteDumpFunction g_minidump_write_dump = nullptr;
bool g_dbghelp_looked_up = false;

MiniDumpWriteDumpFunction GetMiniDumpWriteDump() {
  base::AutoLock lock(g_dbghelp_lock.Get());
  if (!g_dbghelp_looked_up) {
    g_dbghelp_looked_up = true;
    // Stays loaded for the life of the process.
    const HMODULE dbghelp =
        base::LoadNativeLibrary(base::FilePath(L"dbghelp.dll"), nullptr);
    if (dbghelp) {
      g_minidump_write_dump =
          reinterpret_cast<MiniDumpWriteDumpFunction>(reinterpret_cast<void*>(
              ::GetProcAddress(dbghelp, "MiniDumpWriteDump")));
    }
  }
  return g_minidump_write_dump;
}

// The handle-operation list stream: a header and the operation records.
struct HandleOperationList {
  MINIDUMP_HANDLE_OPERATION_LIST header = {};
  std::vector<AVRF_HANDLE_OPERATION> operations;
  std::vector<uint8_t> bytes;
};

ULONG NTAPI AddHandleOperation(void* description,
                               void* context,
                               ULONG* enumeration_level) {
  static_cast<std::vector<AVRF_HANDLE_OPERATION>*>(context)->push_back(
      *static_cast<AVRF_HANDLE_OPERATION*>(description));
  *enumeration_level = HeapEnumerationEverything;
  return ERROR_SUCCESS;
}

// The trace of the handle that an invalid-handle crash tripped over. False
// fails the dump; true with |list| empty leaves the stream out.
bool CollectHandleOperations(const CrashClient& client,
                             uint64_t exception_pointers,
                             HandleOperationList* list) {
  EXCEPTION_POINTERS pointers = {};
  DWORD code = 0;
  if (!client.ReadMemory(exception_pointers, &pointers, sizeof(pointers)) ||
      !client.ReadMemory(reinterpret_cast<uintptr_t>(pointers.ExceptionRecord),
                         &code, sizeof(code))) {
    LOG(ERROR) << "Reading the crash client's exception record failed";
    return false;
  }
  if (code != kInvalidHandleCode)
    return true;
  const HMODULE verifier =
      base::LoadNativeLibrary(base::FilePath(L"verifier.dll"), nullptr);
  if (!verifier) {
    PLOG(ERROR) << "Loading verifier.dll failed";
    return false;
  }
  const auto enumerate = reinterpret_cast<VerifierEnumerateResourceFunction>(
      reinterpret_cast<void*>(
          ::GetProcAddress(verifier, "VerifierEnumerateResource")));
  std::vector<AVRF_HANDLE_OPERATION> operations;
  const ULONG result =
      enumerate ? enumerate(client.process_handle(), 0, AvrfResourceHandleTrace,
                            &AddHandleOperation, &operations)
                : ERROR_PROC_NOT_FOUND;
  ::FreeLibrary(verifier);
  if (!enumerate)
    return false;
  if (result != ERROR_SUCCESS)
    return true;

  ULONG64 faulting_handle = 0;
  for (const AVRF_HANDLE_OPERATION& operation : operations) {
    if (operation.OperationType == OperationDbBADREF)
      faulting_handle = operation.Handle;
  }
  for (const AVRF_HANDLE_OPERATION& operation : operations) {
    if (operation.Handle == faulting_handle)
      list->operations.push_back(operation);
  }
  list->header.SizeOfHeader = sizeof(list->header);
  list->header.SizeOfEntry = sizeof(AVRF_HANDLE_OPERATION);
  list->header.NumberOfEntries = static_cast<ULONG32>(list->operations.size());
  const uint8_t* header = reinterpret_cast<const uint8_t*>(&list->header);
  list->bytes.assign(header, header + sizeof(list->header));
  const uint8_t* records =
      reinterpret_cast<const uint8_t*>(list->operations.data());
  list->bytes.insert(
      list->bytes.end(), records,
      records + list->operations.size() * sizeof(AVRF_HANDLE_OPERATION));
  return true;
}

bool WriteDumpFile(const CrashClient& client,
                   HANDLE file,
                   DWORD thread_id,
                   uint64_t exception_pointers) {
  const MiniDumpWriteDumpFunction write_dump = GetMiniDumpWriteDump();
  if (!write_dump) {
    LOG(ERROR) << "MiniDumpWriteDump is not available";
    return false;
  }
  MINIDUMP_EXCEPTION_INFORMATION exception = {};
  exception.ThreadId = thread_id;
  exception.ExceptionPointers = reinterpret_cast<EXCEPTION_POINTERS*>(
      static_cast<uintptr_t>(exception_pointers));
  // The pointers are addresses inside the client.
  exception.ClientPointers = TRUE;

  // Validity flags, dump thread and requesting thread: all zero, as the
  // dumped process is always another one.
  uint32_t writer_record[3] = {};
  AssertionRecord assertion;
  if (!client.ReadMemory(client.assertion_address(), &assertion,
                         sizeof(assertion))) {
    LOG(ERROR) << "Reading the crash client's assertion record failed";
    return false;
  }
  HandleOperationList handle_operations;
  if (!(client.dump_type() & MiniDumpWithHandleData) &&
      !CollectHandleOperations(client, exception_pointers,
                               &handle_operations)) {
    return false;
  }
  MINIDUMP_USER_STREAM streams[] = {
      {DumpWriter::kWriterRecordStream, sizeof(writer_record), writer_record},
      {DumpWriter::kAssertionRecordStream, sizeof(assertion), &assertion},
      {HandleOperationListStream,
       static_cast<ULONG>(handle_operations.bytes.size()),
       handle_operations.bytes.data()},
  };
  MINIDUMP_USER_STREAM_INFORMATION stream_information = {};
  stream_information.UserStreamCount = handle_operations.bytes.empty() ? 2 : 3;
  stream_information.UserStreamArray = streams;
  if (!write_dump(client.process_handle(), client.process_id(), file,
                  static_cast<MINIDUMP_TYPE>(client.dump_type()), &exception,
                  &stream_information, nullptr)) {
    PLOG(ERROR) << "MiniDumpWriteDump failed";
    return false;
  }
  return true;
}

}  // namespace

bool DumpWriter::WriteDump(const CrashClient& client,
                           const base::FilePath& folder,
                           base::FilePath* dump_path) {
  uint64_t exception_pointers = 0;
  DWORD thread_id = 0;
  if (!client.ReadMemory(client.exception_pointers_address(),
                         &exception_pointers, sizeof(exception_pointers)) ||
      !client.ReadMemory(client.thread_id_address(), &thread_id,
                         sizeof(thread_id))) {
    LOG(ERROR) << "Reading the crash client's crash fields failed";
    return false;
  }
  // A full-memory dump would need a second file, which is never made.
  if (client.dump_type() & MiniDumpWithFullMemory) {
    LOG(ERROR) << "Full-memory dumps are not written";
    return false;
  }
  const base::FilePath path =
      folder.Append(FormatUuid(CreateDumpUuid()) + L".dmp");
  bool written = false;
  {
    base::win::ScopedHandle file(
        ::CreateFileW(path.value().c_str(), GENERIC_WRITE, 0, nullptr,
                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
      PLOG(ERROR) << "Creating " << path.AsUTF8() << " failed";
      return false;
    }
    written = WriteDumpFile(client, file.Get(), thread_id, exception_pointers);
  }
  if (!written) {
    ::DeleteFileW(path.value().c_str());
    return false;
  }
  *dump_path = path;
  return true;
}

}  // namespace crash_reporter
}  // namespace vexlo
