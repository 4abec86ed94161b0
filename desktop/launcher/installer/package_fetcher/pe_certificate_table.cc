#include "desktop/launcher/installer/package_fetcher/pe_certificate_table.h"

#include <string.h>

namespace vexlo {
namespace installer {

namespace {

constexpr size_t kHeaderOffsetField = 0x3C;
constexpr uint64_t kCertificateOffsetField = 0xA8;
constexpr uint64_t kCertificateSizeField = 0xAC;

uint32_t ReadUint32(const uint8_t* at) {
  uint32_t value;
  memcpy(&value, at, sizeof(value));
  return value;
}

// The file offset of the "PE\0\0" signature, or false when it cannot be
// taken as one: the field itself is beyond the file, or it is negative.
bool ReadHeaderOffset(const uint8_t* data, size_t length, uint64_t* offset) {
  if (length < kHeaderOffsetField + sizeof(uint32_t))
    return false;
  const int32_t value =
      static_cast<int32_t>(ReadUint32(data + kHeaderOffsetField));
  if (value < 0)
    return false;
  *offset = static_cast<uint64_t>(value);
  return true;
}

}  // namespace

bool ReadPECertificateTable(const uint8_t* data,
                            size_t length,
                            PECertificateTable* table) {
  uint64_t header;
  if (!ReadHeaderOffset(data, length, &header) ||
      header + kCertificateSizeField + sizeof(uint32_t) > length) {
    return false;
  }
  table->offset = ReadUint32(data + header + kCertificateOffsetField);
  table->size = ReadUint32(data + header + kCertificateSizeField);
  return true;
}

bool HasPESignatures(const uint8_t* data, size_t length) {
  uint64_t header;
  if (length < 2 || memcmp(data, "MZ", 2) != 0 ||
      !ReadHeaderOffset(data, length, &header) || header + 4 > length) {
    return false;
  }
  return memcmp(data + header, "PE\0\0", 4) == 0;
}

}  // namespace installer
}  // namespace vexlo
