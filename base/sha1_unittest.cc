#include "base/sha1.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

std::string ToHex(const unsigned char* bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (size_t i = 0; i < kSha1Length; ++i) {
    hex.push_back(kDigits[bytes[i] >> 4]);
    hex.push_back(kDigits[bytes[i] & 15]);
  }
  return hex;
}

std::string Sha1Hex(const std::string& data) {
  unsigned char hash[kSha1Length];
  ComputeSha1Digest(reinterpret_cast<const unsigned char*>(data.data()),
                    data.size(), hash);
  return ToHex(hash);
}

// Bytes 3, 10, 17, ... (i * 7 + 3 modulo 256).
std::string Pattern(size_t size) {
  std::string data;
  for (size_t i = 0; i < size; ++i)
    data.push_back(static_cast<char>((i * 7 + 3) & 0xff));
  return data;
}

TEST(Sha1Test, ReproducesTheReferenceVectors) {
  EXPECT_EQ("a9993e364706816aba3e25717850c26c9cd0d89d", Sha1Hex("abc"));
  EXPECT_EQ(
      "84983e441c3bd26ebaae4aa1f95129e5e54670f1",
      Sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
  EXPECT_EQ("34aa973cd4c4daa4f61eeb2bdbad27316534016f",
            Sha1Hex(std::string(1000000, 'a')));
  EXPECT_EQ("da39a3ee5e6b4b0d3255bfef95601890afd80709", Sha1Hex(""));
}

TEST(Sha1Test, PaddingAroundTheBlockBoundary) {
  // 55 bytes fit the marker and length in one block; 56 need a second
  // block; 64 fill a block exactly.
  EXPECT_EQ("ddf57317ef34bfee3b6df83d359098930eb278bc", Sha1Hex(Pattern(55)));
  EXPECT_EQ("a0d492bb0fc889d0eca3bc137066ab6f4f74f369", Sha1Hex(Pattern(56)));
  EXPECT_EQ("c55856749bef509bdfe6bfebfc7bf4e793e82132", Sha1Hex(Pattern(63)));
  EXPECT_EQ("bede92be29c3874e1b54ddc77988d606fc857a8e", Sha1Hex(Pattern(64)));
  EXPECT_EQ("b05a80522b053d6dc7e0a517d0e70212c7dad11f", Sha1Hex(Pattern(65)));
  EXPECT_EQ("504e27376a6e0f0dba8295b85cb25dc4dfa17d23", Sha1Hex(Pattern(119)));
  EXPECT_EQ("82134b02fb3f702491be9bed581eeab59334acb2", Sha1Hex(Pattern(120)));
}

TEST(Sha1Test, UpdatesInPiecesMatchOneUpdate) {
  const std::string data = Pattern(777);
  const std::string expected = "1ab6e7c788b7edcc1ff4eeb9bf8d4354499c02e1";
  EXPECT_EQ(expected, Sha1Hex(data));
  for (size_t piece : {1u, 7u, 56u, 64u, 100u}) {
    Sha1Context context;
    for (size_t offset = 0; offset < data.size(); offset += piece) {
      const std::string part = data.substr(offset, piece);
      context.Update(part.data(), part.size());
    }
    context.Finish();
    EXPECT_EQ(expected, ToHex(context.GetDigest())) << piece;
  }
}

}  // namespace
}  // namespace base
