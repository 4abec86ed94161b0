#include "desktop/windows/crash_reporter/test/minidump_test_util.h"

#include <windows.h>

#include <dbghelp.h>
#include <string.h>

#include "base/files/file_path.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"

namespace vexlo {
namespace crash_reporter {

namespace {

// The header: signature, version, stream count, directory offset, checksum,
// time stamp, then the 64-bit dump type.
constexpr size_t kHeaderSize = 32;

bool IsMinidump(const std::string& bytes) {
  return bytes.size() >= kHeaderSize && bytes.compare(0, 4, "MDMP") == 0;
}

// The file name of a module the dump names at |rva|; empty when the name
// lies outside the dump.
std::string ReadModuleName(const std::string& bytes, uint32_t rva) {
  uint32_t length = 0;
  if (uint64_t{rva} + sizeof(length) > bytes.size())
    return std::string();
  memcpy(&length, &bytes[rva], sizeof(length));
  if (uint64_t{rva} + sizeof(length) + length > bytes.size())
    return std::string();
  base::string16 name(length / sizeof(wchar_t), L'\0');
  memcpy(&name[0], &bytes[rva + sizeof(length)], name.size() * sizeof(wchar_t));
  return base::UTF16ToUTF8(base::FilePath(name).BaseName().value());
}

// |address| as "module+0xoffset" when a module of the dump holds it.
std::string DescribeAddress(const std::string& bytes,
                            const std::string& module_list,
                            uint64_t address) {
  uint32_t count = 0;
  if (module_list.size() >= sizeof(count))
    memcpy(&count, module_list.data(), sizeof(count));
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t offset = sizeof(count) + i * sizeof(MINIDUMP_MODULE);
    if (offset + sizeof(MINIDUMP_MODULE) > module_list.size())
      break;
    MINIDUMP_MODULE module;
    memcpy(&module, &module_list[offset], sizeof(module));
    if (address >= module.BaseOfImage &&
        address - module.BaseOfImage < module.SizeOfImage) {
      return base::StringPrintf(
          "%s+0x%llx", ReadModuleName(bytes, module.ModuleNameRva).c_str(),
          address - module.BaseOfImage);
    }
  }
  return base::StringPrintf("0x%llx", address);
}

// What an access violation's first parameter says the code tried.
const char* AccessKind(uint64_t parameter) {
  switch (parameter) {
    case 0:
      return "reading";
    case 1:
      return "writing";
    case 8:
      return "executing";
    default:
      return "touching";
  }
}

}  // namespace

std::map<uint32_t, std::string> ReadMinidumpStreams(const std::string& bytes,
                                                    uint32_t first_type) {
  std::map<uint32_t, std::string> streams;
  if (!IsMinidump(bytes))
    return streams;
  uint32_t count = 0;
  uint32_t directory = 0;
  memcpy(&count, &bytes[8], 4);
  memcpy(&directory, &bytes[12], 4);
  for (uint64_t i = 0; i < count; ++i) {
    uint32_t entry[3];  // type, size, offset
    if (directory + (i + 1) * 12 > bytes.size())
      break;
    memcpy(entry, &bytes[directory + i * 12], 12);
    if (entry[0] >= first_type &&
        uint64_t{entry[2]} + entry[1] <= bytes.size()) {
      streams[entry[0]] = bytes.substr(entry[2], entry[1]);
    }
  }
  return streams;
}

uint64_t ReadMinidumpType(const std::string& bytes) {
  uint64_t type = ~uint64_t{0};
  if (IsMinidump(bytes))
    memcpy(&type, &bytes[24], 8);
  return type;
}

std::string DescribeMinidumpException(const std::string& bytes) {
  std::map<uint32_t, std::string> streams = ReadMinidumpStreams(bytes, 0);
  const std::string& stream = streams[ExceptionStream];
  MINIDUMP_EXCEPTION_STREAM record;
  if (stream.size() < sizeof(record))
    return std::string();
  memcpy(&record, stream.data(), sizeof(record));
  const MINIDUMP_EXCEPTION& exception = record.ExceptionRecord;
  std::string text =
      base::StringPrintf("exception 0x%08lX at %s",
                         static_cast<unsigned long>(exception.ExceptionCode),
                         DescribeAddress(bytes, streams[ModuleListStream],
                                         exception.ExceptionAddress)
                             .c_str());
  if (exception.ExceptionCode == EXCEPTION_ACCESS_VIOLATION &&
      exception.NumberParameters >= 2) {
    text += base::StringPrintf(" (%s 0x%llx)",
                               AccessKind(exception.ExceptionInformation[0]),
                               exception.ExceptionInformation[1]);
  }
  return text + base::StringPrintf(" in thread %lu",
                                   static_cast<unsigned long>(record.ThreadId));
}

}  // namespace crash_reporter
}  // namespace vexlo
