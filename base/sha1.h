#ifndef BASE_SHA1_H_
#define BASE_SHA1_H_

#include <stddef.h>
#include <stdint.h>

// SHA-1 as FIPS 180-1 defines it. It is no longer collision resistant: it
// serves as a stable identifier hash, never for security.

namespace base {

constexpr size_t kSha1Length = 20;

// Computes the SHA-1 digest of |length| bytes at |data| into |hash|, which
// has room for kSha1Length bytes.
void ComputeSha1Digest(const unsigned char* data,
                       size_t length,
                       unsigned char* hash);

// Incremental SHA-1: Update any number of times, then Finish once.
class Sha1Context {
 public:
  Sha1Context();
  Sha1Context(const Sha1Context&) = delete;
  Sha1Context& operator=(const Sha1Context&) = delete;

  void Update(const void* data, size_t length);
  void Finish();
  // The kSha1Length digest bytes; valid after Finish.
  const unsigned char* GetDigest() const;

 private:
  static constexpr size_t kBlockSize = 64;
  static constexpr size_t kScheduleWords = 80;

  // Appends the 0x80 marker, the zero fill and the big-endian bit length,
  // processing a full block first when the length does not fit.
  void PadBlock();
  // Compresses the 64 bytes of the block into H0 to H4.
  void ProcessBlock();
  unsigned char* block() { return reinterpret_cast<unsigned char*>(w_); }

  // Working words.
  uint32_t a_, b_, c_, d_, e_;
  // Chaining words; after Finish, the digest in big-endian byte order.
  uint32_t h_[5];
  // The 64-byte block, which becomes the 80-word schedule while it is
  // processed.
  uint32_t w_[kScheduleWords];
  // Bytes in the current block.
  uint32_t cursor_;
  // Message length in bits.
  uint64_t length_bits_;
};

}  // namespace base

#endif  // BASE_SHA1_H_
