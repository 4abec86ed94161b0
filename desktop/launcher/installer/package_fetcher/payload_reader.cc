#include "desktop/launcher/installer/package_fetcher/payload_reader.h"

#include <limits.h>
#include <string.h>
#include <windows.h>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/package_fetcher/pe_certificate_table.h"

namespace vexlo {
namespace installer {

namespace {

constexpr char kMagic[] = {'V', 'X', 'Q'};
constexpr uint8_t kArchiveSignature[] = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C};
constexpr uint64_t kLengthFieldSize = 4;

}  // namespace

PayloadReader::PayloadReader(const base::FilePath& path) : path_(path) {}

PayloadReader::~PayloadReader() = default;

bool PayloadReader::Map() {
  return file_.IsValid() || file_.Initialize(path_);
}

bool PayloadReader::Init() {
  if (initialised_)
    return true;
  LOG(INFO) << "Reading Payload";
  if (!Map()) {
    LOG(ERROR) << "Could not initialize memory mapped file";
    return false;
  }
  PECertificateTable table;
  if (!ReadPECertificateTable(file_.data(), file_.length(), &table))
    return false;
  if (table.offset > file_.length()) {
    corrupted_ = true;
    initialised_ = true;
    return false;
  }
  const bool is_signed = table.size != 0;
  const bool found_at_end =
      FindPayloadBefore(file_.length() - kLengthFieldSize);
  if (!found_at_end) {
    if (!is_signed || table.offset < kLengthFieldSize ||
        !FindPayloadBefore(table.offset - kLengthFieldSize)) {
      return false;
    }
  }
  if (!StartsWithArchiveSignature()) {
    initialised_ = true;
    return true;
  }
  if (found_at_end && is_signed)
    return false;
  full_package_ = true;
  initialised_ = true;
  return true;
}

bool PayloadReader::FindPayloadBefore(uint64_t position) {
  if (position + kLengthFieldSize > file_.length() ||
      position < sizeof(kMagic)) {
    LOG(ERROR) << "Could not find a valid starting position";
    return false;
  }
  int32_t length_field;
  memcpy(&length_field, file_.data() + position, sizeof(length_field));
  // Widened with its sign, so that a length with the top bit set never fits.
  const uint64_t length = static_cast<uint64_t>(int64_t{length_field});
  if (length > position - sizeof(kMagic)) {
    LOG(ERROR) << "Could not find a valid starting position";
    return false;
  }
  const uint64_t start = position - length;
  if (memcmp(file_.data() + start - sizeof(kMagic), kMagic, sizeof(kMagic))) {
    LOG(ERROR) << "Payload data invalid";
    return false;
  }
  payload_length_ = length;
  payload_start_ = start;
  return true;
}

bool PayloadReader::StartsWithArchiveSignature() const {
  // A payload shorter than the signature is a blob, however it starts.
  return payload_length_ >= sizeof(kArchiveSignature) &&
         memcmp(file_.data() + payload_start_, kArchiveSignature,
                sizeof(kArchiveSignature)) == 0;
}

std::string PayloadReader::GetPayload() const {
  if (!initialised_ || corrupted_)
    return std::string();
  if (!override_payload_.empty())
    return override_payload_;
  if (!file_.IsValid())
    return std::string();
  return std::string(
      reinterpret_cast<const char*>(file_.data() + payload_start_),
      payload_length_);
}

bool PayloadReader::WritePayloadToFile(const base::FilePath& path) const {
  if (corrupted_)
    return false;
  LOG(INFO) << "Writing payload to file " << path.AsUTF8();
  base::win::ScopedHandle file(CreateFileW(path.value().c_str(), GENERIC_WRITE,
                                           0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) {
    PLOG(ERROR) << "Could not create " << path.AsUTF8();
    return false;
  }
  return WritePayload(file.Get());
}

bool PayloadReader::WritePayload(HANDLE file) const {
  if (corrupted_)
    return false;
  std::string copy;
  const char* data;
  uint64_t size;
  if (full_package_) {
    data = reinterpret_cast<const char*>(file_.data() + payload_start_);
    size = payload_length_;
  } else {
    copy = GetPayload();
    data = copy.data();
    size = copy.size();
  }
  if (size > INT_MAX)
    return false;
  if (!base::WriteToHandle(file, data, static_cast<size_t>(size))) {
    PLOG(ERROR) << "Could not write the payload out";
    return false;
  }
  return true;
}

void PayloadReader::SetOverridePayload(const std::string& payload) {
  override_payload_ = payload;
  initialised_ = true;
}

}  // namespace installer
}  // namespace vexlo
