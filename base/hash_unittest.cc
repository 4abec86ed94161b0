#include "base/hash.h"

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

// A second, deliberately plain writing of the published algorithm: 64-bit
// arithmetic cut to 32 bits after every step, the length split into whole
// 4-byte blocks and a tail, and the tail's last byte sign-extended by hand.
uint32_t ReferenceHash(const std::vector<uint8_t>& bytes) {
  const uint64_t kMask = 0xFFFFFFFFu;
  if (bytes.empty())
    return 0;
  uint64_t h = bytes.size();
  auto half = [&bytes](size_t at) -> uint64_t {
    return bytes[at] + 256u * bytes[at + 1];
  };
  auto signed_byte = [](uint8_t b) -> uint64_t {
    return b < 128 ? b : (kMask - (255u - b));  // -1 for 0xFF, -128 for 0x80.
  };
  const size_t blocks = bytes.size() / 4;
  const size_t tail = bytes.size() % 4;
  size_t at = 0;
  for (size_t block = 0; block < blocks; ++block, at += 4) {
    h = (h + half(at)) & kMask;
    const uint64_t tmp = (((half(at + 2) << 11) & kMask) ^ h) & kMask;
    h = ((h << 16) & kMask) ^ tmp;
    h = (h + (h >> 11)) & kMask;
  }
  if (tail == 3) {
    h = (h + half(at)) & kMask;
    h ^= (h << 16) & kMask;
    h ^= (signed_byte(bytes[at + 2]) << 18) & kMask;
    h = (h + (h >> 11)) & kMask;
  } else if (tail == 2) {
    h = (h + half(at)) & kMask;
    h ^= (h << 11) & kMask;
    h = (h + (h >> 17)) & kMask;
  } else if (tail == 1) {
    h = (h + signed_byte(bytes[at])) & kMask;
    h ^= (h << 10) & kMask;
    h = (h + (h >> 1)) & kMask;
  }
  h ^= (h << 3) & kMask;
  h = (h + (h >> 5)) & kMask;
  h ^= (h << 4) & kMask;
  h = (h + (h >> 17)) & kMask;
  h ^= (h << 25) & kMask;
  h = (h + (h >> 6)) & kMask;
  return static_cast<uint32_t>(h);
}

uint32_t HashOf(const std::string& text) {
  return SuperFastHash(text.data(), static_cast<int>(text.size()));
}

TEST(HashTest, KnownValues) {
  // Worked out separately from the published description of the algorithm.
  EXPECT_EQ(0x115EA782u, HashOf("a"));
  EXPECT_EQ(0xF30533C4u, HashOf("\x80"));
  EXPECT_EQ(0x516B8B44u, HashOf("ab"));
  EXPECT_EQ(0xD2BE198Au, HashOf("abc"));
  EXPECT_EQ(0xDAD8B8DBu, HashOf("abcd"));
  EXPECT_EQ(0xA68C6882u, HashOf("hello world"));
  EXPECT_EQ(0x547A507Eu, HashOf("\xFF\xFE\xFD"));
  EXPECT_EQ(0x926A9E78u, HashOf("\x01\x02\x03\x04\x05\x06\x07\x08"));
  EXPECT_EQ(0x77D8492Bu, HashOf("The quick brown fox"));
}

TEST(HashTest, NothingToHashGivesZero) {
  EXPECT_EQ(0u, SuperFastHash(nullptr, 0));
  EXPECT_EQ(0u, SuperFastHash(nullptr, 8));
  EXPECT_EQ(0u, SuperFastHash("abc", 0));
  EXPECT_EQ(0u, SuperFastHash("abc", -1));
}

TEST(HashTest, TrailingBytesEnterSigned) {
  // By the steps for one trailing byte: start at the length 1, add -128,
  // then h ^= h << 10 and h += h >> 1, then the final avalanche.
  uint32_t h = 1u + 0xFFFFFF80u;
  h ^= h << 10;
  h += h >> 1;
  h ^= h << 3;
  h += h >> 5;
  h ^= h << 4;
  h += h >> 17;
  h ^= h << 25;
  h += h >> 6;
  EXPECT_EQ(h, HashOf("\x80"));
  EXPECT_NE(HashOf("\x80"), HashOf("\x7F"));
}

TEST(HashTest, MatchesReferenceForEveryLengthAndByte) {
  std::vector<uint8_t> bytes;
  for (int length = 1; length <= 40; ++length) {
    bytes.push_back(static_cast<uint8_t>(length * 37 + 11));
    for (int value : {0x00, 0x7F, 0x80, 0xFF}) {
      std::vector<uint8_t> varied = bytes;
      varied.back() = static_cast<uint8_t>(value);
      EXPECT_EQ(
          ReferenceHash(varied),
          SuperFastHash(reinterpret_cast<const char*>(varied.data()), length))
          << "length " << length << " last byte " << value;
    }
  }
}

TEST(HashTest, EveryByteOfAHandleValueMatters) {
  // The handle verifier hashes the 8 bytes of a handle value.
  const uint64_t handle = 0x00000000000004A8u;
  char bytes[8];
  memcpy(bytes, &handle, sizeof(bytes));
  const uint32_t base_hash = SuperFastHash(bytes, 8);
  EXPECT_EQ(base_hash, SuperFastHash(bytes, 8));
  for (int i = 0; i < 8; ++i) {
    char changed[8];
    memcpy(changed, bytes, sizeof(changed));
    changed[i] ^= 0x01;
    EXPECT_NE(base_hash, SuperFastHash(changed, 8)) << i;
  }
}

}  // namespace
}  // namespace base
