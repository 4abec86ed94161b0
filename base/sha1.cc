#include "base/sha1.h"

#include <string.h>

namespace base {

namespace {

constexpr size_t kLengthOffset = 56;

uint32_t RotateLeft(uint32_t value, int shift) {
  return (value << shift) | (value >> (32 - shift));
}

uint32_t ReadBigEndian(const unsigned char* bytes) {
  return (static_cast<uint32_t>(bytes[0]) << 24) |
         (static_cast<uint32_t>(bytes[1]) << 16) |
         (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
}

uint32_t ToBigEndian(uint32_t value) {
  unsigned char bytes[4] = {
      static_cast<unsigned char>(value >> 24),
      static_cast<unsigned char>(value >> 16),
      static_cast<unsigned char>(value >> 8),
      static_cast<unsigned char>(value),
  };
  uint32_t result;
  memcpy(&result, bytes, sizeof(result));
  return result;
}

// The logical function and additive constant of step |t| (0 to 79).
uint32_t StepFunction(int t, uint32_t b, uint32_t c, uint32_t d) {
  if (t < 20)
    return (b & c) | (~b & d);
  if (t < 40)
    return b ^ c ^ d;
  if (t < 60)
    return (b & c) | (b & d) | (c & d);
  return b ^ c ^ d;
}

uint32_t StepConstant(int t) {
  if (t < 20)
    return 0x5a827999;
  if (t < 40)
    return 0x6ed9eba1;
  if (t < 60)
    return 0x8f1bbcdc;
  return 0xca62c1d6;
}

}  // namespace

void ComputeSha1Digest(const unsigned char* data,
                       size_t length,
                       unsigned char* hash) {
  Sha1Context context;
  context.Update(data, length);
  context.Finish();
  memcpy(hash, context.GetDigest(), kSha1Length);
}

Sha1Context::Sha1Context()
    : a_(0),
      b_(0),
      c_(0),
      d_(0),
      e_(0),
      h_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0},
      w_{},
      cursor_(0),
      length_bits_(0) {}

void Sha1Context::Update(const void* data, size_t length) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < length; ++i) {
    block()[cursor_++] = bytes[i];
    if (cursor_ == kBlockSize) {
      ProcessBlock();
      cursor_ = 0;
    }
    length_bits_ += 8;
  }
}

void Sha1Context::Finish() {
  PadBlock();
  ProcessBlock();
  for (uint32_t& word : h_)
    word = ToBigEndian(word);
}

const unsigned char* Sha1Context::GetDigest() const {
  return reinterpret_cast<const unsigned char*>(h_);
}

void Sha1Context::PadBlock() {
  block()[cursor_++] = 0x80;
  if (cursor_ > kLengthOffset) {
    memset(block() + cursor_, 0, kBlockSize - cursor_);
    ProcessBlock();
    cursor_ = 0;
  }
  memset(block() + cursor_, 0, kLengthOffset - cursor_);
  for (int i = 0; i < 8; ++i)
    block()[kLengthOffset + i] =
        static_cast<unsigned char>(length_bits_ >> (56 - 8 * i));
}

void Sha1Context::ProcessBlock() {
  // Each word replaces the four bytes it is read from.
  for (size_t t = 0; t < 16; ++t)
    w_[t] = ReadBigEndian(block() + 4 * t);
  for (size_t t = 16; t < kScheduleWords; ++t)
    w_[t] = RotateLeft(w_[t - 3] ^ w_[t - 8] ^ w_[t - 14] ^ w_[t - 16], 1);

  a_ = h_[0];
  b_ = h_[1];
  c_ = h_[2];
  d_ = h_[3];
  e_ = h_[4];
  for (int t = 0; t < static_cast<int>(kScheduleWords); ++t) {
    const uint32_t temp = RotateLeft(a_, 5) + StepFunction(t, b_, c_, d_) + e_ +
                          w_[t] + StepConstant(t);
    e_ = d_;
    d_ = c_;
    c_ = RotateLeft(b_, 30);
    b_ = a_;
    a_ = temp;
  }
  h_[0] += a_;
  h_[1] += b_;
  h_[2] += c_;
  h_[3] += d_;
  h_[4] += e_;
}

}  // namespace base
