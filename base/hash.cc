#include "base/hash.h"

namespace base {
namespace {

// Two bytes as a little-endian 16-bit value, whatever the host order.
uint32_t Get16Bits(const char* p) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(p);
  return static_cast<uint32_t>(bytes[0]) |
         (static_cast<uint32_t>(bytes[1]) << 8);
}

// The published algorithm reads the trailing bytes as signed chars, so a byte
// of 0x80 or above enters the hash sign-extended.
uint32_t SignedByte(char c) {
  return static_cast<uint32_t>(
      static_cast<int32_t>(static_cast<signed char>(c)));
}

}  // namespace

uint32_t SuperFastHash(const char* data, int len) {
  if (data == nullptr || len <= 0)
    return 0;

  uint32_t hash = static_cast<uint32_t>(len);
  const int remainder = len & 3;
  for (int blocks = len >> 2; blocks > 0; --blocks) {
    hash += Get16Bits(data);
    const uint32_t tmp = (Get16Bits(data + 2) << 11) ^ hash;
    hash = (hash << 16) ^ tmp;
    data += 4;
    hash += hash >> 11;
  }

  switch (remainder) {
    case 3:
      hash += Get16Bits(data);
      hash ^= hash << 16;
      hash ^= SignedByte(data[2]) << 18;
      hash += hash >> 11;
      break;
    case 2:
      hash += Get16Bits(data);
      hash ^= hash << 11;
      hash += hash >> 17;
      break;
    case 1:
      hash += SignedByte(data[0]);
      hash ^= hash << 10;
      hash += hash >> 1;
      break;
  }

  // Final avalanche, so that the last bytes reach every bit.
  hash ^= hash << 3;
  hash += hash >> 5;
  hash ^= hash << 4;
  hash += hash >> 17;
  hash ^= hash << 25;
  hash += hash >> 6;
  return hash;
}

}  // namespace base
