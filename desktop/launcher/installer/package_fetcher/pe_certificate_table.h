#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_PE_CERTIFICATE_TABLE_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_PE_CERTIFICATE_TABLE_H_

#include <stddef.h>
#include <stdint.h>

namespace vexlo {
namespace installer {

// Where a PE32+ file keeps its embedded signature: data-directory entry 4,
// whose offset is a file offset rather than a virtual address.
struct PECertificateTable {
  uint32_t offset = 0;
  uint32_t size = 0;
};

// Reads the certificate-table entry from the |length| bytes of a whole file
// at |data|. False when the header offset at 0x3C is negative or the entry
// would lie outside the file: such a file is no image we can read.
bool ReadPECertificateTable(const uint8_t* data,
                            size_t length,
                            PECertificateTable* table);

// Whether |data| starts with "MZ" and carries "PE\0\0" where 0x3C points.
bool HasPESignatures(const uint8_t* data, size_t length);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_PE_CERTIFICATE_TABLE_H_
