#ifndef CRYPTO_SECURE_HASH_H_
#define CRYPTO_SECURE_HASH_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>

namespace crypto {

// An incremental cryptographic hash: Update over the input in any number of
// pieces, then Finish once.
class SecureHash {
 public:
  enum Algorithm : int32_t {
    SHA256 = 0,
  };

  // A new hasher, or null (after an error line in the log) for an algorithm
  // that does not exist.
  static std::unique_ptr<SecureHash> Create(Algorithm algorithm);

  SecureHash(const SecureHash&) = delete;
  SecureHash& operator=(const SecureHash&) = delete;
  virtual ~SecureHash() = default;

  virtual void Update(const void* input, size_t length) = 0;
  // Writes the first min(|length|, GetHashLength()) bytes of the digest to
  // |output| and nothing beyond them.
  virtual void Finish(void* output, size_t length) = 0;
  virtual size_t GetHashLength() const = 0;
  // A hasher that continues from the current state.
  virtual std::unique_ptr<SecureHash> Clone() const = 0;

 protected:
  SecureHash() = default;
};

}  // namespace crypto

#endif  // CRYPTO_SECURE_HASH_H_
