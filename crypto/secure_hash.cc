#include "crypto/secure_hash.h"

#include <string.h>

#include <new>

// The low-level digest calls are deprecated in favour of the generic digest
// interface, which would pull OpenSSL's whole provider machinery into every
// module for this one hash.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include <openssl/crypto.h>
#include <openssl/sha.h>

#include "base/logging.h"

namespace crypto {

namespace {

class SecureHashSha256Impl : public SecureHash {
 public:
  SecureHashSha256Impl() { SHA256_Init(&context_); }
  explicit SecureHashSha256Impl(const SHA256_CTX& context)
      : context_(context) {}
  ~SecureHashSha256Impl() override {
    // The state could reveal what was hashed.
    OPENSSL_cleanse(&context_, sizeof(context_));
  }

  void Update(const void* input, size_t length) override {
    SHA256_Update(&context_, input, length);
  }

  void Finish(void* output, size_t length) override {
    if (length >= SHA256_DIGEST_LENGTH) {
      SHA256_Final(static_cast<unsigned char*>(output), &context_);
      return;
    }
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256_Final(digest, &context_);
    memcpy(output, digest, length);
    OPENSSL_cleanse(digest, sizeof(digest));
  }

  size_t GetHashLength() const override { return SHA256_DIGEST_LENGTH; }

  std::unique_ptr<SecureHash> Clone() const override {
    return std::make_unique<SecureHashSha256Impl>(context_);
  }

 private:
  SHA256_CTX context_;
};

static_assert(sizeof(SHA256_CTX) == 112, "unexpected SHA-256 state size");

}  // namespace

// static
std::unique_ptr<SecureHash> SecureHash::Create(Algorithm algorithm) {
  if (algorithm == SHA256)
    return std::unique_ptr<SecureHash>(new (std::nothrow) SecureHashSha256Impl);
  LOG(ERROR) << "NOT IMPLEMENTED";
  return nullptr;
}

}  // namespace crypto
