#ifndef BASE_MD5_H_
#define BASE_MD5_H_

#include <stddef.h>
#include <stdint.h>

#include "base/strings/string_piece.h"

// MD5 as RFC 1321 defines it. It is not collision resistant: it serves as a
// stable 64-bit name hash, never for security.

namespace base {

struct MD5Digest {
  uint8_t a[16];
};

struct MD5Context {
  uint32_t state[4];
  // Input length in bits modulo 2^64, low word first.
  uint32_t bits[2];
  // The block being filled.
  uint8_t in[64];
};

void MD5Init(MD5Context* context);
void MD5Update(MD5Context* context, StringPiece data);
// Writes the digest, then wipes the whole context.
void MD5Final(MD5Digest* digest, MD5Context* context);
// Runs the compression function over one block, given as sixteen words read
// little-endian.
void MD5Transform(uint32_t state[4], const uint32_t block[16]);

void MD5Sum(const void* data, size_t length, MD5Digest* digest);

}  // namespace base

#endif  // BASE_MD5_H_
