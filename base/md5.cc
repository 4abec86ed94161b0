#include "base/md5.h"

#include <string.h>

#include <algorithm>

namespace base {

namespace {

constexpr size_t kBlockSize = 64;
// Where the 64-bit length starts in the last block.
constexpr size_t kLengthOffset = 56;

// floor(abs(sin(i + 1)) * 2^32) for each of the 64 steps.
constexpr uint32_t kSineTable[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a,
    0xa8304613, 0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be,
    0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340,
    0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8,
    0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c,
    0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
    0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92,
    0xffeff47d, 0x85845dd1, 0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1,
    0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Left-rotation amounts: four per round, repeated over its sixteen steps.
constexpr int kShifts[4][4] = {
    {7, 12, 17, 22},
    {5, 9, 14, 20},
    {4, 11, 16, 23},
    {6, 10, 15, 21},
};

uint32_t RotateLeft(uint32_t value, int shift) {
  return (value << shift) | (value >> (32 - shift));
}

// The round's auxiliary function of (b, c, d).
uint32_t RoundFunction(int round, uint32_t b, uint32_t c, uint32_t d) {
  switch (round) {
    case 0:
      return (b & c) | (~b & d);
    case 1:
      return (b & d) | (c & ~d);
    case 2:
      return b ^ c ^ d;
    default:
      return c ^ (b | ~d);
  }
}

// Which word of the block the round mixes in at |step|.
int MessageIndex(int round, int step) {
  switch (round) {
    case 0:
      return step;
    case 1:
      return (5 * step + 1) % 16;
    case 2:
      return (3 * step + 5) % 16;
    default:
      return (7 * step) % 16;
  }
}

uint64_t BitCount(const MD5Context& context) {
  return (static_cast<uint64_t>(context.bits[1]) << 32) | context.bits[0];
}

size_t BytesInBlock(const MD5Context& context) {
  return static_cast<size_t>(BitCount(context) / 8 % kBlockSize);
}

void TransformBufferedBlock(MD5Context* context) {
  uint32_t words[16];
  // The words are little-endian, as is the host.
  memcpy(words, context->in, sizeof(words));
  MD5Transform(context->state, words);
}

}  // namespace

void MD5Init(MD5Context* context) {
  context->state[0] = 0x67452301;
  context->state[1] = 0xefcdab89;
  context->state[2] = 0x98badcfe;
  context->state[3] = 0x10325476;
  context->bits[0] = 0;
  context->bits[1] = 0;
  memset(context->in, 0, sizeof(context->in));
}

void MD5Update(MD5Context* context, StringPiece data) {
  const uint8_t* input = reinterpret_cast<const uint8_t*>(data.data());
  size_t remaining = data.size();
  size_t used = BytesInBlock(*context);
  const uint64_t bits =
      BitCount(*context) + static_cast<uint64_t>(remaining) * 8;
  context->bits[0] = static_cast<uint32_t>(bits);
  context->bits[1] = static_cast<uint32_t>(bits >> 32);
  while (remaining) {
    const size_t take = std::min(kBlockSize - used, remaining);
    memcpy(context->in + used, input, take);
    input += take;
    remaining -= take;
    used += take;
    if (used == kBlockSize) {
      TransformBufferedBlock(context);
      used = 0;
    }
  }
}

void MD5Final(MD5Digest* digest, MD5Context* context) {
  uint8_t length[8];
  memcpy(length, context->bits, sizeof(length));
  const size_t used = BytesInBlock(*context);
  const size_t padding_size = used < kLengthOffset
                                  ? kLengthOffset - used
                                  : kBlockSize + kLengthOffset - used;
  static const char kPadding[kBlockSize] = {'\x80'};
  MD5Update(context, StringPiece(kPadding, padding_size));
  MD5Update(context,
            StringPiece(reinterpret_cast<const char*>(length), sizeof(length)));
  memcpy(digest->a, context->state, sizeof(digest->a));
  memset(context, 0, sizeof(*context));
}

void MD5Transform(uint32_t state[4], const uint32_t block[16]) {
  uint32_t a = state[0];
  uint32_t b = state[1];
  uint32_t c = state[2];
  uint32_t d = state[3];
  for (int round = 0; round < 4; ++round) {
    for (int step = 0; step < 16; ++step) {
      const uint32_t mixed = a + RoundFunction(round, b, c, d) +
                             kSineTable[round * 16 + step] +
                             block[MessageIndex(round, step)];
      a = d;
      d = c;
      c = b;
      b = b + RotateLeft(mixed, kShifts[round][step % 4]);
    }
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

void MD5Sum(const void* data, size_t length, MD5Digest* digest) {
  MD5Context context;
  MD5Init(&context);
  MD5Update(&context, StringPiece(static_cast<const char*>(data), length));
  MD5Final(digest, &context);
}

}  // namespace base
