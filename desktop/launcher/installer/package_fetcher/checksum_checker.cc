#include "desktop/launcher/installer/package_fetcher/checksum_checker.h"

#include <stdint.h>

#include <memory>

#include "base/files/memory_mapped_file.h"
#include "base/logging.h"
#include "crypto/secure_hash.h"

namespace vexlo {
namespace installer {

namespace {

constexpr size_t kSha256Length = 32;

std::string ToLowerHex(const uint8_t* bytes, size_t length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(length * 2);
  for (size_t i = 0; i < length; ++i) {
    hex.push_back(kDigits[bytes[i] >> 4]);
    hex.push_back(kDigits[bytes[i] & 0xF]);
  }
  return hex;
}

}  // namespace

bool ChecksumMatches(const base::FilePath& path, const std::string& expected) {
  base::MemoryMappedFile file;
  if (!file.Initialize(path)) {
    LOG(ERROR) << "Unable to read " << path.AsUTF8();
    return false;
  }
  return ChecksumMatches(file.data(), file.length(), expected);
}

bool ChecksumMatches(const uint8_t* data,
                     size_t length,
                     const std::string& expected) {
  std::unique_ptr<crypto::SecureHash> hash =
      crypto::SecureHash::Create(crypto::SecureHash::SHA256);
  hash->Update(data, length);
  uint8_t digest[kSha256Length];
  hash->Finish(digest, sizeof(digest));
  return ToLowerHex(digest, sizeof(digest)) == expected;
}

}  // namespace installer
}  // namespace vexlo
