#include "desktop/windows/crash_reporter/test/minidump_test_util.h"

#include <string.h>

namespace vexlo {
namespace crash_reporter {

namespace {

// The header: signature, version, stream count, directory offset, checksum,
// time stamp, then the 64-bit dump type.
constexpr size_t kHeaderSize = 32;

bool IsMinidump(const std::string& bytes) {
  return bytes.size() >= kHeaderSize && bytes.compare(0, 4, "MDMP") == 0;
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

}  // namespace crash_reporter
}  // namespace vexlo
