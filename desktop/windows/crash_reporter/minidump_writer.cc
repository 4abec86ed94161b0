#include "desktop/windows/crash_reporter/minidump_writer.h"

#include <windows.h>

#include <dbghelp.h>
#include <psapi.h>
#include <stdio.h>

#include <string>
#include <utility>
#include <vector>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/native_library.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "base/win/scoped_handle.h"
#include "desktop/common/product/product_info.h"
#include "desktop/windows/crash_reporter/crash_metadata.h"

namespace vexlo {
namespace crash_reporter {

namespace {

using MiniDumpWriteDumpFunction = decltype(&::MiniDumpWriteDump);

// MiniDumpWriteDump's answer when a dump type is beyond what it can write.
constexpr DWORD kDumpTypeRefused = 0x80070057;

// The kinds tried in turn: the richer one first, the plain one when the
// richer one is too large.
constexpr MINIDUMP_TYPE kDumpTypes[] = {MiniDumpWithIndirectlyReferencedMemory,
                                        MiniDumpNormal};

// dbghelp.dll of the system folder, loaded for one dump: a copy of the same
// name beside the program must not be picked up.
class ScopedDbghelp {
 public:
  ScopedDbghelp() {
    module_ = base::LoadNativeLibrary(base::FilePath(L"dbghelp.dll"), nullptr);
    if (module_) {
      write_dump_ =
          reinterpret_cast<MiniDumpWriteDumpFunction>(reinterpret_cast<void*>(
              ::GetProcAddress(module_, "MiniDumpWriteDump")));
    }
  }
  ScopedDbghelp(const ScopedDbghelp&) = delete;
  ScopedDbghelp& operator=(const ScopedDbghelp&) = delete;
  ~ScopedDbghelp() {
    if (module_)
      ::FreeLibrary(module_);
  }

  MiniDumpWriteDumpFunction write_dump() const { return write_dump_; }

