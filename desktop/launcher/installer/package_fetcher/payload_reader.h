#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_PAYLOAD_READER_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_PAYLOAD_READER_H_

#include <stdint.h>

#include <string>

#include "base/files/file_path.h"
#include "base/files/memory_mapped_file.h"

namespace vexlo {
namespace installer {

// Finds the payload appended to an installer executable: "VXQ", the payload
// and its length as a 32-bit little-endian number, either at the very end of
// the file or just before its embedded signature. A payload that starts with
// the 7z signature is the full package; anything else is an opaque blob.
class PayloadReader {
 public:
  explicit PayloadReader(const base::FilePath& path);
  PayloadReader(const PayloadReader&) = delete;
  PayloadReader& operator=(const PayloadReader&) = delete;
  ~PayloadReader();

  // Maps the whole file, unless it is mapped already; false, without a log
  // line, when it cannot be. Init maps it when nothing did before.
  bool Map();
  // The mapping, valid once Map or Init has made it: who checks the file
  // reads it here, through the view the payload comes from.
  const base::MemoryMappedFile& file() const { return file_; }

  // True when a usable payload was found. A full package appended after the
  // signature of a signed file is refused, since the signature does not
  // cover it.
  bool Init();

  // The override payload when one is set, else the file's payload; empty
  // before a successful Init and for a corrupted file.
  std::string GetPayload() const;
  // Writes the payload into a new or emptied file at |path|.
  bool WritePayloadToFile(const base::FilePath& path) const;
  // Writes the payload at the position of |file|, opened for writing.
  bool WritePayload(void* file) const;
  // Stands in for a missing payload; marks the reader initialised.
  void SetOverridePayload(const std::string& payload);

  bool IsInitialised() const { return initialised_; }
  bool IsFullPackage() const { return full_package_; }
  bool IsCorrupted() const { return corrupted_; }

 private:
  // Looks for the trailer whose length field starts at |position|.
  bool FindPayloadBefore(uint64_t position);
  bool StartsWithArchiveSignature() const;

  const base::FilePath path_;
  base::MemoryMappedFile file_;
  std::string override_payload_;
  uint64_t payload_length_ = 0;
  uint64_t payload_start_ = 0;
  bool initialised_ = false;
  bool full_package_ = false;
  bool corrupted_ = false;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_PAYLOAD_READER_H_