 private:
  HMODULE module_ = nullptr;
  MiniDumpWriteDumpFunction write_dump_ = nullptr;
};

bool RewindAndCut(HANDLE file) {
  return ::SetFilePointer(file, 0, nullptr, FILE_BEGIN) !=
             INVALID_SET_FILE_POINTER &&
         ::SetEndOfFile(file);
}

// The process's handle for reading, to be owned by the caller; null when it
// cannot be opened.
HANDLE OpenCrashedProcess(DWORD process_id) {
  const HANDLE process = ::OpenProcess(
      PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id);
  if (!process)
    PLOG(ERROR) << "Opening crashed process " << process_id << " failed";
  return process;
}

bool ReadExactly(HANDLE process, uint64_t address, void* buffer, size_t size) {
  SIZE_T read = 0;
  return ::ReadProcessMemory(
             process,
             reinterpret_cast<const void*>(static_cast<uintptr_t>(address)),
             buffer, size, &read) &&
         read == size;
}

bool ReadSelfCrashRecord(HANDLE process,
                         uint64_t record_address,
                         SelfCrashRecord* record) {
  if (ReadExactly(process, record_address, record, sizeof(*record)))
    return true;
  PLOG(ERROR) << "Reading the self-crash record failed";
  return false;
}

// The exception code and address of the crash, both 0 when unreadable.
std::pair<DWORD, uint64_t> ReadExceptionCodeAndAddress(
    HANDLE process,
    const SelfCrashRecord& record) {
  uint64_t pointers[2] = {};
  EXCEPTION_RECORD64 exception = {};
  if (!ReadExactly(process, record.exception_pointers, pointers,
                   sizeof(pointers)) ||
      !ReadExactly(process, pointers[0], &exception, sizeof(exception))) {
    return {0, 0};
  }
  return {exception.ExceptionCode, exception.ExceptionAddress};
}

bool ReadWholeFile(const base::FilePath& path, std::string* contents) {
  return base::ReadFileToString(path, contents) && !contents->empty();
}

std::string ShortCrashLogHeader(const std::wstring& image_name,
                                std::pair<DWORD, uint64_t> exception) {
  CrashReportData data;
  SetReporterCrashReportData(&data);
  std::string header = base::StringPrintf(
      "VEXLO-CRASHLOG V1 desktop%s %s %s windows x64 release\r\n"
      "%ls caused exception %lX at address %012llX (BASE: 00000000)\r\n",
      data.product_suffix.c_str(), data.version.c_str(), data.build.c_str(),
      image_name.c_str(), static_cast<unsigned long>(exception.first),
      static_cast<unsigned long long>(exception.second));
  if (!data.metadata.empty()) {
    header += "\r\nmetadata:\r\n";
    for (const auto& pair : data.metadata) {
      header += base::StringPrintf("%s=\"%s\"\r\n", pair.first.c_str(),
                                   pair.second.c_str());
    }
  }
  return header + "\r\nminidump:\r\n";
}

bool WriteTextThenBytes(const base::FilePath& path,
                        const std::string& text,
                        const std::string& bytes) {
  FILE* file = base::OpenFile(path, "wb");
  if (!file) {
    PLOG(ERROR) << "Opening " << path.AsUTF8() << " failed";
    return false;
  }
  const bool written =
      fwrite(text.data(), 1, text.size(), file) == text.size() &&
      fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = fclose(file) == 0;
  if (written && closed)
    return true;
  LOG(ERROR) << "Writing " << path.AsUTF8() << " failed";
  base::DeleteFile(path, false);
  return false;
}

}  // namespace

bool WriteMinidump(HANDLE process,
                   DWORD process_id,
                   const SelfCrashRecord& record,
                   HANDLE file,
                   int64_t size_limit) {
  const ScopedDbghelp dbghelp;
  if (!dbghelp.write_dump()) {
    PLOG(ERROR) << "MiniDumpWriteDump is not available";
    return false;
  }
  MINIDUMP_EXCEPTION_INFORMATION exception = {};
  exception.ThreadId = record.thread_id;
  exception.ExceptionPointers = reinterpret_cast<EXCEPTION_POINTERS*>(
      static_cast<uintptr_t>(record.exception_pointers));
  exception.ClientPointers = TRUE;

  const std::string version = ProductInfo::GetVersionString() + " " +
                              base::IntToString(ProductInfo::GetBuildNumber());
  AssertionRecord assertion = record.assertion;
  MINIDUMP_USER_STREAM streams[] = {
      {kVersionStreamType, static_cast<ULONG>(version.size()),
       const_cast<char*>(version.data())},
      {kAssertionStreamType, sizeof(assertion), &assertion},
  };
  MINIDUMP_USER_STREAM_INFORMATION stream_information = {};
  stream_information.UserStreamCount =
      record.assertion.type == AssertionRecord::kInvalidParameter ? 2 : 1;
  stream_information.UserStreamArray = streams;

  for (const MINIDUMP_TYPE type : kDumpTypes) {
    if (dbghelp.write_dump()(process, process_id, file, type, &exception,
                             &stream_information, nullptr)) {
      LARGE_INTEGER size = {};
      if (!::GetFileSizeEx(file, &size)) {
        PLOG(ERROR) << "Reading the minidump's size failed";
        return false;
      }
      if (size.QuadPart <= size_limit)
        return true;
      LOG(WARNING) << "A minidump of type " << type << " takes "
                   << size.QuadPart << " bytes, more than " << size_limit;
    } else if (::GetLastError() != kDumpTypeRefused) {
      PLOG(ERROR) << "MiniDumpWriteDump failed";
      return false;
    }
    if (!RewindAndCut(file)) {
      PLOG(ERROR) << "Emptying the minidump file failed";
      return false;
    }
  }
  return false;
}

bool WriteMinidumpFile(HANDLE process,
                       DWORD process_id,
                       const SelfCrashRecord& record,
                       const base::FilePath& path,
                       int64_t size_limit) {
  bool written = false;
  {
    base::win::ScopedHandle file(
        ::CreateFileW(path.value().c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
      PLOG(ERROR) << "Creating " << path.AsUTF8() << " failed";
      return false;
    }
    written =
        WriteMinidump(process, process_id, record, file.Get(), size_limit);
  }
  if (!written)
    ::DeleteFileW(path.value().c_str());
  return written;
}

bool WriteClientMinidump(DWORD process_id,
                         uint64_t thread_id_address,
                         uint64_t exception_pointers_address,
                         uint64_t assertion_address,
                         const base::FilePath& path,
                         int64_t size_limit) {
  const base::win::ScopedHandle process(OpenCrashedProcess(process_id));
  if (!process.IsValid())
    return false;
  SelfCrashRecord record = {};
  if (!ReadExactly(process.Get(), exception_pointers_address,
                   &record.exception_pointers,
                   sizeof(record.exception_pointers)) ||
      !ReadExactly(process.Get(), thread_id_address, &record.thread_id,
                   sizeof(record.thread_id)) ||
      (assertion_address &&
       !ReadExactly(process.Get(), assertion_address, &record.assertion,
                    sizeof(record.assertion)))) {
    PLOG(ERROR) << "Reading the crash client's crash fields failed";
    return false;
  }
  return WriteMinidumpFile(process.Get(), process_id, record, path, size_limit);
}

bool WriteReporterMinidump(DWORD process_id,
                           uint64_t record_address,
                           const base::FilePath& path,
                           int64_t size_limit) {
  const base::win::ScopedHandle process(OpenCrashedProcess(process_id));
  SelfCrashRecord record;
  return process.IsValid() &&
         ReadSelfCrashRecord(process.Get(), record_address, &record) &&
         WriteMinidumpFile(process.Get(), process_id, record, path, size_limit);
}

bool WriteShortCrashLog(DWORD process_id,
                        uint64_t record_address,
                        const base::FilePath& log_path,
                        int64_t size_limit) {
  const base::win::ScopedHandle process(OpenCrashedProcess(process_id));
  if (!process.IsValid())
    return false;
  wchar_t image[MAX_PATH] = {};
  if (!::GetProcessImageFileNameW(process.Get(), image, MAX_PATH)) {
    PLOG(ERROR) << "Reading the crashed process's image name failed";
    return false;
  }
  const std::wstring image_name = base::FilePath(image).BaseName().value();
  SelfCrashRecord record;
  if (!ReadSelfCrashRecord(process.Get(), record_address, &record))
    return false;

  base::FilePath dump_path;
  if (!base::CreateTemporaryFile(&dump_path))
    return false;
  std::string dump;
  const bool dumped = WriteMinidumpFile(process.Get(), process_id, record,
                                        dump_path, size_limit) &&
                      ReadWholeFile(dump_path, &dump);
  base::DeleteFile(dump_path, false);
  if (!dumped)
    return false;
  return WriteTextThenBytes(
      log_path,
      ShortCrashLogHeader(image_name,
                          ReadExceptionCodeAndAddress(process.Get(), record)),
      dump);
}

}  // namespace crash_reporter
}  // namespace vexlo
